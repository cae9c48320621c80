#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QMenu>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <memory>

#include "views/list_ctrl_ext.h"

namespace tav {
namespace {

std::vector<uint32_t> SortedOrder(const std::vector<std::string>& cells, int type, bool asc) {
    ListTextTable table(1);
    for (const std::string& cell : cells) table.AddRow({cell});
    std::vector<uint32_t> order(cells.size());
    for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
    SortRowOrder(table, 0, type, asc, order);
    return order;
}

struct SortCase {
    const char* name;
    int type;
    bool ascending;
    std::vector<std::string> cells;
    std::vector<uint32_t> order;
};

TEST(ListSort, EachCompareTypeOrdersTheTexts) {
    const SortCase cases[] = {
        {"integer type reads the leading number, equal numbers keep their order",
         kCompareInteger,
         true,
         {"6.9 %", "10.0 %", "6.5 %", "-3", "x"},
         {3, 4, 0, 2, 1}},
        {"integer type descending reverses but keeps ties stable",
         kCompareInteger,
         false,
         {"6.9 %", "10.0 %", "6.5 %"},
         {1, 0, 2}},
        {"a date cell sorts by its first number",
         kCompareInteger,
         true,
         {"2024-03-15", "2023-12-31", "2024-01-01"},
         {1, 0, 2}},
        {"double type compares the whole value",
         kCompareDouble,
         true,
         {"6.9", "6.5", "10", "nan"},
         {3, 1, 0, 2}},
        {"text type is byte-wise", kCompareText, true, {"b", "B", "a", "10", "9"}, {3, 4, 1, 2, 0}},
        {"no-case text folds letters",
         kCompareTextNoCase,
         true,
         {"b", "A", "a", "C"},
         {1, 2, 0, 3}},
        {"number-or-text puts plain integers first in numeric order",
         kCompareNumberOrText,
         true,
         {"abc", "10", "9", "9x", "Abc"},
         {2, 1, 3, 4, 0}},
        {"number-or-text without case folds the texts",
         kCompareNumberOrTextNoCase,
         true,
         {"b", "A", "12", "3"},
         {3, 2, 1, 0}},
        {"date-time type parses dates and times",
         kCompareDateTime,
         true,
         {"2024-03-15", "2023-01-02 10:00", "junk"},
         {2, 1, 0}},
        {"type 0 leaves the order alone", kCompareNone, true, {"b", "a"}, {0, 1}},
    };
    for (const SortCase& c : cases)
        EXPECT_EQ(SortedOrder(c.cells, c.type, c.ascending), c.order) << c.name;
}

class ListCtrlTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        profile_ = std::make_unique<QSettings>(dir_.filePath("profile.ini"), QSettings::IniFormat);
    }

    // The download view's setup of its list.
    std::unique_ptr<CListCtrlExt> MakeList() {
        auto list = std::make_unique<CListCtrlExt>(1001, *profile_);
        const char* titles[] = {"No.", "Date", "Time", "Result.", "PID", "OPID", "Note"};
        const int widths[] = {60, 120, 100, 120, 130, 130, 130};
        for (int c = 0; c < 7; ++c) list->InsertColumn(c, titles[c], Qt::AlignCenter, widths[c]);
        for (int c = 0; c < 7; ++c) list->SetColumnSort(c, kSortToggles, kCompareInteger);
        list->SetColumnHideable(0, false);
        list->resize(900, 400);
        list->show();
        return list;
    }

    static void AddRows(CListCtrlExt& list, const std::vector<std::vector<std::string>>& rows) {
        ListTextTable table(list.ColumnCount());
        for (const auto& row : rows) table.AddRow(row);
        list.AppendRows(table);
    }

    static std::vector<std::string> Column(const CListCtrlExt& list, int column) {
        std::vector<std::string> texts;
        for (int r = 0; r < list.RowCount(); ++r)
            texts.push_back(list.CellText(r, column).toStdString());
        return texts;
    }

    static void ClickHeader(CListCtrlExt& list, int column) {
        QHeaderView* header = list.horizontalHeader();
        const QPoint pos(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                         header->height() / 2);
        const QPointF global = header->viewport()->mapToGlobal(QPointF(pos));
        QMouseEvent press(QEvent::MouseButtonPress, pos, global, Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, pos, global, Qt::LeftButton, Qt::NoButton,
                            Qt::NoModifier);
        QApplication::sendEvent(header->viewport(), &press);
        QApplication::sendEvent(header->viewport(), &release);
    }

    QTemporaryDir dir_;
    std::unique_ptr<QSettings> profile_;
};

