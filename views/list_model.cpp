#include "views/list_model.h"

#include <QDateTime>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace tav {

void ListTextTable::AddRow(const std::vector<std::string>& cells) {
    for (int c = 0; c < columns_; ++c) {
        if (c < static_cast<int>(cells.size())) text_ += cells[c];
        ends_.push_back(text_.size());
    }
}

std::string_view ListTextTable::Cell(size_t row, int column) const {
    if (column < 0 || column >= columns_ || row >= Rows()) return {};
    size_t i = row * columns_ + column;
    uint64_t begin = i == 0 ? 0 : ends_[i - 1];
    return std::string_view(text_).substr(begin, ends_[i] - begin);
}

void ListTextTable::Append(const ListTextTable& other) {
    if (other.columns_ != columns_) {
        for (size_t r = 0; r < other.Rows(); ++r) {
            std::vector<std::string> cells;
            for (int c = 0; c < other.columns_; ++c) cells.emplace_back(other.Cell(r, c));
            AddRow(cells);
        }
        return;
    }
    uint64_t base = text_.size();
    text_ += other.text_;
    ends_.reserve(ends_.size() + other.ends_.size());
    for (uint64_t end : other.ends_) ends_.push_back(base + end);
}

void ListTextTable::Clear() {
    text_.clear();
    text_.shrink_to_fit();
    ends_.clear();
    ends_.shrink_to_fit();
}

void ListTextTable::Reserve(size_t rows, size_t bytesPerRow) {
    text_.reserve(rows * bytesPerRow);
    ends_.reserve(rows * columns_);
}

namespace {

// The leading integer of a text, as atol reads it (saturating instead of overflowing).
int64_t LeadingInteger(std::string_view text) {
    std::string s(text);
    return std::strtoll(s.c_str(), nullptr, 10);
}

double LeadingDouble(std::string_view text) {
    std::string s(text);
    double v = std::strtod(s.c_str(), nullptr);
    return std::isnan(v) ? -std::numeric_limits<double>::infinity() : v;
}

// True when the text is exactly the decimal form of its leading integer.
bool IsPlainInteger(std::string_view text, int64_t& value) {
    value = LeadingInteger(text);
    return text == std::to_string(value);
}

std::string FoldCase(std::string_view text) {
    std::string folded(text);
    for (char& ch : folded)
        if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
    return folded;
}

int64_t DateTimeKey(std::string_view text) {
    const QString s = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).trimmed();
    static const char* const kFormats[] = {
        "yyyy-MM-dd hh:mm:ss", "yyyy-MM-dd hh:mm", "yyyy-MM-dd", "yyyy/MM/dd hh:mm:ss",
        "yyyy/MM/dd hh:mm",    "yyyy/MM/dd",       "MM-dd-yyyy", "MM/dd/yyyy",
        "dd-MM-yyyy",          "hh:mm:ss",         "hh:mm AP",   "hh:mm"};
    for (const char* format : kFormats) {
        QDateTime dt = QDateTime::fromString(s, QString::fromLatin1(format));
        if (!dt.isValid()) {
            QTime t = QTime::fromString(s, QString::fromLatin1(format));
            if (t.isValid()) dt = QDateTime(QDate(1899, 12, 30), t);
        }
        if (dt.isValid()) {
            dt.setTimeSpec(Qt::UTC);
            return dt.toMSecsSinceEpoch();
        }
    }
    return std::numeric_limits<int64_t>::min();
}

// Keys of the tie-break, one per row; empty without a tie-break.
using TieKeys = std::vector<CellSortKey>;

template <typename Key>
void SortByKeys(const std::vector<Key>& keys, const TieKeys& ties, bool ascending,
                std::vector<uint32_t>& order) {
    auto less = [&](uint32_t a, uint32_t b) {
        if (keys[a] < keys[b]) return true;
        if (keys[b] < keys[a] || ties.empty()) return false;
        return ties[a] < ties[b];
    };
    if (ascending)
        std::stable_sort(order.begin(), order.end(), less);
    else
        std::stable_sort(order.begin(), order.end(),
                         [&](uint32_t a, uint32_t b) { return less(b, a); });
}

struct NumberOrText {
    bool isText;  // plain integers sort before every other text
    int64_t value;
    std::string text;
    bool operator<(const NumberOrText& o) const {
        if (isText != o.isText) return !isText;
        if (!isText) return value < o.value;
        return text < o.text;
    }
};

}  // namespace

