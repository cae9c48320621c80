#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QMenu>
#include <QStyle>
#include <QTest>
#include <memory>
#include <numeric>
#include <tuple>

#include "tests/support/temp_dir.h"
#include "tests/views/list_texts.h"
#include "views/list_ctrl_ext.h"
#include "views/result_list_columns.h"

namespace tav {
namespace {

TEST(ListSort, EachCompareTypeOrdersTheTexts) {
    using Cells = std::vector<std::string>;
    using Order = std::vector<uint32_t>;
    // What the case shows, the compare type, the direction, the cells and their sorted order.
    const std::tuple<const char*, int, bool, Cells, Order> cases[] = {
        {"integer reads the leading number, ties keep their order", kCompareInteger, true,
         Cells{"6.9 %", "10.0 %", "6.5 %", "-3", "x"}, Order{3, 4, 0, 2, 1}},
        {"integer descending keeps ties stable", kCompareInteger, false,
         Cells{"6.9 %", "10.0 %", "6.5 %"}, Order{1, 0, 2}},
        {"double compares the whole value", kCompareDouble, true, Cells{"6.9", "6.5", "10", "nan"},
         Order{3, 1, 0, 2}},
        {"text is byte-wise", kCompareText, true, Cells{"b", "B", "a", "10", "9"},
         Order{3, 4, 1, 2, 0}},
        {"no-case text folds letters", kCompareTextNoCase, true, Cells{"b", "A", "a", "C"},
         Order{1, 2, 0, 3}},
        {"number-or-text puts plain integers first", kCompareNumberOrText, true,
         Cells{"abc", "10", "9", "9x", "Abc"}, Order{2, 1, 3, 4, 0}},
        {"number-or-text without case folds the texts", kCompareNumberOrTextNoCase, true,
         Cells{"b", "A", "12", "3"}, Order{3, 2, 1, 0}},
        {"date-time parses dates and times", kCompareDateTime, true,
         Cells{"2024-03-15", "2023-01-02 10:00", "junk"}, Order{2, 1, 0}},
        {"type 0 leaves the order alone", kCompareNone, true, Cells{"b", "a"}, Order{0, 1}},
    };
    for (const auto& [name, type, ascending, cells, sorted] : cases) {
        ListTextTable table(1);
        for (const std::string& cell : cells) table.AddRow({cell});
        Order order(cells.size());
        std::iota(order.begin(), order.end(), 0u);
        SortRowOrder(table, 0, type, ascending, order);
        EXPECT_EQ(order, sorted) << name;
    }
}

class ListCtrlTest : public ::testing::Test {
  protected:
    // The download view's setup of its list, untitled: a drawn sort arrow is
    // then all that changes in a header section.
    std::unique_ptr<CListCtrlExt> MakeList() {
        auto list = std::make_unique<CListCtrlExt>(1001, profile_);
        list->ApplyResultListStyle();
        const int widths[] = {60, 120, 100, 120, 130, 130, 130};
        for (int c = 0; c < 7; ++c) list->InsertColumn(c, QString(), Qt::AlignCenter, widths[c]);
        for (int c = 0; c < 7; ++c) list->SetColumnSort(c, kSortToggles, kCompareInteger);
        list->SetColumnHideable(0, false);
        list->resize(900, 400);
        list->show();
        return list;
    }

    static void ClickHeader(CListCtrlExt& list, int column) {
        QHeaderView* header = list.horizontalHeader();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(column) + 5, 5));
    }

    // Writes a saved layout for the list, four bytes per column in each array.
    void SaveLayout(int count, std::vector<int> order, std::vector<int> widths,
                    std::vector<int> visible) {
        auto pack = [](const std::vector<int>& v) {
            return QByteArray(reinterpret_cast<const char*>(v.data()), 4 * v.size());
        };
        profile_.setValue("1001/ColumnCount", count);
        profile_.setValue("1001/ColumnOrder", pack(order));
        profile_.setValue("1001/ColumnWidth", pack(widths));
        profile_.setValue("1001/ColumnVisible", pack(visible));
    }

    test::TempDir dir_;
    QSettings profile_{QString::fromStdString(dir_.File("profile.ini")), QSettings::IniFormat};
};

