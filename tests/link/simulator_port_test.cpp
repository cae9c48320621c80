// The analyzer simulator, started as a person would start it, is found by the
// program's own port discovery and scan as a Prolific USB port.
#include <gtest/gtest.h>
#include <signal.h>

#include "link/port_discovery.h"
#include "link/port_scan.h"
#include "tests/support/fake_sysfs_tree.h"
#include "tests/support/sim_process.h"
#include "tests/support/store_recording_channel.h"

namespace tav {
namespace {

TEST(SimulatorPort, ShowsUpAsAProlificUsbPortAndIsPickedByTheAnalyzerScan) {
    testing::FakeSysfsTree tree;  // a machine with only an on-board port
    tree.AddOnBoardPort(0);
    test::SimProcess sim(TAV_ANALYZER_SIM, {"--home", tree.HomeDir(), "--com", "9", "--fast"});
    const std::string line = sim.ReadLine();
    ASSERT_EQ(line.rfind("COM9 ", 0), 0u) << line;
    const std::string slave = line.substr(5);

    PortEnumeration found = EnumeratePorts(tree.SysRoot(), tree.HomeDir(), tree.DevRoot());
    const PortInfo* port = nullptr;
    for (const auto& p : found.ports)
        if (p.comNumber == 9) port = &p;
    ASSERT_NE(port, nullptr);
    EXPECT_TRUE(port->usb);
    EXPECT_EQ(port->friendlyName, "Prolific USB-to-Serial Comm Port (COM9)");
    EXPECT_EQ(PortNameTable::FromPorts(found.ports).DeviceFor(9), slave);

    PortLists lists;
    LinkState state;
    VirtualClock clock;
    test::RecordingLinkChannel channel(clock);
    PortScanner scanner(lists, SystemPortEnumerator(tree.HomeDir(), tree.SysRoot(), tree.DevRoot()),
                        state, channel);
    scanner.ScanAnalyzerPorts();
    ASSERT_EQ(lists.AnalyzerPortList().size(), 1u);
    EXPECT_EQ(lists.AnalyzerPortList()[0].portName, "COM9");
    EXPECT_TRUE(channel.Commands().empty());  // 32 would mean no analyzer port

    // Once the simulator has ended its port is gone again.
    ASSERT_EQ(kill(sim.pid(), SIGTERM), 0);
    ASSERT_EQ(sim.Wait(), 0);
    scanner.ScanAnalyzerPorts();
    EXPECT_TRUE(lists.AnalyzerPortList().empty());
    EXPECT_EQ(channel.Commands(), std::vector<int>{32});
}

}  // namespace
}  // namespace tav
