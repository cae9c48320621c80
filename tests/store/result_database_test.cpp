#include "store/result_database.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "platform/ini.h"
#include "store/result_list_reader.h"
#include "tests/support/sql_rows.h"
#include "tests/support/temp_dir.h"

namespace tav {
namespace {

using Strings = std::vector<std::string>;

std::string CreateStatement(const ResultTable& t) {
    const Strings sql = test::SqlRows(
        t.Handle(), "SELECT sql FROM sqlite_master WHERE name = '" + t.GetTableName() + "'");
    return sql.empty() ? "<none>" : sql[0];
}

// Adds one result per "DATE TIME" text.
void AddResults(ResultTable& t, const Strings& dateTimes) {
    for (const std::string& dt : dateTimes) {
        ASSERT_TRUE(t.AddNew());
        t.DATE = dt.substr(0, 8);
        t.TIME = dt.substr(9);
        ASSERT_TRUE(t.Commit());
    }
}

// The rows as "DATE TIME" in cursor order.
Strings Dates(ResultTable& t) {
    Strings out;
    for (t.MoveFirst(); !t.IsEOF(); t.MoveNext()) out.push_back(t.DATE.str() + " " + t.TIME.str());
    return out;
}

// Every file of the home folder with a digest of its bytes.
std::map<std::string, size_t> Snapshot(const test::TempDir& home) {
    std::map<std::string, size_t> files;
    for (const std::string& name : home.List())
        files[name] = std::hash<std::string>{}(test::ReadWholeFile(home.File(name)));
    return files;
}

// The index's columns in order, "NULL" when the index is missing.
std::string IndexColumns(sqlite3* db, const std::string& index) {
    return test::SqlRows(db,
                         "SELECT group_concat(name, ' ') FROM (SELECT name FROM "
                         "pragma_index_info('" +
                             index + "') ORDER BY seqno)")[0];
}

class ResultDatabaseTest : public ::testing::Test {
  protected:
    // A start of the program in the home folder, once the one before has closed.
    ResultDatabase& Start(Clock& with, const std::string& dir) {
        db.reset();
        db.emplace(with).OnIndexProgress = [this](int percent) { progress.push_back(percent); };
        problem = db->InitResultDatabase(dir);
        return *db;
    }
    ResultDatabase& Start(Clock& with) { return Start(with, home.path()); }
    ResultDatabase& Start() { return Start(clock); }
    // What the last start reported, as "file: reason".
    std::string Said() const { return problem ? problem->File + ": " + problem->Reason : "-"; }

