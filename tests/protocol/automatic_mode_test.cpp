#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "link/port_scan.h"
#include "protocol/analyzer_ports.h"
#include "protocol/download_controller.h"
#include "protocol/link_commands.h"
#include "tests/support/controller_rig.h"
#include "tests/support/sim_link_frames.h"
#include "tests/support/sim_link_model_peer.h"

namespace tav::test {
namespace {

sim::ModelOptions Analyzer(int measurementDelayMs = -1, bool silent = false) {
    sim::ModelOptions options;
    options.measurementDelayMs = measurementDelayMs;
    options.measurementRecord = MakeRecord("2407011030", "058");
    options.faults.noAnswer = silent;
    return options;
}

class AutomaticMode : public ::testing::Test {
  protected:
    void SetUp() override {
        // Note the step and the retry count after every tick of the sequencer.
        rig.host.onTimer = [this](int id) {
            rig.controller.OnTimer(id);
            if (id != timer::kAuto) return;
            if (steps.empty() || steps.back() != rig.state.AutoStep)
                steps.push_back(rig.state.AutoStep);
            if (rig.state.AutoStep <= 20) retries.push_back(rig.controller.PortRetry());
        };
    }
    bool RunToStep(int step, int64_t limitMs) {
        return rig.RunUntil([&] { return rig.state.AutoStep == step; }, limitMs);
    }
    bool Shown(const std::string& text) const {
        const auto& log = rig.host.progressLog;
        return std::find(log.begin(), log.end(), text) != log.end();
    }
    int Signals(int event) const {
        return static_cast<int>(
            std::count(rig.host.signals.begin(), rig.host.signals.end(), event));
    }
    size_t Questions() const { return rig.host.questions.size(); }

