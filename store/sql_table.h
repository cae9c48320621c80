// A record set over one table of one SQLite database file. A subclass binds
// each column to a member variable; the table composes every statement from
// the table name and the bindings, keeps a cursor over the row ids matching
// `filter` in `orderBy` order, and copies one row at a time into the bound
// members. Operations report success as a boolean and never show anything.
// A table is used by one thread at a time.
//
// A requery counts the matching rows (a count of unchanged rows is reused)
// and reads the first row ids of the ordered query; the rest are read only as
// far as rows are visited, so a requery over a large table costs the count
// and the first rows, not a walk over every row.
// The rest are read before anything is written through the table, so the
// list stays the snapshot of the requery. Reading one row and inserting one
// row reuse their compiled statements.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "store/byte_buffer.h"

struct sqlite3;
struct sqlite3_stmt;

namespace tav {

enum class ColumnType : int32_t { Text = 1, Int = 2, Double = 3, LongBinary = 4 };

struct ColumnBinding {
    static constexpr size_t kNameSize = 100;  // up to 99 characters and the NUL

    ColumnType type = ColumnType::Text;
    // A ByteBuffer for Text and LongBinary, an int32_t for Int, a double for Double.
    void* variable = nullptr;
    // Position of the column in the stored table's SELECT * result; -1 while not found.
    int32_t resultIndex = -1;
    char name[kNameSize] = {};
};

class SqlTable {
  public:
    // Entries added to the row-id list at every requery and every growth.
    static constexpr int32_t kRowIdSpare = 5000;
    // How long a statement waits for a file that another program has locked,
    // in pauses of kBusyPauseMs, before it fails with "database is locked".
    static constexpr int kBusyWaitMs = 2000;
    static constexpr int kBusyPauseMs = 50;
    // Row ids a requery reads at once; past them the query stays pending
    // (holding the file's read lock) until the rows are visited, the table
    // is written through, requeried or closed.
    static constexpr int32_t kFirstRowIds = 1000;

    explicit SqlTable(Clock& clock) : clock_(clock) {}
    virtual ~SqlTable();
    SqlTable(const SqlTable&) = delete;
    SqlTable& operator=(const SqlTable&) = delete;

    virtual std::string GetTableName() const = 0;
    virtual int GetColumnCount() const = 0;
    // Opens an existing file read-write. Fails when already open or when a
    // handle from a failed open is still held (Close releases it).
    virtual bool Open(const std::string& path);
    // Opens or creates the file, creates the table when missing, requeries.
    bool Create(const std::string& path);
    // Always true. Keeps the row-id list and the row count.
    bool Close();

    // Prepares and steps the statement once; true for a row or done.
    bool Execute(const std::string& sql);
    bool CreateTable();
    bool DropTable();
    // Finds each binding's column in the stored table and adds the missing ones.
    bool MapColumns();
    std::string BuildSelect(bool rowIdsOnly, bool useFilter, bool useOrder) const;
    int32_t CountRows();
    bool Requery();
    // As Requery, but false when no row matches.
    bool RequeryNonEmpty();
    bool MoveTo(int32_t row);
    bool MoveFirst();
    bool MoveNext();
    bool IsEOF() const { return rowCount_ == 0 || position_ > rowCount_; }
    bool ClearFields();
    bool AddNew();
    bool CancelAdd();
    // Stores the row built since AddNew. False when the insert did not run
    // to completion (nothing is added to the row-id list then).
    bool Commit();
    // Rewrites every bound column of the rows matching `condition`; false
    // when the statement could not be composed or did not run to completion.
    bool UpdateWhere(std::string_view condition);
    // Step result of the delete (101 on success), 0 when it did not run.
    int DeleteWhere();
    bool DeleteFiltered();

    // True when a row matches `condition`, whose parameters ?1, ?2, ... take
    // `texts` in order, compared as stored texts. Leaves the row-id list, the
    // filter and the bound members as they are; the statement is reused while
    // the condition stays the same.
    bool HasRowWhere(const std::string& condition, std::initializer_list<std::string_view> texts);

    // Empties the row-id list without a query, as a requery matching no row
    // would: for a writer that requeries when it is done, so that its inserts
    // need not read the ids of the last requery first.
    void ClearRowIds();

    // One transaction on this table's database file.
    bool BeginTransaction();
    bool CommitTransaction();
    bool RollbackTransaction();
    bool InTransaction() const;

