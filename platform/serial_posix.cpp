// Serial lines on termios. The line is opened non-blocking and read through
// poll(), together with a self-pipe that Release() writes to, so a waiting
// reader can be let go without closing the descriptor under it.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <string.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>

#include "platform/serial_device.h"

namespace tav {

namespace {

std::string Reason(int err) {
    return strerror(err);
}

bool BaudConstant(uint32_t baud, speed_t& out) {
    switch (baud) {
        case 1200:
            out = B1200;
            return true;
        case 2400:
            out = B2400;
            return true;
        case 4800:
            out = B4800;
            return true;
        case 9600:
            out = B9600;
            return true;
        case 19200:
            out = B19200;
            return true;
        case 38400:
            out = B38400;
            return true;
        case 57600:
            out = B57600;
            return true;
        case 115200:
            out = B115200;
            return true;
        default:
            return false;
    }
}

void CloseFd(int& fd) {
    if (fd >= 0) {
        while (close(fd) != 0 && errno == EINTR) {
        }
        fd = -1;
    }
}

class PosixSerialDevice final : public SerialDevice {
  public:
    ~PosixSerialDevice() override { Close(); }

    bool Open(const std::string& path, const SerialLineConfig& config,
              std::string& error) override {
        Close();
        released_ = false;
        int err = OpenLine(path, config);
        if (err != 0) {
            error = Reason(err);
            Close();
            return false;
        }
        error.clear();
        return true;
    }

    SerialRead ReadByte(uint8_t& byte, int timeoutMs) override {
        if (released_ || fd_ < 0) return SerialRead::Released;
        pollfd fds[2] = {{fd_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
        int n = poll(fds, 2, timeoutMs < 0 ? 0 : timeoutMs);
        if (released_) return SerialRead::Released;
        if (n < 0) return errno == EINTR ? SerialRead::Timeout : SerialRead::Gone;
        if (n == 0) return SerialRead::Timeout;
        if (fds[0].revents & POLLNVAL) return SerialRead::Gone;
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            // A hang-up may still leave bytes queued: read them first; the
            // read that finds nothing more reports the loss.
            ssize_t got = read(fd_, &byte, 1);
            if (got == 1) {
                if (discardNul_ && byte == 0) return SerialRead::Timeout;
                return SerialRead::Byte;
            }
            if (got == 0) return SerialRead::Gone;
            if (errno == EAGAIN || errno == EINTR) {
                return (fds[0].revents & (POLLHUP | POLLERR)) ? SerialRead::Gone
                                                              : SerialRead::Timeout;
            }
            return SerialRead::Gone;  // EIO, ENXIO, ENODEV: the device is gone
        }
        return SerialRead::Timeout;
    }

    void Release() override {
        released_ = true;
        if (wakeWrite_ >= 0) {
            const char c = 1;
            ssize_t ignored = write(wakeWrite_, &c, 1);
            (void)ignored;
        }
    }

    size_t Write(const uint8_t* data, size_t count) override {
        if (fd_ < 0) return 0;
        size_t done = 0;
        while (done < count) {
            ssize_t n = write(fd_, data + done, count - done);
            if (n > 0) {
                done += static_cast<size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno == EAGAIN) {
                // The driver's queue is full: wait for room, but not forever.
                pollfd pfd{fd_, POLLOUT, 0};
                int r = poll(&pfd, 1, kWriteStallMs);
                if (r > 0 && !(pfd.revents & (POLLHUP | POLLERR | POLLNVAL))) continue;
                if (r < 0 && errno == EINTR) continue;
            }
            break;
        }
        while (tcdrain(fd_) != 0 && errno == EINTR) {
        }
        return done;
    }

    bool Purge() override { return fd_ >= 0 && tcflush(fd_, TCIOFLUSH) == 0; }

    void Close() override {
        if (fd_ >= 0) ioctl(fd_, TIOCNXCL);
        CloseFd(fd_);  // also drops the flock
        CloseFd(wakeRead_);
        CloseFd(wakeWrite_);
    }

  private:
    static constexpr int kWriteStallMs = 5000;

    // Returns 0 or the errno of the step that failed.
    int OpenLine(const std::string& path, const SerialLineConfig& config) {
        if (path.empty()) return ENOENT;
        speed_t speed;
        if (!BaudConstant(config.baudRate, speed)) return EINVAL;

        fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0) return errno;

        termios tio{};
        if (tcgetattr(fd_, &tio) != 0) return errno;  // not a terminal: ENOTTY

        // Exclusive use: flock keeps out other programs that lock serial
        // lines (and a second copy of this one, even as root); TIOCEXCL keeps
        // out every other unprivileged open.
        if (flock(fd_, LOCK_EX | LOCK_NB) != 0) return errno == EWOULDBLOCK ? EBUSY : errno;
        if (ioctl(fd_, TIOCEXCL) != 0) return errno;

        tio.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                         IXANY | INPCK);
        tio.c_oflag &= ~OPOST;
        tio.c_lflag &= ~(ECHO | ECHONL | ECHOE | ECHOK | ICANON | ISIG | IEXTEN);
        tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
        switch (config.dataBits) {
            case 5:
                tio.c_cflag |= CS5;
                break;
            case 6:
                tio.c_cflag |= CS6;
                break;
            case 7:
                tio.c_cflag |= CS7;
                break;
            default:
                tio.c_cflag |= CS8;
                break;
        }
        if (config.parity != SerialLineConfig::Parity::None) {
            tio.c_cflag |= PARENB;
            if (config.parity == SerialLineConfig::Parity::Odd) tio.c_cflag |= PARODD;
        }
        if (config.stopBits == 2) tio.c_cflag |= CSTOPB;
        tio.c_cflag |= CREAD | CLOCAL;
        if (config.xonXoffIn) tio.c_iflag |= IXOFF;
        if (config.xonXoffOut) tio.c_iflag |= IXON;
        tio.c_cc[VMIN] = 1;
        tio.c_cc[VTIME] = 0;
        cfsetispeed(&tio, speed);
        cfsetospeed(&tio, speed);
        if (tcsetattr(fd_, TCSANOW, &tio) != 0) return errno;
        discardNul_ = config.discardNul;

        if (tcflush(fd_, TCIOFLUSH) != 0) return errno;

        int pipeFds[2];
        if (pipe(pipeFds) != 0) return errno;
        wakeRead_ = pipeFds[0];
        wakeWrite_ = pipeFds[1];
        for (int fd : pipeFds) {
            fcntl(fd, F_SETFD, FD_CLOEXEC);
            fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        }
        return 0;
    }

    int fd_ = -1;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    bool discardNul_ = false;
    std::atomic<bool> released_{false};
};

}  // namespace

std::unique_ptr<SerialDevice> MakeSystemSerialDevice() {
    return std::make_unique<PosixSerialDevice>();
}

}  // namespace tav
