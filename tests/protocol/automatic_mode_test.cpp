#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "protocol/download_controller.h"
#include "protocol/link_commands.h"
#include "tests/support/controller_rig.h"
#include "tests/support/sim_link_frames.h"
#include "tests/support/sim_link_model_peer.h"

namespace tav::test {
namespace {

const std::string kMeasured = MakeRecord("2407011030", "058");

class AutomaticMode : public ::testing::Test {
  protected:
    void SetUp() override {
        // Note the step (with the time of the tick that entered it) and the
        // retry count after every tick of the sequencer.
        rig.host.onTimer = [this](int id) {
            const int64_t tick = rig.clock.NowMs();
            rig.controller.OnTimer(id);
            if (id != timer::kAuto) return;
            if (steps.empty() || steps.back() != rig.state.AutoStep) {
                steps.push_back(rig.state.AutoStep);
                stepTimes.push_back(tick);
            }
            if (rig.state.AutoStep <= 20) retries.push_back(rig.controller.PortRetry());
        };
    }
    bool RunToStep(int step, int64_t limitMs) {
        return rig.clock.RunUntil([&] { return rig.state.AutoStep == step; }, limitMs);
    }

    // Time from entering step `from` to the step after it, at each occurrence.
    std::vector<int64_t> StepLengths(int from) const {
        std::vector<int64_t> out;
        for (size_t i = 0; i + 1 < steps.size(); ++i)
            if (steps[i] == from) out.push_back(stepTimes[i + 1] - stepTimes[i]);
        return out;
    }