TEST_F(ListCtrlTest, HeaderClicksSortAscendingThenDescendingWithTheArrow) {
    auto list = MakeList();
    AddRows(*list, {{"1", "", "", "6.9 %"}, {"2", "", "", "10.0 %"}, {"3", "", "", "6.5 %"}});
    list->SelectRow(2);  // the 6.5 % row

    ClickHeader(*list, 3);
    EXPECT_EQ(Column(*list, 0), (std::vector<std::string>{"1", "3", "2"}));
    EXPECT_TRUE(list->SortAscending());
    EXPECT_EQ(list->horizontalHeader()->sortIndicatorSection(), 3);
    EXPECT_EQ(list->horizontalHeader()->sortIndicatorOrder(), Qt::AscendingOrder);
    EXPECT_EQ(list->currentIndex().row(), 1) << "the focused row moves with the sort";

    ClickHeader(*list, 3);
    EXPECT_EQ(Column(*list, 0), (std::vector<std::string>{"2", "1", "3"}));
    EXPECT_FALSE(list->SortAscending());
    EXPECT_EQ(list->horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);

    ClickHeader(*list, 0);
    EXPECT_EQ(Column(*list, 0), (std::vector<std::string>{"1", "2", "3"}));
    EXPECT_EQ(list->SortColumn(), 0);

    list->DeleteAllRows();
    EXPECT_EQ(list->RowCount(), 0);
    EXPECT_EQ(list->SortColumn(), -1);
    EXPECT_EQ(list->horizontalHeader()->sortIndicatorSection(), -1);
}

TEST_F(ListCtrlTest, ColumnLayoutSurvivesARecreationOfTheControl) {
    {
        auto list = MakeList();
        QHeaderView* header = list->horizontalHeader();
        header->moveSection(header->visualIndex(2), header->visualIndex(1));  // Time before Date
        QCoreApplication::processEvents();
        ASSERT_TRUE(list->SetColumnVisible(6, false));  // hide Note
        header->resizeSection(3, 150);
        list->SortByColumn(3, true);
        list->SortByColumn(3, true);  // descending
        EXPECT_TRUE(list->SaveColumnState());
    }
    profile_->beginGroup("1001");
    EXPECT_EQ(profile_->value("ColumnCount").toInt(), 7);
    EXPECT_EQ(profile_->value("ColumnOrder").toByteArray().size(), 28);
    profile_->endGroup();

    auto list = MakeList();
    ASSERT_TRUE(list->LoadColumnState());
    EXPECT_EQ(list->ColumnOrder(), (std::vector<int>{0, 2, 1, 3, 4, 5, 6}));
    EXPECT_FALSE(list->IsColumnVisible(6));
    EXPECT_EQ(list->ColumnWidth(3), 150);
    EXPECT_EQ(list->ColumnWidth(1), 120);
    EXPECT_EQ(list->SortColumn(), 3);
    EXPECT_FALSE(list->SortAscending());
    // The next click on the restored column flips it to ascending.
    AddRows(*list, {{"1", "", "", "7"}, {"2", "", "", "5"}});
    list->SortByColumn(3, true);
    EXPECT_TRUE(list->SortAscending());
    EXPECT_EQ(Column(*list, 0), (std::vector<std::string>{"2", "1"}));

    // A column hidden when the layout was saved comes back at its default width.
    ASSERT_TRUE(list->SetColumnVisible(6, true));
    EXPECT_EQ(list->ColumnWidth(6), 130);
}

TEST_F(ListCtrlTest, BrokenSavedLayoutsAreIgnoredFromThePointOfFailure) {
    auto pack = [](std::vector<int> values) {
        QByteArray bytes;
        for (int v : values) bytes.append(reinterpret_cast<const char*>(&v), 4);
        return bytes;
    };
    const std::vector<int> identity{0, 1, 2, 3, 4, 5, 6};
    const std::vector<int> swapped{0, 2, 1, 3, 4, 5, 6};
    struct Case {
        const char* name;
        int count;
        QByteArray order, widths, visible;
        std::vector<int> expectOrder;
        int expectWidth1;
    } cases[] = {
        {"a different column count applies nothing", 6, pack(swapped), pack({9, 9, 9, 9, 9, 9, 9}),
         pack({1, 1, 1, 1, 1, 1, 1}), identity, 120},
        {"an order with a column twice is rejected", 7, pack({0, 1, 2, 3, 4, 5, 5}),
         pack({9, 9, 9, 9, 9, 9, 9}), pack({1, 1, 1, 1, 1, 1, 1}), identity, 120},
        {"an order entry out of range is rejected", 7, pack({0, 1, 2, 3, 4, 5, 7}),
         pack({9, 9, 9, 9, 9, 9, 9}), pack({1, 1, 1, 1, 1, 1, 1}), identity, 120},
        {"a short width array keeps the order but not the widths", 7, pack(swapped),
         pack({9, 9, 9}), pack({1, 1, 1, 1, 1, 1, 1}), swapped, 120},
    };
    for (const Case& c : cases) {
        profile_->beginGroup("1001");
        profile_->setValue("ColumnCount", c.count);
        profile_->setValue("ColumnOrder", c.order);
        profile_->setValue("ColumnWidth", c.widths);
        profile_->setValue("ColumnVisible", c.visible);
        profile_->endGroup();
        auto list = MakeList();
        EXPECT_FALSE(list->LoadColumnState()) << c.name;
        EXPECT_EQ(list->ColumnOrder(), c.expectOrder) << c.name;
        EXPECT_EQ(list->ColumnWidth(1), c.expectWidth1) << c.name;
    }
}

