// The analyzer-sim program end to end: its port line, its pseudo-terminal and
// its answers, driven the way the serial driver drives a real cable.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "tests/support/sim_process.h"
#include "tests/support/temp_dir.h"
#include "tools/analyzer-sim/model/sim_options.h"
#include "tools/analyzer-sim/model/virtual_ports.h"

namespace tav::sim {
namespace {

constexpr int kTimeoutMs = 10'000;
const std::string kEtxS(1, '\x03');

// The simulator built beside the tests.
struct SimProcess : test::SimProcess {
    explicit SimProcess(std::vector<std::string> args)
        : test::SimProcess(TAV_ANALYZER_SIM, std::move(args)) {}
};

// The program's side of the cable: the slave opened raw, as the serial
// driver opens a port.
class Port {
  public:
    explicit Port(const std::string& path) {
        fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd_ < 0) return;
        termios tio{};
        tcgetattr(fd_, &tio);
        cfmakeraw(&tio);
        tcsetattr(fd_, TCSANOW, &tio);
        tcflush(fd_, TCIOFLUSH);
    }
    ~Port() {
        if (fd_ >= 0) close(fd_);
    }
    bool ok() const { return fd_ >= 0; }
    void Write(const std::string& bytes) {
        for (char c : bytes) ASSERT_EQ(write(fd_, &c, 1), 1);
    }
    // Reads until `count` bytes came, the line hung up or time ran out.
    std::string Read(size_t count, bool* hungUp = nullptr) {
        std::string got;
        test::Deadline d(kTimeoutMs);
        while (got.size() < count) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, d.Left()) <= 0) break;
            char buf[4096];
            ssize_t n = read(fd_, buf, std::min(sizeof buf, count - got.size()));
            if (n > 0) {
                got.append(buf, static_cast<size_t>(n));
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                if (hungUp) *hungUp = true;
                break;
            }
        }
        return got;
    }

  private:
    int fd_ = -1;
};

// The simulator's ports file in `home`.
std::string PortsFile(const test::TempDir& home) {
    return home.File(kVirtualPortsFile);
}

TEST(AnalyzerSimProgram, RegistersItsPortAnswersAcrossReopensAndUnregistersOnSigterm) {
    const test::TempDir home;
    // A comment and another port stay; a stale COM7 line from a killed run goes.
    const std::string keep = "# test ports\n3\t/dev/ttyS9\t0\tCommunications Port (COM3)\n";
    std::ofstream(PortsFile(home)) << keep << "7\t/dev/pts/999\t1\tstale\n";

    SimProcess sim({"--home", home.path(), "--fast", "--count", "5", "--seed", "9"});
    ASSERT_GT(sim.pid(), 0);
    std::string line = sim.ReadLine();
    ASSERT_EQ(line.rfind("COM7 /dev/", 0), 0u) << line;
    const std::string path = line.substr(5);
    const VirtualPort port{7, path, true, "Prolific USB-to-Serial Comm Port (COM7)", sim.pid()};
    EXPECT_EQ(test::ReadWholeFile(PortsFile(home)), keep + FormatPortLine(port) + "\n");

    for (int download = 0; download < 2; ++download) {  // each download opens the port anew
        Port p(path);
        ASSERT_TRUE(p.ok());
        p.Write("ST" + kEtxS + "ST" + kEtxS);
        EXPECT_EQ(p.Read(4), "SUSU");
        p.Write("SH");
        std::string frame = p.Read(8 + 5 * 43);
        ASSERT_EQ(frame.size(), 8u + 5u * 43u) << "download " << download;
        EXPECT_EQ(frame.substr(0, 8), "SH0005\r\n");
        for (int r = 0; r < 5; ++r) EXPECT_EQ(frame.substr(8 + r * 43 + 41, 2), "\r\n");
        p.Write("SE" + kEtxS + "SE" + kEtxS);
    }

    ASSERT_EQ(kill(sim.pid(), SIGTERM), 0);
    EXPECT_EQ(sim.Wait(), 0);
    EXPECT_EQ(test::ReadWholeFile(PortsFile(home)), keep);
}

TEST(AnalyzerSimProgram, ClosedLineHangsUpTheReaderAndEndsTheSimulator) {
    const test::TempDir home;
    SimProcess sim({"--home", home.path(), "--fast", "--count", "3", "--close-after", "60"});
    std::string line = sim.ReadLine();
    ASSERT_EQ(line.rfind("COM7 ", 0), 0u) << line;
    Port p(line.substr(5));
    ASSERT_TRUE(p.ok());
    p.Write("SH");
    bool hungUp = false;
    std::string got = p.Read(1000, &hungUp);
    EXPECT_EQ(got.size(), 60u);
    EXPECT_TRUE(hungUp);
    EXPECT_EQ(sim.Wait(), 0);
    EXPECT_FALSE(PathExists(PortsFile(home)));
}

TEST(AnalyzerSimProgram, HelpNamesEveryOptionAndBadOptionsFail) {
    const std::string usage = UsageText();
    for (const char* option :
         {"--home",      "--com",          "--count",          "--seed",       "--from",
          "--to",        "--tilted",       "--flagged",        "--ids",        "--load",
          "--fast",      "--answer-delay", "--measure-after",  "--no-answer",  "--stall-after",
          "--drop-byte", "--extra-bytes",  "--bad-terminator", "--nul-in",     "--count-delta",
          "--empty",     "--close-after",  "--fault-frames",   "--print-path", "--verbose",
          "--help"}) {
        SimConfig c;
        std::string error;
        // Each option the help names is one the parser knows.
        EXPECT_NE(usage.find(std::string("  ") + option + " "), std::string::npos) << option;
        std::vector<std::string> args{option};
        ParseArgs(args, &c, &error);
        EXPECT_EQ(error.find("unknown option"), std::string::npos) << option;
    }
    SimProcess help({"--help"});
    EXPECT_EQ(help.ReadLine(), "Usage: analyzer-sim [options]");
    EXPECT_EQ(help.Wait(), 0);
    SimProcess bad({"--no-such-option"});
    EXPECT_EQ(bad.Wait(), 2);
}

}  // namespace
}  // namespace tav::sim
