#include "store/sql_table.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

namespace tav {
namespace {

// A compiled statement, finalized when it goes out of scope.
class Statement {
  public:
    Statement(sqlite3* db, const char* sql) {
        if (db && sql) rc_ = sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr);
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool ok() const { return rc_ == SQLITE_OK && stmt_; }
    sqlite3_stmt* get() const { return stmt_; }
    int Step() { return stmt_ ? sqlite3_step(stmt_) : SQLITE_MISUSE; }
    void Reset() {
        if (stmt_) sqlite3_reset(stmt_);
    }

  private:
    sqlite3_stmt* stmt_ = nullptr;
    int rc_ = SQLITE_ERROR;
};

// Builds a statement from formatted pieces and plain appended texts. A piece
// that does not fit the format scratch spoils the whole statement, which is
// then never run.
class Composer {
  public:
    Composer() { sql_.AssignText(""); }
    Composer& Piece(const char* format, ...) __attribute__((format(printf, 2, 3))) {
        ByteBuffer piece;
        va_list args;
        va_start(args, format);
        bool ok = piece.FormatV(format, args);
        va_end(args);
        if (ok)
            sql_.AppendText(piece.view());
        else
            failed_ = true;
        return *this;
    }
    Composer& Text(std::string_view text) {
        sql_.AppendText(text);
        return *this;
    }
    bool ok() const { return !failed_; }
    const char* sql() const { return failed_ ? nullptr : sql_.c_str(); }

