// The analyzer-sim program as a child process for end-to-end tests.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace tav::test {

// Milliseconds left of a deadline, for poll.
class Deadline {
  public:
    explicit Deadline(int ms)
        : end_(std::chrono::steady_clock::now() + std::chrono::milliseconds(ms)) {}
    int Left() const;

  private:
    std::chrono::steady_clock::time_point end_;
};

// Starts `program` with `args`; its stdout is a pipe whose end of file tells
// that it has exited. The destructor kills a simulator still running.
class SimProcess {
  public:
    SimProcess(const std::string& program, std::vector<std::string> args);
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    pid_t pid() const { return pid_; }
    // Everything on stdout up to the first newline (without it).
    std::string ReadLine(int timeoutMs = 10'000);
    // Waits until the process ends; its exit status, or -1 on time-out.
    int Wait(int timeoutMs = 10'000);

  private:
    pid_t pid_ = -1;
    int stdout_ = -1;
};

}  // namespace tav::test
