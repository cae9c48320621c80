#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/instance_lock.h"
#include "platform/paths.h"

namespace tav {

InstanceLock::InstanceLock(std::string name, std::string dir) {
    if (dir.empty()) {
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        dir = (runtime && *runtime && IsDirectory(runtime)) ? runtime : "/tmp";
        if (dir == "/tmp") name += "-" + std::to_string(getuid());
    }
    path_ = JoinPath(dir, name + ".lock");
}

InstanceLock::~InstanceLock() {
    Release();
}

InstanceLock::Result InstanceLock::Acquire() {
    if (fd_ >= 0) return Result::Acquired;
    int fd = open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return Result::Unavailable;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int err = errno;
        close(fd);
        return err == EWOULDBLOCK ? Result::AlreadyRunning : Result::Unavailable;
    }
    fd_ = fd;
    return Result::Acquired;
}

void InstanceLock::Release() {
    if (fd_ >= 0) {
        close(fd_);  // closing drops the flock
        fd_ = -1;
    }
}

}  // namespace tav