// The arrow the header draws in `column`: 1 up, -1 down, 0 none. Compares
// the header drawn with and without its sort indicator; a triangle has less
// ink in its tip half.
int DrawnArrow(QHeaderView* header, int column) {
    const int section = header->sortIndicatorSection();
    const Qt::SortOrder order = header->sortIndicatorOrder();
    const QImage drawn = header->grab().toImage();
    header->setSortIndicator(-1, Qt::AscendingOrder);
    const QImage bare = header->grab().toImage();
    header->setSortIndicator(section, order);
    std::vector<int> ink;  // the row of every changed pixel
    const int left = header->sectionViewportPosition(column);
    for (int y = 0; y < drawn.height(); ++y)
        for (int x = left; x < left + header->sectionSize(column); ++x)
            if (drawn.pixel(x, y) != bare.pixel(x, y)) ink.push_back(y);
    if (ink.empty()) return 0;
    const int mid = (ink.front() + ink.back()) / 2;
    const auto top = std::count_if(ink.begin(), ink.end(), [mid](int y) { return y <= mid; });
    return 2 * top < static_cast<long>(ink.size()) ? 1 : -1;
}

TEST_F(ListCtrlTest, HeaderClicksSortAscendingWithAnUpArrowThenDescendingWithADownArrow) {
    auto list = MakeList();
    QHeaderView* header = list->horizontalHeader();
    test::AppendTexts(*list,
                      {{"1", "", "", "6.9 %"}, {"2", "", "", "10.0 %"}, {"3", "", "", "6.5 %"}});
    list->SelectRow(2);  // the 6.5 % row
    EXPECT_EQ(DrawnArrow(header, 3), 0);

    ClickHeader(*list, 3);
    EXPECT_EQ(test::ColumnTexts(*list, 0), (test::Texts{"1", "3", "2"}));
    EXPECT_TRUE(list->SortAscending());
    EXPECT_EQ(DrawnArrow(header, 3), 1);
    EXPECT_EQ(DrawnArrow(header, 1), 0);
    EXPECT_EQ(list->currentIndex().row(), 1) << "the focused row moves with the sort";

    ClickHeader(*list, 3);
    EXPECT_EQ(test::ColumnTexts(*list, 0), (test::Texts{"2", "1", "3"}));
    EXPECT_FALSE(list->SortAscending());
    EXPECT_EQ(DrawnArrow(header, 3), -1);

    ClickHeader(*list, 0);
    EXPECT_EQ(test::ColumnTexts(*list, 0), (test::Texts{"1", "2", "3"}));
    EXPECT_EQ(list->SortColumn(), 0);
    list->DeleteAllRows();  // takes the arrow away; the saved layout keeps the sort
    EXPECT_EQ(DrawnArrow(header, 0), 0);
}

TEST_F(ListCtrlTest, ClinicalTextsFitTheDefaultColumnsOfBothLists) {
    const std::vector<const char*> texts[] = {{"10000"},
                                              {"2024-06-12", "12-06-2024"},
                                              {"09:30 PM"},
                                              {"48 mmol/mol", "> 130 mmol/mol"},
                                              {"33197161234567", "WWWWWWWWWWWWWW"},
                                              {"MMMMMMMMMMMMMM"},
                                              {"Analyzer Tilted"}};
    const std::vector<int> widthSets[] = {{60, 120, 100, 120, 130, 130, 130},  // download view
                                          {60, 140, 80, 130, 140, 140, 150}};  // all-data list
    auto list = MakeList();
    const QFontMetricsF metrics(list->font());
    EXPECT_EQ(list->font().pixelSize(), 19);
    EXPECT_NEAR(metrics.averageCharWidth(), 8.0, 0.25);
    // The style's text margin on each side of a cell.
    const int margin =
        list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list.get()) + 1;
    for (const std::vector<int>& widths : widthSets)
        for (int c = 0; c < 7; ++c) {
            list->horizontalHeader()->resizeSection(c, widths[c]);
            for (const char* text : texts[c])
                EXPECT_LE(metrics.horizontalAdvance(text) + 2 * margin, list->columnWidth(c))
                    << text << " in a column of " << widths[c];
        }
}