    ControllerRig rig;
    std::vector<int> steps;
    std::vector<int> retries;
};

TEST_F(AutomaticMode, WithoutAnAnalyzerCableItKeepsScanning) {
    rig.Plug(3, nullptr, false);
    rig.StartAutomatic();
    EXPECT_EQ(rig.host.progressText, text::kInitAuto);
    EXPECT_EQ(rig.host.panes[3], "automatic");
    EXPECT_EQ(rig.host.view, 1);
    rig.clock.Advance(40'000);
    ASSERT_GE(steps.size(), 10u);
    EXPECT_EQ(std::vector<int>(steps.begin(), steps.begin() + 10),
              (std::vector<int>{3, 4, 2, 3, 4, 2, 3, 4, 2, 3}));
    EXPECT_TRUE(rig.link.opened.empty());
    EXPECT_GE(Signals(ev::kScanAll), 6);
    EXPECT_EQ(rig.host.panes[4].rfind("SEQ : ", 0), 0u);
}

TEST_F(AutomaticMode, AnalyzerPortsAreGreetedSixTimesEachInTurn) {
    ModelPeer silent[] = {ModelPeer(Analyzer(-1, true)), ModelPeer(Analyzer(-1, true)),
                          ModelPeer(Analyzer(-1, true))};
    for (int i = 0; i < 3; ++i) rig.Plug(5 + i, &silent[i]);
    rig.StartAutomatic();
    ASSERT_TRUE(rig.RunUntil([&] { return rig.link.opened.size() == 1; }, 10'000));
    rig.clock.Advance(1000);
    EXPECT_EQ(rig.host.panes[1], "COM6");  // the entry tried next
    ASSERT_TRUE(rig.RunUntil([&] { return rig.link.opened.size() == 4; }, 1'000'000));
    EXPECT_EQ(rig.link.opened, (std::vector<std::string>{FakeDevice(5), FakeDevice(6),
                                                         FakeDevice(7), FakeDevice(5)}));
    for (auto& analyzer : silent) EXPECT_EQ(analyzer.Seen(sim::HostCommand::Greeting), 6);
    EXPECT_EQ(rig.controller.ScanCount(), 3);
    // The retry count runs 0..5 on a port and is back at 0 for the next.
    EXPECT_EQ(*std::max_element(retries.begin(), retries.end()), 5);
    EXPECT_EQ(retries.back(), 0);
    EXPECT_NE(std::find(steps.begin(), steps.end(), 6), steps.end());
    EXPECT_GE(Signals(ev::kScanAnalyzer), 1);  // the watchdog ran meanwhile
}

TEST_F(AutomaticMode, MeasurementIsFetchedAndTheCartridgeStepsEndTheMode) {
    ModelPeer analyzer(Analyzer(30'000));
    rig.Plug(5, &analyzer);
    rig.StartAutomatic();
    ASSERT_TRUE(RunToStep(25, 60'000));
    EXPECT_TRUE(Shown(text::kAwaitingMeasurement));
    const size_t asked = Questions();
    rig.host.answers = {false};
    rig.controller.OnModeButton();  // still waiting: the user is asked
    EXPECT_EQ(Questions(), asked + 1);

    ASSERT_TRUE(RunToStep(30, 60'000));
    EXPECT_TRUE(Shown(text::kMeasurementCompleted));
    rig.controller.OnModeButton();  // past step 25 the button does nothing
    EXPECT_EQ(Questions(), asked + 1);

    ASSERT_TRUE(RunToStep(110, 60'000));
    EXPECT_EQ(analyzer.model.ResultFramesSent(), 1);
    EXPECT_EQ(rig.payloads, std::vector<std::string>{MakeRecord("2407011030", "058")});
    EXPECT_EQ(rig.counts, std::vector<int>{1});
    EXPECT_EQ(rig.host.downloadRefreshes, 1);
    EXPECT_GT(rig.link.purges, 0);
    EXPECT_FALSE(rig.link.IsOpen());
    rig.controller.OnModeButton();
    EXPECT_EQ(Questions(), asked + 1);

    for (const char* expected : {text::kRemoveCartridge, text::kCartridgeRemoved}) {
        rig.clock.Advance(3000);
        EXPECT_NE(rig.host.progressText, expected);  // waits for the user
        rig.host.CloseProgress();
        rig.clock.Advance(1000);
        EXPECT_EQ(rig.host.progressText, expected);
        EXPECT_TRUE(rig.host.progressVisible);
    }
    rig.host.CloseProgress();
    rig.clock.Advance(3000);
    EXPECT_EQ(rig.host.checkingText, text::kAutoTerminated);
    EXPECT_EQ(rig.state.AutoMode, 1);
    rig.host.CloseChecking();
    rig.clock.Advance(1000);
    EXPECT_EQ(rig.state.AutoMode, 0);
    EXPECT_EQ(rig.state.AutoStep, -1);
    EXPECT_EQ(rig.state.LinkPhase, 0);
    EXPECT_EQ(rig.controller.ScanIndex(), 0);
}

TEST_F(AutomaticMode, WatchdogRestartsTheSearchWhenTheCableIsPulled) {
    ModelPeer analyzer(Analyzer());
    rig.Plug(5, &analyzer);
    rig.StartAutomatic();
    ASSERT_TRUE(RunToStep(25, 60'000));
    rig.clock.Advance(31'000);
    EXPECT_EQ(rig.state.AutoStep, 25);  // the cable is there: the watchdog changes nothing
    EXPECT_GE(Signals(ev::kScanAnalyzer), 2);

    rig.Unplug(5);
    const int64_t pulled = rig.clock.NowMs();
    ASSERT_TRUE(RunToStep(6, 20'000));
    EXPECT_LE(rig.clock.NowMs() - pulled, 17'000);
    steps.clear();
    rig.clock.Advance(20'000);
    ASSERT_GE(steps.size(), 5u);
    EXPECT_EQ(std::vector<int>(steps.begin(), steps.begin() + 5),
              (std::vector<int>{7, 2, 3, 4, 2}));
    EXPECT_FALSE(rig.link.IsOpen());
}

TEST_F(AutomaticMode, NoMeasurementWithinFourHundredSecondsGreetsAgain) {
    ModelPeer analyzer(Analyzer());
    rig.Plug(5, &analyzer);
    rig.StartAutomatic();
    ASSERT_TRUE(RunToStep(25, 60'000));
    const uint32_t entered = rig.state.AutoStepStamp;
    ASSERT_TRUE(RunToStep(6, 500'000));
    const uint32_t waited = rig.clock.TickCount() - entered;
    EXPECT_GE(waited, 400'000u);
    EXPECT_LE(waited, 401'000u);
    ASSERT_TRUE(RunToStep(25, 60'000));
    EXPECT_EQ(analyzer.Seen(sim::HostCommand::Greeting), 2);
}

TEST_F(AutomaticMode, ModeButtonSwitchesBetweenTheModes) {
    ModelPeer analyzer(Analyzer(-1, true));
    rig.Plug(5, &analyzer);
    rig.host.answers = {true};
    rig.controller.OnModeButton();
    EXPECT_EQ(rig.host.questions.back(), text::kAskAuto);
    EXPECT_EQ(rig.state.AutoMode, 1);
    EXPECT_EQ(rig.state.AutoStep, 0);
    EXPECT_EQ(rig.host.listClears, 1);
    EXPECT_TRUE(rig.host.TimerRunning(timer::kAuto));
    ASSERT_TRUE(RunToStep(20, 30'000));

    rig.link.written.clear();
    rig.host.answers = {true};
    rig.host.portChoices = {std::nullopt};
    rig.controller.OnModeButton();
    EXPECT_EQ(rig.host.questions.back(), text::kAskManual);
    EXPECT_EQ(rig.link.written, "SE\x03SE\x03");
    EXPECT_EQ(rig.state.AutoMode, 0);
    EXPECT_EQ(rig.state.AutoStep, -1);
    EXPECT_EQ(rig.state.LinkPhase, 0);
    EXPECT_FALSE(rig.host.TimerRunning(timer::kAuto));
    EXPECT_EQ(rig.host.panes[3], "manual");
    EXPECT_EQ(rig.state.DownloadState, -1);  // the port-select dialog was cancelled

    // A watchdog scan that reports back after the switch changes nothing.
    rig.controller.OnLinkCommand(cmd::kRestartScan);
    EXPECT_EQ(rig.state.AutoStep, -1);
    EXPECT_EQ(rig.state.LinkPhase, 0);
}

// The same sequence on the program's own port scans and lists.
TEST(AutomaticModeOnPortScans, CableFoundByTheScansIsUsedUntilItIsPulled) {
    VirtualClock clock(0);
    LinkState state;
    ScriptedHost host(clock);
    SimLink link(clock);
    PortLists lists;
    ScannedAnalyzerPorts ports(lists);
    bool plugged = true;
    auto enumerate = [&] {
        PortInfo board;
        board.devicePath = "\\\\?\\ACPI#PNP0501#0#{86e0d1e0}";
        board.friendlyName = "Communications Port (COM1)";
        board.comNumber = 1;
        board.deviceNode = "/dev/ttyS0";
        PortInfo cable;
        cable.devicePath = "\\\\?\\USB#VID_067B&PID_2303#5&1#{86e0d1e0}";
        cable.friendlyName = "Prolific USB-to-Serial Comm Port (COM5)";
        cable.usb = true;
        cable.comNumber = 5;
        cable.deviceNode = "/dev/ttyUSB0";
        PortEnumeration found;
        found.ports = {board};
        if (plugged) found.ports.push_back(cable);
        return found;
    };
    ModelPeer analyzer(Analyzer(20'000));
    link.Attach("/dev/ttyUSB0", &analyzer);
    link.Attach("/dev/ttyS0", nullptr);
    InlineHandoff handoff;
    std::vector<std::string> payloads;
    DownloadController controller(state, link, clock, host, ports,
                                  [&] { return static_cast<int>(payloads.size()); });
    HandoffLinkChannel channel(handoff, controller, host);
    PortScanner scanner(lists, enumerate, state, channel);
    host.onTimer = [&](int id) { controller.OnTimer(id); };
    host.onWorker = [&](int event) {
        if (event == ev::kScanAll) scanner.ScanAllPorts();
        if (event == ev::kScanAnalyzer) scanner.ScanAnalyzerPorts();
        if (event != ev::kDecode) return;
        payloads.push_back(state.RxPayload);
        channel.SendLinkCommand(cmd::kEndAfterDecode);
        channel.SendLinkCommand(cmd::kClosePort);
        channel.SendLinkCommand(cmd::kDownloadFinished);
        state.DownloadState = -1;
        channel.SendLinkCommand(cmd::kCartridgeRemoval);
    };

    state.AutoMode = 1;
    controller.OnLinkCommand(cmd::kStartAuto);
    ASSERT_TRUE(clock.RunUntil([&] { return state.AutoStep == 110; }, 120'000));
    EXPECT_EQ(link.opened, std::vector<std::string>{"/dev/ttyUSB0"});
    EXPECT_EQ(lists.LastAnalyzerPort().portName, "COM5");
    EXPECT_EQ(payloads, std::vector<std::string>{MakeRecord("2407011030", "058")});

    plugged = false;
    link.Detach("/dev/ttyUSB0");
    ASSERT_TRUE(clock.RunUntil([&] { return state.AutoStep == 6; }, 17'000));
}

}  // namespace
}  // namespace tav::test
