#include "protocol/process_download.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "tests/support/sim_link_frames.h"
#include "tests/support/sql_rows.h"
#include "tests/support/store_recording_channel.h"
#include "tests/support/temp_dir.h"

namespace tav {
namespace {

using test::MakeRecord;
using test::Pad;
using test::ReadWholeFile;
using test::RecordingLinkChannel;
using test::TempDir;
using Outcome = DownloadSummary::Outcome;

const std::string kA = MakeRecord("2403150930", "065", std::string(14, '0'), "12345");
const std::string kB = MakeRecord("2312241805", std::string("\xB0") + "72", "PAT1 X", "OP7");
const std::string kC = MakeRecord("2401020304", std::string("\x70") + "58", "PAT2", "OP7");

// Each stored row as "DATE TIME VALUE |PID|OPID|EQ_TYPE|p_DOB|DATE_YEAR".
std::vector<std::string> Rows(ResultTable& t) {
    std::vector<std::string> out;
    t.MoveFirst();
    while (!t.IsEOF()) {
        out.push_back(t.DATE.str() + " " + t.TIME.str() + " " + t.HbA1c_VALUE.str() + " |" +
                      t.PID.str() + "|" + t.OPID.str() + "|" + t.EQ_TYPE.str() + "|" +
                      t.p_DOB.str() + "|" + std::to_string(t.DATE_YEAR));
        t.MoveNext();
    }
    return out;
}

int StoredCount(const std::string& dbPath, const char* table) {
    const auto rows = test::SqlRows(dbPath, std::string("SELECT count(*) FROM [") + table + "]");
    return rows.empty() ? -1 : std::stoi(rows[0]);
}

class ProcessDownloadTest : public ::testing::Test {
  protected:
    void SetUp() override { OpenDatabase(); }

    void OpenDatabase() {
        db = std::make_unique<ResultDatabase>(clock);
        db->InitResultDatabase(home.path());
    }

    DownloadSummary Run(const std::vector<std::string>& records,
                        const DownloadObserver& observer = {}) {
        return RunPayload(std::accumulate(records.begin(), records.end(), std::string()),
                          static_cast<int>(records.size()), observer);
    }

    DownloadSummary RunPayload(const std::string& payload, int count,
                               const DownloadObserver& observer = {}) {
        link.RxPayload = payload;
        link.RecordCount = count;
        channel.Clear();
        return ProcessDownload(link, *db, channel, clock, home.path(), {}, work.path(), observer);
    }

    int MainCount() { return StoredCount(db->MainDbPath, "HospitalTlb"); }
    int StagingCount() { return StoredCount(db->DownloadDbPath, "DownLoadData"); }

