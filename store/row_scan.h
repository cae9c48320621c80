// Reading many rows of a table in one pass: one statement over the rows that
// match the table's filter, in its order, stepped through once. The table's
// own cursor reads a row per statement, which is too slow for a whole store.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "store/sql_table.h"

namespace tav {

// Calls `visit` with the texts of `columns` (names without brackets) for
// every row of `table` that matches its filter, in its order, until `visit`
// returns false. A NULL reads as an empty text; texts are whole, whatever
// their length. False when the table is closed or the statement cannot run
// (nothing visited then); a statement that fails part way stops the visits.
bool ScanColumns(const SqlTable& table, const std::vector<std::string>& columns,
                 const std::function<bool(const std::vector<std::string_view>& cells)>& visit);

}  // namespace tav
