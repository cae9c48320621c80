#include "store/sql_table.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>
#include <vector>

#include "store/result_table.h"
#include "store/sql_text.h"
#include "tests/support/sql_rows.h"
#include "tests/support/temp_dir.h"

namespace tav {
namespace {

using Strings = std::vector<std::string>;

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

// Runs a query on the table's own connection.
Strings Query(const SqlTable& table, const std::string& sql) {
    return test::SqlRows(table.Handle(), sql);
}

bool AddSample(SampleTable& t, const std::string& a, int b) {
    if (!t.AddNew()) return false;
    t.a = a;
    t.b = b;
    return t.Commit();
}

// Reads one text column of every row in cursor order.
Strings Walk(SqlTable& t, ByteBuffer& column) {
    Strings seen;
    for (t.MoveFirst(); !t.IsEOF(); t.MoveNext()) seen.push_back(column.str());
    return seen;
}

class SqlTableTest : public ::testing::Test {
  protected:
    // Runs `sql` on the file through another connection, as another program
    // or an older version would.
    void Run(const Strings& sql) {
        SampleTable other(clock);
        ASSERT_TRUE(other.Open(path));
        for (const std::string& s : sql) ASSERT_TRUE(other.Execute(s)) << s;
    }

    void SetUp() override { ASSERT_TRUE(t.Create(path)); }
    // The rows a requery counts, -1 when it fails.
    static int Count(SqlTable& table) { return table.Requery() ? table.RowCount() : -1; }

