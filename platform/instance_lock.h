// Single-instance guard: an exclusive lock named after the program that the
// operating system releases when the process ends, even after a crash.
#pragma once

#include <string>

namespace tav {

class InstanceLock {
  public:
    // `dir` overrides the folder of the lock file (tests); by default the
    // user's runtime folder ($XDG_RUNTIME_DIR, else /tmp).
    explicit InstanceLock(std::string name, std::string dir = {});
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    enum class Result { Acquired, AlreadyRunning, Unavailable };
    // Takes the lock. Unavailable means the lock file could not be made; the
    // caller then goes on as the first instance.
    Result Acquire();
    void Release();
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
    int fd_ = -1;
};

}  // namespace tav
