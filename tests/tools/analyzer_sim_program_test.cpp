// The analyzer-sim program end to end: its port line, its pseudo-terminal and
// its answers, driven the way the serial driver drives a real cable.
#include <gtest/gtest.h>
#include <signal.h>

#include <fstream>
#include <string>
#include <vector>

#include "link/port_discovery.h"
#include "link/port_scan.h"
#include "platform/paths.h"
#include "tests/support/pty_pair.h"
#include "tests/support/sim_process.h"
#include "tests/support/temp_dir.h"
#include "tools/analyzer-sim/model/records.h"
#include "tools/analyzer-sim/model/sim_options.h"
#include "tools/analyzer-sim/model/virtual_ports.h"

namespace tav::sim {
namespace {

TEST(AnalyzerSimProgram, RegistersItsPortAnswersAcrossReopensAndUnregistersOnSigterm) {
    const test::TempDir home;
    const std::string portsFile = home.File(kVirtualPortsFile);
    // A comment and other ports stay; the stale COM7 lines of killed runs go.
    const std::string keep =
        "# test ports\n3\t/dev/tav-none\t0\tCommunications Port (COM3)\n17\t/dev/tav-none\t1\tX\n";
    std::ofstream(portsFile) << keep << "7\t/dev/pts/999\t1\tstale\n7\t/dev/pts/9\t1\tstale too\n";

    test::SimProcess sim(TAV_ANALYZER_SIM,
                         {"--home", home.path(), "--fast", "--count", "5", "--seed", "9"});
    std::string line = sim.ReadLine();
    ASSERT_EQ(line.rfind("COM7 /dev/", 0), 0u) << line;
    const std::string path = line.substr(5);
    const VirtualPort port{7, path, true, "Prolific USB-to-Serial Comm Port (COM7)", sim.pid()};
    EXPECT_EQ(test::ReadWholeFile(portsFile), keep + FormatPortLine(port) + "\n");

    // The program's discovery lists it as the analyzer cable.
    const PortEnumeration found = EnumeratePorts(home.File("no-sys"), home.path(), "/dev");
    ASSERT_EQ(found.ports.size(), 1u);
    EXPECT_EQ(found.ports[0].deviceNode, path);
    const PortCandidate cable = ParsePortCandidate(found.ports[0]);
    EXPECT_TRUE(IsAnalyzerCable(cable) && cable.portName == "COM7") << cable.friendlyName;

    // The records of its options, each download on the port opened anew.
    std::string frame = "SH0005\r\n";
    for (const std::string& r : GenerateRecords({.count = 5, .seed = 9})) frame += r;
    for (int download = 0; download < 2; ++download) {
        testing::RawTty p(path);
        p.Send("ST\x03ST\x03");
        EXPECT_EQ(p.Receive(4), "SUSU");
        p.Send("SH");
        EXPECT_EQ(p.Receive(frame.size()), frame) << "download " << download;
        p.Send("SE\x03SE\x03");
    }

    ASSERT_EQ(kill(sim.pid(), SIGTERM), 0);
    EXPECT_EQ(sim.Wait(), 0);
    EXPECT_EQ(test::ReadWholeFile(portsFile), keep);
}

TEST(AnalyzerSimProgram, ClosedLineHangsUpTheReaderAndEndsTheSimulator) {
    const test::TempDir home;
    test::SimProcess sim(TAV_ANALYZER_SIM,
                         {"--home", home.path(), "--fast", "--count", "3", "--close-after", "60"});
    std::string line = sim.ReadLine();
    ASSERT_EQ(line.rfind("COM7 ", 0), 0u) << line;
    testing::RawTty p(line.substr(5));
    p.Send("SH");
    bool hungUp = false;
    EXPECT_EQ(p.Receive(1000, 10'000, &hungUp).size(), 60u);
    EXPECT_TRUE(hungUp);
    EXPECT_EQ(sim.Wait(), 0);
    EXPECT_FALSE(PathExists(home.File(kVirtualPortsFile)));
}

TEST(AnalyzerSimProgram, HelpPrintsTheUsageAndBadOptionsFail) {
    test::SimProcess help(TAV_ANALYZER_SIM, {"--help"});
    EXPECT_EQ(help.ReadLine(), "Usage: analyzer-sim [options]");
    EXPECT_EQ(help.Wait(), 0);
    test::SimProcess bad(TAV_ANALYZER_SIM, {"--no-such-option"});
    EXPECT_EQ(bad.Wait(), 2);
}

}  // namespace
}  // namespace tav::sim
