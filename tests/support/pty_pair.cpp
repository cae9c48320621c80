#include "tests/support/pty_pair.h"

#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>

#include "tests/support/sim_process.h"

namespace tav::testing {

RawTty::RawTty(const std::string& path)
    : RawTty(open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC)) {
    if (fd_ < 0) ADD_FAILURE() << "cannot open " << path << ": " << strerror(errno);
}

RawTty::RawTty(int fd) : fd_(fd) {
    termios tio{};
    if (fd_ >= 0 && tcgetattr(fd_, &tio) == 0) {
        cfmakeraw(&tio);  // so what the other end sends arrives unchanged
        tcsetattr(fd_, TCSANOW, &tio);
    }
}

PtyPair::PtyPair() : RawTty(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)) {
    char name[128];
    if (fd_ < 0 || grantpt(fd_) != 0 || unlockpt(fd_) != 0 ||
        ptsname_r(fd_, name, sizeof name) != 0) {
        ADD_FAILURE() << "no pseudo-terminal: " << strerror(errno);
        Hangup();
        return;
    }
    slavePath_ = name;
}

bool RawTty::Send(const std::string& bytes) {
    return write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

std::string RawTty::Receive(size_t count, int timeoutMs, bool* hungUp) {
    std::string out;
    const test::Deadline deadline(timeoutMs);
    while (out.size() < count) {
        pollfd pfd{fd_, POLLIN, 0};
        if (poll(&pfd, 1, deadline.Left()) <= 0) break;
        char buf[4096];
        const ssize_t n = read(fd_, buf, std::min(sizeof buf, count - out.size()));
        if (n > 0) out.append(buf, static_cast<size_t>(n));
        if (n == 0 || (n < 0 && errno != EINTR)) {
            if (hungUp) *hungUp = true;
            break;
        }
    }
    return out;
}

void RawTty::Hangup() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}

}  // namespace tav::testing
