#include "store/row_scan.h"

#include <sqlite3.h>

namespace tav {

bool ScanColumns(const SqlTable& table, const std::vector<std::string>& columns,
                 const std::function<bool(const std::vector<std::string_view>& cells)>& visit) {
    if (!table.IsOpen() || columns.empty()) return false;
    std::string sql = "SELECT ";
    for (size_t i = 0; i < columns.size(); ++i) {
        if (i) sql += ", ";
        sql += "[" + columns[i] + "]";
    }
    sql += " FROM [" + table.GetTableName() + "]";
    if (!table.filter.IsEmptyText()) sql += " WHERE " + table.filter.str();
    if (!table.orderBy.IsEmptyText()) sql += " ORDER BY " + table.orderBy.str();

    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(table.Handle(), sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK || !stmt) {
        sqlite3_finalize(stmt);
        return false;
    }
    std::vector<std::string_view> cells(columns.size());
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        for (size_t i = 0; i < cells.size(); ++i) {
            const int c = static_cast<int>(i);
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
            cells[i] =
                text ? std::string_view(text, static_cast<size_t>(sqlite3_column_bytes(stmt, c)))
                     : std::string_view();
        }
        if (!visit(cells)) break;
    }
    sqlite3_finalize(stmt);
    return rc == SQLITE_ROW || rc == SQLITE_DONE;
}

}  // namespace tav