void SortRowOrder(const ListTextTable& rows, int column, int compareType, bool ascending,
                  std::vector<uint32_t>& order, const CellSortKeyFunction& tieBreak) {
    const size_t n = rows.Rows();
    TieKeys ties;
    if (tieBreak && compareType != kCompareNone) {
        ties.resize(n);
        for (size_t i = 0; i < n; ++i) ties[i] = tieBreak(rows.Cell(i, column));
    }
    switch (compareType) {
        case kCompareNone:
            return;
        case kCompareInteger: {
            std::vector<int64_t> keys(n);
            for (size_t i = 0; i < n; ++i) keys[i] = LeadingInteger(rows.Cell(i, column));
            SortByKeys(keys, ties, ascending, order);
            return;
        }
        case kCompareDouble: {
            std::vector<double> keys(n);
            for (size_t i = 0; i < n; ++i) keys[i] = LeadingDouble(rows.Cell(i, column));
            SortByKeys(keys, ties, ascending, order);
            return;
        }
        case kCompareNumberOrText:
        case kCompareNumberOrTextNoCase: {
            const bool fold = compareType == kCompareNumberOrTextNoCase;
            std::vector<NumberOrText> keys(n);
            for (size_t i = 0; i < n; ++i) {
                std::string_view cell = rows.Cell(i, column);
                int64_t value = 0;
                bool number = IsPlainInteger(cell, value);
                keys[i] = {!number, value,
                           number ? std::string()
                           : fold ? FoldCase(cell)
                                  : std::string(cell)};
            }
            SortByKeys(keys, ties, ascending, order);
            return;
        }
        case kCompareTextNoCase: {
            std::vector<std::string> keys(n);
            for (size_t i = 0; i < n; ++i) keys[i] = FoldCase(rows.Cell(i, column));
            SortByKeys(keys, ties, ascending, order);
            return;
        }
        case kCompareDateTime: {
            std::vector<int64_t> keys(n);
            for (size_t i = 0; i < n; ++i) keys[i] = DateTimeKey(rows.Cell(i, column));
            SortByKeys(keys, ties, ascending, order);
            return;
        }
        default: {
            std::vector<std::string_view> keys(n);
            for (size_t i = 0; i < n; ++i) keys[i] = rows.Cell(i, column);
            SortByKeys(keys, ties, ascending, order);
            return;
        }
    }
}

ListModel::ListModel(QObject* parent) : QAbstractTableModel(parent) {}

bool ListModel::InsertColumn(int index, const QString& title, Qt::Alignment alignment) {
    if (!order_.empty() || index < 0) return false;
    index = std::min(index, Columns());
    beginInsertColumns({}, index, index);
    titles_.insert(index, title);
    alignments_.insert(index, alignment);
    rows_ = ListTextTable(Columns());
    endInsertColumns();
    return true;
}

void ListModel::AppendRows(const ListTextTable& rows) {
    if (rows.Empty()) return;
    const size_t first = order_.size();
    const size_t count = rows.Rows();
    if (first + count > std::numeric_limits<uint32_t>::max()) return;
    beginInsertRows({}, static_cast<int>(first), static_cast<int>(first + count - 1));
    rows_.Append(rows);
    order_.reserve(first + count);
    for (size_t i = 0; i < count; ++i) order_.push_back(static_cast<uint32_t>(first + i));
    endInsertRows();
}

void ListModel::Clear() {
    if (order_.empty()) return;
    beginResetModel();
    rows_.Clear();
    order_.clear();
    order_.shrink_to_fit();
    endResetModel();
}

void ListModel::Sort(int column, int compareType, bool ascending,
                     const CellSortKeyFunction& tieBreak) {
    if (column < 0 || column >= Columns() || order_.size() < 2) return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<uint32_t> before = order_;
    SortRowOrder(rows_, column, compareType, ascending, order_, tieBreak);
    const QModelIndexList persistent = persistentIndexList();
    if (!persistent.isEmpty()) {
        // Stored row -> new display row, to carry the selection and focus along.
        std::vector<uint32_t> displayOf(order_.size());
        for (size_t i = 0; i < order_.size(); ++i) displayOf[order_[i]] = static_cast<uint32_t>(i);
        QModelIndexList to;
        to.reserve(persistent.size());
        for (const QModelIndex& from : persistent)
            to.append(index(static_cast<int>(displayOf[before[from.row()]]), from.column()));
        changePersistentIndexList(persistent, to);
    }
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

std::string_view ListModel::Cell(int row, int column) const {
    if (row < 0 || row >= Rows()) return {};
    return rows_.Cell(order_[row], column);
}

QString ListModel::CellText(int row, int column) const {
    std::string_view cell = Cell(row, column);
    return QString::fromUtf8(cell.data(), static_cast<qsizetype>(cell.size()));
}

int ListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Rows();
}

int ListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Columns();
}

QVariant ListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    if (role == Qt::DisplayRole) return CellText(index.row(), index.column());
    if (role == Qt::TextAlignmentRole)
        return static_cast<int>(alignments_.value(index.column()) | Qt::AlignVCenter);
    return {};
}

QVariant ListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) return {};
    if (role == Qt::DisplayRole) return titles_.value(section);
    if (role == Qt::TextAlignmentRole)
        return static_cast<int>(alignments_.value(section) | Qt::AlignVCenter);
    return {};
}

}  // namespace tav
