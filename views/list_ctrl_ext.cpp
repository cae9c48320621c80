#include "views/list_ctrl_ext.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QMenu>
#include <QMetaObject>
#include <QtEndian>
#include <algorithm>

#include "controls/fitted_font.h"

namespace tav {

namespace {

constexpr int kAutoWidthPadding = 12;
// Above this many rows auto width sums cached character advances instead of
// shaping every cell.
constexpr int kExactMeasureRows = 5000;
constexpr int kMenuTitleBuffer = 64;

QByteArray PackInts(const std::vector<int>& values) {
    QByteArray bytes(static_cast<qsizetype>(values.size() * 4), '\0');
    for (size_t i = 0; i < values.size(); ++i)
        qToLittleEndian<qint32>(values[i], bytes.data() + i * 4);
    return bytes;
}

bool UnpackInts(const QByteArray& bytes, int count, std::vector<int>& values) {
    if (bytes.size() != static_cast<qsizetype>(count) * 4) return false;
    values.resize(count);
    for (int i = 0; i < count; ++i)
        values[i] = qFromLittleEndian<qint32>(bytes.constData() + i * 4);
    return true;
}

bool IsPermutation(const std::vector<int>& order) {
    std::vector<bool> seen(order.size(), false);
    for (int v : order) {
        if (v < 0 || v >= static_cast<int>(order.size()) || seen[v]) return false;
        seen[v] = true;
    }
    return true;
}

}  // namespace

CListCtrlExt::CListCtrlExt(int controlId, QSettings& profile, QWidget* parent)
    : QTableView(parent), controlId_(controlId), profile_(profile), model_(new ListModel(this)) {
    setProperty("controlId", controlId);
    setModel(model_);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    setWordWrap(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setEditTriggers(QAbstractItemView::NoEditTriggers);

    QHeaderView* header = horizontalHeader();
    header->setMinimumSectionSize(0);
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    header->setSortIndicator(-1, Qt::AscendingOrder);
    header->setHighlightSections(false);
    header->setStretchLastSection(false);
    header->setDefaultAlignment(Qt::AlignCenter);
    header->setContextMenuPolicy(Qt::CustomContextMenu);
    // The view's own divider double click sizes by a sample of rows; ours measures all.
    disconnect(header, &QHeaderView::sectionHandleDoubleClicked, this, nullptr);
    // A header press sorts; it does not select the column.
    disconnect(header, &QHeaderView::sectionPressed, this, nullptr);
    disconnect(header, &QHeaderView::sectionEntered, this, nullptr);
    connect(header, &QHeaderView::sectionHandleDoubleClicked, this,
            [this](int column) { AutoSizeColumn(column); });
    connect(header, &QHeaderView::sectionClicked, this,
            [this](int column) { SortByColumn(column, true); });
    connect(header, &QHeaderView::sectionMoved, this, [this] { OnSectionMoved(); });
    connect(header, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { ShowColumnMenu(pos); });
    connect(this, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& index) { emit rowDoubleClicked(index.row()); });
}

void CListCtrlExt::ApplyResultListStyle() {
    setShowGrid(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    horizontalHeader()->setSectionsMovable(true);
    verticalHeader()->setDefaultSectionSize(32);
    verticalHeader()->setMinimumSectionSize(1);
    const QFont font = ResultListFont();
    setFont(font);
    horizontalHeader()->setFont(font);
}

int CListCtrlExt::InsertColumn(int index, const QString& title, Qt::Alignment format, int width) {
    if (index < 0) return -1;
    index = std::min(index, ColumnCount());
    if (!model_->InsertColumn(index, title, format)) return -1;
    Column column;
    column.defaultWidth = std::max(0, width);
    columns_.insert(columns_.begin() + index, column);
    horizontalHeader()->resizeSection(index, column.defaultWidth);
    return index;
}

bool CListCtrlExt::SetColumnSort(int column, int flags, int compareType) {
    if (!InRange(column) || (flags & (kSortAscending | kSortDescending | kSortToggles)) == 0)
        return false;
    columns_[column].sortFlags = flags;
    columns_[column].compareType = compareType;
    columns_[column].sortSet = true;
    return true;
}

bool CListCtrlExt::SetColumnSortKey(int column, CellSortKeyFunction tieBreak) {
    if (!InRange(column)) return false;
    columns_[column].tieBreak = std::move(tieBreak);
    return true;
}

void CListCtrlExt::ShowSortArrow(int column, bool ascending) {
    // The header draws Qt's ascending order as a downward arrow; the list
    // shows an upward arrow for an ascending sort.
    horizontalHeader()->setSortIndicator(column,
                                         ascending ? Qt::DescendingOrder : Qt::AscendingOrder);
}

bool CListCtrlExt::SetColumnHideable(int column, bool hideable) {
    if (!InRange(column)) return false;
    columns_[column].hideable = hideable;
    return true;
}

bool CListCtrlExt::IsColumnHideable(int column) const {
    return InRange(column) && columns_[column].hideable;
}

void CListCtrlExt::SortByColumn(int column, bool toggle) {
    if (!InRange(column)) return;
    Column& info = columns_[column];
    if (!info.sortSet || (info.sortFlags & 7) == 0) return;
    if (info.sortFlags & kSortToggles) {
        if ((info.sortFlags & 3) == 0) info.sortFlags |= kSortDescending;
        if (toggle) info.sortFlags ^= 3;
    }
    const bool ascending = (info.sortFlags & kSortAscending) != 0;
    sortColumn_ = column;
    model_->Sort(column, info.compareType, ascending, info.tieBreak);
    ShowSortArrow(column, ascending);
    sortAscending_ = ascending;
}

bool CListCtrlExt::SaveColumnState() {
    const int count = ColumnCount();
    std::vector<int> widths(count), visible(count);
    for (int c = 0; c < count; ++c) {
        widths[c] = ColumnWidth(c);
        visible[c] = columns_[c].visible ? 1 : 0;
    }
    profile_.beginGroup(QString::number(controlId_));
    profile_.setValue(QStringLiteral("ColumnCount"), count);
    profile_.setValue(QStringLiteral("ColumnOrder"), PackInts(ColumnOrder()));
    profile_.setValue(QStringLiteral("ColumnWidth"), PackInts(widths));
    profile_.setValue(QStringLiteral("ColumnVisible"), PackInts(visible));
    profile_.setValue(QStringLiteral("ColSortNum"), sortColumn_);
    profile_.setValue(QStringLiteral("ColSortDir"), sortAscending_ ? 1 : 0);
    profile_.endGroup();
    profile_.sync();
    return true;
}

bool CListCtrlExt::LoadColumnState() {
    const int count = ColumnCount();
    profile_.beginGroup(QString::number(controlId_));
    const int savedCount = profile_.value(QStringLiteral("ColumnCount"), 0).toInt();
    const QByteArray orderBytes = profile_.value(QStringLiteral("ColumnOrder")).toByteArray();
    const QByteArray widthBytes = profile_.value(QStringLiteral("ColumnWidth")).toByteArray();
    const QByteArray visibleBytes = profile_.value(QStringLiteral("ColumnVisible")).toByteArray();
    const int sortColumn = profile_.value(QStringLiteral("ColSortNum"), 0).toInt();
    const int sortDir = profile_.value(QStringLiteral("ColSortDir"), 0).toInt();
    profile_.endGroup();

    if (count == 0 || savedCount != count) return false;
    std::vector<int> order;
    if (!UnpackInts(orderBytes, count, order) || !IsPermutation(order)) return false;
    SetColumnOrder(order);
    std::vector<int> widths;
    if (!UnpackInts(widthBytes, count, widths)) return false;
    for (int c = 0; c < count; ++c) {
        const int width = std::max(0, widths[c]);
        if (columns_[c].visible)
            horizontalHeader()->resizeSection(c, width);
        else
            columns_[c].rememberedWidth = width;
    }
    std::vector<int> visible;
    if (!UnpackInts(visibleBytes, count, visible)) return false;
    for (int c = 0; c < count; ++c) SetColumnVisible(c, visible[c] != 0);
    SortByColumn(sortColumn, sortDir != 0);
    return true;
}

bool CListCtrlExt::SetColumnVisible(int column, bool visible) {
    if (!InRange(column)) return false;
    Column& info = columns_[column];
    if (info.visible == visible) return true;
    QHeaderView* header = horizontalHeader();
    if (!visible) {
        if (!info.hideable) return false;
        info.rememberedWidth = header->sectionSize(column);
        info.visible = false;
        header->hideSection(column);
        SetColumnOrder(ColumnOrder());
        return true;
    }
    info.visible = true;
    header->showSection(column);
    // A width of 0 comes from a profile written while the column was hidden.
    header->resizeSection(column,
                          info.rememberedWidth > 0 ? info.rememberedWidth : info.defaultWidth);
    std::vector<int> order = ColumnOrder();
    order.erase(std::find(order.begin(), order.end(), column));
    int visibleCount = 0;
    for (int c : order)
        if (columns_[c].visible) ++visibleCount;
    order.insert(order.begin() + std::min(column, visibleCount), column);
    SetColumnOrder(order);
    return true;
}

bool CListCtrlExt::IsColumnVisible(int column) const {
    return InRange(column) && columns_[column].visible;
}

int CListCtrlExt::ColumnWidth(int column) const {
    if (!InRange(column) || !columns_[column].visible) return 0;
    return horizontalHeader()->sectionSize(column);
}

std::vector<int> CListCtrlExt::ColumnOrder() const {
    std::vector<int> order;
    const QHeaderView* header = horizontalHeader();
    for (int v = 0; v < ColumnCount(); ++v) order.push_back(header->logicalIndex(v));
    return order;
}

void CListCtrlExt::SetColumnOrder(const std::vector<int>& requested) {
    const int count = ColumnCount();
    if (static_cast<int>(requested.size()) != count || !IsPermutation(requested)) return;
    // Visible columns keep their sequence at the front; hidden ones collect
    // from the end backwards.
    std::vector<int> order(count);
    int front = 0, back = count - 1;
    for (int c : requested) {
        if (columns_[c].visible)
            order[front++] = c;
        else
            order[back--] = c;
    }
    QHeaderView* header = horizontalHeader();
    applyingOrder_ = true;
    for (int v = 0; v < count; ++v) {
        const int from = header->visualIndex(order[v]);
        if (from != v) header->moveSection(from, v);
    }
    applyingOrder_ = false;
}

void CListCtrlExt::OnSectionMoved() {
    if (applyingOrder_) return;
    // Repair the order once the drag has finished.
    QMetaObject::invokeMethod(
        this, [this] { SetColumnOrder(ColumnOrder()); }, Qt::QueuedConnection);
}

void CListCtrlExt::AutoSizeColumn(int column) {
    if (!InRange(column)) return;
    const QFontMetrics metrics(font());
    const int rows = RowCount();
    int widest = 0;
    if (rows <= kExactMeasureRows) {
        for (int r = 0; r < rows; ++r)
            widest = std::max(widest, metrics.horizontalAdvance(CellText(r, column)));
    } else {
        int advance[128];
        for (int ch = 0; ch < 128; ++ch)
            advance[ch] = metrics.horizontalAdvance(QChar(static_cast<char16_t>(ch)));
        for (int r = 0; r < rows; ++r) {
            std::string_view cell = model_->Cell(r, column);
            int width = 0;
            bool ascii = true;
            for (char ch : cell) {
                const auto byte = static_cast<unsigned char>(ch);
                if (byte >= 128) {
                    ascii = false;
                    break;
                }
                width += advance[byte];
            }
            if (!ascii) width = metrics.horizontalAdvance(CellText(r, column));
            widest = std::max(widest, width);
        }
    }
    if (!IsColumnVisible(column)) return;
    horizontalHeader()->resizeSection(column, widest + kAutoWidthPadding);
}

QMenu* CListCtrlExt::CreateColumnMenu(QWidget* parent) {
    const bool anyFixed =
        std::any_of(columns_.begin(), columns_.end(), [](const Column& c) { return !c.hideable; });
    if (!anyFixed) return nullptr;
    auto* menu = new QMenu(parent);
    for (int c = 0; c < ColumnCount(); ++c) {
        QString title = ColumnTitle(c);
        if (title.size() > kMenuTitleBuffer - 1) title = title.left(kMenuTitleBuffer - 4) + "...";
        QAction* action = menu->addAction(title);
        action->setCheckable(true);
        action->setChecked(columns_[c].visible || !columns_[c].hideable);
        action->setEnabled(columns_[c].hideable);
        action->setData(c);
        connect(action, &QAction::triggered, this,
                [this, c] { SetColumnVisible(c, !IsColumnVisible(c)); });
    }
    return menu;
}

void CListCtrlExt::ShowColumnMenu(const QPoint& pos) {
    QMenu* menu = CreateColumnMenu(this);
    if (!menu) return;
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(horizontalHeader()->viewport()->mapToGlobal(pos));
}

void CListCtrlExt::AppendRows(const ListTextTable& rows) {
    model_->AppendRows(rows);
}

void CListCtrlExt::DeleteAllRows() {
    // Only the arrow goes: the sort column and direction stay for the saved
    // layout and the next header click.
    horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    model_->Clear();
}

void CListCtrlExt::SelectRow(int row) {
    if (row < 0 || row >= RowCount()) return;
    const QModelIndex index = model_->index(row, 0);
    selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(index);
}

}  // namespace tav
