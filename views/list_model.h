// Row storage and the table model behind CListCtrlExt. Rows are kept as text
// in one compact buffer (no object per cell or row), and sorting permutes an
// index with keys computed once per sort, so lists of a million rows stay
// quick to fill, sort and scroll.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tav {

// Rows of text cells, appended row by row.
class ListTextTable {
  public:
    explicit ListTextTable(int columns = 0) : columns_(columns) {}

    int Columns() const { return columns_; }
    size_t Rows() const { return columns_ ? ends_.size() / columns_ : 0; }
    bool Empty() const { return ends_.empty(); }

    // Missing cells are empty; extra cells are dropped.
    void AddRow(const std::vector<std::string>& cells);
    std::string_view Cell(size_t row, int column) const;

    void Append(const ListTextTable& other);
    void Clear();
    void Reserve(size_t rows, size_t bytesPerRow);

  private:
    int columns_;
    std::string text_;
    std::vector<uint64_t> ends_;  // end offset of every cell, row by row
};

// Compare types of a column sort.
enum CompareType : int {
    kCompareNone = 0,
    kCompareInteger = 1,
    kCompareDouble = 2,
    kCompareText = 3,
    kCompareNumberOrText = 4,
    kCompareTextNoCase = 5,
    kCompareNumberOrTextNoCase = 6,
    kCompareDateTime = 7,
};

// What orders the cells of a column that its compare type finds equal (for
// example a date cell whose year is the same): a number, then a text.
struct CellSortKey {
    double number = 0;
    std::string text;
    bool operator<(const CellSortKey& o) const {
        return number < o.number || (number == o.number && text < o.text);
    }
};
using CellSortKeyFunction = std::function<CellSortKey(std::string_view cell)>;

// Display order of `rows` after a stable sort of `order` (indexes into rows)
// by the texts of `column`; cells the compare type finds equal are ordered by
// `tieBreak` when given.
void SortRowOrder(const ListTextTable& rows, int column, int compareType, bool ascending,
                  std::vector<uint32_t>& order, const CellSortKeyFunction& tieBreak = {});

class ListModel final : public QAbstractTableModel {
    Q_OBJECT
  public:
    explicit ListModel(QObject* parent = nullptr);

    // Columns can be inserted only while the list holds no rows.
    bool InsertColumn(int index, const QString& title, Qt::Alignment alignment);

    void AppendRows(const ListTextTable& rows);
    void Clear();
    void Sort(int column, int compareType, bool ascending,
              const CellSortKeyFunction& tieBreak = {});

    int Rows() const { return static_cast<int>(order_.size()); }
    int Columns() const { return static_cast<int>(titles_.size()); }
    // Text of display row `row`.
    std::string_view Cell(int row, int column) const;
    QString CellText(int row, int column) const;
    QString Title(int column) const { return titles_.value(column); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    QList<QString> titles_;
    QList<Qt::Alignment> alignments_;
    ListTextTable rows_;
    std::vector<uint32_t> order_;  // display row -> stored row
};

}  // namespace tav