    ControllerRig rig;
    std::vector<int> steps;
    std::vector<int64_t> stepTimes;
    std::vector<int> retries;
};

TEST_F(AutomaticMode, WithoutAnAnalyzerCableItKeepsScanning) {
    rig.Plug(3, nullptr, false);
    rig.StartAutomatic();
    rig.clock.Advance(40'000);
    ASSERT_GE(steps.size(), 10u);
    EXPECT_EQ(std::vector<int>(steps.begin(), steps.begin() + 10),
              (std::vector<int>{3, 4, 2, 3, 4, 2, 3, 4, 2, 3}));
    // A scan every 2.5 s, then 1.5 s for the ports to settle (on 1 s ticks).
    for (int64_t settle : StepLengths(3)) EXPECT_EQ(settle, 2000);
    for (int64_t rescan : StepLengths(2)) EXPECT_EQ(rescan, 3000);
    EXPECT_TRUE(rig.link.opened.empty());
    EXPECT_GE(rig.host.Signalled(ev::kScanAll), 6);
}

TEST_F(AutomaticMode, AnalyzerPortsAreGreetedSixTimesEachInTurn) {
    const sim::ModelOptions mute = Analyzer({}, {.noAnswer = true});
    ModelPeer silent[] = {ModelPeer(mute), ModelPeer(mute), ModelPeer(mute)};
    for (int i = 0; i < 3; ++i) rig.Plug(5 + i, &silent[i]);
    rig.StartAutomatic();
    ASSERT_TRUE(rig.clock.RunUntil([&] { return rig.link.opened.size() == 1; }, 10'000));
    EXPECT_EQ(rig.controller.ScanCount(), 3) << "counted when the first port opens";
    ASSERT_TRUE(rig.clock.RunUntil([&] { return rig.link.opened.size() == 4; }, 1'000'000));
    EXPECT_EQ(rig.link.opened, (std::vector<std::string>{FakeDevice(5), FakeDevice(6),
                                                         FakeDevice(7), FakeDevice(5)}));
    for (auto& analyzer : silent) EXPECT_EQ(analyzer.Seen(sim::HostCommand::Greeting), 6);
    // Each unanswered greeting is given 7 s and 1.5 s pass before the next
    // (besides the 1.6 s its letters take and up to two 1 s ticks).
    const std::vector<int64_t> greetings = silent[0].Times(sim::HostCommand::Greeting);
    for (size_t i = 1; i < greetings.size(); ++i) {
        EXPECT_GE(greetings[i] - greetings[i - 1], 7000 + 1500) << i;
        EXPECT_LE(greetings[i] - greetings[i - 1], 7000 + 1500 + 1600 + 2000) << i;
    }
    // The retry count runs 0..5 on a port and is back at 0 for the next.
    EXPECT_EQ(*std::max_element(retries.begin(), retries.end()), 5);
    EXPECT_EQ(retries.back(), 0);
    EXPECT_NE(std::find(steps.begin(), steps.end(), 6), steps.end());
    EXPECT_GE(rig.host.Signalled(ev::kScanAnalyzer), 1);  // the watchdog ran meanwhile
}

TEST_F(AutomaticMode, MeasurementIsFetchedAndTheCartridgeStepsEndTheMode) {
    ModelPeer analyzer(Analyzer({}, {}, 30'000, kMeasured));
    rig.Plug(5, &analyzer);
    rig.StartAutomatic();
    ASSERT_TRUE(RunToStep(25, 60'000));
    EXPECT_TRUE(rig.host.Shown(text::kAwaitingMeasurement));
    const size_t asked = rig.host.questions.size();
    rig.host.answers = {false};
    rig.controller.OnModeButton();  // still waiting: the user is asked
    EXPECT_EQ(rig.host.questions.size(), asked + 1);

    ASSERT_TRUE(RunToStep(30, 60'000));
    EXPECT_TRUE(rig.host.Shown(text::kMeasurementCompleted));
    rig.controller.OnModeButton();  // past step 25 the button does nothing
    EXPECT_EQ(rig.host.questions.size(), asked + 1);

    ASSERT_TRUE(RunToStep(110, 60'000));
    EXPECT_EQ(StepLengths(30), std::vector<int64_t>{2000}) << "2 s before the data request";
    EXPECT_EQ(analyzer.model.ResultFramesSent(), 1);
    EXPECT_EQ(rig.payloads, std::vector<std::string>{kMeasured});
    EXPECT_FALSE(rig.link.IsOpen());
    rig.controller.OnModeButton();
    EXPECT_EQ(rig.host.questions.size(), asked + 1);

    for (const char* expected : {text::kRemoveCartridge, text::kCartridgeRemoved}) {
        rig.clock.Advance(3000);
        EXPECT_NE(rig.host.progressText, expected);  // waits for the user
        rig.host.HideProgress();
        rig.clock.Advance(1000);
        EXPECT_EQ(rig.host.progressText, expected);
        EXPECT_TRUE(rig.host.progressVisible);
    }
    rig.host.HideProgress();
    rig.clock.Advance(3000);
    EXPECT_EQ(rig.host.checkingText, text::kAutoTerminated);
    EXPECT_EQ(rig.state.AutoMode, 1);
    rig.host.HideChecking();
    rig.clock.Advance(1000);
    EXPECT_EQ(rig.state.AutoMode, 0);
    EXPECT_EQ(rig.state.AutoStep, -1);
}

TEST_F(AutomaticMode, WatchdogRestartsTheSearchWhenTheCableIsPulled) {
    ModelPeer analyzer(Analyzer({}));
    rig.Plug(5, &analyzer);
    rig.StartAutomatic();
    ASSERT_TRUE(RunToStep(25, 60'000));
    const int64_t waiting = rig.clock.NowMs();
    rig.clock.Advance(31'000);
    EXPECT_EQ(rig.state.AutoStep, 25);  // the cable is there: the watchdog changes nothing
    EXPECT_GE(rig.host.Signalled(ev::kScanAnalyzer), 2);
    // No measurement for 400 s: the search starts again, and finds the analyzer.
    ASSERT_TRUE(RunToStep(6, 410'000));
    EXPECT_GE(rig.clock.NowMs() - waiting, 400'000);
    ASSERT_TRUE(RunToStep(25, 60'000));

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

}  // namespace
}  // namespace tav::test
