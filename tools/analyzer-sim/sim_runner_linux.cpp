#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <random>

#include "platform/clock.h"
#include "platform/paths.h"
#include "tools/analyzer-sim/model/analyzer_model.h"
#include "tools/analyzer-sim/port_registry.h"
#include "tools/analyzer-sim/pseudo_terminal.h"
#include "tools/analyzer-sim/sim_runner.h"

namespace tav::sim {
namespace {

// The signals that end the simulator or finish a measurement arrive through
// a signalfd, so the poll loop handles them like any other input.
class SignalInput {
  public:
    SignalInput() {
        sigemptyset(&set_);
        for (int s : {SIGINT, SIGTERM, SIGHUP, SIGUSR1}) sigaddset(&set_, s);
        sigprocmask(SIG_BLOCK, &set_, nullptr);
        fd_ = signalfd(-1, &set_, SFD_NONBLOCK | SFD_CLOEXEC);
        signal(SIGPIPE, SIG_IGN);
    }
    // The signals stay blocked until the process ends, so a late SIGTERM
    // cannot cut the clean-up short.
    ~SignalInput() {
        if (fd_ >= 0) close(fd_);
    }
    int fd() const { return fd_; }
    // The next pending signal number, 0 when none.
    int Take() {
        signalfd_siginfo info{};
        if (read(fd_, &info, sizeof info) != static_cast<ssize_t>(sizeof info)) return 0;
        return static_cast<int>(info.ssi_signo);
    }

  private:
    sigset_t set_{};
    int fd_ = -1;
};

// A measurement record stamped with the local time it finishes.
std::string LocalMeasurement(uint32_t serial) {
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    Date d{1900 + tm.tm_year, tm.tm_mon + 1, tm.tm_mday};
    if (d.year < 2000 || d.year > 2099) d = Date{2024, 7, 1};
    return MakeMeasurementRecord(d, tm.tm_hour, tm.tm_min, serial);
}

// Writes what it can without blocking; false when the line is gone.
bool WriteSome(int fd, std::string* pending) {
    while (!pending->empty()) {
        ssize_t n = write(fd, pending->data(), pending->size());
        if (n > 0) {
            pending->erase(0, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
    return true;
}

}  // namespace

int RunSimulator(const SimConfig& config, std::vector<std::string> records) {
    SignalInput signals;
    if (signals.fd() < 0) {
        std::fprintf(stderr, "analyzer-sim: signalfd: %s\n", std::strerror(errno));
        return 1;
    }
    SystemClock clock;
    const int64_t startMs = clock.NowMs();
    const bool verbose = config.verbose;
    auto log = [&](int64_t atMs, const std::string& what) {
        if (verbose) {
            std::fprintf(stderr, "analyzer-sim %8.3f s: %s\n", (atMs - startMs) / 1000.0,
                         what.c_str());
        }
    };

    std::string error;
    auto pty = PseudoTerminal::Open(&error);
    if (!pty) {
        std::fprintf(stderr, "analyzer-sim: %s\n", error.c_str());
        return 1;
    }
    const std::string home = PrepareHomeDir(config.home.empty() ? DefaultHomeDir() : config.home);
    VirtualPort port{config.com, pty->SlavePath(), true, CableFriendlyName(config.com),
                     static_cast<int>(getpid())};
    PortRegistration registration(home, port);
    if (!registration.ok()) {
        std::fprintf(stderr, "analyzer-sim: %s\n", registration.error().c_str());
        return 1;
    }
    if (registration.replacedLines() > 0) {
        std::fprintf(stderr, "analyzer-sim: replaced an old line for COM%d in %s\n", config.com,
                     JoinPath(home, kVirtualPortsFile).c_str());
    }

    ModelOptions options = MakeModelOptions(config, std::move(records));
    uint32_t serial = config.generate.seed;
    options.nextMeasurement = [&serial] { return LocalMeasurement(serial++); };
    options.log = log;
    const size_t memorySize = options.records.size();
    AnalyzerModel model(std::move(options));

    if (config.printPath) {
        std::printf("%s\n", pty->SlavePath().c_str());
    } else {
        std::printf("COM%d %s\n", config.com, pty->SlavePath().c_str());
    }
    std::fflush(stdout);
    log(startMs, "COM" + std::to_string(config.com) + " on " + pty->SlavePath() + ", " +
                     std::to_string(memorySize) + " results, home " + home);

    std::string pending;
    bool masterQuiet = false;  // the master reported a hang-up: look again later
    for (;;) {
        int64_t now = clock.NowMs();
        std::string due = model.TakeOutputDue(now);
        if (!due.empty()) {
            if (verbose) log(now, "sends " + Printable(due));
            pending += due;
        }
        if (!WriteSome(pty->MasterFd(), &pending)) {
            log(now, "write failed: " + std::string(std::strerror(errno)));
            pending.clear();
        }
        if (model.LineClosed()) {
            // Let the last bytes reach the reader before the line goes away.
            pollfd out{pty->MasterFd(), POLLOUT, 0};
            while (!pending.empty() && poll(&out, 1, 1000) > 0 &&
                   WriteSome(pty->MasterFd(), &pending)) {
            }
            // A hang-up discards what the reader has not taken yet: give it
            // up to a second to read the last bytes.
            for (int ms = 0; ms < 1000 && pty->UnreadBySlave() > 0; ++ms) poll(nullptr, 0, 1);
            pty->Close();
            registration.Remove();
            std::fprintf(stderr, "analyzer-sim: line closed\n");
            return 0;
        }

        int timeout = -1;
        if (auto next = model.NextOutputTime()) {
            timeout = static_cast<int>(std::clamp<int64_t>(*next - now, 0, 60'000));
        }
        if (!pending.empty() || masterQuiet) timeout = timeout < 0 ? 50 : std::min(timeout, 50);
        pollfd fds[2] = {{signals.fd(), POLLIN, 0}, {pty->MasterFd(), POLLIN, 0}};
        if (!pending.empty()) fds[1].events |= POLLOUT;
        nfds_t count = masterQuiet ? 1 : 2;
        masterQuiet = false;
        if (poll(fds, count, timeout) < 0 && errno != EINTR) {
            std::fprintf(stderr, "analyzer-sim: poll: %s\n", std::strerror(errno));
            return 1;
        }
        if (fds[0].revents & POLLIN) {
            while (int sig = signals.Take()) {
                if (sig == SIGUSR1) {
                    log(clock.NowMs(), "SIGUSR1: a measurement finishes now");
                    model.FinishMeasurement(LocalMeasurement(serial++), clock.NowMs());
                    continue;
                }
                log(clock.NowMs(), std::string("ends on ") + strsignal(sig));
                return 0;  // the registration's destructor takes our line out
            }
        }
        if (count == 2 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
            uint8_t buf[512];
            ssize_t n = read(pty->MasterFd(), buf, sizeof buf);
            if (n > 0) {
                int64_t at = clock.NowMs();
                if (verbose) log(at, "reads " + Printable(std::string(buf, buf + n)));
                for (ssize_t i = 0; i < n; ++i) model.OnHostByte(buf[i], at);
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                masterQuiet = true;  // no busy loop on a hung-up master
            }
        }
    }
}

}  // namespace tav::sim
