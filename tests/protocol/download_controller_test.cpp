#include "protocol/download_controller.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "protocol/link_commands.h"
#include "tests/support/controller_rig.h"
#include "tests/support/sim_link_frames.h"
#include "tests/support/sim_link_model_peer.h"

namespace tav::test {
namespace {

// One manual download from the download view to its end.
bool Download(ControllerRig& rig) {
    rig.StartManual("COM5");
    rig.clock.RunUntil([&] { return rig.state.DownloadState != -1; }, 1000);
    return rig.clock.RunUntil([&] { return rig.state.DownloadState == -1; }, 2'000'000);
}

TEST(ManualDownload, ThreeResultsAreFetchedAndHandedOver) {
    ControllerRig rig;
    ModelPeer analyzer(Analyzer(kThree));
    rig.Plug(5, &analyzer);
    ASSERT_TRUE(Download(rig));

    EXPECT_EQ(rig.host.questions,
              std::vector<std::string>{
                  "COM5 is connected.\r\nDo you want to download HbA1c results from analyzer?"});
    EXPECT_EQ(rig.link.opened, std::vector<std::string>{FakeDevice(5)});
    EXPECT_EQ(rig.payloads, std::vector<std::string>{kThree[0] + kThree[1] + kThree[2]});
    EXPECT_EQ(rig.counts, std::vector<int>{3});
    EXPECT_EQ(rig.link.written, "ST\x03ST\x03SHSE\x03SE\x03");
    EXPECT_FALSE(rig.link.IsOpen());
    EXPECT_EQ(rig.controller.RequestCount(), 1);
    EXPECT_TRUE(rig.host.messages.empty());
    EXPECT_TRUE(rig.host.Shown(text::kDataTransferred));
    // The "SU" is judged at the second 500 ms tick after the link check (400 ms
    // after the first), then "S", 500 ms, "H" go out.
    EXPECT_EQ(analyzer.Times(sim::HostCommand::DownloadRequest).back() -
                  analyzer.Times(sim::HostCommand::LinkCheck).back(),
              300 + 1000 + 500);
    // The bar counts the records as they come in, from the header's count.
    EXPECT_EQ(rig.host.countLog,
              (std::vector<std::string>{"hidden", "0 of 3", "1 of 3", "2 of 3", "3 of 3"}));
    EXPECT_EQ(rig.host.newResults, 3);
    EXPECT_FALSE(rig.host.TimerRunning(timer::kReceive));
    rig.controller.OnTimer(timer::kAuto);  // any tick refreshes the status bar
    EXPECT_EQ(rig.host.panes[3], "manual");
    EXPECT_EQ(rig.host.panes[4], "Cnt : 1");
}

TEST(ManualDownload, PortThatCannotBeOpenedGivesTheReason) {
    ControllerRig rig;
    rig.StartManual("COM9");
    rig.clock.RunDue();
    EXPECT_EQ(rig.host.messages, std::vector<std::string>{std::string(text::kPortOpenFailed) +
                                                          "\r\nNo such file or directory"});
    EXPECT_EQ(rig.state.DownloadState, -1);
}

// A download that ends early shows one message and hands nothing over. A
// failed transfer is retried with a new link check and request until its
// request limit, then reported and the port closed.
TEST(ManualDownload, DownloadThatEndsEarlyShowsOneMessage) {
    struct Row {
        const char* message;
        std::vector<std::string> records;
        sim::Faults faults;
        bool analyzerCable;
        int requests;
        int ends;                   // end commands the analyzer got
        int64_t firstRetryAfterMs;  // from the first request, at least; 0: none
        const char* shown;          // a progress text on the way
    };
    const Row rows[] = {
        // No SU to the link check.
        {text::kNoResponse, kThree, {.noAnswer = true}, true, 0, 0, 0, nullptr},
        {text::kBlankBox, {}, {}, true, 1, 2, 0, text::kBlankProgress},  // empty memory
        // Stalled data (85 of 129 record bytes): retried after the 8 s stall test and 5 s.
        {text::kFail1, kThree, {.stallAfterBytes = 8 + 85}, true, 8, 0, 13000, "Error count : 5"},
        // Nothing at all.
        {text::kFail2, kThree, {.stallAfterBytes = 0}, true, 6, 0, 15000, nullptr},
        // Incomplete on a port not known as the analyzer's.
        {text::kFail3, kThree, {.stallAfterBytes = 8 + 85}, false, 6, 0, 90000, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.message);
        ControllerRig rig;
        ModelPeer analyzer(Analyzer(row.records, row.faults));
        rig.Plug(5, &analyzer, row.analyzerCable);
        ASSERT_TRUE(Download(rig));
        EXPECT_EQ(rig.host.messages, std::vector<std::string>{row.message});
        EXPECT_TRUE(rig.payloads.empty());
        EXPECT_FALSE(rig.host.TimerRunning(timer::kReceive));
        EXPECT_EQ(analyzer.Seen(sim::HostCommand::LinkCheck), std::max(row.requests, 1) * 2);
        EXPECT_EQ(analyzer.Seen(sim::HostCommand::DownloadRequest), row.requests);
        EXPECT_EQ(analyzer.Seen(sim::HostCommand::End), row.ends);
        EXPECT_TRUE(!row.shown || rig.host.Shown(row.shown)) << row.shown;
        if (row.firstRetryAfterMs == 0) continue;
        EXPECT_FALSE(rig.link.IsOpen());
        const std::vector<int64_t> requests = analyzer.Times(sim::HostCommand::DownloadRequest);
        EXPECT_GE(requests[1] - requests[0], row.firstRetryAfterMs);
        EXPECT_LT(requests[1] - requests[0], row.firstRetryAfterMs + 8000);
    }
}

TEST(ManualDownload, CountAboveFourHundredDelaysTheStallTest) {
    for (auto [announced, firstStallAtLeast] : {std::pair{400, 8000}, {401, 90000}}) {
        SCOPED_TRACE(announced);
        ControllerRig rig;
        ModelPeer analyzer(Analyzer(kThree, {.countDelta = announced - 3}));
        rig.Plug(5, &analyzer);
        rig.StartManual("COM5");
        ASSERT_TRUE(
            rig.clock.RunUntil([&] { return rig.host.TimerRunning(timer::kReceive); }, 10000));
        const int64_t requested = rig.clock.NowMs();
        ASSERT_TRUE(rig.clock.RunUntil([&] { return rig.host.progressText == "Error count : 1"; },
                                       200'000));
        EXPECT_GE(rig.clock.NowMs() - requested, firstStallAtLeast);
        EXPECT_LT(rig.clock.NowMs() - requested, firstStallAtLeast + 4000);
        EXPECT_EQ(rig.controller.Timeouts(), announced > 400 ? kLargeTimeouts : kNormalTimeouts);
    }
}

}  // namespace
}  // namespace tav::test
