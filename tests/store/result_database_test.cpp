#include "store/result_database.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>
#include <vector>

#include "platform/ini.h"
#include "tests/support/temp_dir.h"

namespace tav {
namespace {

using test::TempDir;

std::string Ini(const std::string& path, const char* section, const char* key) {
    char buffer[100] = {};
    ReadProfileString(section, key, "-1", buffer, sizeof buffer, path.c_str());
    return buffer;
}

std::string CreateStatement(const std::string& dbPath, const std::string& table) {
    sqlite3* db = nullptr;
    std::string sql = "<none>";
    if (sqlite3_open_v2(dbPath.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db, "SELECT sql FROM sqlite_master WHERE name = ?", -1, &stmt, nullptr);
        sqlite3_bind_text(stmt, 1, table.c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(stmt) == SQLITE_ROW)
            sql = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return sql;
}

void AddResult(ResultTable& t, const char* date, const char* time, const char* value) {
    ASSERT_TRUE(t.AddNew());
    t.DATE = date;
    t.TIME = time;
    t.HbA1c_VALUE = value;
    ASSERT_TRUE(t.Commit());
}

// Makes a database file holding `table` with the given results.
void MakeDatabase(Clock& clock, const std::string& path, const std::string& table,
                  const std::vector<std::vector<const char*>>& rows) {
    ResultTable t(clock);
    t.SetTableName(table);
    ASSERT_TRUE(t.Create(path));
    for (const auto& r : rows) AddResult(t, r[0], r[1], r[2]);
}

std::vector<std::string> Dates(ResultTable& t) {
    std::vector<std::string> out;
    t.MoveFirst();
    while (!t.IsEOF()) {
        out.push_back(t.DATE.str() + " " + t.TIME.str());
        t.MoveNext();
    }
    return out;
}

class ResultDatabaseTest : public ::testing::Test {
  protected:
    VirtualClock clock;
    TempDir home;
};

TEST_F(ResultDatabaseTest, FirstStartMakesBothDatabasesAndBothIniFiles) {
    ResultDatabase db(clock);
    db.InitResultDatabase(home.path());

    EXPECT_EQ(home.List(),
              (std::vector<std::string>{"TAVRINA1cExpert.ini", "TAVRINA1cExpert.sqlite",
                                        "TAVRINA1cExpertDown.sqlite", "user_info.ini"}));
    const std::string users = home.File("user_info.ini");
    EXPECT_EQ(Ini(users, "User Count", "cnt"), "1");
    EXPECT_EQ(Ini(users, "User Count", "current_user"), "TAVRINA1cExpert.sqlite");
    EXPECT_EQ(Ini(users, "User Set", "no1"), "TAVRINA1cExpert.sqlite");
    const std::string tables = home.File("TAVRINA1cExpert.ini");
    EXPECT_EQ(Ini(tables, "Table Count", "cnt"), "1");
    EXPECT_EQ(Ini(tables, "Table Count", "current_table"), "HospitalTlb");
    EXPECT_EQ(Ini(tables, "Table Set", "no1"), "HospitalTlb");

    const char* columns =
        " ( [DATE] TEXT,[TIME] TEXT,[HbA1c_VALUE] TEXT,[PID] TEXT,[OPID] TEXT,[EQ_TYPE] "
        "TEXT,[p_NAME] TEXT,[p_DOB] TEXT,[P_AGE] INT,[P_DIAGNOSE] INT,[DATE_YEAR] INT,[Remark] "
        "TEXT,[P_MEMO] TEXT)";
    EXPECT_EQ(CreateStatement(db.MainDbPath, "HospitalTlb"),
              std::string("CREATE TABLE [HospitalTlb]") + columns);
    EXPECT_EQ(CreateStatement(db.DownloadDbPath, "DownLoadData"),
              std::string("CREATE TABLE [DownLoadData]") + columns);

    EXPECT_EQ(db.CurrentUser, "TAVRINA1cExpert.sqlite");
    EXPECT_EQ(db.MainDbPath, home.File("TAVRINA1cExpert.sqlite"));
    EXPECT_EQ(db.DownloadDbPath, home.File("TAVRINA1cExpertDown.sqlite"));
    EXPECT_EQ(db.DatabaseReady, 1);
    for (ResultTable* t : {&db.MainTable, &db.DownloadTable}) {
        EXPECT_TRUE(t->IsOpen());
        EXPECT_STREQ(t->orderBy.c_str(), kDefaultResultOrder);
        EXPECT_TRUE(t->filter.IsEmptyText());
        EXPECT_TRUE(t->IsEOF());
    }
    EXPECT_EQ(db.MainTable.GetTableName(), "HospitalTlb");
    EXPECT_EQ(db.DownloadTable.GetTableName(), "DownLoadData");
}

TEST_F(ResultDatabaseTest, LaterStartOpensTheSameFilesNewestFirst) {
    {
        ResultDatabase first(clock);
        first.InitResultDatabase(home.path());
        AddResult(first.MainTable, "20240101", "0800", "055");
        AddResult(first.MainTable, "20240301", "0700", "061");
        AddResult(first.MainTable, "20240301", "0900", "070");
        first.Close();
    }
    ResultDatabase db(clock);
    db.InitResultDatabase(home.path());
    EXPECT_EQ(db.CurrentTable, "HospitalTlb");
    EXPECT_TRUE(db.DownloadTable.IsOpen());
    EXPECT_EQ(Dates(db.MainTable),
              (std::vector<std::string>{"20240301 0900", "20240301 0700", "20240101 0800"}));
    EXPECT_EQ(home.List().size(), 4u);
}

TEST_F(ResultDatabaseTest, CurrentUserNamesTheDatabaseFileAndItsTableSet) {
    MakeDatabase(clock, home.File("clinic2.sqlite"), "WardB", {{"20230505", "1010", "072"}});
    MakeDatabase(clock, home.File("TAVRINA1cExpertDown.sqlite"), "DownLoadData", {});
    WriteProfileString("User Count", "current_user", "clinic2.sqlite",
                       home.File("user_info.ini").c_str());
    WriteProfileString("Table Count", "current_table", "WardB", home.File("clinic2.ini").c_str());

    ResultDatabase db(clock);
    db.InitResultDatabase(home.path());
    EXPECT_EQ(db.CurrentUser, "clinic2.sqlite");
    EXPECT_EQ(db.CurrentTable, "WardB");
    EXPECT_EQ(db.MainDbPath, home.File("clinic2.sqlite"));
    EXPECT_EQ(db.DownloadDbPath, home.File("TAVRINA1cExpertDown.sqlite"));
    ASSERT_TRUE(db.MainTable.IsOpen());
    EXPECT_EQ(Dates(db.MainTable), (std::vector<std::string>{"20230505 1010"}));
    EXPECT_TRUE(db.DownloadTable.IsOpen());
    EXPECT_EQ(home.List(), (std::vector<std::string>{"TAVRINA1cExpertDown.sqlite", "clinic2.ini",
                                                     "clinic2.sqlite", "user_info.ini"}));
}

TEST_F(ResultDatabaseTest, NewUserFileNamedInTheUserListOpensAgainOnTheNextStart) {
    WriteProfileString("User Count", "current_user", "clinic2.sqlite",
                       home.File("user_info.ini").c_str());
    WriteProfileString("User Count", "cnt", "1", home.File("user_info.ini").c_str());
    {
        ResultDatabase db(clock);
        db.InitResultDatabase(home.path());
        EXPECT_EQ(db.MainDbPath, home.File("clinic2.sqlite"));
        EXPECT_EQ(Ini(home.File("user_info.ini"), "User Count", "cnt"), "2");
        AddResult(db.MainTable, "20240101", "0800", "055");
    }
    ResultDatabase db(clock);
    db.InitResultDatabase(home.path());
    EXPECT_EQ(db.CurrentTable, "HospitalTlb");
    ASSERT_TRUE(db.MainTable.IsOpen());
    EXPECT_EQ(Dates(db.MainTable), (std::vector<std::string>{"20240101 0800"}));
}

TEST_F(ResultDatabaseTest, MissingStagingFileLeavesTheDownloadTableClosed) {
    {
        ResultDatabase first(clock);
        first.InitResultDatabase(home.path());
    }
    ASSERT_EQ(std::remove(home.File("TAVRINA1cExpertDown.sqlite").c_str()), 0);
    ResultDatabase db(clock);
    db.InitResultDatabase(home.path());
    EXPECT_TRUE(db.MainTable.IsOpen());
    EXPECT_FALSE(db.DownloadTable.IsOpen());
    EXPECT_EQ(home.List().size(), 3u);
}

TEST_F(ResultDatabaseTest, MainFileWithoutUserListOpensNothing) {
    MakeDatabase(clock, home.File("TAVRINA1cExpert.sqlite"), "HospitalTlb", {});
    ResultDatabase db(clock);
    db.InitResultDatabase(home.path());
    EXPECT_EQ(db.CurrentUser, "-1");
    EXPECT_EQ(db.CurrentTable, "-1");
    EXPECT_EQ(db.DatabaseReady, 1);
    EXPECT_FALSE(db.MainTable.IsOpen());
}

TEST_F(ResultDatabaseTest, TableSetIniDropsTheLastSevenCharacters) {
    EXPECT_EQ(TableSetIniPath("/h", "TAVRINA1cExpert.sqlite"), "/h/TAVRINA1cExpert.ini");
    EXPECT_EQ(TableSetIniPath("/h", "clinic2.sqlite"), "/h/clinic2.ini");
    EXPECT_EQ(TableSetIniPath("/h", "-1"), "/h/.ini");
}

}  // namespace
}  // namespace tav
