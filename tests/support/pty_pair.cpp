#include "tests/support/pty_pair.h"

#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>

namespace tav::testing {

PtyPair::PtyPair() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        ADD_FAILURE() << "no pseudo-terminal: " << strerror(errno);
        Hangup();
        return;
    }
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0) {
        ADD_FAILURE() << "ptsname: " << strerror(errno);
        Hangup();
        return;
    }
    slavePath_ = name;
    // The master side raw too, so what the test sends arrives unchanged.
    termios tio{};
    if (tcgetattr(master_, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(master_, TCSANOW, &tio);
    }
}

PtyPair::~PtyPair() {
    Hangup();
}

bool PtyPair::Send(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

std::string PtyPair::Receive(size_t count, int timeoutMs) {
    std::string out;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (out.size() < count) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
        if (left <= 0) break;
        pollfd pfd{master_, POLLIN, 0};
        if (poll(&pfd, 1, static_cast<int>(left)) <= 0) continue;
        char buf[256];
        ssize_t n = read(master_, buf, std::min(sizeof buf, count - out.size()));
        if (n <= 0) break;
        out.append(buf, static_cast<size_t>(n));
    }
    return out;
}

void PtyPair::Hangup() {
    if (master_ >= 0) close(master_);
    master_ = -1;
}

}  // namespace tav::testing