TEST_F(ListCtrlTest, EqualLeadingNumbersAreOrderedByTheWholeCell) {
    auto list = MakeList();
    struct DayFirstDates final : ResultCellFormatter {
        std::string Result(const std::string&) const override { return {}; }
        std::string ListDate(const std::string&, const std::string&) const override { return {}; }
        std::string ListTime(const std::string&, const std::string&) const override { return {}; }
        int DateKey(const std::string& cell) const override { return ListDateKey(cell, 2); }
    } formatter;
    SetResultColumnSort(*list, formatter);
    test::AppendTexts(*list, {{"1", "15-03-2024", "09:30 PM", "6.9 %", "P2"},
                              {"2", "15-01-2024", "09:05 AM", "< 4 %", "P10"},
                              {"3", "02-05-2025", "10:00 AM", "6.5 %", "A1"},
                              {"4", "15-03-2023", "09:30 AM", "> 14 %", "0042"},
                              {"5", "15-06-2024", "09:05 PM", "10.0 %", "42"}});
    using Rows = std::vector<std::string>;
    const std::pair<int, Rows> cases[] = {
        // the column and its rows in ascending order
        {1, Rows{"3", "4", "2", "1", "5"}},  // day first: equal days by the whole date
        {2, Rows{"2", "4", "5", "1", "3"}},  // equal hours by the 12-hour clock
        {3, Rows{"2", "4", "3", "1", "5"}},  // bounds have no leading number
        {4, Rows{"3", "2", "1", "4", "5"}},  // ids as text
    };
    for (const auto& [column, ascending] : cases) {
        list->SortByColumn(column, true);
        EXPECT_EQ(test::ColumnTexts(*list, 0), ascending) << "column " << column;
        list->SortByColumn(column, true);
        EXPECT_EQ(test::ColumnTexts(*list, 0), Rows(ascending.rbegin(), ascending.rend()))
            << "column " << column << " descending";
    }
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
        list->DeleteAllRows();        // the view empties its list before it closes
        EXPECT_TRUE(list->SaveColumnState());
    }
    EXPECT_EQ(profile_.value("1001/ColumnOrder").toByteArray().size(), 28);

    auto list = MakeList();
    ASSERT_TRUE(list->LoadColumnState());
    EXPECT_EQ(list->ColumnOrder(), (std::vector<int>{0, 2, 1, 3, 4, 5, 6}));
    EXPECT_FALSE(list->IsColumnVisible(6));
    EXPECT_EQ(list->ColumnWidth(3), 150);
    EXPECT_EQ(list->ColumnWidth(1), 120);
    EXPECT_EQ(list->SortColumn(), 3);
    EXPECT_FALSE(list->SortAscending());
    // The next click on the restored column flips it to ascending.
    test::AppendTexts(*list, {{"1", "", "", "7"}, {"2", "", "", "5"}});
    list->SortByColumn(3, true);
    EXPECT_TRUE(list->SortAscending());
    EXPECT_EQ(test::ColumnTexts(*list, 0), (test::Texts{"2", "1"}));

    // A column hidden when the layout was saved comes back at its default width.
    ASSERT_TRUE(list->SetColumnVisible(6, true));
    EXPECT_EQ(list->ColumnWidth(6), 130);
}

TEST_F(ListCtrlTest, BrokenSavedLayoutsAreIgnoredFromThePointOfFailure) {
    const std::vector<int> identity{0, 1, 2, 3, 4, 5, 6}, swapped{0, 2, 1, 3, 4, 5, 6};
    const std::vector<int> nines(7, 9), shown(7, 1);
    // What the case shows, the saved count, order and widths, and the order applied.
    using Ints = std::vector<int>;
    const std::tuple<const char*, int, Ints, Ints, Ints> cases[] = {
        {"a different column count applies nothing", 6, swapped, nines, identity},
        {"an order with a column twice is rejected", 7, {0, 1, 2, 3, 4, 5, 5}, nines, identity},
        {"an order entry out of range is rejected", 7, {0, 1, 2, 3, 4, 5, 7}, nines, identity},
        {"a short width array keeps the order but not the widths", 7, swapped, {9, 9, 9}, swapped},
    };
    for (const auto& [name, count, order, widths, applied] : cases) {
        SaveLayout(count, order, widths, shown);
        auto list = MakeList();
        EXPECT_FALSE(list->LoadColumnState()) << name;
        EXPECT_EQ(list->ColumnOrder(), applied) << name;
        EXPECT_EQ(list->ColumnWidth(1), 120) << name;
    }
}