    VirtualClock clock;
    test::TempDir dir;
    std::string path = dir.File("t.sqlite");
    SampleTable t{clock};
};

// Requeries reuse an unchanged count; any change, by this connection (also
// one rolled back) or another, or of the filter, counts again.
TEST_F(SqlTableTest, FilterOrderAndMovesWalkTheMatchingRowsAndTheCountFollowsEveryChange) {
    SampleTable other(clock);
    EXPECT_FALSE(other.Open(dir.File("missing.sqlite")));
    EXPECT_EQ(dir.List(), Strings{"t.sqlite"}) << "opening makes no file";
    EXPECT_FALSE(t.RequeryNonEmpty());
    for (int i = 1; i <= 5; ++i) ASSERT_TRUE(AddSample(t, "r" + std::to_string(i), i));

    t.filter = "[B] >= 2";
    t.orderBy = "[B] DESC";
    ASSERT_TRUE(t.RequeryNonEmpty());
    EXPECT_EQ(t.RowCount(), 4);
    EXPECT_EQ(t.a.str(), "r5") << "a requery reads the first row";
    EXPECT_EQ(Walk(t, t.a), (Strings{"r5", "r4", "r3", "r2"}));
    EXPECT_FALSE(t.MoveNext()) << "already past the end";
    ASSERT_TRUE(t.MoveTo(3));
    EXPECT_EQ(t.a.str(), "r3");

    t.filter = "";
    ASSERT_TRUE(t.Requery());
    EXPECT_EQ(Count(t), 5);
    Run({"INSERT INTO [T] (B) VALUES (6)"});
    EXPECT_EQ(Count(t), 6);
    ASSERT_TRUE(t.BeginTransaction());
    EXPECT_FALSE(t.BeginTransaction()) << "no nesting";
    ASSERT_TRUE(AddSample(t, "r", 7));
    EXPECT_EQ(Count(t), 7);
    ASSERT_TRUE(t.RollbackTransaction());
    EXPECT_FALSE(t.CommitTransaction()) << "none open";
    EXPECT_EQ(Count(t), 6);

    t.filter = "no such column = 1";
    EXPECT_EQ(Count(t), 0) << "a bad filter counts as no rows once mapped";
}

// Every type goes into its own column and cleared text is stored as NULL, whether the stored
// table has the columns in order or reordered and one more (then the insert names them).
TEST_F(SqlTableTest, CommitStoresEveryTypeInItsOwnColumnAndClearedTextAsNull) {
    const char blob[] = {1, 0, 2};
    for (bool reordered : {false, true}) {
        SCOPED_TRACE(reordered ? "reordered" : "in order");
        if (reordered) {
            t.Close();
            Run({"DROP TABLE [T]",
                 "CREATE TABLE [T] ([B] INT, [A] TEXT, [C] DOUBLE, "
                 "[D] LongBinary, [EXTRA] TEXT)"});
            ASSERT_TRUE(t.Open(path));
            ASSERT_TRUE(t.Requery());
        }
        EXPECT_EQ(t.StoredColumnCount(), reordered ? 5 : 4);
        ASSERT_TRUE(t.AddNew());
        ASSERT_TRUE(t.Commit());
        ASSERT_TRUE(t.AddNew());
        EXPECT_FALSE(t.MoveTo(1)) << "no moves while adding";
        t.a.Clear();
        t.b = 2;
        t.c = 2.5;
        t.d.AssignBytes(blob, 3);
        ASSERT_TRUE(t.Commit());
        ASSERT_TRUE(t.AddNew());
        t.a = "say \"hi\", 'you'";
        ASSERT_TRUE(t.Commit());
        EXPECT_EQ(t.RowCount(), 3);
        EXPECT_EQ(
            Query(t,
                  "SELECT quote(A) || '/' || B || '/' || C || '/' || quote(D) FROM [T] "
                  "ORDER BY ROWID"),
            (Strings{"''/0/0.0/NULL", "NULL/2/2.5/X'010002'", "'say \"hi\", ''you'''/0/0.0/NULL"}));
        ASSERT_TRUE(t.Requery());
        ASSERT_TRUE(t.MoveTo(2));
        EXPECT_DOUBLE_EQ(t.c, 2.5);
        EXPECT_EQ(std::string(t.d.Data(), t.d.Length()), std::string(blob, 3));
    }
    EXPECT_EQ(Query(t, "SELECT count(*) FROM [T] WHERE EXTRA IS NULL"), Strings{"3"});
}

// A requery reads its row ids as rows are visited; every write through the
// table keeps the list the requery's snapshot with new rows appended. The list
// grows by five thousand ids when full.
TEST_F(SqlTableTest, RowIdListGrowsAndStaysTheRequerysSnapshotThroughWritesAndClose) {
    const int rows = SqlTable::kRowIdSpare + 1;  // more than a requery reads at once too
    ASSERT_TRUE(t.BeginTransaction());
    for (int i = 1; i <= rows; ++i) {
        ASSERT_TRUE(AddSample(t, "r" + std::to_string(i), i));
        ASSERT_EQ(t.RowIdCapacity(), i < 5000 ? 5000 : 10000) << i;
    }
    ASSERT_TRUE(t.CommitTransaction());
    for (int row : {1, 4999, 5000, 5001}) EXPECT_EQ(t.MoveTo(row) ? t.b : -1, row);
    t.orderBy = "[B] DESC";
    ASSERT_TRUE(t.Requery());
    ASSERT_TRUE(t.MoveTo(2));
    EXPECT_EQ(t.b, rows - 1);
    ASSERT_TRUE(AddSample(t, "new", 0));
    ASSERT_TRUE(AddSample(t, "newer", rows + 1));
    Strings seen = Walk(t, t.a);
    ASSERT_EQ(seen.size(), static_cast<size_t>(rows + 2));
    EXPECT_EQ(Strings(seen.end() - 4, seen.end()), (Strings{"r2", "r1", "new", "newer"}));

    ASSERT_TRUE(t.Requery());
    t.filter = "[B] = 1";
    EXPECT_EQ(t.DeleteWhere(), SQLITE_DONE);
    t.filter = "";
    seen = Walk(t, t.a);
    ASSERT_EQ(seen.size(), static_cast<size_t>(rows + 2));
    EXPECT_EQ(seen.front(), "newer");
    EXPECT_EQ(Strings(seen.end() - 3, seen.end()), (Strings{"r2", "", "new"}))
        << "the deleted row reads empty in its place";

    // A closed table holds no statement: the file can be written and reopened.
    ASSERT_TRUE(t.Requery());
    ASSERT_TRUE(t.Close());
    Run({"DELETE FROM [T] WHERE [B] > 2"});
    ASSERT_TRUE(t.Open(path));
    EXPECT_EQ(Count(t), 2);
}

TEST_F(SqlTableTest, QuotedIdsAreFoundBoundLeavingTheCursorOrAsALiteralToDelete) {
    for (const char* a : {"1234 ", "O'NEIL", "x"}) ASSERT_TRUE(AddSample(t, a, 1));
    ASSERT_TRUE(t.Requery());
    ASSERT_TRUE(t.MoveTo(2));
    for (auto [id, found] : {std::pair{"1234 ", true}, std::pair{"1234", false},
                             std::pair{"1234  ", false}, std::pair{"O'NEIL", true}})
        EXPECT_EQ(t.HasRowWhere("[A] = ?1 AND [B] = 1", {id}), found) << id;
    EXPECT_EQ(t.Position(), 2);
    EXPECT_EQ(t.a.str(), "O'NEIL");
    EXPECT_EQ(t.RowCount(), 3);

    // A quoted patient id is found and deleted through a literal.
    ResultTable r(clock);
    r.SetTableName("HospitalTlb");
    ASSERT_TRUE(r.Create(path));
    ASSERT_TRUE(r.Execute("INSERT INTO HospitalTlb (PID) VALUES ('O''NEIL'), ('ONEIL'), ('O''')"));
    r.filter = "[PID]=" + SqlLiteral("O'NEIL");
    ASSERT_TRUE(r.RequeryNonEmpty());
    EXPECT_EQ(r.RowCount(), 1);
    EXPECT_EQ(r.PID.str(), "O'NEIL");
    EXPECT_TRUE(r.DeleteFiltered());
    r.filter = "";
    ASSERT_TRUE(r.Requery());
    EXPECT_EQ(Walk(r, r.PID), (Strings{"ONEIL", "O'"}));
    EXPECT_TRUE(r.DeleteFiltered()) << "an empty filter empties the table";
    EXPECT_EQ(Count(r), 0);
}

TEST_F(SqlTableTest, UpdateWhereRefusesAnOverlongConditionAndFailedWritesAreReported) {
    ASSERT_TRUE(AddSample(t, "one", 1));
    ASSERT_TRUE(AddSample(t, "two", 2));
    ASSERT_TRUE(t.MoveTo(1));
    t.a = "changed";
    t.c = 7.5;
    // " WHERE " + condition is one formatted piece: 9,999 characters fit.
    const std::string fits = "[B] = 1" + std::string(9999 - 7 - 7, ' ');
    EXPECT_FALSE(t.UpdateWhere(fits + " "));
    EXPECT_EQ(Query(t, "SELECT A FROM [T] WHERE B = 1"), Strings{"one"});
    EXPECT_TRUE(t.UpdateWhere(fits));
    EXPECT_EQ(Query(t, "SELECT A || '/' || B || '/' || C FROM [T] ORDER BY ROWID"),
              (Strings{"changed/1/7.5", "two/2/0.0"}));
    EXPECT_FALSE(t.UpdateWhere("no such column = 1")) << "a failed update is reported";

    // A failed insert is reported and adds no row id.
    ASSERT_TRUE(t.Execute("DROP TABLE [T]"));
    EXPECT_FALSE(AddSample(t, "three", 3));
    EXPECT_EQ(t.RowCount(), 2);
    EXPECT_TRUE(t.AddNew()) << "a failed commit ends the adding state";
}

TEST_F(SqlTableTest, OlderTableGainsTheMissingColumnsAndFillsThemOnceReopened) {
    Run({"CREATE TABLE [HospitalTlb] ( [DATE] TEXT,[TIME] TEXT,[HbA1c_VALUE] TEXT)",
         "INSERT INTO [HospitalTlb] VALUES('20240102','0930','065')",
         "CREATE TABLE [Old Data] ([DATE] TEXT)", "INSERT INTO [Old Data] VALUES('20240102')"});
    ResultTable r(clock);
    r.SetTableName("HospitalTlb");
    ASSERT_TRUE(r.Open(path));
    EXPECT_EQ(r.DATE.str(), "20240102");
    EXPECT_EQ(Query(r, "SELECT quote(PID) || quote(P_AGE) || quote(P_MEMO) FROM HospitalTlb"),
              (Strings{"''0''"}));
    EXPECT_EQ(Query(r,
                    "SELECT instr(sql, '[PID] TEXT') > 0 AND instr(sql, '[P_AGE] Integer') > 0 "
                    "FROM sqlite_master WHERE name = 'HospitalTlb'"),
              (Strings{"1"}));
    ASSERT_TRUE(r.AddNew());
    r.PID = "P1";
    r.P_AGE = 42;
    ASSERT_TRUE(r.Commit());

    r.Close();
    ASSERT_TRUE(r.Open(path));
    EXPECT_EQ(r.StoredColumnCount(), r.GetColumnCount());
    ASSERT_TRUE(r.MoveTo(2));
    EXPECT_EQ(r.PID.str(), "P1");
    EXPECT_EQ(r.P_AGE, 42);

    // The fill names the table bare, so under a name that needs brackets the
    // added columns are left unfilled.
    ResultTable old(clock);
    old.SetTableName("Old Data");
    ASSERT_TRUE(old.Open(path));
    EXPECT_EQ(Query(old, "SELECT quote(PID) || quote(P_AGE) FROM [Old Data]"),
              (Strings{"NULLNULL"}));
}

}  // namespace
}  // namespace tav
