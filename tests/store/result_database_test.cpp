#include "store/result_database.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/ini.h"
#include "store/result_list_reader.h"
#include "tests/support/sql_rows.h"
#include "tests/support/temp_dir.h"

namespace tav {
namespace {

using Strings = std::vector<std::string>;

std::string Ini(const std::string& path, const char* section, const char* key) {
    return ReadProfileString(section, key, "-1", path);
}

std::string CreateStatement(const ResultTable& t) {
    const Strings sql = test::SqlRows(
        t.Handle(), "SELECT sql FROM sqlite_master WHERE name = '" + t.GetTableName() + "'");
    return sql.empty() ? "<none>" : sql[0];
}

void AddResult(ResultTable& t, const char* date, const char* time) {
    ASSERT_TRUE(t.AddNew());
    t.DATE = date;
    t.TIME = time;
    ASSERT_TRUE(t.Commit());
}

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

class ResultDatabaseTest : public ::testing::Test {
  protected:
    VirtualClock clock;
    test::TempDir home;
};

TEST_F(ResultDatabaseTest, FirstStartMakesBothDatabasesAndBothIniFiles) {
    ResultDatabase db(clock);
    db.InitResultDatabase(home.path());

    EXPECT_EQ(home.List(), (Strings{"TAVRINA1cExpert.ini", "TAVRINA1cExpert.sqlite",
                                    "TAVRINA1cExpertDown.sqlite", "user_info.ini"}));
    const std::string users = home.File("user_info.ini");
    EXPECT_EQ(Ini(users, "User Count", "cnt"), "1");
    EXPECT_EQ(Ini(users, "User Count", "current_user"), "TAVRINA1cExpert.sqlite");
    EXPECT_EQ(Ini(users, "User Set", "no1"), "TAVRINA1cExpert.sqlite");
    const std::string userLines = test::ReadWholeFile(users);
    EXPECT_LT(userLines.find("current_user="), userLines.find("cnt=")) << userLines;
    const std::string tables = home.File("TAVRINA1cExpert.ini");
    EXPECT_EQ(Ini(tables, "Table Count", "cnt"), "1");
    EXPECT_EQ(Ini(tables, "Table Count", "current_table"), "HospitalTlb");
    EXPECT_EQ(Ini(tables, "Table Set", "no1"), "HospitalTlb");

    const char* columns =
        " ( [DATE] TEXT,[TIME] TEXT,[HbA1c_VALUE] TEXT,[PID] TEXT,[OPID] TEXT,[EQ_TYPE] "
        "TEXT,[p_NAME] TEXT,[p_DOB] TEXT,[P_AGE] INT,[P_DIAGNOSE] INT,[DATE_YEAR] INT,[Remark] "
        "TEXT,[P_MEMO] TEXT)";
    EXPECT_EQ(CreateStatement(db.MainTable), std::string("CREATE TABLE [HospitalTlb]") + columns);
    EXPECT_EQ(CreateStatement(db.DownloadTable),
              std::string("CREATE TABLE [DownLoadData]") + columns);
    EXPECT_EQ(db.DatabaseReady, 1);
}

TEST_F(ResultDatabaseTest, LaterStartOpensTheSameFilesNewestFirst) {
    {
        ResultDatabase first(clock);
        first.InitResultDatabase(home.path());
        AddResult(first.MainTable, "20240101", "0800");
        AddResult(first.MainTable, "20240301", "0700");
        AddResult(first.MainTable, "20240301", "0900");
    }
    const auto before = Snapshot(home);
    ResultDatabase db(clock);
    db.InitResultDatabase(home.path());
    EXPECT_TRUE(db.DownloadTable.IsOpen());
    EXPECT_EQ(Dates(db.MainTable), (Strings{"20240301 0900", "20240301 0700", "20240101 0800"}));
    EXPECT_EQ(Snapshot(home), before) << "opening writes nothing, not even the header";
    EXPECT_EQ(test::SqlRows(db.MainTable.Handle(), "PRAGMA auto_vacuum"), Strings{"1"})
        << "created with full auto-vacuum";
}

TEST_F(ResultDatabaseTest, CurrentUserNamesTheDatabaseFileAndItsTableSet) {
    for (auto [file, table] : {std::pair{"clinic2.sqlite", "WardB"},
                               std::pair{"TAVRINA1cExpertDown.sqlite", "DownLoadData"}}) {
        ResultTable t(clock);
        t.SetTableName(table);
        ASSERT_TRUE(t.Create(home.File(file)));
        if (std::string(table) == "WardB") AddResult(t, "20230505", "1010");
    }
    WriteProfileString("User Count", "current_user", "clinic2.sqlite", home.File("user_info.ini"));
    WriteProfileString("Table Count", "current_table", "WardB", home.File("clinic2.ini"));

    ResultDatabase db(clock);
    db.InitResultDatabase(home.path());
    EXPECT_EQ(db.CurrentTable, "WardB");
    EXPECT_EQ(db.MainDbPath, home.File("clinic2.sqlite"));
    ASSERT_TRUE(db.MainTable.IsOpen());
    EXPECT_EQ(Dates(db.MainTable), (Strings{"20230505 1010"}));
    EXPECT_TRUE(db.DownloadTable.IsOpen());
    EXPECT_EQ(home.List(), (Strings{"TAVRINA1cExpertDown.sqlite", "clinic2.ini", "clinic2.sqlite",
                                    "user_info.ini"}));
}

TEST_F(ResultDatabaseTest, NewUserFileNamedInTheUserListOpensAgainOnTheNextStart) {
    WriteProfileString("User Count", "current_user", "clinic2.sqlite", home.File("user_info.ini"));
    WriteProfileString("User Count", "cnt", "1", home.File("user_info.ini"));
    {
        ResultDatabase db(clock);
        db.InitResultDatabase(home.path());
        EXPECT_EQ(db.MainDbPath, home.File("clinic2.sqlite"));
        EXPECT_EQ(Ini(home.File("user_info.ini"), "User Count", "cnt"), "2");
        AddResult(db.MainTable, "20240101", "0800");
    }
    ResultDatabase db(clock);
    db.InitResultDatabase(home.path());
    EXPECT_EQ(db.CurrentTable, "HospitalTlb");
    EXPECT_EQ(Dates(db.MainTable), (Strings{"20240101 0800"}));
}

// The index's columns in order, "" when the index is missing.
std::string IndexColumns(sqlite3* db, const std::string& index) {
    std::string columns;
    for (const std::string& name :
         test::SqlRows(db, "SELECT name FROM pragma_index_info('" + index + "') ORDER BY seqno"))
        columns += name + " ";
    return columns;
}

TEST_F(ResultDatabaseTest, OlderFileGainsTheDuplicateIndexAtItsNextStartAndReportsProgress) {
    const std::string index = DuplicateIndexName("HospitalTlb");
    std::vector<int> progress;
    std::string createText;
    {
        ResultDatabase first(clock);
        first.OnIndexProgress = [&](int percent) { progress.push_back(percent); };
        first.InitResultDatabase(home.path());
        EXPECT_TRUE(progress.empty()) << "an empty table is indexed without a report";
        createText = CreateStatement(first.MainTable);
        AddResult(first.MainTable, "20240101", "0800");
        AddResult(first.MainTable, "20240301", "0700");
        // What an older version left: the same table without the index.
        ASSERT_TRUE(first.MainTable.Execute("DROP INDEX [" + index + "]"));
        ASSERT_EQ(IndexColumns(first.MainTable.Handle(), index), "");
    }
    ResultDatabase db(clock);
    db.OnIndexProgress = [&](int percent) { progress.push_back(percent); };
    db.InitResultDatabase(home.path());
    EXPECT_EQ(IndexColumns(db.MainTable.Handle(), index), "DATE TIME HbA1c_VALUE PID OPID ");
    EXPECT_EQ(IndexColumns(db.DownloadTable.Handle(), DuplicateIndexName("DownLoadData")), "");
    EXPECT_EQ(CreateStatement(db.MainTable), createText);
    EXPECT_EQ(Dates(db.MainTable), (Strings{"20240301 0700", "20240101 0800"}));
    ASSERT_GE(progress.size(), 2u);
    EXPECT_EQ(progress.front(), 0);
    EXPECT_EQ(progress.back(), 100);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
}

TEST_F(ResultDatabaseTest, MissingStagingFileLeavesOnlyTheDownloadTableClosed) {
    { ResultDatabase(clock).InitResultDatabase(home.path()); }
    ASSERT_EQ(std::remove(home.File("TAVRINA1cExpertDown.sqlite").c_str()), 0);
    ResultDatabase db(clock);
    db.InitResultDatabase(home.path());
    EXPECT_TRUE(db.MainTable.IsOpen());
    EXPECT_FALSE(db.DownloadTable.IsOpen());
    EXPECT_EQ(home.List().size(), 3u);
}

// A home folder after a normal start, with one file then overwritten.
struct BrokenStart {
    const char* file;
    std::string bytes;
    const char* problemFile;
    const char* reason;  // how the reason begins
};

TEST_F(ResultDatabaseTest, AFileThatCannotBeUsedIsNamedWithItsReasonAndLeftAsItWas) {
    const std::string garbage(4096, 'x');
    const std::string users = "[User Count]\r\ncurrent_user=";
    const BrokenStart cases[] = {
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
    for (const BrokenStart& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " holding " + c.bytes.substr(0, 40));
        test::TempDir h;
        { ResultDatabase(clock).InitResultDatabase(h.path()); }
        test::WriteWholeFile(h.File(c.file), c.bytes);
        const auto before = Snapshot(h);
        ResultDatabase db(clock);
        const std::optional<StoreProblem> problem = db.InitResultDatabase(h.path());
        ASSERT_TRUE(problem.has_value());
        EXPECT_EQ(problem->File, h.File(c.problemFile));
        EXPECT_EQ(problem->Reason.rfind(c.reason, 0), 0u) << problem->Reason;
        EXPECT_FALSE(db.MainTable.IsOpen() || db.DownloadTable.IsOpen());
        EXPECT_EQ(db.DatabaseReady, 0);
        EXPECT_EQ(Snapshot(h), before) << "nothing is written or changed";
    }
}

TEST_F(ResultDatabaseTest, AHomeThatCannotHoldFilesIsReportedWithTheSystemsReason) {
    const std::string notAFolder = home.File("home");
    test::WriteWholeFile(notAFolder, "");
    ResultDatabase db(clock);
    const std::optional<StoreProblem> problem = db.InitResultDatabase(notAFolder);
    ASSERT_TRUE(problem.has_value());
    EXPECT_EQ(problem->File, notAFolder + "/" + kMainDbFile);
    EXPECT_EQ(problem->Reason, "unable to open database file (Not a directory)");
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
    { ResultDatabase(clock).InitResultDatabase(home.path()); }
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(home.File(kMainDbFile).c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);

    LockWaitClock waiting;
    const int64_t start = waiting.NowMs();
    {
        ResultDatabase db(waiting);
        const std::optional<StoreProblem> problem = db.InitResultDatabase(home.path());
        ASSERT_TRUE(problem.has_value());
        EXPECT_EQ(problem->File, home.File(kMainDbFile));
        EXPECT_EQ(problem->Reason, "database is locked");
        EXPECT_EQ(waiting.NowMs() - start, 2000) << "waited two seconds for the lock";
    }

    // The other program ends its transaction during the wait: the start goes on.
    waiting.onPause = [&] {
        if (other) sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    };
    ResultDatabase db(waiting);
    EXPECT_FALSE(db.InitResultDatabase(home.path()).has_value());
    EXPECT_TRUE(db.MainTable.IsOpen());
    sqlite3_close(other);
}

TEST(ResultListReader, OneStatementReadsTheFilteredRowsInOrderIntoTheCompactArray) {
    VirtualClock clock;
    test::TempDir home;
    ResultDatabase db(clock);
    db.InitResultDatabase(home.path());
    ResultTable& t = db.MainTable;
    const std::string createdAs = CreateStatement(t);
    struct Row {
        const char *date, *pid, *remark;
        int diagnose;
    } rows[] = {{"20240301", "O'NEIL", "", 2},
                {"20240315", "P2", "r\xC3\xA9mark", 0},
                {"20240310", "", "x", 4}};
    for (const Row& r : rows) {
        ASSERT_TRUE(t.AddNew());
        t.DATE = r.date;
        t.PID = r.pid;
        t.Remark = r.remark;
        t.P_DIAGNOSE = r.diagnose;
        ASSERT_TRUE(t.Commit());
    }
    EXPECT_TRUE(EnsureResultListIndexes(t)) << "again: they exist already";
    EXPECT_EQ(CreateStatement(t), createdAs);

    t.orderBy = kDefaultResultOrder;
    t.filter = "DATE between '20240305' and '20240331'";
    ResultRowArray array;
    {
        ResultListReader reader(t);
        ListRowView row;
        while (reader.Next(row)) array.Append(row);
        EXPECT_TRUE(reader.Finished());
        EXPECT_FALSE(reader.Next(row));
    }
    ASSERT_EQ(array.Size(), 2u);
    EXPECT_EQ(array.At(0).DATE, "20240315");
    EXPECT_EQ(array.At(0).Remark, "r\xC3\xA9mark");
    EXPECT_EQ(array.At(1).PID, "");
    EXPECT_EQ(array.At(1).Remark, "x");
    EXPECT_EQ(array.At(1).P_DIAGNOSE, 4);
    EXPECT_EQ(array.At(1).RowId, 3);
    EXPECT_EQ(array.At(2).DATE, "") << "outside the array";

    t.filter = "[PID]='O''NEIL'";
    ResultListReader quoted(t);
    ListRowView row;
    ASSERT_TRUE(quoted.Next(row));
    EXPECT_EQ(row.PID, "O'NEIL");
    EXPECT_EQ(row.P_DIAGNOSE, 2);

    t.filter = "no such column = 1";
    ResultListReader broken(t);
    EXPECT_TRUE(broken.Finished()) << "a failed statement reads as no rows";
    t.Close();
    ResultListReader closed(t);
    EXPECT_FALSE(closed.Next(row));
}

}  // namespace
}  // namespace tav