    VirtualClock clock;
    test::TempDir home;
    std::optional<ResultDatabase> db;
    std::optional<StoreProblem> problem;
    std::vector<int> progress;
};

TEST_F(ResultDatabaseTest, FirstStartMakesBothDatabasesAndBothIniFilesALaterOneOpensThem) {
    Start();
    EXPECT_EQ(home.List(), (Strings{"TAVRINA1cExpert.ini", "TAVRINA1cExpert.sqlite",
                                    "TAVRINA1cExpertDown.sqlite", "user_info.ini"}));
    EXPECT_EQ(test::ReadWholeFile(home.File(kUserInfoIni)),
              "[User Count]\r\ncurrent_user=TAVRINA1cExpert.sqlite\r\ncnt=1\r\n[User Set]\r\n"
              "no1=TAVRINA1cExpert.sqlite\r\n");
    EXPECT_EQ(test::ReadWholeFile(home.File("TAVRINA1cExpert.ini")),
              "[Table Count]\r\ncurrent_table=HospitalTlb\r\ncnt=1\r\n[Table Set]\r\n"
              "no1=HospitalTlb\r\n");
    const std::string columns =
        " ( [DATE] TEXT,[TIME] TEXT,[HbA1c_VALUE] TEXT,[PID] TEXT,[OPID] TEXT,[EQ_TYPE] "
        "TEXT,[p_NAME] TEXT,[p_DOB] TEXT,[P_AGE] INT,[P_DIAGNOSE] INT,[DATE_YEAR] INT,[Remark] "
        "TEXT,[P_MEMO] TEXT)";
    EXPECT_EQ(CreateStatement(db->MainTable), "CREATE TABLE [HospitalTlb]" + columns);
    EXPECT_EQ(CreateStatement(db->DownloadTable), "CREATE TABLE [DownLoadData]" + columns);
    EXPECT_EQ(db->DatabaseReady, 1);

    AddResults(db->MainTable, {"20240101 0800", "20240301 0700", "20240301 0900"});
    db.reset();
    const auto before = Snapshot(home);
    EXPECT_EQ(Dates(Start().MainTable),
              (Strings{"20240301 0900", "20240301 0700", "20240101 0800"}));
    EXPECT_TRUE(db->DownloadTable.IsOpen());
    EXPECT_EQ(Snapshot(home), before) << "opening writes nothing, not even the header";
    EXPECT_EQ(test::SqlRows(db->MainTable.Handle(), "PRAGMA auto_vacuum"), Strings{"1"})
        << "created with full auto-vacuum";

    // Without its staging file only the download table stays closed.
    db.reset();
    ASSERT_EQ(std::remove(home.File(kDownloadDbFile).c_str()), 0);
    EXPECT_TRUE(Start().MainTable.IsOpen());
    EXPECT_FALSE(db->DownloadTable.IsOpen());
    EXPECT_EQ(home.List().size(), 3u);
}

TEST_F(ResultDatabaseTest, CurrentUserNamesTheDatabaseFileAndItsTableSet) {
    const std::string users = home.File(kUserInfoIni);
    WriteProfileString("User Count", "current_user", "clinic2.sqlite", users);
    WriteProfileString("User Count", "cnt", "1", users);
    AddResults(Start().MainTable, {"20240101 0800"});
    EXPECT_EQ(db->MainDbPath, home.File("clinic2.sqlite"));
    EXPECT_EQ(ReadProfileString("User Count", "cnt", "-1", users), "2");
    EXPECT_EQ(Dates(Start().MainTable), (Strings{"20240101 0800"}));
    EXPECT_EQ(db->CurrentTable, "HospitalTlb");

    // Another table of that file, named as current in its table set.
    ResultTable ward(clock);
    ward.SetTableName("WardB");
    ASSERT_TRUE(ward.Create(home.File("clinic2.sqlite")));
    AddResults(ward, {"20230505 1010"});
    ward.Close();
    WriteProfileString("Table Count", "current_table", "WardB", home.File("clinic2.ini"));
    EXPECT_EQ(Dates(Start().MainTable), (Strings{"20230505 1010"}));
    EXPECT_EQ(db->CurrentTable, "WardB");
    EXPECT_TRUE(db->DownloadTable.IsOpen());
    EXPECT_EQ(home.List(), (Strings{"TAVRINA1cExpertDown.sqlite", "clinic2.ini", "clinic2.sqlite",
                                    "user_info.ini"}));
}

TEST_F(ResultDatabaseTest, OlderFileGainsTheDuplicateIndexAtItsNextStartAndReportsProgress) {
    const std::string index = DuplicateIndexName(kMainTableName);
    ResultTable& first = Start().MainTable;
    EXPECT_TRUE(progress.empty()) << "an empty table is indexed without a report";
    const std::string createText = CreateStatement(first);
    AddResults(first, {"20240101 0800", "20240301 0700"});
    // What an older version left: the same table without the index.
    ASSERT_TRUE(first.Execute("DROP INDEX [" + index + "]"));

    ResultDatabase& later = Start();
    EXPECT_EQ(IndexColumns(later.MainTable.Handle(), index), "DATE TIME HbA1c_VALUE PID OPID");
    EXPECT_EQ(IndexColumns(later.DownloadTable.Handle(), DuplicateIndexName(kDownloadTableName)),
              "NULL");
    EXPECT_EQ(CreateStatement(later.MainTable), createText);
    EXPECT_EQ(Dates(later.MainTable), (Strings{"20240301 0700", "20240101 0800"}));
    EXPECT_TRUE(progress.size() >= 2 && progress.front() == 0 && progress.back() == 100 &&
                std::is_sorted(progress.begin(), progress.end()))
        << testing::PrintToString(progress);
}

TEST_F(ResultDatabaseTest, AFileOrHomeThatCannotBeUsedIsNamedWithItsReasonAndLeftAsItWas) {
    const std::string garbage(4096, 'x');
    const std::string users = "[User Count]\r\ncurrent_user=";
    // The file overwritten after a normal start, its bytes, the file named and how the reason
    // begins.
    const std::tuple<const char*, std::string, const char*, const char*> cases[] = {
        {kMainDbFile, garbage, kMainDbFile, "file is not a database"},
        {kMainDbFile, "", kMainDbFile, "the file is empty (0 bytes)"},
        {kDownloadDbFile, garbage, kDownloadDbFile, "file is not a database"},
        {"TAVRINA1cExpert.ini", "[Table Count]\r\ncurrent_table=WardX\r\n", kMainDbFile,
         "it has no table \"WardX\""},
        {kUserInfoIni, users + "\r\n", kUserInfoIni,
         "its current_user \"\" is not the name of a file"},
        {kUserInfoIni, users + "../../etc/x.sqlite\r\n", kUserInfoIni,
         "its current_user \"../../etc/x.sqlite\" is not the name of a file"},
    };
    for (const auto& [file, bytes, problemFile, reason] : cases) {
        SCOPED_TRACE(std::string(file) + " holding " + bytes.substr(0, 40));
        for (const std::string& name : home.List()) std::remove(home.File(name).c_str());
        Start();
        db.reset();
        test::WriteWholeFile(home.File(file), bytes);
        const auto before = Snapshot(home);
        Start();
        EXPECT_EQ(Said().rfind(home.File(problemFile) + ": " + reason, 0), 0u) << Said();
        EXPECT_FALSE(db->MainTable.IsOpen() || db->DownloadTable.IsOpen());
        EXPECT_EQ(db->DatabaseReady, 0);
        EXPECT_EQ(Snapshot(home), before) << "nothing is written or changed";
    }
    // A home that cannot hold files is reported with the system's reason.
    test::WriteWholeFile(home.File("home"), "");
    Start(clock, home.File("home"));
    EXPECT_EQ(Said(), home.File("home/") + kMainDbFile +
                          ": unable to open database file (Not a directory)");
}

// A clock whose pauses can end another program's lock, as a real wait would.
class LockWaitClock final : public Clock {
  public:
    int64_t NowMs() const override { return time.NowMs(); }
    int64_t Ticks() const override { return time.Ticks(); }
    double TicksPerMs() const override { return time.TicksPerMs(); }
    void SleepMs(int64_t ms) override {
        time.SleepMs(ms);
        if (onPause) onPause();
    }
    VirtualClock time;
    std::function<void()> onPause;
};

TEST_F(ResultDatabaseTest, ALockedDatabaseIsWaitedForBeforeItIsReported) {
    Start();
    db.reset();
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(home.File(kMainDbFile).c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);

    LockWaitClock waiting;
    const int64_t start = waiting.NowMs();
    Start(waiting);
    EXPECT_EQ(Said(), home.File(kMainDbFile) + ": database is locked");
    EXPECT_EQ(waiting.NowMs() - start, 2000) << "waited two seconds for the lock";

    // The other program ends its transaction during the wait: the start goes on.
    waiting.onPause = [&] { sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr); };
    EXPECT_TRUE(Start(waiting).MainTable.IsOpen()) << Said();
    EXPECT_FALSE(problem);
    db.reset();
    sqlite3_close(other);
}

using ResultListReaderTest = ResultDatabaseTest;

TEST_F(ResultListReaderTest, OneStatementReadsTheFilteredRowsInOrderIntoTheCompactArray) {
    ResultTable& t = Start().MainTable;
    const std::string createdAs = CreateStatement(t);
    ASSERT_TRUE(
        t.Execute("INSERT INTO [HospitalTlb] (DATE, PID, Remark, P_DIAGNOSE) VALUES "
                  "('20240301', 'O''NEIL', '', 2), ('20240315', 'P2', 'r\xC3\xA9mark', 0), "
                  "('20240310', '', 'x', 4)"));
    EXPECT_TRUE(EnsureResultListIndexes(t)) << "again: they exist already";
    EXPECT_EQ(CreateStatement(t), createdAs);

    t.orderBy = kDefaultResultOrder;
    t.filter = "DATE between '20240305' and '20240331'";
    ResultRowArray array;
    ListRowView row;
    {
        ResultListReader reader(t);
        while (reader.Next(row)) array.Append(row);
        EXPECT_TRUE(reader.Finished());
        EXPECT_FALSE(reader.Next(row));
    }
    ASSERT_EQ(array.Size(), 2u);
    const ListRowView first = array.At(0), second = array.At(1);
    EXPECT_EQ(std::tuple(first.DATE, first.Remark), std::tuple("20240315", "r\xC3\xA9mark"));
    EXPECT_EQ(std::tuple(second.PID, second.Remark, second.P_DIAGNOSE, second.RowId),
              std::tuple("", "x", 4, 3));
    EXPECT_EQ(array.At(2).DATE, "") << "outside the array";

    t.filter = "no such column = 1";
    EXPECT_TRUE(ResultListReader(t).Finished()) << "a failed statement reads as no rows";
    t.Close();
    EXPECT_FALSE(ResultListReader(t).Next(row));
}

}  // namespace
}  // namespace tav
