#include "views/result_list_columns.h"

namespace tav {

void SetResultColumnSort(CListCtrlExt& list, const ResultCellFormatter& formatter) {
    for (int c = 0; c < list.ColumnCount(); ++c)
        list.SetColumnSort(c, kSortToggles, kCompareInteger);
    list.SetColumnSortKey(listcol::kDate, [&formatter](std::string_view cell) {
        return CellSortKey{static_cast<double>(formatter.DateKey(std::string(cell))), {}};
    });
    list.SetColumnSortKey(listcol::kTime, [](std::string_view cell) {
        return CellSortKey{static_cast<double>(ListTimeKey(std::string(cell))), {}};
    });
    list.SetColumnSortKey(listcol::kResult, [](std::string_view cell) {
        return CellSortKey{ResultKey(std::string(cell)), {}};
    });
    const auto asText = [](std::string_view cell) { return CellSortKey{0, std::string(cell)}; };
    for (int c : {listcol::kPid, listcol::kOpid, listcol::kNote}) list.SetColumnSortKey(c, asText);
}

void SetUpResultColumns(CListCtrlExt& list, const ResultColumn (&columns)[listcol::kCount],
                        const ResultCellFormatter& formatter) {
    for (int c = 0; c < listcol::kCount; ++c)
        list.InsertColumn(c, QString::fromLatin1(columns[c].title), Qt::AlignCenter,
                          columns[c].width);
    SetResultColumnSort(list, formatter);
    list.SetColumnHideable(listcol::kNo, false);
    list.LoadColumnState();
}

}  // namespace tav