  private:
    ByteBuffer sql_;
    bool failed_ = false;
};

bool KnownType(ColumnType type) {
    switch (type) {
        case ColumnType::Text:
        case ColumnType::Int:
        case ColumnType::Double:
        case ColumnType::LongBinary:
            return true;
    }
    return false;
}

// A blank before the first item of a list, a comma before every later one.
char Separator(int itemsSoFar) {
    return itemsSoFar == 0 ? ' ' : ',';
}

// An empty text binds as the empty string, a never-assigned one as NULL.
void BindText(sqlite3_stmt* stmt, int k, const void* variable) {
    const auto* b = static_cast<const ByteBuffer*>(variable);
    if (!b) {
        sqlite3_bind_null(stmt, k);
        return;
    }
    sqlite3_bind_text(stmt, k, b->Length() == 0 ? nullptr : b->Data(),
                      b->Length() < 2 ? 0 : b->Length() - 1, SQLITE_STATIC);
}

void BindBlob(sqlite3_stmt* stmt, int k, const void* variable) {
    const auto* b = static_cast<const ByteBuffer*>(variable);
    if (!b) {
        sqlite3_bind_null(stmt, k);
        return;
    }
    sqlite3_bind_blob(stmt, k, b->Length() == 0 ? nullptr : b->Data(), b->Length(), SQLITE_STATIC);
}

void BindInt(sqlite3_stmt* stmt, int k, const void* variable) {
    if (variable)
        sqlite3_bind_int(stmt, k, *static_cast<const int32_t*>(variable));
    else
        sqlite3_bind_null(stmt, k);
}

void BindDouble(sqlite3_stmt* stmt, int k, const void* variable) {
    if (variable)
        sqlite3_bind_double(stmt, k, *static_cast<const double*>(variable));
    else
        sqlite3_bind_null(stmt, k);
}

// Waits through the clock for a lock another program holds, up to
// SqlTable::kBusyWaitMs, then lets the statement fail.
int WaitWhileBusy(void* clock, int pausesSoFar) {
    if ((pausesSoFar + 1) * SqlTable::kBusyPauseMs > SqlTable::kBusyWaitMs) return 0;
    static_cast<Clock*>(clock)->SleepMs(SqlTable::kBusyPauseMs);
    return 1;
}

}  // namespace

std::string DescribeSqliteError(sqlite3* db) {
    if (!db) return "out of memory";
    std::string text = sqlite3_errmsg(db);
    if (int err = sqlite3_system_errno(db); err != 0)
        text += std::string(" (") + std::strerror(err) + ")";
    return text;
}

SqlTable::~SqlTable() {
    Close();
}

void SqlTable::NoteError() {
    lastError_ = DescribeSqliteError(db_);
}

bool SqlTable::OpenWithFlags(const std::string& path, int flags) {
    if (open_ || db_) return false;
    lastError_.clear();
    int rc = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
    if (rc != SQLITE_OK || !db_) {
        NoteError();
        return false;
    }
    open_ = true;
    dbPath_.AssignText(path);
    // Setting the mode writes to the file even when it has it already, so it
    // is read first: opening a file then changes nothing in it.
    if (!AutoVacuumIsFull()) Execute("PRAGMA auto_vacuum=1");
    // After the pragmas, which change nothing in a file that has tables, so
    // that a locked file is waited for once, by the first real statement.
    sqlite3_busy_handler(db_, WaitWhileBusy, &clock_);
    return true;
}

bool SqlTable::AutoVacuumIsFull() {
    Statement stmt(db_, "PRAGMA auto_vacuum");
    return stmt.ok() && stmt.Step() == SQLITE_ROW && sqlite3_column_int(stmt.get(), 0) == 1;
}

bool SqlTable::Open(const std::string& path) {
    return OpenWithFlags(path, SQLITE_OPEN_READWRITE);
}

bool SqlTable::Create(const std::string& path) {
    if (!OpenWithFlags(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE)) return false;
    if (!CreateTable()) return false;
    Requery();
    return true;
}

bool SqlTable::Close() {
    FinishRowIds();
    ForgetStatements();
    countStamp_ = CountStamp{};
    if (open_ || db_) {
        // A statement still prepared elsewhere (a read in slices) keeps the
        // connection until it is finalized; then it is released.
        sqlite3_close_v2(db_);
        db_ = nullptr;
        open_ = false;
        columnsMapped_ = false;
        dbPath_.Clear();
    }
    return true;
}

bool SqlTable::Execute(const std::string& sql) {
    if (!db_) return false;
    Statement stmt(db_, sql.c_str());
    if (!stmt.ok()) return false;
    int rc = stmt.Step();
    return rc == SQLITE_ROW || rc == SQLITE_DONE;
}

bool SqlTable::CreateTable() {
    if (!ReadyForBindings()) return false;
    Composer c;
    c.Piece("CREATE TABLE [%s] (", GetTableName().c_str());
    int items = 0;
    for (const ColumnBinding& b : bindings_) {
        const char* sqlType = nullptr;
        switch (b.type) {
            case ColumnType::Text:
                sqlType = "TEXT";
                break;
            case ColumnType::Int:
                sqlType = "INT";
                break;
            case ColumnType::Double:
                sqlType = "DOUBLE";
                break;
            case ColumnType::LongBinary:
                sqlType = "LongBinary";
                break;
        }
        if (!sqlType) continue;
        c.Piece("%c[%s] %s", Separator(items++), b.name, sqlType);
    }
    c.Text(")");
    if (!c.ok()) return false;
    // An existing table is not an error: the statement's outcome is ignored.
    Execute(c.sql());
    return true;
}

bool SqlTable::DropTable() {
    if (!IsOpen()) return false;
    LoadAllRowIds();
    ForgetStatements();
    const std::string name = GetTableName();
    Composer del, drop;
    del.Piece("DELETE FROM [%s]", name.c_str());
    drop.Piece("DROP TABLE  [%s]", name.c_str());
    if (!del.ok() || !drop.ok()) return false;
    Execute(del.sql());
    clock_.SleepMs(100);
    Execute(drop.sql());
    return true;
}

bool SqlTable::MapColumns() {
    if (!ReadyForBindings()) return false;
    LoadAllRowIds();
    ForgetStatements();
    {
        Statement probe(db_, BuildSelect(false, true, true).c_str());
        if (!probe.ok()) {
            NoteError();
            return false;
        }
        storedColumnCount_ = sqlite3_column_count(probe.get());
        for (ColumnBinding& b : bindings_) b.resultIndex = -1;
        for (int i = 0; i < storedColumnCount_; ++i) {
            const char* name = sqlite3_column_name(probe.get(), i);
            if (!name) continue;
            for (ColumnBinding& b : bindings_) {
                if (std::strcmp(name, b.name) == 0) {
                    b.resultIndex = i;
                    break;
                }
            }
        }
    }
    // A positional insert fits when the stored columns are the leading
    // bindings in order; the missing ones are then added behind them.
    int found = 0;
    bool missingSeen = false;
    storedOrderMatches_ = true;
    for (size_t i = 0; i < bindings_.size(); ++i) {
        if (bindings_[i].resultIndex < 0) {
            missingSeen = true;
        } else {
            ++found;
            if (missingSeen || bindings_[i].resultIndex != static_cast<int32_t>(i))
                storedOrderMatches_ = false;
        }
    }
    if (found != storedColumnCount_) storedOrderMatches_ = false;

    const std::string table = GetTableName();
    for (const ColumnBinding& b : bindings_) {
        if (b.resultIndex != -1) continue;
        Composer alter, update;
        switch (b.type) {
            case ColumnType::Text:
                alter.Piece("ALTER TABLE [%s] ADD COLUMN [%s] TEXT", table.c_str(), b.name);
                update.Piece("UPDATE %s SET [%s] = \"\"", table.c_str(), b.name);
                break;
            case ColumnType::Int:
                alter.Piece("ALTER TABLE [%s] ADD COLUMN [%s] Integer", table.c_str(), b.name);
                update.Piece("UPDATE %s SET [%s] = 0", table.c_str(), b.name);
                break;
            case ColumnType::Double:
                alter.Piece("ALTER TABLE [%s] ADD COLUMN [%s] Double", table.c_str(), b.name);
                update.Piece("UPDATE %s SET [%s] = 0.0", table.c_str(), b.name);
                break;
            case ColumnType::LongBinary:
                alter.Piece("ALTER TABLE [%s] ADD COLUMN [%s] LongBinary", table.c_str(), b.name);
                break;
        }
        if (alter.ok() && *alter.sql()) Execute(alter.sql());
        if (update.ok() && *update.sql()) Execute(update.sql());
    }
    columnsMapped_ = true;
    return true;
}

std::string SqlTable::BuildSelect(bool rowIdsOnly, bool useFilter, bool useOrder) const {
    std::string sql = rowIdsOnly ? "SELECT ROWID FROM [" : "SELECT * FROM [";
    sql += GetTableName();
    sql += "]";
    if (useFilter && !filter.IsEmptyText()) sql += " WHERE " + filter.str();
    if (useOrder && !orderBy.IsEmptyText()) sql += " ORDER BY " + orderBy.str();
    return sql;
}

int32_t SqlTable::CountRows() {
    if (!db_) return 0;
    std::string sql = "SELECT COUNT (*) FROM [" + GetTableName() + "]";
    if (!filter.IsEmptyText()) sql += " WHERE " + filter.str();
    Statement stmt(db_, sql.c_str());
    if (!stmt.ok() || stmt.Step() != SQLITE_ROW) return 0;
    const unsigned char* text = sqlite3_column_text(stmt.get(), 0);
    return text ? std::atoi(reinterpret_cast<const char*>(text)) : 0;
}

bool SqlTable::RequeryRows(bool& anyRows) {
    anyRows = false;
    if (!IsOpen()) return false;
    FinishRowIds();
    loadedCount_ = 0;
    if (!columnsMapped_ && !MapColumns()) return false;
    // A whole-table count walks the table: reuse it while nothing changed.
    const CountStamp stamp = Stamp();
    if (!InTransaction() && stamp == countStamp_) {
        rowCount_ = countCached_;
    } else {
        rowCount_ = CountRows();
        countCached_ = rowCount_;
        countStamp_ = InTransaction() ? CountStamp{} : stamp;
    }
    position_ = 1;
    rowIdCapacity_ = rowCount_ + kRowIdSpare;
    rowIds_ = std::make_unique<int32_t[]>(static_cast<size_t>(rowIdCapacity_));
    if (rowCount_ > 0) {
        // The ids are read as rows are visited (LoadRowIds).
        if (sqlite3_prepare_v2(db_, BuildSelect(true, true, true).c_str(), -1, &rowIdQuery_,
                               nullptr) != SQLITE_OK)
            FinishRowIds();
        LoadRowIds(kFirstRowIds);
        MoveTo(1);
    }
    anyRows = rowCount_ > 0;
    return true;
}

bool SqlTable::Requery() {
    bool anyRows = false;
    return RequeryRows(anyRows);
}

bool SqlTable::RequeryNonEmpty() {
    bool anyRows = false;
    return RequeryRows(anyRows) && anyRows;
}

int32_t SqlTable::RowIdAt(int32_t i) {
    if (!rowIds_ || i < 0 || i >= rowIdCapacity_) return 0;
    if (rowIdQuery_ && i >= loadedCount_) LoadRowIds(i + 1);
    return rowIds_[static_cast<size_t>(i)];
}

void SqlTable::LoadRowIds(int32_t count) {
    // While the query is pending nothing has been appended: the row count is
    // the count of the requery.
    const int32_t want = std::min(count, rowCount_);
    while (rowIdQuery_ && loadedCount_ < want) {
        if (sqlite3_step(rowIdQuery_) != SQLITE_ROW) {
            FinishRowIds();
            break;
        }
        rowIds_[static_cast<size_t>(loadedCount_++)] = sqlite3_column_int(rowIdQuery_, 0);
    }
    if (loadedCount_ >= rowCount_) FinishRowIds();
}

void SqlTable::FinishRowIds() {
    sqlite3_finalize(rowIdQuery_);
    rowIdQuery_ = nullptr;
}

void SqlTable::ForgetStatements() {
    sqlite3_finalize(readRow_);
    sqlite3_finalize(insertRow_);
    sqlite3_finalize(hasRow_);
    readRow_ = insertRow_ = hasRow_ = nullptr;
    readRowSql_.clear();
    insertRowSql_.clear();
    hasRowSql_.clear();
}

sqlite3_stmt* SqlTable::Reused(sqlite3_stmt*& slot, std::string& slotSql, const std::string& sql) {
    if (slot && slotSql == sql) {
        sqlite3_reset(slot);
        sqlite3_clear_bindings(slot);
        return slot;
    }
    sqlite3_finalize(slot);
    slot = nullptr;
    slotSql.clear();
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &slot, nullptr) != SQLITE_OK) {
        sqlite3_finalize(slot);
        slot = nullptr;
        return nullptr;
    }
    slotSql = sql;
    return slot;
}