    // A WHERE condition without the keyword (empty: all rows) and an
    // ORDER BY list without the keywords (empty: no order).
    ByteBuffer filter;
    ByteBuffer orderBy;

    bool IsOpen() const { return open_ && db_; }
    const ByteBuffer& DbPath() const { return dbPath_; }
    int32_t RowCount() const { return rowCount_; }
    int32_t Position() const { return position_; }
    int32_t StoredColumnCount() const { return storedColumnCount_; }
    bool ColumnsMapped() const { return columnsMapped_; }
    int32_t RowIdCapacity() const { return rowIdCapacity_; }
    int32_t LoadedCount() const { return loadedCount_; }
    // Entry i of the row-id list (0 outside the list); reads the ids up to i.
    int32_t RowIdAt(int32_t i);
    bool IsAdding() const { return adding_; }
    const ColumnBinding& Binding(int i) const { return bindings_[static_cast<size_t>(i)]; }
    // The connection, for callers that need what the table does not offer.
    sqlite3* Handle() const { return db_; }
    // Why the last open or column mapping failed, in SQLite's words with the
    // system's reason when there is one; kept after Close.
    const std::string& LastError() const { return lastError_; }

  protected:
    // Declares column `index` (below GetColumnCount) bound to `variable`;
    // the first call allocates the bindings. Names have 1 to 99 characters.
    bool SetColumn(int index, std::string_view name, ColumnType type, void* variable);
    Clock& clock() { return clock_; }

  private:
    bool OpenWithFlags(const std::string& path, int flags);
    bool AutoVacuumIsFull();
    bool RequeryRows(bool& anyRows);
    bool ReadyForBindings() const { return IsOpen() && !bindings_.empty(); }
    void ReadRow(sqlite3_stmt* stmt, bool hasRow);
    // Binds every binding to parameters 1, 2, ... as Commit does.
    void BindAll(sqlite3_stmt* stmt) const;
    // True when a positional INSERT puts every value into its own column.
    bool PositionalInsertFits() const;
    bool InsertNamed();
    void AppendRowId(int32_t id);
    // Reads row ids from the pending requery until `count` are held.
    void LoadRowIds(int32_t count);
    // Reads every remaining row id (before a write through this table).
    void LoadAllRowIds() { LoadRowIds(rowCount_); }
    // Ends the pending requery and forgets the reused statements.
    void FinishRowIds();
    void ForgetStatements();
    // A compiled statement kept for reuse while `sql` stays the same.
    sqlite3_stmt* Reused(sqlite3_stmt*& slot, std::string& slotSql, const std::string& sql);

    void NoteError();

    Clock& clock_;
    std::string lastError_;
    sqlite3* db_ = nullptr;
    std::vector<ColumnBinding> bindings_;
    bool open_ = false;
    ByteBuffer dbPath_;
    int32_t rowCount_ = 0;
    int32_t position_ = -1;
    int32_t storedColumnCount_ = 0;
    bool columnsMapped_ = false;
    // Bindings found in the stored table's column order before any was added.
    bool storedOrderMatches_ = true;
    std::unique_ptr<int32_t[]> rowIds_;
    int32_t rowIdCapacity_ = 0;
    int32_t loadedCount_ = 0;
    int32_t pendingRowId_ = 0;
    bool adding_ = false;
    // The ordered row-id query of the last requery while ids remain unread.
    sqlite3_stmt* rowIdQuery_ = nullptr;
    sqlite3_stmt* readRow_ = nullptr;
    std::string readRowSql_;
    sqlite3_stmt* insertRow_ = nullptr;
    std::string insertRowSql_;
    sqlite3_stmt* hasRow_ = nullptr;
    std::string hasRowSql_;
    // The last count outside a transaction and what it was taken on: a
    // requery of the same rows with nothing changed since reuses it.
    struct CountStamp {
        std::string sql;
        int64_t changes = -1;
        int64_t dataVersion = -1;
        int64_t schemaVersion = -1;
        friend bool operator==(const CountStamp&, const CountStamp&) = default;
    };
    CountStamp Stamp();
    CountStamp countStamp_;
    int32_t countCached_ = 0;
};

// SQLite's message for the connection's last error, followed by the system's
// reason in parentheses when the error came from the operating system.
std::string DescribeSqliteError(sqlite3* db);

}  // namespace tav
