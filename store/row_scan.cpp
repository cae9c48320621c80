#include "store/row_scan.h"

#include <sqlite3.h>

namespace tav {

std::string ScanSql(const SqlTable& table, const std::vector<std::string>& columns) {
    std::string sql = "SELECT ";
    for (size_t i = 0; i < columns.size(); ++i) {
        if (i) sql += ", ";
        sql += "[" + columns[i] + "]";
    }
    sql += " FROM [" + table.GetTableName() + "]";
    if (!table.filter.IsEmptyText()) sql += " WHERE " + table.filter.str();
    if (!table.orderBy.IsEmptyText()) sql += " ORDER BY " + table.orderBy.str();
    return sql;
}

ColumnScan::ColumnScan(const SqlTable& table, const std::vector<std::string>& columns)
    : cells_(columns.size()) {
    failed_ = true;
    if (!table.IsOpen() || !table.Handle() || columns.empty()) return;
    const std::string sql = ScanSql(table, columns);
    if (sqlite3_prepare_v2(table.Handle(), sql.c_str(), -1, &stmt_, nullptr) != SQLITE_OK ||
        !stmt_) {
        Close();
        return;
    }
    failed_ = false;
}

ColumnScan::~ColumnScan() {
    Close();
}

void ColumnScan::Close() {
    sqlite3_finalize(stmt_);
    stmt_ = nullptr;
}

const std::vector<std::string_view>* ColumnScan::Next() {
    if (!stmt_) return nullptr;
    const int rc = sqlite3_step(stmt_);
    if (rc != SQLITE_ROW) {
        if (rc != SQLITE_DONE) failed_ = true;
        Close();
        return nullptr;
    }
    for (size_t i = 0; i < cells_.size(); ++i) {
        const int c = static_cast<int>(i);
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, c));
        cells_[i] =
            text ? std::string_view(text, static_cast<size_t>(sqlite3_column_bytes(stmt_, c)))
                 : std::string_view();
    }
    return &cells_;
}

bool ScanColumns(const SqlTable& table, const std::vector<std::string>& columns,
                 const std::function<bool(const std::vector<std::string_view>& cells)>& visit) {
    ColumnScan scan(table, columns);
    while (const auto* cells = scan.Next())
        if (!visit(*cells)) break;
    return !scan.Failed();
}

}  // namespace tav