bool SqlTable::MoveTo(int32_t row) {
    if (!IsOpen() || !rowIds_ || pendingRowId_ != 0 || adding_ || row <= 0) return false;
    if (rowCount_ == 0) return true;
    if (row <= rowCount_) {
        const int32_t id = RowIdAt(row - 1);
        sqlite3_stmt* stmt =
            Reused(readRow_, readRowSql_, BuildSelect(false, false, false) + " WHERE ROWID = ?");
        bool hasRow = false;
        if (stmt) {
            sqlite3_bind_int(stmt, 1, id);
            hasRow = sqlite3_step(stmt) == SQLITE_ROW;
        }
        ReadRow(stmt, hasRow);
        if (stmt) sqlite3_reset(stmt);
    }
    position_ = row;
    return true;
}

bool SqlTable::MoveFirst() {
    if (!IsOpen()) return false;
    MoveTo(1);
    return true;
}

bool SqlTable::MoveNext() {
    if (!IsOpen() || position_ > rowCount_) return false;
    ++position_;
    MoveTo(position_);
    return true;
}

void SqlTable::ReadRow(sqlite3_stmt* stmt, bool hasRow) {
    ClearFields();
    if (hasRow) {
        const int columns = sqlite3_column_count(stmt);
        for (const ColumnBinding& b : bindings_) {
            const int i = b.resultIndex;
            if (!b.variable || i < 0 || i >= columns) continue;
            switch (b.type) {
                case ColumnType::Text: {
                    const unsigned char* text = sqlite3_column_text(stmt, i);
                    static_cast<ByteBuffer*>(b.variable)
                        ->AssignText(text ? reinterpret_cast<const char*>(text) : "");
                    break;
                }
                case ColumnType::Int:
                    *static_cast<int32_t*>(b.variable) = sqlite3_column_int(stmt, i);
                    break;
                case ColumnType::Double:
                    *static_cast<double*>(b.variable) = sqlite3_column_double(stmt, i);
                    break;
                case ColumnType::LongBinary: {
                    const void* blob = sqlite3_column_blob(stmt, i);
                    const int bytes = sqlite3_column_bytes(stmt, i);
                    if (blob && bytes > 0)
                        static_cast<ByteBuffer*>(b.variable)->AssignBytes(blob, bytes);
                    break;
                }
            }
        }
    }
    pendingRowId_ = 0;
    adding_ = false;
}

