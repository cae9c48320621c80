#include "protocol/download_controller.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "protocol/link_commands.h"
#include "protocol/process_download.h"
#include "store/result_database.h"
#include "tests/support/controller_rig.h"
#include "tests/support/sim_link_frames.h"
#include "tests/support/sim_link_model_peer.h"
#include "tests/support/temp_dir.h"

namespace tav::test {
namespace {

const std::vector<std::string> kThree = {MakeRecord("2403150930", "065"),
                                         MakeRecord("2403151000", "071"),
                                         MakeRecord("2403151100", "102")};

std::string Joined(const std::vector<std::string>& records) {
    std::string all;
    for (const auto& r : records) all += r;
    return all;
}

sim::ModelOptions Memory(std::vector<std::string> records, sim::Faults faults = {}) {
    sim::ModelOptions options;
    options.records = std::move(records);
    options.faults = faults;
    return options;
}

bool Shown(const ScriptedHost& host, const std::string& text) {
    return std::find(host.progressLog.begin(), host.progressLog.end(), text) !=
           host.progressLog.end();
}

// One manual download from the download view to its end.
bool Download(ControllerRig& rig, const std::string& port = "COM5", int64_t limitMs = 2'000'000) {
    rig.StartManual(port);
    rig.RunUntil([&] { return rig.state.DownloadState != -1; }, 1000);
    return rig.RunUntil([&] { return rig.state.DownloadState == -1; }, limitMs);
}

TEST(ManualDownload, ThreeResultsAreFetchedAndHandedOver) {
    ControllerRig rig;
    ModelPeer analyzer(Memory(kThree));
    rig.Plug(5, &analyzer);
    ASSERT_TRUE(Download(rig));

    EXPECT_EQ(rig.host.questions,
              std::vector<std::string>{
                  "COM5 is connected.\r\nDo you want to download HbA1c results from analyzer?"});
    EXPECT_EQ(rig.link.opened, std::vector<std::string>{FakeDevice(5)});
    EXPECT_EQ(rig.link.Settings().baudRate, 9600u);
    EXPECT_EQ(rig.payloads, std::vector<std::string>{Joined(kThree)});
    EXPECT_EQ(rig.counts, std::vector<int>{3});
    EXPECT_EQ(rig.link.written, "ST\x03ST\x03SHSE\x03SE\x03");
    EXPECT_FALSE(rig.link.IsOpen());
    EXPECT_EQ(rig.host.downloadRefreshes, 1);
    EXPECT_EQ(rig.controller.RequestCount(), 1);
    EXPECT_EQ(rig.state.HandshakeSeen, 1);
    EXPECT_TRUE(rig.host.messages.empty());
    EXPECT_TRUE(Shown(rig.host, text::kCheckingManual));
    EXPECT_TRUE(Shown(rig.host, text::kDataTransferred));
    EXPECT_FALSE(rig.host.TimerRunning(timer::kLinkCheck));
    EXPECT_FALSE(rig.host.TimerRunning(timer::kReceive));
    rig.controller.OnTimer(timer::kAuto);  // any tick refreshes the status bar
    EXPECT_EQ(rig.host.panes[1], "COM5");
    EXPECT_EQ(rig.host.panes[2], "2024/03/15 - 09:30:05");
    EXPECT_EQ(rig.host.panes[3], "manual");
    EXPECT_EQ(rig.host.panes[4], "Cnt : 1");
}

// With the real processing and result store: the second download of the same
// memory finds nothing new.
TEST(ManualDownload, ResultsAreStoredOnceAndARepeatFindsNothingNew) {
    TempDir home;
    ControllerRig rig;
    ResultDatabase db(rig.clock);
    db.InitResultDatabase(home.path());
    rig.decode = [&] {
        ProcessDownload(rig.state, db, rig.channel, rig.clock, home.path(), IdDigits{},
                        home.path());
    };
    rig.newResults = [&] { return db.DownloadTable.RowCount(); };
    ModelPeer analyzer(Memory(kThree));
    rig.Plug(5, &analyzer);

    ASSERT_TRUE(Download(rig));
    EXPECT_EQ(db.MainTable.RowCount(), 3);
    EXPECT_EQ(rig.host.downloadRefreshes, 1);
    EXPECT_EQ(analyzer.model.EndLettersTaken(), 2);  // "S" "E" ETX twice

    ASSERT_TRUE(Download(rig));
    EXPECT_EQ(db.MainTable.RowCount(), 3);
    EXPECT_EQ(db.DownloadTable.RowCount(), 0);
    EXPECT_EQ(rig.host.downloadRefreshes, 1);
    EXPECT_EQ(rig.host.progressText, text::kNoNewData);
    EXPECT_EQ(rig.controller.RequestCount(), 1);
    EXPECT_TRUE(rig.host.messages.empty());
}

TEST(ManualDownload, UserCanStopBeforeAnythingIsSent) {
    struct Row {
        const char* name;
        std::optional<std::string> port;
        bool yes;
        size_t questions;
    };
    for (const Row& row : {Row{"cancel in the port-select dialog", std::nullopt, true, 0},
                           Row{"No to the download question", "COM5", false, 1}}) {
        SCOPED_TRACE(row.name);
        ControllerRig rig;
        rig.Plug(5, nullptr);
        rig.host.portChoices = {row.port};
        rig.host.answers = {row.yes};
        rig.host.view = 1;
        rig.controller.OnLinkCommand(cmd::kShowDownload);
        rig.clock.RunDue();
        EXPECT_EQ(rig.state.DownloadState, -1);
        EXPECT_EQ(rig.host.questions.size(), row.questions);
        EXPECT_TRUE(rig.link.written.empty());
    }
}

TEST(ManualDownload, PortThatCannotBeOpenedGivesTheReason) {
    ControllerRig rig;
    rig.StartManual("COM9");
    rig.clock.RunDue();
    EXPECT_EQ(rig.host.messages, std::vector<std::string>{std::string(text::kPortOpenFailed) +
                                                          "\r\nNo such file or directory"});
    EXPECT_EQ(rig.state.DownloadState, -1);
    EXPECT_TRUE(rig.host.questions.empty());
}

TEST(ManualDownload, SilentAnalyzerIsReportedAsNoResponse) {
    ControllerRig rig;
    sim::Faults silent;
    silent.noAnswer = true;
    ModelPeer analyzer(Memory(kThree, silent));
    rig.Plug(5, &analyzer);
    ASSERT_TRUE(Download(rig));
    EXPECT_EQ(rig.host.messages, std::vector<std::string>{text::kNoResponse});
    EXPECT_FALSE(rig.host.progressVisible);
    EXPECT_EQ(rig.state.LetterFilter, 0);
    EXPECT_EQ(rig.link.written, "ST\x03ST\x03");
}

TEST(ManualDownload, EmptyMemoryEndsWithTheBlankMessage) {
    ControllerRig rig;
    ModelPeer analyzer(Memory({}));
    rig.Plug(5, &analyzer);
    ASSERT_TRUE(Download(rig));
    EXPECT_EQ(rig.host.messages, std::vector<std::string>{text::kBlankBox});
    EXPECT_EQ(rig.host.progressText, text::kBlankProgress);
    EXPECT_EQ(rig.link.written, "ST\x03ST\x03SHSE\x03SE\x03");
    EXPECT_EQ(analyzer.Seen(sim::HostCommand::End), 2);
    EXPECT_TRUE(rig.payloads.empty());
    EXPECT_FALSE(rig.host.TimerRunning(timer::kReceive));
}

// Each way a transfer can fail is retried with a new link check and request
// until its request limit, then reported and the port closed.
TEST(ManualDownload, FailedTransfersAreRetriedThenReported) {
    struct Row {
        const char* name;
        long stallAfterBytes;
        bool analyzerCable;
        int requests;
        const char* message;
        int64_t firstRetryAfterMs;  // from the first request, at least
    };
    const std::vector<Row> rows = {
        {"stalled data (85 of 86 record bytes)", 8 + 85, true, 8, text::kFail1, 8000 + 5000},
        {"nothing at all", 0, true, 6, text::kFail2, 15000},
        {"incomplete on a port not known as the analyzer's", 8 + 85, false, 6, text::kFail3, 90000},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ControllerRig rig;
        sim::Faults faults;
        faults.stallAfterBytes = row.stallAfterBytes;
        ModelPeer analyzer(Memory({kThree[0], kThree[1]}, faults));
        rig.Plug(5, &analyzer, row.analyzerCable);
        ASSERT_TRUE(Download(rig));

        EXPECT_EQ(analyzer.Seen(sim::HostCommand::DownloadRequest), row.requests);
        EXPECT_EQ(analyzer.Seen(sim::HostCommand::LinkCheck), row.requests * 2);
        EXPECT_EQ(rig.controller.RequestCount(), row.requests);
        EXPECT_EQ(rig.host.messages, std::vector<std::string>{row.message});
        EXPECT_FALSE(rig.link.IsOpen());
        EXPECT_FALSE(rig.ports.Found());
        EXPECT_FALSE(rig.host.TimerRunning(timer::kReceive));
        EXPECT_TRUE(rig.payloads.empty());
        std::vector<int64_t> requests;
        for (const auto& seen : analyzer.model.Commands())
            if (seen.command == sim::HostCommand::DownloadRequest) requests.push_back(seen.atMs);
        ASSERT_GE(requests.size(), 2u);
        EXPECT_GE(requests[1] - requests[0], row.firstRetryAfterMs);
        EXPECT_LT(requests[1] - requests[0], row.firstRetryAfterMs + 8000);
        if (row.message == text::kFail1) {
            for (const char* stall : {"Error count : 1", "Error count : 5"})
                EXPECT_TRUE(Shown(rig.host, stall)) << stall;
        }
    }
}

TEST(ManualDownload, CountAboveFourHundredDelaysTheStallTest) {
    for (auto [announced, firstStallAtLeast] : {std::pair{400, 8000}, {401, 90000}}) {
        SCOPED_TRACE(announced);
        ControllerRig rig;
        sim::Faults faults;
        faults.countDelta = announced - 3;
        ModelPeer analyzer(Memory(kThree, faults));
        rig.Plug(5, &analyzer);
        rig.StartManual("COM5");
        ASSERT_TRUE(rig.RunUntil([&] { return rig.host.TimerRunning(timer::kReceive); }, 10000));
        const int64_t requested = rig.clock.NowMs();
        ASSERT_TRUE(
            rig.RunUntil([&] { return rig.host.progressText == "Error count : 1"; }, 200'000));
        EXPECT_GE(rig.clock.NowMs() - requested, firstStallAtLeast);
        EXPECT_LT(rig.clock.NowMs() - requested, firstStallAtLeast + 4000);
        EXPECT_EQ(rig.controller.Timeouts(), announced > 400 ? kLargeTimeouts : kNormalTimeouts);
    }
}

// 2200 records take about 99 s at 9600 baud, past the normal last limit of
// 90 s: the raised limits let them arrive in one request.
TEST(ManualDownload, LargeMemoryArrivesInOneRequest) {
    ControllerRig rig;
    sim::GenerateOptions generate;
    generate.count = 2200;
    ModelPeer analyzer(Memory(sim::GenerateRecords(generate)));
    rig.Plug(5, &analyzer);
    ASSERT_TRUE(Download(rig));
    EXPECT_EQ(rig.counts, std::vector<int>{2200});
    EXPECT_EQ(rig.controller.RequestCount(), 1);
    EXPECT_TRUE(rig.host.messages.empty());
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