TEST_F(ListCtrlTest, SavedLayoutCannotHideTheFixedColumn) {
    profile_->beginGroup("1001");
    profile_->setValue("ColumnCount", 7);
    QByteArray order, widths, visible;
    for (int c = 0; c < 7; ++c) {
        int w = 80, v = c == 0 || c == 3 ? 0 : 1;
        order.append(reinterpret_cast<const char*>(&c), 4);
        widths.append(reinterpret_cast<const char*>(&w), 4);
        visible.append(reinterpret_cast<const char*>(&v), 4);
    }
    profile_->setValue("ColumnOrder", order);
    profile_->setValue("ColumnWidth", widths);
    profile_->setValue("ColumnVisible", visible);
    profile_->endGroup();
    auto list = MakeList();
    EXPECT_TRUE(list->LoadColumnState());
    EXPECT_TRUE(list->IsColumnVisible(0));
    EXPECT_FALSE(list->IsColumnVisible(3));
    EXPECT_EQ(list->ColumnOrder().back(), 3);
}

TEST_F(ListCtrlTest, ColumnMenuShowsFixedColumnGreyAndTogglesTheOthers) {
    auto list = MakeList();
    std::unique_ptr<QMenu> menu(list->CreateColumnMenu(nullptr));
    ASSERT_TRUE(menu);
    const QList<QAction*> actions = menu->actions();
    ASSERT_EQ(actions.size(), 7);
    EXPECT_EQ(actions[0]->text(), "No.");
    EXPECT_TRUE(actions[0]->isChecked());
    EXPECT_FALSE(actions[0]->isEnabled());
    EXPECT_TRUE(actions[2]->isEnabled());

    actions[2]->trigger();  // hide Time
    EXPECT_FALSE(list->IsColumnVisible(2));
    EXPECT_EQ(list->ColumnWidth(2), 0);
    EXPECT_EQ(list->ColumnOrder(), (std::vector<int>{0, 1, 3, 4, 5, 6, 2}));

    list->horizontalHeader()->resizeSection(2, 0);
    std::unique_ptr<QMenu> again(list->CreateColumnMenu(nullptr));
    EXPECT_FALSE(again->actions()[2]->isChecked());
    again->actions()[2]->trigger();  // show it again at its own index, with its width
    EXPECT_TRUE(list->IsColumnVisible(2));
    EXPECT_EQ(list->ColumnWidth(2), 100);
    EXPECT_EQ(list->ColumnOrder(), (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));

    // Without a fixed column there is no menu.
    CListCtrlExt plain(5, *profile_);
    plain.InsertColumn(0, "A", Qt::AlignLeft, 40);
    EXPECT_EQ(plain.CreateColumnMenu(nullptr), nullptr);
}

TEST_F(ListCtrlTest, ShownColumnGoesToTheEndOfTheVisibleOnesWhenItsIndexIsBeyondThem) {
    auto list = MakeList();
    for (int c = 6; c >= 2; --c) list->SetColumnVisible(c, false);
    list->SetColumnVisible(5, true);
    EXPECT_EQ(list->ColumnOrder()[2], 5);
    EXPECT_TRUE(list->IsColumnVisible(5));
}

TEST_F(ListCtrlTest, DraggingAColumnBehindAHiddenOneKeepsTheHiddenOneLast) {
    auto list = MakeList();
    list->SetColumnVisible(6, false);
    QHeaderView* header = list->horizontalHeader();
    header->moveSection(header->visualIndex(1), 6);  // Date dropped after the hidden Note
    EXPECT_EQ(list->ColumnOrder().back(), 1);
    QCoreApplication::processEvents();  // the repair runs after the drop
    EXPECT_EQ(list->ColumnOrder(), (std::vector<int>{0, 2, 3, 4, 5, 1, 6}));
}

TEST_F(ListCtrlTest, DividerDoubleClickFitsTheWidestCell) {
    auto list = MakeList();
    AddRows(*list, {{"1", "short"}, {"2", "a much longer date cell text"}, {"3", ""}});
    const QFontMetrics metrics(list->font());
    emit list->horizontalHeader()->sectionHandleDoubleClicked(1);
    EXPECT_EQ(list->ColumnWidth(1), metrics.horizontalAdvance("a much longer date cell text") + 12);
}

TEST_F(ListCtrlTest, LargeListsSortByPrecomputedKeys) {
    auto list = MakeList();
    constexpr int kRows = 200000;
    ListTextTable table(7);
    for (int i = 0; i < kRows; ++i) {
        const int value = (i * 7919) % kRows;
        table.AddRow({std::to_string(i + 1), "", "", std::to_string(value)});
    }
    list->AppendRows(table);
    list->SortByColumn(3, true);
    ASSERT_EQ(list->RowCount(), kRows);
    for (int r = 0; r < kRows; r += 9973) EXPECT_EQ(list->CellText(r, 3).toInt(), r);
    emit list->horizontalHeader()->sectionHandleDoubleClicked(0);
    EXPECT_GT(list->ColumnWidth(0), 12);
}

}  // namespace
}  // namespace tav