bool SqlTable::ClearFields() {
    if (!ReadyForBindings()) return false;
    for (const ColumnBinding& b : bindings_) {
        if (!b.variable) continue;
        switch (b.type) {
            case ColumnType::Text:
                static_cast<ByteBuffer*>(b.variable)->AssignText("");
                break;
            case ColumnType::Int:
                *static_cast<int32_t*>(b.variable) = 0;
                break;
            case ColumnType::Double:
                *static_cast<double*>(b.variable) = 0.0;
                break;
            case ColumnType::LongBinary:
                static_cast<ByteBuffer*>(b.variable)->Clear();
                break;
        }
    }
    return true;
}

bool SqlTable::AddNew() {
    if (!ReadyForBindings() || pendingRowId_ != 0 || adding_) return false;
    ClearFields();
    adding_ = true;
    return true;
}

bool SqlTable::CancelAdd() {
    if (!IsOpen() || pendingRowId_ != 0) return false;
    adding_ = false;
    return true;
}

void SqlTable::BindAll(sqlite3_stmt* stmt) const {
    int k = 1;
    for (const ColumnBinding& b : bindings_) {
        switch (b.type) {
            case ColumnType::Text:
                BindText(stmt, k++, b.variable);
                break;
            case ColumnType::Int:
                BindInt(stmt, k++, b.variable);
                break;
            case ColumnType::Double:
                BindDouble(stmt, k++, b.variable);
                break;
            case ColumnType::LongBinary:
                BindBlob(stmt, k++, b.variable);
                break;
        }
    }
}

