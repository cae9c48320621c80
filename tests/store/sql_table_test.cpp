#include "store/sql_table.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>
#include <vector>

#include "store/result_table.h"
#include "store/sql_text.h"
#include "tests/support/temp_dir.h"

namespace tav {
namespace {

using test::TempDir;

// A table with one column of each type.
class SampleTable : public SqlTable {
  public:
    explicit SampleTable(Clock& clock, std::string name = "T") : SqlTable(clock), name_(name) {
        SetColumn(0, "A", ColumnType::Text, &a);
        SetColumn(1, "B", ColumnType::Int, &b);
        SetColumn(2, "C", ColumnType::Double, &c);
        SetColumn(3, "D", ColumnType::LongBinary, &d);
    }
    std::string GetTableName() const override { return name_; }
    int GetColumnCount() const override { return 4; }

    ByteBuffer a;
    int32_t b = 0;
    double c = 0;
    ByteBuffer d;

  private:
    std::string name_;
};

// Runs a query on the table's own connection and returns the first column
// of every row as text ("NULL" for null).
std::vector<std::string> Query(const SqlTable& table, const std::string& sql) {
    std::vector<std::string> out;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(table.Handle(), sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << sqlite3_errmsg(table.Handle()) << " in " << sql;
        return out;
    }
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        const unsigned char* text = sqlite3_column_text(stmt, 0);
        out.push_back(text ? reinterpret_cast<const char*>(text) : "NULL");
    }
    sqlite3_finalize(stmt);
    return out;
}

std::string QueryOne(const SqlTable& table, const std::string& sql) {
    auto rows = Query(table, sql);
    return rows.empty() ? "<none>" : rows.front();
}

// Every statement the connection starts running, as written.
struct StatementLog {
    explicit StatementLog(const SqlTable& table) {
        sqlite3_trace_v2(
            table.Handle(), SQLITE_TRACE_STMT,
            [](unsigned, void* self, void*, void* sql) {
                static_cast<StatementLog*>(self)->texts.push_back(static_cast<const char*>(sql));
                return 0;
            },
            this);
    }
    std::vector<std::string> texts;
};

bool AddSample(SampleTable& t, const std::string& a, int b) {
    if (!t.AddNew()) return false;
    t.a = a;
    t.b = b;
    return t.Commit();
}

// Reads column A of every row in cursor order.
std::vector<std::string> Walk(SqlTable& t, ByteBuffer& column) {
    std::vector<std::string> seen;
    t.MoveFirst();
    while (!t.IsEOF()) {
        seen.push_back(column.str());
        t.MoveNext();
    }
    return seen;
}

class SqlTableTest : public ::testing::Test {
  protected:
    VirtualClock clock;
    TempDir dir;
    std::string path = dir.File("t.sqlite");
};

TEST_F(SqlTableTest, OpenNeedsAnExistingFileAndCreateMakesFileAndTable) {
    SampleTable t(clock);
    EXPECT_FALSE(t.Open(path));
    EXPECT_FALSE(t.IsOpen());
    EXPECT_TRUE(dir.List().empty()) << "no file is made";
    t.Close();  // releases the handle of the failed open

    ASSERT_TRUE(t.Create(path));
    EXPECT_TRUE(t.IsOpen());
    EXPECT_EQ(t.DbPath().str(), path);
    EXPECT_FALSE(t.Open(path)) << "already open";
    EXPECT_EQ(QueryOne(t, "SELECT sql FROM sqlite_master WHERE name='T'"),
              "CREATE TABLE [T] ( [A] TEXT,[B] INT,[C] DOUBLE,[D] LongBinary)");
    EXPECT_EQ(QueryOne(t, "PRAGMA auto_vacuum"), "1");
    EXPECT_TRUE(t.Close());
    EXPECT_FALSE(t.IsOpen());
    EXPECT_FALSE(t.DbPath().HasData());
    EXPECT_TRUE(t.Open(path));
    EXPECT_TRUE(t.CreateTable()) << "an existing table is not an error";
}

TEST_F(SqlTableTest, StatementsAreComposedAsWritten) {
    SampleTable t(clock);
    ASSERT_TRUE(t.Create(path));
    StatementLog log(t);
    ASSERT_TRUE(AddSample(t, "x", 1));
    t.filter = "[B] > 0";
    t.orderBy = "[B] DESC";
    ASSERT_TRUE(t.Requery());
    ASSERT_TRUE(t.UpdateWhere("[B] = 1"));
    ASSERT_TRUE(t.DeleteFiltered());
    ASSERT_TRUE(t.DropTable());
    EXPECT_EQ(log.texts, (std::vector<std::string>{
                             "INSERT INTO [T] VALUES(?,?,?,?) ",
                             "SELECT COUNT (*) FROM [T] WHERE [B] > 0",
                             "SELECT ROWID FROM [T] WHERE [B] > 0 ORDER BY [B] DESC",
                             "SELECT * FROM [T] WHERE ROWID = 1",
                             "UPDATE [T] SET  [A] = ?,[B] = ?,[C] = ?,[D] = ? WHERE [B] = 1",
                             "DELETE FROM [T] WHERE [B] > 0",
                             "DELETE FROM [T]",
                             "DROP TABLE  [T]",
                         }));
    EXPECT_EQ(t.BuildSelect(false, true, false), "SELECT * FROM [T] WHERE [B] > 0");
    EXPECT_EQ(t.BuildSelect(true, false, true), "SELECT ROWID FROM [T] ORDER BY [B] DESC");
}

TEST_F(SqlTableTest, EmptyTableRequeriesToPositionOneAtEnd) {
    SampleTable t(clock);
    ASSERT_TRUE(t.Create(path));
    EXPECT_TRUE(t.Requery());
    EXPECT_FALSE(t.RequeryNonEmpty());
    EXPECT_EQ(t.RowCount(), 0);
    EXPECT_EQ(t.Position(), 1);
    EXPECT_TRUE(t.IsEOF());
    EXPECT_EQ(t.RowIdCapacity(), SqlTable::kRowIdSpare);
    EXPECT_TRUE(t.MoveTo(3));
    EXPECT_EQ(t.Position(), 1);
    EXPECT_FALSE(t.MoveTo(0));
}

TEST_F(SqlTableTest, FilterOrderAndMovesWalkTheMatchingRows) {
    SampleTable t(clock);
    ASSERT_TRUE(t.Create(path));
    for (int i = 1; i <= 5; ++i) ASSERT_TRUE(AddSample(t, "r" + std::to_string(i), i));

    t.filter = "[B] >= 2";
    t.orderBy = "[B] DESC";
    ASSERT_TRUE(t.RequeryNonEmpty());
    EXPECT_EQ(t.RowCount(), 4);
    EXPECT_EQ(t.LoadedCount(), 4);
    EXPECT_EQ(t.RowIdCapacity(), 4 + SqlTable::kRowIdSpare);
    EXPECT_EQ(t.a.str(), "r5") << "a requery reads the first row";
    EXPECT_EQ(Walk(t, t.a), (std::vector<std::string>{"r5", "r4", "r3", "r2"}));
    EXPECT_EQ(t.Position(), 5);
    EXPECT_FALSE(t.MoveNext()) << "already past the end";

    ASSERT_TRUE(t.MoveTo(3));
    EXPECT_EQ(t.a.str(), "r3");
    ASSERT_TRUE(t.MoveTo(9));
    EXPECT_EQ(t.Position(), 9);
    EXPECT_TRUE(t.IsEOF());
    EXPECT_EQ(t.a.str(), "r3") << "a row past the end is not read";

    t.filter = "[B] = 99";
    EXPECT_FALSE(t.RequeryNonEmpty());
    t.filter = "no such column = 1";
    EXPECT_TRUE(t.Requery()) << "a bad filter counts as no rows once mapped";
    EXPECT_EQ(t.RowCount(), 0);
}

TEST_F(SqlTableTest, CommitAppendsTheNewRowWithoutRereadingIt) {
    SampleTable t(clock);
    ASSERT_TRUE(t.Create(path));
    ASSERT_TRUE(AddSample(t, "first", 1));
    ASSERT_TRUE(t.AddNew());
    EXPECT_FALSE(t.AddNew()) << "already adding";
    EXPECT_FALSE(t.MoveTo(1)) << "no moves while adding";
    t.a = "second";
    t.b = 2;
    t.c = 2.5;
    const char blob[] = {1, 0, 2};
    t.d.AssignBytes(blob, 3);
    ASSERT_TRUE(t.Commit());
    EXPECT_FALSE(t.IsAdding());
    EXPECT_EQ(t.RowCount(), 2);
    EXPECT_EQ(t.Position(), 2);
    EXPECT_EQ(t.RowIdAt(1), 2);
    EXPECT_EQ(t.a.str(), "second");

    ASSERT_TRUE(t.Requery());
    ASSERT_TRUE(t.MoveTo(2));
    EXPECT_EQ(t.a.str(), "second");
    EXPECT_EQ(t.b, 2);
    EXPECT_DOUBLE_EQ(t.c, 2.5);
    ASSERT_EQ(t.d.Length(), 3);
    EXPECT_EQ(std::string(t.d.Data(), 3), std::string(blob, 3));

    ASSERT_TRUE(t.AddNew());
    EXPECT_TRUE(t.CancelAdd());
    EXPECT_FALSE(t.Commit()) << "nothing is being added";
}

TEST_F(SqlTableTest, EmptyTextStoresEmptyAndNeverAssignedStoresNull) {
    SampleTable t(clock);
    ASSERT_TRUE(t.Create(path));
    ASSERT_TRUE(t.AddNew());
    ASSERT_TRUE(t.Commit());
    ASSERT_TRUE(t.AddNew());
    t.a.Clear();
    ASSERT_TRUE(t.Commit());
    EXPECT_EQ(Query(t, "SELECT quote(A) FROM [T] ORDER BY ROWID"),
              (std::vector<std::string>{"''", "NULL"}));
}

TEST_F(SqlTableTest, RowIdListGrowsByFiveThousandWhenFull) {
    SampleTable t(clock);
    ASSERT_TRUE(t.Create(path));
    ASSERT_TRUE(t.BeginTransaction());
    for (int i = 1; i < SqlTable::kRowIdSpare; ++i) ASSERT_TRUE(AddSample(t, "", i));
    EXPECT_EQ(t.RowCount(), 4999);
    EXPECT_EQ(t.RowIdCapacity(), 5000);
    ASSERT_TRUE(AddSample(t, "", 5000));
    EXPECT_EQ(t.RowIdCapacity(), 10000);
    ASSERT_TRUE(AddSample(t, "", 5001));
    ASSERT_TRUE(t.CommitTransaction());
    EXPECT_EQ(t.RowCount(), 5001);
    for (int row : {1, 4999, 5000, 5001}) {
        EXPECT_EQ(t.RowIdAt(row - 1), row);
        ASSERT_TRUE(t.MoveTo(row));
        EXPECT_EQ(t.b, row);
    }
    ASSERT_TRUE(t.Requery());
    EXPECT_EQ(t.RowIdCapacity(), 5001 + 5000);
}

TEST_F(SqlTableTest, UpdateWhereRewritesEveryColumnOfTheMatchingRows) {
    SampleTable t(clock);
    ASSERT_TRUE(t.Create(path));
    ASSERT_TRUE(AddSample(t, "one", 1));
    ASSERT_TRUE(AddSample(t, "two", 2));
    ASSERT_TRUE(t.MoveTo(1));
    t.a = "changed";
    t.c = 7.5;
    EXPECT_TRUE(t.UpdateWhere("[B] = 1"));
    EXPECT_EQ(Query(t, "SELECT A || '/' || B || '/' || C FROM [T] ORDER BY ROWID"),
              (std::vector<std::string>{"changed/1/7.5", "two/2/0.0"}));
    EXPECT_FALSE(t.UpdateWhere("no such column = 1")) << "a failed update is reported";
}

TEST_F(SqlTableTest, OverlongFormattedPieceIsRefusedNotTruncated) {
    SampleTable t(clock);
    ASSERT_TRUE(t.Create(path));
    ASSERT_TRUE(AddSample(t, "one", 1));
    ASSERT_TRUE(t.MoveTo(1));
    t.a = "changed";
    // " WHERE " + condition is one formatted piece: 9,999 characters fit.
    auto condition = [](size_t length) {
        std::string c = "[B] = 1";
        return c + std::string(length - c.size(), ' ');
    };
    EXPECT_FALSE(t.UpdateWhere(condition(9999 - 7 + 1)));
    EXPECT_EQ(QueryOne(t, "SELECT A FROM [T]"), "one");
    EXPECT_TRUE(t.UpdateWhere(condition(9999 - 7)));
    EXPECT_EQ(QueryOne(t, "SELECT A FROM [T]"), "changed");

    SampleTable longName(clock, std::string(10000, 'N'));
    ASSERT_TRUE(longName.Open(path));
    EXPECT_FALSE(longName.CreateTable());
    EXPECT_EQ(QueryOne(t, "SELECT count(*) FROM sqlite_master"), "1");
}

TEST_F(SqlTableTest, DeleteFilteredRemovesMatchesAndEmptyFilterEmptiesTheTable) {
    SampleTable t(clock);
    ASSERT_TRUE(t.Create(path));
    for (int i = 1; i <= 4; ++i) ASSERT_TRUE(AddSample(t, "", i));
    t.filter = "[B] > 2";
    EXPECT_TRUE(t.DeleteFiltered());
    EXPECT_EQ(t.Position(), 1);
    t.filter = "";
    ASSERT_TRUE(t.Requery());
    EXPECT_EQ(t.RowCount(), 2);
    EXPECT_EQ(t.DeleteWhere(), SQLITE_DONE);
    ASSERT_TRUE(t.Requery());
    EXPECT_EQ(t.RowCount(), 0);
    t.Close();
    EXPECT_EQ(t.DeleteWhere(), 0);
    EXPECT_FALSE(t.DeleteFiltered());
}

TEST_F(SqlTableTest, QuotedPatientIdIsFoundAndDeletedThroughALiteral) {
    EXPECT_EQ(SqlLiteral("O'NEIL"), "'O''NEIL'");
    EXPECT_EQ(SqlLiteral(""), "''");
    EXPECT_EQ(SqlLiteral("''"), "''''''");

    ResultTable t(clock);
    t.SetTableName("HospitalTlb");
    ASSERT_TRUE(t.Create(path));
    for (const char* pid : {"O'NEIL", "ONEIL", "O'"}) {
        ASSERT_TRUE(t.AddNew());
        t.PID = pid;
        ASSERT_TRUE(t.Commit());
    }
    std::string filter = "[PID]=" + SqlLiteral("O'NEIL");
    t.filter = filter;
    ASSERT_TRUE(t.RequeryNonEmpty());
    EXPECT_EQ(t.RowCount(), 1);
    EXPECT_EQ(t.PID.str(), "O'NEIL");
    EXPECT_TRUE(t.DeleteFiltered());
    t.filter = "";
    ASSERT_TRUE(t.Requery());
    EXPECT_EQ(Walk(t, t.PID), (std::vector<std::string>{"ONEIL", "O'"}));
}

TEST_F(SqlTableTest, OlderTableGainsMissingColumnsReadEmptyUntilReopened) {
    {
        SampleTable old(clock);
        ASSERT_TRUE(old.Create(path));
        ASSERT_TRUE(old.Execute("DROP TABLE [T]"));
        ASSERT_TRUE(old.Execute("CREATE TABLE [T] ([A] TEXT)"));
        ASSERT_TRUE(old.Execute("INSERT INTO [T] VALUES('old')"));
    }
    SampleTable t(clock);
    ASSERT_TRUE(t.Open(path));
    StatementLog log(t);
    ASSERT_TRUE(t.Requery());
    EXPECT_EQ(log.texts[0], "ALTER TABLE [T] ADD COLUMN [B] Integer");
    EXPECT_EQ(log.texts[1], "UPDATE T SET [B] = 0");
    EXPECT_EQ(log.texts[2], "ALTER TABLE [T] ADD COLUMN [C] Double");
    EXPECT_EQ(log.texts[3], "UPDATE T SET [C] = 0.0");
    EXPECT_EQ(log.texts[4], "ALTER TABLE [T] ADD COLUMN [D] LongBinary");
    EXPECT_EQ(t.StoredColumnCount(), 1);
    EXPECT_EQ(t.Binding(1).resultIndex, -1);
    EXPECT_EQ(t.a.str(), "old");

    ASSERT_TRUE(AddSample(t, "new", 5));
    ASSERT_TRUE(t.MoveTo(2));
    EXPECT_EQ(t.b, 0) << "the added column stays unmapped until the table is reopened";

    t.Close();
    ASSERT_TRUE(t.Open(path));
    ASSERT_TRUE(t.Requery());
    EXPECT_EQ(t.StoredColumnCount(), 4);
    EXPECT_EQ(t.b, 0);
    ASSERT_TRUE(t.MoveTo(2));
    EXPECT_EQ(t.a.str(), "new");
    EXPECT_EQ(t.b, 5);
}

TEST_F(SqlTableTest, OlderResultTableGainsTextColumnsHoldingEmptyText) {
    {
        SampleTable scratch(clock, "HospitalTlb");
        ASSERT_TRUE(scratch.Create(path));
        ASSERT_TRUE(scratch.Execute("DROP TABLE [HospitalTlb]"));
        ASSERT_TRUE(scratch.Execute(
            "CREATE TABLE [HospitalTlb] ( [DATE] TEXT,[TIME] TEXT,[HbA1c_VALUE] TEXT)"));
        ASSERT_TRUE(scratch.Execute("INSERT INTO [HospitalTlb] VALUES('20240102','0930','065')"));
    }
    ResultTable t(clock);
    t.SetTableName("HospitalTlb");
    ASSERT_TRUE(t.Open(path));
    EXPECT_EQ(t.DATE.str(), "20240102");
    EXPECT_EQ(t.PID.str(), "");
    EXPECT_EQ(Query(t, "SELECT quote(PID) || quote(P_AGE) || quote(P_MEMO) FROM HospitalTlb"),
              (std::vector<std::string>{"''0''"}));
}

TEST_F(SqlTableTest, ExtraStoredColumnMakesCommitNameItsColumns) {
    {
        SampleTable scratch(clock);
        ASSERT_TRUE(scratch.Create(path));
        ASSERT_TRUE(scratch.Execute("ALTER TABLE [T] ADD COLUMN [EXTRA] TEXT"));
    }
    SampleTable t(clock);
    ASSERT_TRUE(t.Open(path));
    ASSERT_TRUE(t.Requery());
    EXPECT_EQ(t.StoredColumnCount(), 5);
    StatementLog log(t);
    ASSERT_TRUE(t.AddNew());
    t.a = "say \"hi\", 'you'";
    t.b = 3;
    t.c = 1.25;
    t.d.AssignBytes("\x01\x02", 2);
    ASSERT_TRUE(t.Commit());
    EXPECT_EQ(log.texts, (std::vector<std::string>{
                             "INSERT INTO [T] ( [A],[B]) VALUES ( ?,?)",
                             "UPDATE [T] SET [C] = ? WHERE ROWID = 1",
                             "UPDATE [T] SET [D] = ? WHERE ROWID = 1",
                         }));
    EXPECT_EQ(t.RowCount(), 1);
    EXPECT_EQ(QueryOne(t,
                       "SELECT A || '|' || B || '|' || C || '|' || hex(D) || '|' || "
                       "quote(EXTRA) FROM [T]"),
              "say \"hi\", 'you'|3|1.25|0102|NULL");
}

TEST_F(SqlTableTest, StoredColumnsInAnotherOrderStillGetTheirOwnValues) {
    {
        SampleTable scratch(clock);
        ASSERT_TRUE(scratch.Create(path));
        ASSERT_TRUE(scratch.Execute("DROP TABLE [T]"));
        ASSERT_TRUE(scratch.Execute("CREATE TABLE [T] ([B] INT, [A] TEXT, [C] DOUBLE)"));
    }
    SampleTable t(clock);
    ASSERT_TRUE(t.Open(path));
    ASSERT_TRUE(t.Requery());
    ASSERT_TRUE(AddSample(t, "text", 4));
    EXPECT_EQ(QueryOne(t, "SELECT A || '|' || B FROM [T]"), "text|4");
}

TEST_F(SqlTableTest, FailedInsertIsReportedAndAddsNoRowId) {
    SampleTable t(clock);
    ASSERT_TRUE(t.Create(path));
    ASSERT_TRUE(AddSample(t, "one", 1));
    ASSERT_TRUE(t.Execute("DROP TABLE [T]"));
    EXPECT_FALSE(AddSample(t, "two", 2));
    EXPECT_EQ(t.RowCount(), 1);
    EXPECT_FALSE(t.IsAdding());
    EXPECT_TRUE(t.AddNew()) << "a failed commit ends the adding state";
}

TEST_F(SqlTableTest, RolledBackTransactionLeavesNoRows) {
    SampleTable t(clock);
    ASSERT_TRUE(t.Create(path));
    ASSERT_TRUE(t.BeginTransaction());
    EXPECT_TRUE(t.InTransaction());
    EXPECT_FALSE(t.BeginTransaction()) << "no nesting";
    ASSERT_TRUE(AddSample(t, "gone", 1));
    ASSERT_TRUE(t.RollbackTransaction());
    EXPECT_FALSE(t.InTransaction());
    ASSERT_TRUE(t.Requery());
    EXPECT_EQ(t.RowCount(), 0);
    EXPECT_FALSE(t.CommitTransaction()) << "none open";
}

TEST_F(SqlTableTest, DropTableDeletesDropsAndPausesOnTheClock) {
    SampleTable t(clock);
    ASSERT_TRUE(t.Create(path));
    const int64_t before = clock.NowMs();
    EXPECT_TRUE(t.DropTable());
    EXPECT_EQ(clock.NowMs() - before, 100);
    EXPECT_EQ(QueryOne(t, "SELECT count(*) FROM sqlite_master"), "0");
    t.Close();
    ASSERT_TRUE(t.Open(path));
    EXPECT_FALSE(t.Requery()) << "a missing table cannot be mapped";
}

TEST_F(SqlTableTest, ResultTableNameIsLimitedToTwentyNineCharacters) {
    ResultTable t(clock);
    EXPECT_TRUE(t.SetTableName(std::string(29, 'x')));
    EXPECT_EQ(t.GetTableName(), std::string(29, 'x'));
    EXPECT_FALSE(t.SetTableName(std::string(30, 'x')));
    EXPECT_EQ(t.GetTableName(), "");
    ResultTable creator(clock);
    creator.SetTableName("HospitalTlb");
    ASSERT_TRUE(creator.Create(path));
    EXPECT_FALSE(t.Open(path));
    EXPECT_FALSE(t.IsOpen());
}

}  // namespace
}  // namespace tav
