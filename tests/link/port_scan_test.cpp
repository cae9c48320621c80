#include "link/port_scan.h"

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "tests/support/sim_link_fake.h"
#include "tests/support/store_recording_channel.h"

namespace tav {
namespace {

const std::string kUsbPath =
    "\\\\?\\USB#VID_067B&PID_2303#1-1#{86e0d1e0-8089-11d0-9ce4-08003e301f73}";
const std::string kAcpiPath = "\\\\?\\ACPI#PNP0501#1#{86e0d1e0-8089-11d0-9ce4-08003e301f73}";

// A port whose friendly name ends in "(COMn)" has COM number n.
PortInfo Port(const std::string& path, const std::string& friendly) {
    const size_t com = friendly.rfind("(COM");
    const int n = com == std::string::npos ? 0 : std::stoi(friendly.substr(com + 4));
    return {path, "", friendly, path == kUsbPath, "", n, "/dev/port" + std::to_string(n)};
}
const auto Usb = [](const std::string& friendly) { return Port(kUsbPath, friendly); };
const auto Acpi = [](const std::string& friendly) { return Port(kAcpiPath, friendly); };

std::vector<std::string> Names(const PortCandidateList& list) {
    std::vector<std::string> names;
    for (const PortCandidate& c : list) names.push_back(c.portName);
    return names;
}

TEST(ParsePortCandidate, CutsTheNameFromTheEndOfTheFriendlyName) {
    const std::array<std::string, 5> rows[] = {
        {kUsbPath, "Prolific USB-to-Serial Comm Port (COM7)", "COM7", "7", "USB"},
        {kUsbPath, "Prolific USB-to-Serial Comm Port (COM12)", "COM12", "12", "USB"},
        {kUsbPath, "Prolific USB-to-Serial Comm Port (COM100)", "M100", "0", "USB"},
        {kAcpiPath, "Communications Port (COM1)", "COM1", "1", "ACP"},
        {"\\\\?\\usb#x", "No port at all", "t al", "l", "USB"},
        {"\\\\?", "COM", "COM", "M", "\\\\?"},
        {"", "7)", "7)", ")", ""},
        {"", "", "", "", ""},
    };
    for (const auto& [path, friendly, portName, number, busTag] : rows) {
        PortCandidate c = ParsePortCandidate(Port(path, friendly));
        EXPECT_EQ(std::tie(c.portName, c.portNumberText, c.busTag),
                  std::tie(portName, number, busTag))
            << friendly;
    }
}

struct ScanTest : ::testing::Test {
    // A scan of every port (`all`) or of the analyzer ports, finding `ports`.
    void Scan(PortInfoList ports, bool all) {
        found.ports = std::move(ports);
        channel.Clear();
        PortScanner scanner(lists, enumerate, state, channel);
        all ? scanner.ScanAllPorts() : scanner.ScanAnalyzerPorts();
    }
    PortEnumerator enumerate = [this] { return found; };
    PortLists lists;
    LinkState state;
    VirtualClock clock;
    test::RecordingLinkChannel channel{clock};
    PortEnumeration found;
};

TEST_F(ScanTest, FullScanSortsCableCandidatesAndReportsOnlyWhenNoExchangeRuns) {
    for (int phase : {-1, 0, 1, 2}) {
        SCOPED_TRACE(phase);
        const bool idle = phase < 1;  // 1 and 2: an automatic exchange runs
        state.LinkPhase = phase;
        state.DownloadState = 3;
        lists.SetAnalyzerPortFound(0);
        Scan({Acpi("Communications Port (COM1)"), Usb("FTDI FT232R USB UART (COM4)"),
              Acpi("Prolific on another bus (COM5)"),
              Usb("Prolific USB-to-Serial Comm Port (COM12)"), Usb("prolific lower case (COM13)"),
              Usb("Prolific USB-to-Serial Comm Port (COM100)")},
             true);
        EXPECT_EQ(Names(lists.ComPortList()),
                  (std::vector<std::string>{"COM1", "COM4", "COM5", "COM12", "COM13"}));
        EXPECT_EQ(Names(lists.AnalyzerPortList()), (std::vector<std::string>{"COM12", "M100"}));
        EXPECT_EQ(lists.AnalyzerPortFound(), 1);
        EXPECT_EQ(lists.LastAnalyzerPort().portName, "M100");
        EXPECT_EQ(lists.NameTable().DeviceFor(12), "/dev/port12");
        EXPECT_EQ(state.DownloadState, idle ? 0 : 3);
        EXPECT_EQ(channel.Commands(),
                  idle ? std::vector<int>{kCommandManualMode} : std::vector<int>{});
    }
}

TEST_F(ScanTest, AnalyzerScanWithoutACableSendsCommand32OnceAndLeavesTheRest) {
    Scan({Usb("Prolific USB-to-Serial Comm Port (COM3)"), Acpi("Communications Port (COM1)")},
         true);
    Scan({Acpi("Communications Port (COM1)"), Usb("FTDI FT232R USB UART (COM4)")}, false);
    EXPECT_EQ(channel.Commands(), std::vector<int>{kCommandNoAnalyzerPort});
    EXPECT_TRUE(lists.AnalyzerPortList().empty());
    EXPECT_EQ(Names(lists.ComPortList()), (std::vector<std::string>{"COM3", "COM1"}));
    EXPECT_EQ(lists.AnalyzerPortFound(), 1);

    Scan({}, false);
    EXPECT_EQ(channel.Commands(), std::vector<int>{kCommandNoAnalyzerPort}) << "no ports at all";
    EXPECT_EQ(lists.LastAnalyzerPort().portName, "COM3") << "the last port found is kept";

    Scan({Usb("Prolific USB-to-Serial Comm Port (COM9)")}, false);
    EXPECT_TRUE(channel.Commands().empty());
    EXPECT_EQ(Names(lists.AnalyzerPortList()), std::vector<std::string>{"COM9"});
    EXPECT_EQ(lists.LastAnalyzerPort().portName, "COM9");
}

TEST_F(ScanTest, PortSelectListPreselectsTheLastAnalyzerPort) {
    Scan({Acpi("Communications Port (COM1)"), Usb("Prolific USB-to-Serial Comm Port (COM12)"),
          Acpi("Other (COM4)"), Acpi("Again (COM12)")},
         true);
    PortSelectList list = FillPortSelectList(lists);
    EXPECT_EQ(list.items, (std::vector<std::string>{"COM1", "COM12", "COM4", "COM12"}));
    EXPECT_EQ(list.selected, 3) << "the last of the equal items";

    lists.SetLastAnalyzerPortName("COM77");
    EXPECT_EQ(FillPortSelectList(lists).selected, 0);
    EXPECT_EQ(FillPortSelectList(PortLists{}).selected, -1) << "empty list";
}

TEST_F(ScanTest, OkResolvesTheTextOrRefusesNamesWithoutATableEntry) {
    Scan({Usb("Prolific USB-to-Serial Comm Port (COM3)"), Acpi("Bench (COM12)"),
          Acpi("Far (COM100)")},
         true);
    // A refused name leaves the selection and the link as they were.
    const std::tuple<std::string, bool, std::string, std::string> rows[] = {
        {"", true, "COM3", "/dev/port3"},           {"COM12", true, "COM12", "/dev/port12"},
        {"COM100", true, "COM100", "/dev/port100"}, {"COM9", true, "COM9", ""},  // no device
        {"M100", false, "before", "untouched"},     {"COM101", false, "before", "untouched"},
        {"COMX", false, "before", "untouched"},     {"7)", false, "before", "untouched"},
    };
    for (const auto& [text, ok, selected, device] : rows) {
        test::SimLink link(clock);
        link.SetPortDeviceName("untouched");
        link.SetLineSettings({1200, 7, 2, 1, 7});
        lists.SetSelectedPortText("before");
        PortChoice choice = AcceptPortSelection(text, lists, link);
        EXPECT_TRUE(choice.ok == ok && choice.error.empty() == ok) << text;
        EXPECT_EQ(std::tuple(lists.SelectedPortText(), link.PortDeviceName()),
                  std::tie(selected, device))
            << text;
        const LineSettings& s = link.Settings();
        EXPECT_EQ(std::tie(s.baudRate, s.byteSize, s.parity, s.stopBits, s.flowWord),
                  ok ? std::tuple(9600u, 8, 0, 0, 0u) : std::tuple(1200u, 7, 1, 2, 7u))
            << text << ": 9600 baud, 8N1, no flow control";
    }
}

}  // namespace
}  // namespace tav