bool SqlTable::PositionalInsertFits() const {
    return !columnsMapped_ || storedOrderMatches_;
}

bool SqlTable::Commit() {
    if (GetColumnCount() < storedColumnCount_ && adding_) return InsertNamed();
    if (!ReadyForBindings() || !adding_) return false;
    if (!PositionalInsertFits()) return InsertNamed();
    LoadAllRowIds();

    Composer c;
    c.Piece("INSERT INTO [%s] VALUES(", GetTableName().c_str());
    int items = 0;
    for (const ColumnBinding& b : bindings_)
        if (KnownType(b.type)) c.Text(items++ == 0 ? "?" : ",?");
    c.Text(") ");
    int rc = SQLITE_ERROR;
    if (c.ok()) {
        if (sqlite3_stmt* stmt = Reused(insertRow_, insertRowSql_, c.sql())) {
            BindAll(stmt);
            rc = sqlite3_step(stmt);
            sqlite3_reset(stmt);
        }
    }
    adding_ = false;
    if (rc != SQLITE_DONE) return false;
    pendingRowId_ = static_cast<int32_t>(sqlite3_last_insert_rowid(db_));
    AppendRowId(pendingRowId_);
    position_ = rowCount_;
    pendingRowId_ = 0;
    return true;
}

bool SqlTable::InsertNamed() {
    if (!adding_ || !ReadyForBindings()) return false;
    adding_ = false;
    LoadAllRowIds();
    Composer c;
    c.Piece("INSERT INTO [%s] (", GetTableName().c_str());
    int items = 0;
    for (const ColumnBinding& b : bindings_)
        if (b.type == ColumnType::Text || b.type == ColumnType::Int)
            c.Piece("%c[%s]", Separator(items++), b.name);
    c.Text(") VALUES (");
    for (int i = 0; i < items; ++i) c.Piece("%c?", Separator(i));
    c.Text(")");
    if (!c.ok()) return false;
    {
        Statement stmt(db_, c.sql());
        if (!stmt.ok()) return false;
        int k = 1;
        for (const ColumnBinding& b : bindings_) {
            if (b.type == ColumnType::Text)
                BindText(stmt.get(), k++, b.variable);
            else if (b.type == ColumnType::Int)
                BindInt(stmt.get(), k++, b.variable);
        }
        if (stmt.Step() != SQLITE_DONE) return false;
    }
    pendingRowId_ = static_cast<int32_t>(sqlite3_last_insert_rowid(db_));
    const std::string table = GetTableName();
    for (const ColumnBinding& b : bindings_) {
        const bool isDouble = b.type == ColumnType::Double;
        const bool isBlob = b.type == ColumnType::LongBinary && b.variable &&
                            static_cast<const ByteBuffer*>(b.variable)->HasData();
        if (!isDouble && !isBlob) continue;
        Composer u;
        u.Piece("UPDATE [%s] SET [%s] = ? WHERE ROWID = %d", table.c_str(), b.name, pendingRowId_);
        if (!u.ok()) continue;
        Statement stmt(db_, u.sql());
        if (!stmt.ok()) continue;
        if (isDouble)
            BindDouble(stmt.get(), 1, b.variable);
        else
            BindBlob(stmt.get(), 1, b.variable);
        stmt.Step();
    }
    AppendRowId(pendingRowId_);
    pendingRowId_ = 0;
    position_ = rowCount_;
    return true;
}

