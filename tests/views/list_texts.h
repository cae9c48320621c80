// Reads and fills the texts of a list control in the view tests.
#pragma once

#include <string>
#include <vector>

#include "views/list_ctrl_ext.h"

namespace tav::test {

using Texts = std::vector<std::string>;

inline Texts RowTexts(const CListCtrlExt& list, int row) {
    Texts cells;
    for (int c = 0; c < list.ColumnCount(); ++c)
        cells.push_back(list.CellText(row, c).toStdString());
    return cells;
}

// One column's texts, top to bottom.
inline Texts ColumnTexts(const CListCtrlExt& list, int column) {
    Texts cells;
    for (int r = 0; r < list.RowCount(); ++r)
        cells.push_back(list.CellText(r, column).toStdString());
    return cells;
}

// Appends one row per entry; a short row ends in empty cells.
inline void AppendTexts(CListCtrlExt& list, const std::vector<Texts>& rows) {
    ListTextTable table(list.ColumnCount());
    for (const Texts& row : rows) table.AddRow(row);
    list.AppendRows(table);
}

}  // namespace tav::test