TEST_F(ListCtrlTest, SavedLayoutCannotHideTheFixedColumn) {
    SaveLayout(7, {0, 1, 2, 3, 4, 5, 6}, std::vector<int>(7, 80), {0, 1, 1, 0, 1, 0, 1});
    auto list = MakeList();
    EXPECT_TRUE(list->LoadColumnState());
    EXPECT_TRUE(list->IsColumnVisible(0));
    EXPECT_FALSE(list->IsColumnVisible(3));
    // Hidden columns collect from the end backwards.
    EXPECT_EQ(list->ColumnOrder(), (std::vector<int>{0, 1, 2, 4, 6, 3, 5}));
}

TEST_F(ListCtrlTest, ColumnMenuTogglesAllButTheFixedColumnAndHiddenColumnsStayLast) {
    auto list = MakeList();
    std::unique_ptr<QMenu> menu(list->CreateColumnMenu(nullptr));
    ASSERT_TRUE(menu);
    const QList<QAction*> actions = menu->actions();
    ASSERT_EQ(actions.size(), 7);
    EXPECT_TRUE(actions[0]->isChecked());
    EXPECT_FALSE(actions[0]->isEnabled());
    EXPECT_TRUE(actions[2]->isEnabled());

    actions[2]->trigger();  // hide Time
    EXPECT_FALSE(list->IsColumnVisible(2));
    EXPECT_EQ(list->ColumnOrder(), (std::vector<int>{0, 1, 3, 4, 5, 6, 2}));

    list->horizontalHeader()->resizeSection(2, 0);
    std::unique_ptr<QMenu> again(list->CreateColumnMenu(nullptr));
    EXPECT_FALSE(again->actions()[2]->isChecked());
    again->actions()[2]->trigger();  // show it again at its own index, with its width
    EXPECT_TRUE(list->IsColumnVisible(2));
    EXPECT_EQ(list->ColumnWidth(2), 100);
    EXPECT_EQ(list->ColumnOrder(), (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));

    // A column dragged behind a hidden one leaves the hidden one last.
    list->SetColumnVisible(6, false);
    QHeaderView* header = list->horizontalHeader();
    header->moveSection(header->visualIndex(1), 6);  // Date dropped after the hidden Note
    EXPECT_EQ(list->ColumnOrder().back(), 1);
    QCoreApplication::processEvents();  // the repair runs after the drop
    EXPECT_EQ(list->ColumnOrder(), (std::vector<int>{0, 2, 3, 4, 5, 1, 6}));

    // Without a fixed column there is no menu.
    CListCtrlExt plain(5, profile_);
    plain.InsertColumn(0, "A", Qt::AlignLeft, 40);
    EXPECT_EQ(plain.CreateColumnMenu(nullptr), nullptr);
}

TEST_F(ListCtrlTest, DividerDoubleClickFitsTheWidestCellInSmallAndLargeLists) {
    const std::string wide = "a much longer date cell text";
    for (int rows : {3, 6000}) {  // large lists add up per-character widths: allow rounding
        auto list = MakeList();
        ListTextTable table(7);
        for (int r = 0; r < rows; ++r) table.AddRow({std::to_string(r + 1), r == 1 ? wide : "x"});
        list->AppendRows(table);
        emit list->horizontalHeader()->sectionHandleDoubleClicked(1);
        const int exact = QFontMetrics(list->font()).horizontalAdvance(wide.c_str()) + 12;
        EXPECT_NEAR(list->ColumnWidth(1), exact, rows > 3 ? wide.size() / 2 : 0) << rows;
    }
}

}  // namespace
}  // namespace tav