bool SqlTable::UpdateWhere(std::string_view condition) {
    if (!ReadyForBindings() || adding_) return false;
    LoadAllRowIds();
    Composer c;
    c.Piece("UPDATE [%s] SET ", GetTableName().c_str());
    int items = 0;
    for (const ColumnBinding& b : bindings_)
        if (KnownType(b.type)) c.Piece("%c[%s] = ?", Separator(items++), b.name);
    const std::string cond(condition);
    c.Piece(" WHERE %s", cond.c_str());
    if (!c.ok()) return false;
    int rc = SQLITE_ERROR;
    {
        Statement stmt(db_, c.sql());
        if (stmt.ok()) {
            BindAll(stmt.get());
            rc = stmt.Step();
        }
        stmt.Reset();
    }
    adding_ = false;
    return rc == SQLITE_DONE;
}

int SqlTable::DeleteWhere() {
    if (!open_ && !db_) return 0;
    LoadAllRowIds();
    std::string sql = "DELETE FROM [" + GetTableName() + "]";
    if (!filter.IsEmptyText()) sql += " WHERE " + filter.str();
    Statement stmt(db_, sql.c_str());
    if (!stmt.ok()) return 0;
    return stmt.Step();
}

bool SqlTable::DeleteFiltered() {
    if (!IsOpen()) return false;
    loadedCount_ = 0;
    if (!columnsMapped_ && !MapColumns()) return false;
    int rc = DeleteWhere();
    position_ = 1;
    return rc == SQLITE_DONE;
}

void SqlTable::AppendRowId(int32_t id) {
    if (rowCount_ + 1 >= rowIdCapacity_) {
        const int32_t capacity = rowIdCapacity_ + kRowIdSpare;
        auto grown = std::make_unique<int32_t[]>(static_cast<size_t>(capacity));
        if (rowIds_)
            std::memcpy(grown.get(), rowIds_.get(),
                        static_cast<size_t>(rowIdCapacity_) * sizeof(int32_t));
        rowIds_ = std::move(grown);
        rowIdCapacity_ = capacity;
    }
    rowIds_[static_cast<size_t>(rowCount_)] = id;
    ++rowCount_;
}

bool SqlTable::HasRowWhere(const std::string& condition,
                           std::initializer_list<std::string_view> texts) {
    if (!IsOpen()) return false;
    sqlite3_stmt* stmt =
        Reused(hasRow_, hasRowSql_, "SELECT 1 FROM [" + GetTableName() + "] WHERE " + condition);
    if (!stmt) return false;
    int k = 1;
    for (std::string_view text : texts)
        sqlite3_bind_text(stmt, k++, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
    const bool found = sqlite3_step(stmt) == SQLITE_ROW;
    sqlite3_reset(stmt);
    return found;
}

SqlTable::CountStamp SqlTable::Stamp() {
    CountStamp stamp;
    stamp.sql = GetTableName() + "\n" + filter.str();
    stamp.changes = sqlite3_total_changes64(db_);
    for (auto [pragma, value] : {std::pair{"PRAGMA data_version", &stamp.dataVersion},
                                 std::pair{"PRAGMA schema_version", &stamp.schemaVersion}}) {
        Statement stmt(db_, pragma);
        if (stmt.ok() && stmt.Step() == SQLITE_ROW) *value = sqlite3_column_int64(stmt.get(), 0);
    }
    return stamp;
}

void SqlTable::ClearRowIds() {
    FinishRowIds();
    loadedCount_ = 0;
    rowCount_ = 0;
    position_ = 1;
    rowIdCapacity_ = kRowIdSpare;
    rowIds_ = std::make_unique<int32_t[]>(static_cast<size_t>(rowIdCapacity_));
}

bool SqlTable::BeginTransaction() {
    return IsOpen() && !InTransaction() && Execute("BEGIN");
}
bool SqlTable::CommitTransaction() {
    return InTransaction() && Execute("COMMIT");
}
bool SqlTable::RollbackTransaction() {
    LoadAllRowIds();
    return InTransaction() && Execute("ROLLBACK");
}
bool SqlTable::InTransaction() const {
    return db_ && sqlite3_get_autocommit(db_) == 0;
}

bool SqlTable::SetColumn(int index, std::string_view name, ColumnType type, void* variable) {
    if (bindings_.empty()) bindings_.resize(static_cast<size_t>(GetColumnCount()));
    if (index < 0 || static_cast<size_t>(index) >= bindings_.size()) return false;
    if (name.empty() || name.size() >= ColumnBinding::kNameSize) return false;
    ColumnBinding& b = bindings_[static_cast<size_t>(index)];
    b.type = type;
    b.variable = variable;
    b.resultIndex = -1;
    std::memset(b.name, 0, sizeof b.name);
    std::memcpy(b.name, name.data(), name.size());
    return true;
}

}  // namespace tav
