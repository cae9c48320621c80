#include "protocol/download_controller.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "protocol/link_commands.h"
#include "tests/support/controller_rig.h"
#include "tests/support/sim_link_scripted_analyzer.h"

namespace tav::test {
namespace {

const std::string kThree = MakeRecord("2403150930", "065") + MakeRecord("2403151000", "071") +
                           MakeRecord("2403151100", "102");

int Occurrences(const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

class ManualDownload : public ::testing::Test {
  protected:
    void SetUp() override { rig.Plug(5, &analyzer); }
    // Answers the link check with "SU" and the request with `frame`.
    void Answer(std::string frame, std::string ready = "SU") {
        analyzer.reply = [=](const std::string& command) -> std::string {
            if (command == "ST") return ready;
            if (command == "SH") return frame;
            return {};
        };
    }
    bool Idle() const { return rig.state.DownloadState == -1; }
    bool RunToIdle(int64_t limitMs = 30'000) {
        rig.RunUntil([&] { return rig.state.DownloadState != -1; }, 1000);
        return rig.RunUntil([&] { return Idle(); }, limitMs);
    }

    ControllerRig rig;
    ScriptedAnalyzer analyzer;
};

TEST_F(ManualDownload, ThreeResultsAreFetchedStoredAndShown) {
    Answer(MakeFrame(3, kThree));
    rig.StartManual("COM5");
    ASSERT_TRUE(RunToIdle());

    EXPECT_EQ(rig.host.questions,
              std::vector<std::string>{
                  "COM5 is connected.\r\nDo you want to download HbA1c results from analyzer?"});
    EXPECT_EQ(rig.link.opened, std::vector<std::string>{FakeDevice(5)});
    EXPECT_EQ(rig.link.Settings().baudRate, 9600u);
    EXPECT_EQ(rig.payloads, std::vector<std::string>{kThree});
    EXPECT_EQ(rig.counts, std::vector<int>{3});
    EXPECT_EQ(rig.link.written, "ST\x03ST\x03SHSE\x03SE\x03");
    EXPECT_FALSE(rig.link.IsOpen());
    EXPECT_EQ(rig.host.downloadRefreshes, 1);
    EXPECT_EQ(rig.controller.RequestCount(), 1);
    EXPECT_EQ(rig.state.HandshakeSeen, 1);
    EXPECT_TRUE(rig.host.messages.empty());
    const auto& log = rig.host.progressLog;
    EXPECT_NE(std::find(log.begin(), log.end(), text::kCheckingManual), log.end());
    EXPECT_NE(std::find(log.begin(), log.end(), text::kDataTransferred), log.end());
    EXPECT_FALSE(rig.host.TimerRunning(timer::kLinkCheck));
    EXPECT_FALSE(rig.host.TimerRunning(timer::kReceive));
    rig.controller.OnTimer(timer::kAuto);  // any tick refreshes the status bar
    EXPECT_EQ(rig.host.panes[1], "COM5");
    EXPECT_EQ(rig.host.panes[2], "2024/03/15 - 09:30:05");
    EXPECT_EQ(rig.host.panes[3], "manual");
    EXPECT_EQ(rig.host.panes[4], "Cnt : 1");
}

TEST_F(ManualDownload, NothingNewIsReported) {
    Answer(MakeFrame(3, kThree));
    rig.newPerDownload = 0;
    rig.StartManual("COM5");
    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(rig.host.progressText, text::kNoNewData);
    EXPECT_EQ(rig.host.downloadRefreshes, 0);
}

TEST_F(ManualDownload, UserCanStopBeforeAnythingIsSent) {
    struct Row {
        const char* name;
        std::optional<std::string> port;
        bool yes;
        int questions;
    };
    for (const Row& row : {Row{"cancel in the port-select dialog", std::nullopt, true, 0},
                           Row{"No to the download question", "COM5", false, 1}}) {
        SCOPED_TRACE(row.name);
        rig.host.questions.clear();
        rig.host.portChoices = {row.port};
        rig.host.answers = {row.yes};
        rig.host.view = 1;
        rig.controller.OnLinkCommand(cmd::kShowDownload);
        rig.clock.RunDue();
        EXPECT_EQ(rig.state.DownloadState, -1);
        EXPECT_EQ(rig.host.questions.size(), static_cast<size_t>(row.questions));
        EXPECT_TRUE(rig.link.written.empty());
    }
}

TEST_F(ManualDownload, PortThatCannotBeOpenedGivesTheReason) {
    rig.StartManual("COM9");
    rig.clock.RunDue();
    EXPECT_EQ(rig.host.messages, std::vector<std::string>{std::string(text::kPortOpenFailed) +
                                                          "\r\nNo such file or directory"});
    EXPECT_EQ(rig.state.DownloadState, -1);
    EXPECT_TRUE(rig.host.questions.empty());
}

TEST_F(ManualDownload, SecondStartWhilePortSelectIsOpenRefreshesIt) {
    rig.host.portSelectOpen = true;
    rig.controller.OnLinkCommand(cmd::kManualStart);
    EXPECT_EQ(rig.host.portSelectRefreshes, 1);
    EXPECT_EQ(rig.state.DownloadState, 1);
}

TEST_F(ManualDownload, NoReadyAnswerIsReportedAsNoResponse) {
    for (std::string ready : {"", "SX"}) {
        SCOPED_TRACE(ready);
        rig.host.messages.clear();
        rig.link.written.clear();
        Answer(MakeFrame(3, kThree), ready);
        rig.StartManual("COM5");
        ASSERT_TRUE(RunToIdle());
        EXPECT_EQ(rig.host.messages, std::vector<std::string>{text::kNoResponse});
        EXPECT_FALSE(rig.host.progressVisible);
        EXPECT_EQ(rig.state.LetterFilter, 0);
        EXPECT_EQ(rig.link.written, "ST\x03ST\x03");
    }
}

TEST_F(ManualDownload, EmptyMemoryEndsWithTheBlankMessage) {
    Answer("S:0000,,");
    rig.StartManual("COM5");
    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(rig.host.messages, std::vector<std::string>{text::kBlankBox});
    EXPECT_EQ(rig.host.progressText, text::kBlankProgress);
    EXPECT_EQ(rig.link.written, "ST\x03ST\x03SHSE\x03SE\x03");
    EXPECT_TRUE(rig.payloads.empty());
    EXPECT_FALSE(rig.host.TimerRunning(timer::kReceive));
}

// Each way a transfer can fail is retried with a new link check and request
// until its request limit, then reported and the port closed.
TEST_F(ManualDownload, FailedTransfersAreRetriedThenReported) {
    struct Row {
        const char* name;
        std::string frame;
        bool analyzerCable;
        int requests;
        const char* message;
        int64_t firstRetryAfterMs;  // from the first request, at least
    };
    const std::vector<Row> rows = {
        {"stalled data (85 of 86 record bytes)", MakeFrame(2, kThree.substr(0, 85)), true, 8,
         text::kFail1, 8000 + 5000},
        {"nothing at all", "", true, 6, text::kFail2, 15000},
        {"incomplete on a port not known as the analyzer's", MakeFrame(2, kThree.substr(0, 85)),
         false, 6, text::kFail3, 90000},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ControllerRig rig;
        ScriptedAnalyzer analyzer;
        rig.Plug(5, &analyzer, row.analyzerCable);
        std::vector<int64_t> requestTimes;
        analyzer.reply = [&](const std::string& command) -> std::string {
            if (command == "ST") return "SU";
            if (command != "SH") return {};
            requestTimes.push_back(rig.clock.NowMs());
            return row.frame;
        };
        rig.StartManual("COM5");
        rig.RunUntil([&] { return rig.state.DownloadState != -1; }, 1000);
        ASSERT_TRUE(rig.RunUntil([&] { return rig.state.DownloadState == -1; }, 2'000'000));
        EXPECT_EQ(analyzer.Count("SH"), row.requests);
        EXPECT_EQ(analyzer.Count("ST"), row.requests * 2);
        EXPECT_EQ(rig.controller.RequestCount(), row.requests);
        EXPECT_EQ(rig.host.messages, std::vector<std::string>{row.message});
        EXPECT_FALSE(rig.link.IsOpen());
        EXPECT_FALSE(rig.ports.Found());
        EXPECT_FALSE(rig.host.TimerRunning(timer::kReceive));
        ASSERT_GE(requestTimes.size(), 2u);
        EXPECT_GE(requestTimes[1] - requestTimes[0], row.firstRetryAfterMs);
        EXPECT_LT(requestTimes[1] - requestTimes[0], row.firstRetryAfterMs + 8000);
        if (row.message == text::kFail1) {
            const auto& log = rig.host.progressLog;
            for (const char* stall : {"Error count : 1", "Error count : 5"})
                EXPECT_NE(std::find(log.begin(), log.end(), stall), log.end()) << stall;
        }
    }
}

TEST_F(ManualDownload, LargeCountDelaysTheStallTest) {
    for (auto [count, firstStallAtLeast] : {std::pair{400, 8000}, {401, 90000}}) {
        SCOPED_TRACE(count);
        ControllerRig rig;
        ScriptedAnalyzer analyzer;
        rig.Plug(5, &analyzer);
        analyzer.reply = [&](const std::string& command) -> std::string {
            if (command == "ST") return "SU";
            return command == "SH" ? MakeFrame(count, kThree) : "";
        };
        rig.StartManual("COM5");
        ASSERT_TRUE(rig.RunUntil([&] { return rig.host.TimerRunning(timer::kReceive); }, 10000));
        const int64_t requested = rig.clock.NowMs();
        ASSERT_TRUE(
            rig.RunUntil([&] { return rig.host.progressText == "Error count : 1"; }, 200'000));
        EXPECT_GE(rig.clock.NowMs() - requested, firstStallAtLeast);
        EXPECT_LT(rig.clock.NowMs() - requested, firstStallAtLeast + 4000);
        EXPECT_EQ(rig.controller.Timeouts(), count > 400 ? kLargeTimeouts : kNormalTimeouts);
    }
}

TEST_F(ManualDownload, RepeatedDownloadCountsOnlyItsOwnRequests) {
    Answer(MakeFrame(3, kThree));
    for (int i = 0; i < 2; ++i) {
        rig.StartManual("COM5");
        ASSERT_TRUE(RunToIdle());
    }
    EXPECT_EQ(rig.payloads.size(), 2u);
    EXPECT_EQ(rig.controller.RequestCount(), 1);
    EXPECT_EQ(Occurrences(rig.link.written, "SH"), 2);
}

TEST(ControllerCommands, ViewCommandsSwitchOnlyWhenNeeded) {
    ControllerRig rig;
    rig.controller.OnLinkCommand(cmd::kShowList);
    EXPECT_EQ(rig.host.view, 2);
    rig.controller.OnLinkCommand(cmd::kShowGraph);
    EXPECT_EQ(rig.host.view, 3);
    rig.controller.OnLinkCommand(cmd::kShowDownload);
    EXPECT_EQ(rig.host.view, 1);
    EXPECT_TRUE(rig.host.signals.empty());
    rig.controller.OnLinkCommand(cmd::kShowDownload);  // showing already: a new scan
    EXPECT_EQ(rig.host.signals, std::vector<int>{ev::kScanAll});
    rig.state.AutoMode = 1;
    rig.controller.OnLinkCommand(cmd::kShowDownload);
    EXPECT_EQ(rig.host.signals.size(), 1u);
    rig.controller.OnLinkCommand(cmd::kRefreshView);
    EXPECT_EQ(rig.host.downloadRefreshes, 1);
    rig.controller.OnLinkCommand(cmd::kShowHome);
    EXPECT_EQ(rig.host.view, 0);
    rig.controller.OnLinkCommand(999);
    EXPECT_EQ(rig.host.view, 0);
}

}  // namespace
}  // namespace tav::test