    VirtualClock clock;
    TempDir home;
    TempDir work;
    LinkState link;
    RecordingLinkChannel channel{clock};
    std::unique_ptr<ResultDatabase> db;
};

// Ids keep quotes and the letters S and Z whole, and find their duplicates.
TEST_F(ProcessDownloadTest, NewRecordsGoIntoBothTablesBetweenTheEndCommands) {
    link.HandshakeSeen = 0;
    const std::string quoted = MakeRecord("2405010800", "061", "SZ'O'NEIL", "Z\"S");
    const DownloadSummary s = Run({kA, kB, quoted});
    EXPECT_EQ(s.outcome, Outcome::Stored);
    EXPECT_EQ(s.stored, 3);
    EXPECT_EQ(ReadWholeFile(home.File(kRawDataFile)), kA + kB + quoted);

    EXPECT_EQ(Rows(db->MainTable),
              (std::vector<std::string>{
                  "20240501 0800 061 |" + Pad("SZ'O'NEIL") + "|" + Pad("Z\"S") + "| |19000101|2024",
                  "20240315 0930 065 |" + Pad("") + "|" + Pad("12345") + "| |19000101|2024",
                  "20231224 1805 072 |" + Pad("PAT1 X") + "|" + Pad("OP7") +
                      "|Analyzer Tilted|19000101|2023",
              }));
    EXPECT_EQ(StagingCount(), 3);
    EXPECT_EQ(channel.Commands(), (std::vector<int>{53, 54, 500}));
    EXPECT_TRUE(channel.messages.empty());
    EXPECT_EQ(channel.counts, (std::vector<std::string>{"0 of 3", "1 of 3", "2 of 3", "3 of 3"}));
    EXPECT_EQ(Run({quoted, kA}).duplicates, 2);
}

TEST_F(ProcessDownloadTest, BadRecordEndingStoresNothingAndEndsTheDownload) {
    struct Case {
        const char* name;
        std::string payload;
        int count;
    };
    const Case cases[] = {
        {"ETX in byte 42", kA + MakeRecord("2401010101", "050", "P", "O", "\r\x03"), 2},
        {"a letter in byte 41", MakeRecord("2401010101", "050", "P", "O", "x\n") + kA, 2},
        {"a NUL inside the second record", kA + kB.substr(0, 20) + '\0' + kB.substr(21), 2},
        {"fewer bytes than the count", kA + kB, 3},
    };
    int stored = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Run({MakeRecord("2402020" + std::to_string(100 + stored), "050", "P", "O")});
        ASSERT_EQ(StagingCount(), 1);
        ++stored;
        const DownloadSummary s = RunPayload(c.payload, c.count);
        EXPECT_EQ(s.outcome, Outcome::RecordCheckFailed);
        EXPECT_EQ(channel.messages,
                  (std::vector<std::string>{
                      "Error. cyclic redundancy check : Fail.\r\nPlease download again."}));
        // The analyzer gets its end letters, the port closes, the window goes idle.
        EXPECT_EQ(channel.Commands(), (std::vector<int>{53, 54, 501}));
        EXPECT_TRUE(channel.counts.empty());
        EXPECT_EQ(MainCount(), stored);
        EXPECT_EQ(StagingCount(), 0) << "the staging table is emptied before the test";
        EXPECT_EQ(ReadWholeFile(home.File(kRawDataFile)), c.payload);
    }
}

TEST_F(ProcessDownloadTest, AutomaticModeGoesOnToTheCartridgeStepsAfterTheResult) {
    link.AutoMode = 1;
    for (const auto& [record, last] : {std::pair{kA, 500}, {kA.substr(0, 42) + "\x03", 501}}) {
        link.DownloadState = 2;
        Run({record});
        ASSERT_EQ(channel.Commands(), (std::vector<int>{53, 54, last, 35}));
        EXPECT_EQ(channel.commandTimes[3] - channel.commandTimes[2], 100);
        EXPECT_EQ(link.DownloadState.load(), -1);
    }
}

TEST_F(ProcessDownloadTest, FailedInsertStoresNoneOfTheRunAndSaysSo) {
    Run({kC});
    ASSERT_TRUE(db->MainTable.Execute(
        "CREATE TRIGGER refuse BEFORE INSERT ON HospitalTlb WHEN NEW.PID LIKE 'BAD%' "
        "BEGIN SELECT RAISE(ABORT, 'refused'); END"));
    const DownloadSummary s = Run({kA, kB, MakeRecord("2405010800", "061", "BAD", "O"),
                                   MakeRecord("2405010900", "061", "Q", "O")});
    EXPECT_EQ(s.outcome, Outcome::StoreFailed);
    EXPECT_EQ(s.stored, 0);
    EXPECT_EQ(MainCount(), 1);
    EXPECT_EQ(StagingCount(), 0);
    EXPECT_EQ(channel.messages, (std::vector<std::string>{kResultsNotSavedText}));
    EXPECT_EQ(channel.Commands(), (std::vector<int>{53, 54, 500}));
    EXPECT_FALSE(db->MainTable.InTransaction());
}

// A memory downloaded again stores only what is new; the staging table then
// holds just that, and the analyzer still gets its end letters.
TEST_F(ProcessDownloadTest, WithAndWithoutTheIndexTheSameDuplicatesAreSkipped) {
    const std::string idText = MakeRecord("2406010800", "061", "1234 5", "OP 1");
    const std::string zeros = MakeRecord("2406010900", "062", std::string(14, '0'), "OP 1");
    struct Step {
        int handshake;
        std::vector<std::string> records;
        std::pair<int, int> storedAndSkipped;
    };
    // The ids are stored as trimmed: "1234 " after a handshake, the whole
    // field with its trailing blanks without one, so those do not match.
    const Step steps[] = {
        {1, {idText, zeros, kB, kB}, {3, 1}},
        {1, {idText, zeros, kB, idText}, {0, 4}},
        {0, {idText, zeros}, {2, 0}},
        {0, {idText, kB}, {1, 1}},
        {1, {kC, idText}, {1, 1}},
    };
    TempDir homes[2];
    std::vector<std::vector<std::string>> tables;
    for (const bool indexed : {true, false}) {
        SCOPED_TRACE(indexed ? "with the index" : "without the index");
        db = std::make_unique<ResultDatabase>(clock);
        db->InitResultDatabase(homes[indexed].path());
        const std::string drop = "DROP INDEX [" + DuplicateIndexName("HospitalTlb") + "]";
        ASSERT_TRUE(indexed || db->MainTable.Execute(drop));
        for (const Step& step : steps) {
            link.HandshakeSeen = step.handshake;
            const DownloadSummary s = Run(step.records);
            EXPECT_EQ(std::make_pair(s.stored, s.duplicates), step.storedAndSkipped);
            EXPECT_EQ(StagingCount(), s.stored);
            EXPECT_EQ(db->DownloadTable.RowCount(), s.stored);
            EXPECT_EQ(channel.Commands(), (std::vector<int>{53, 54, 500}));
        }
        // Results that tie on date, time and value may list in another order.
        tables.push_back(Rows(db->MainTable));
        std::sort(tables.back().begin(), tables.back().end());
    }
    EXPECT_EQ(tables[0], tables[1]);
    EXPECT_EQ(tables[0].size(), 7u);
}

TEST_F(ProcessDownloadTest, DuplicateTestIsAnIndexLookup) {
    const std::string plan = testing::PrintToString(test::SqlRows(
        db->MainTable.Handle(),
        std::string("EXPLAIN QUERY PLAN SELECT 1 FROM [HospitalTlb] WHERE ") + kDuplicateTest));
    EXPECT_NE(plan.find("USING COVERING INDEX HospitalTlb_Duplicates"), std::string::npos) << plan;
}

TEST_F(ProcessDownloadTest, ObserverHearsHowFarStoringIsAndWhatWasStoredBeforeTheEnd) {
    std::vector<std::string> memory;
    for (int i = 0; i < 250; ++i)
        memory.push_back(
            MakeRecord("2407" + std::to_string(100000 + i).substr(0, 6), "061", "P", "O"));
    memory.push_back(memory[0]);
    std::vector<std::pair<int, int>> reached;
    size_t commandsAtFinish = 99;
    DownloadSummary told;
    DownloadObserver observer;
    observer.storing = [&](int n, int total) { reached.emplace_back(n, total); };
    observer.finished = [&](const DownloadSummary& s) {
        told = s;
        commandsAtFinish = channel.Commands().size();
    };
    Run(memory, observer);
    EXPECT_EQ(std::make_pair(told.stored, told.duplicates), std::make_pair(250, 1));
    EXPECT_EQ(commandsAtFinish, 2u) << "told after 53 and 54, before 500";
    ASSERT_FALSE(reached.empty());
    EXPECT_EQ(reached.front(), std::make_pair(1, 251));
    EXPECT_EQ(reached.back(), std::make_pair(251, 251));
    EXPECT_TRUE(std::is_sorted(reached.begin(), reached.end()));
    EXPECT_LE(reached.size(), 102u) << "at most one report per percent";
}

using ProcessDownloadDeathTest = ProcessDownloadTest;

// A clock that ends the process in the pause between dropping and re-creating
// the staging table.
class DyingInTheReset final : public Clock {
  public:
    int64_t NowMs() const override { return inner.NowMs(); }
    int64_t Ticks() const override { return inner.Ticks(); }
    double TicksPerMs() const override { return inner.TicksPerMs(); }
    void SleepMs(int64_t ms) override {
        if (ms == 200) _exit(9);
        inner.SleepMs(ms);
    }
    VirtualClock inner;
};

TEST_F(ProcessDownloadDeathTest, StagingTableSurvivesADeathInItsResetOrIsMadeAgainAtStart) {
    enum class Loss { KilledInTheReset, DroppedByAnOlderVersion };
    for (const Loss loss : {Loss::KilledInTheReset, Loss::DroppedByAnOlderVersion}) {
        SCOPED_TRACE(loss == Loss::KilledInTheReset ? "killed" : "dropped");
        const std::string first =
            MakeRecord("2408010800", "061", "P" + std::to_string(int(loss)), "O");
        const std::string next =
            MakeRecord("2408020800", "062", "Q" + std::to_string(int(loss)), "O");
        Run({first});
        ASSERT_EQ(StagingCount(), 1);
        const bool drop = loss == Loss::DroppedByAnOlderVersion;
        ASSERT_TRUE(!drop || db->DownloadTable.Execute("DROP TABLE [DownLoadData]"));
        db->Close();
        if (loss == Loss::KilledInTheReset) {
            EXPECT_EXIT(
                {
                    DyingInTheReset dying;
                    ResultDatabase child(dying);
                    child.InitResultDatabase(home.path());
                    link.RxPayload = next;
                    link.RecordCount = 1;
                    ProcessDownload(link, child, channel, dying, home.path(), {}, work.path());
                    _exit(0);
                },
                ::testing::ExitedWithCode(9), "");
        }
        OpenDatabase();
        // A reset cut short is undone; a table lost for good is made again.
        EXPECT_EQ(StagingCount(), loss == Loss::KilledInTheReset ? 1 : 0);
        EXPECT_EQ(Run({next}).stored, 1);
        EXPECT_EQ(Rows(db->DownloadTable).size(), 1u) << "the download lists its result";
        EXPECT_EQ(Rows(db->DownloadTable)[0].substr(0, 17), "20240802 0800 062");
    }
}

TEST_F(ProcessDownloadDeathTest, RunKilledHalfWayLeavesTheDatabaseAsItWas) {
    Run({kC});
    db->Close();
    const std::vector<std::string> memory = {kA, kB, kC, MakeRecord("2405010800", "061", "P", "O")};
    EXPECT_EXIT(
        {
            ResultDatabase child(clock);
            child.InitResultDatabase(home.path());
            RecordingLinkChannel dying(clock);
            int acknowledged = 0;
            dying.onProgress = [&](const std::string& text) {
                // Two results are in when the third is acknowledged.
                if (text == kRecordsAcknowledgedText && ++acknowledged == 3) _exit(7);
            };
            link.RxPayload = memory[0] + memory[1] + memory[2] + memory[3];
            link.RecordCount = 4;
            ProcessDownload(link, child, dying, clock, home.path(), {}, work.path());
            _exit(0);
        },
        ::testing::ExitedWithCode(7), "");
    OpenDatabase();
    EXPECT_EQ(MainCount(), 1);
    const DownloadSummary repeat = Run(memory);
    EXPECT_EQ(repeat.stored, 3);
    EXPECT_EQ(repeat.duplicates, 1);
    EXPECT_EQ(MainCount(), 4);
    EXPECT_EQ(StagingCount(), 3);
}

}  // namespace
}  // namespace tav
