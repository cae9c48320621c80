#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "tools/analyzer-sim/pseudo_terminal.h"

namespace tav::sim {

std::unique_ptr<PseudoTerminal> PseudoTerminal::Open(std::string* error) {
    std::unique_ptr<PseudoTerminal> pty(new PseudoTerminal);
    auto fail = [&](const char* what) {
        *error = std::string(what) + ": " + std::strerror(errno);
        return nullptr;
    };
    pty->master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (pty->master_ < 0) return fail("posix_openpt");
    if (grantpt(pty->master_) != 0) return fail("grantpt");
    if (unlockpt(pty->master_) != 0) return fail("unlockpt");
    char name[256];
    if (ptsname_r(pty->master_, name, sizeof name) != 0) return fail("ptsname");
    pty->slavePath_ = name;
    pty->slave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (pty->slave_ < 0) return fail("open slave");
    // Raw on the slave side: no echo of our own bytes back to us, no line
    // editing, no CR/LF translation in either direction.
    termios tio{};
    if (tcgetattr(pty->slave_, &tio) != 0) return fail("tcgetattr");
    cfmakeraw(&tio);
    cfsetispeed(&tio, B9600);
    cfsetospeed(&tio, B9600);
    tio.c_cflag |= CLOCAL | CREAD;
    if (tcsetattr(pty->slave_, TCSANOW, &tio) != 0) return fail("tcsetattr");
    int flags = fcntl(pty->master_, F_GETFL);
    if (flags < 0 || fcntl(pty->master_, F_SETFL, flags | O_NONBLOCK) != 0) {
        return fail("fcntl");
    }
    return pty;
}

size_t PseudoTerminal::UnreadBySlave() const {
    if (slave_ < 0) return 0;
    // Polling the slave moves bytes still in the terminal's flip buffer into
    // its input queue, so the count below includes them. Nothing is read.
    pollfd p{slave_, POLLIN, 0};
    poll(&p, 1, 0);
    int n = 0;
    if (slave_ < 0 || ioctl(slave_, FIONREAD, &n) != 0 || n < 0) return 0;
    return static_cast<size_t>(n);
}

PseudoTerminal::~PseudoTerminal() {
    Close();
}

void PseudoTerminal::Close() {
    if (slave_ >= 0) close(slave_);
    if (master_ >= 0) close(master_);
    slave_ = master_ = -1;
}

}  // namespace tav::sim
