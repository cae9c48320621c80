// The report list of both result lists: sorting by a header click, a column
// menu that hides and shows columns (some columns fixed), automatic column
// width on a divider double click, and the column layout kept per control id
// in the application profile.
#pragma once

#include <QSettings>
#include <QTableView>
#include <vector>

#include "views/list_model.h"

class QMenu;

namespace tav {

// Sort flags of a column: the current direction and whether a click toggles it.
inline constexpr int kSortAscending = 1;
inline constexpr int kSortDescending = 2;
inline constexpr int kSortToggles = 4;

class CListCtrlExt : public QTableView {
    Q_OBJECT
  public:
    // `profile` is the application profile; the column state lives in the
    // section named by the control id.
    CListCtrlExt(int controlId, QSettings& profile, QWidget* parent = nullptr);

    int ControlId() const { return controlId_; }

    // Columns are set up once, before rows are added. Returns the index or -1.
    int InsertColumn(int index, const QString& title, Qt::Alignment format, int width);
    int ColumnCount() const { return model_->Columns(); }
    QString ColumnTitle(int column) const { return model_->Title(column); }

    // Refused for a column out of range or flags without any sort bit.
    bool SetColumnSort(int column, int flags, int compareType);
    // Orders the cells of `column` that its compare type finds equal; the
    // view knows what its cells mean, the list only compares the keys.
    bool SetColumnSortKey(int column, CellSortKeyFunction tieBreak);
    bool SetColumnHideable(int column, bool hideable);
    bool IsColumnHideable(int column) const;
    // A header click: sorts by `column`, flipping the direction when `toggle`.
    void SortByColumn(int column, bool toggle);
    // The column last sorted (-1 before any sort); emptying the list keeps it.
    int SortColumn() const { return sortColumn_; }
    bool SortAscending() const { return sortAscending_; }

    bool SaveColumnState();
    // True when the saved layout was applied up to the visibility.
    bool LoadColumnState();

    // Hides a hideable column (remembering its width) or shows one again.
    bool SetColumnVisible(int column, bool visible);
    bool IsColumnVisible(int column) const;
    int ColumnWidth(int column) const;  // 0 while hidden
    // Column indexes in display order.
    std::vector<int> ColumnOrder() const;
    // Applies the order rule: the requested order with visible columns first.
    void SetColumnOrder(const std::vector<int>& order);
    void AutoSizeColumn(int column);
    // The header's context menu; null unless some column is fixed.
    QMenu* CreateColumnMenu(QWidget* parent);

    // Rows.
    void AppendRows(const ListTextTable& rows);
    // Removes the sort arrow, then every row.
    void DeleteAllRows();
    int RowCount() const { return model_->Rows(); }
    QString CellText(int row, int column) const { return model_->CellText(row, column); }
    // Selects and focuses a row.
    void SelectRow(int row);
    const ListModel& Model() const { return *model_; }

    // Grid lines, full-row selection, movable columns, 32-pixel rows and the
    // list font of the result views (ResultListFont) on the list and header.
    void ApplyResultListStyle();

  signals:
    void rowDoubleClicked(int row);

  private:
    struct Column {
        bool hideable = true;
        bool visible = true;
        int rememberedWidth = 0;
        int defaultWidth = 0;
        int sortFlags = 0;
        int compareType = 0;
        bool sortSet = false;
        CellSortKeyFunction tieBreak;
    };

    void ShowSortArrow(int column, bool ascending);
    void OnSectionMoved();
    void ShowColumnMenu(const QPoint& pos);
    bool InRange(int column) const { return column >= 0 && column < ColumnCount(); }

    int controlId_;
    QSettings& profile_;
    ListModel* model_;
    std::vector<Column> columns_;
    int sortColumn_ = -1;
    bool sortAscending_ = false;
    bool applyingOrder_ = false;
};

}  // namespace tav
