// The seven columns both result lists share: "No.", date, time, result,
// patient id, operator id and note, in that order.
#pragma once

#include "views/download_source.h"
#include "views/list_ctrl_ext.h"

namespace tav {

namespace listcol {
inline constexpr int kNo = 0;
inline constexpr int kDate = 1;
inline constexpr int kTime = 2;
inline constexpr int kResult = 3;
inline constexpr int kPid = 4;
inline constexpr int kOpid = 5;
inline constexpr int kNote = 6;
inline constexpr int kCount = 7;
}  // namespace listcol

// Every column sorts by the leading integer of its cells, the direction
// toggling on each header click; cells with the same leading integer are
// ordered by their whole value: dates as dates in the order of the settings,
// times on either clock, results as numbers, ids and notes as text.
// `formatter` must outlive `list`. Id cells are filled with DisplayIdText.
void SetResultColumnSort(CListCtrlExt& list, const ResultCellFormatter& formatter);

struct ResultColumn {
    const char* title;
    int width;
};

// Sets up an empty list with the seven columns, centred, sorting as
// SetResultColumnSort says, "No." never hidden, and the layout the user last
// saved restored.
void SetUpResultColumns(CListCtrlExt& list, const ResultColumn (&columns)[listcol::kCount],
                        const ResultCellFormatter& formatter);

}  // namespace tav
