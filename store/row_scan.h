// Reading many rows of a table in one pass: one statement over the rows that
// match the table's filter, in its order, stepped through once. The table's
// own cursor reads a row per statement, which is too slow for a whole store.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "store/sql_table.h"

struct sqlite3_stmt;

namespace tav {

// The statement a scan runs: `columns` (names without brackets) of the rows
// of `table` that match its filter, in its order.
std::string ScanSql(const SqlTable& table, const std::vector<std::string>& columns);

// A scan that can stop between rows and go on later, so a long read can be
// split into slices. The statement stays prepared until the end, a failure,
// Close() or destruction; the table's connection must stay open until then.
class ColumnScan {
  public:
    ColumnScan(const SqlTable& table, const std::vector<std::string>& columns);
    ~ColumnScan();
    ColumnScan(const ColumnScan&) = delete;
    ColumnScan& operator=(const ColumnScan&) = delete;

    // The texts of the next row (a NULL reads as an empty text; texts are
    // whole, whatever their length), valid until the next call; null at the
    // end or on a failure, after which the statement is released.
    const std::vector<std::string_view>* Next();
    bool Finished() const { return stmt_ == nullptr; }
    // True when the statement could not be prepared or failed part way.
    bool Failed() const { return failed_; }
    void Close();

  private:
    sqlite3_stmt* stmt_ = nullptr;
    bool failed_ = false;
    std::vector<std::string_view> cells_;
};

// Calls `visit` with the texts of `columns` for every row of `table` that
// matches its filter, in its order, until `visit` returns false. False when
// the table is closed or the statement cannot run (nothing visited then); a
// statement that fails part way stops the visits.
bool ScanColumns(const SqlTable& table, const std::vector<std::string>& columns,
                 const std::function<bool(const std::vector<std::string_view>& cells)>& visit);

}  // namespace tav
