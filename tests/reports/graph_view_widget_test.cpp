#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QDateEdit>
#include <QScrollBar>
#include <QTimer>
#include <QtCharts/QCategoryAxis>
#include <QtCharts/QChart>
#include <QtCharts/QLegend>
#include <QtCharts/QScatterSeries>
#include <QtCharts/QValueAxis>
#include <memory>
#include <tuple>

#include "reports/graph_view.h"
#include "store/row_scan.h"
#include "tests/support/logging_view_host.h"
#include "tests/support/sql_rows.h"
#include "tests/support/temp_dir.h"

namespace tav {
namespace {

struct Row {
    std::string date, pid, value = "060", time = "0800";
};

// Result i on 2012-03-(i + 1) at 12:00 of values[i] and patient pids[i] (P01,
// P02, ... when no ids are given).
std::vector<Row> Daily(const std::vector<std::string>& values,
                       const std::vector<std::string>& pids = {}) {
    std::vector<Row> rows;
    for (size_t i = 0; i < values.size(); ++i) {
        const std::string day = QString::asprintf("%02d", static_cast<int>(i + 1)).toStdString();
        rows.push_back({"201203" + day, pids.empty() ? "P" + day : pids[i], values[i], "1200"});
    }
    return rows;
}

class GraphViewTest : public ::testing::Test {
  protected:
    void SetUp() override { db.InitResultDatabase(home.path()); }

    void Store(const std::vector<Row>& rows) {
        ResultTable& t = db.MainTable;
        for (const Row& r : rows) {
            ASSERT_TRUE(t.AddNew());
            std::tie(t.DATE, t.TIME, t.HbA1c_VALUE, t.PID) =
                std::tie(r.date, r.time, r.value, r.pid);
            ASSERT_TRUE(t.Commit());
        }
    }

    // `first` and `slice`: rows read at once and per later slice.
    void Open(int first = kFirstChartRows, int slice = kChartSliceRows) {
        view = std::make_unique<CHbA1c720GraphDataView>(
            host, GraphSources{db, settings, searchActive, [] { return QDate(2024, 3, 15); }});
        view->SetSliceRows(first, slice);
        view->OnInitialUpdate();
        view->OnActivateView();
    }

    // Runs the event loop until the load in progress has been read.
    void DrainLoad() {
        for (int turns = 0; view->Loading() && turns < 1000; ++turns)
            QCoreApplication::processEvents();
        ASSERT_FALSE(view->Loading());
    }

    // How SQLite reads the rows the graph's load asks for.
    std::string LoadPlan() const {
        const std::string scan = ScanSql(db.MainTable, {"DATE", "TIME", "HbA1c_VALUE", "PID"});
        std::string plan;
        for (const auto& row : test::SqlRows(db.MainTable.Handle(), "EXPLAIN QUERY PLAN " + scan))
            plan += row + "\n";
        return plan;
    }

    std::vector<double> Values() const {
        std::vector<double> out;
        for (const QPointF& p : view->Series()->points()) out.push_back(p.y());
        return out;
    }
    QStringList Labels() const { return view->XAxis()->categoriesLabels(); }
    // The y axis as "min-max title".
    QString YAxis() const {
        const QValueAxis* y = view->YAxis();
        return QString("%1-%2 %3").arg(y->min()).arg(y->max()).arg(y->titleText());
    }
    QStringList PidItems() const {
        QStringList out;
        for (int i = 0; i < view->PidCombo()->count(); ++i) out << view->PidCombo()->itemText(i);
        return out;
    }
    std::string Filter() const { return db.MainTable.filter.str(); }
    // The points loaded and drawn, the patient-list items, the search flag
    // and whether a load is still running.
    std::string Shown() const {
        return "points " + std::to_string(view->Points().size()) + ", drawn " +
               std::to_string(view->Series()->count()) + ", pid items " +
               std::to_string(view->PidCombo()->count()) + ", search " +
               std::to_string(searchActive) + (view->Loading() ? ", loading" : "");
    }
    void SelectPid(const QString& pid) {
        view->PidCombo()->setCurrentIndex(view->PidCombo()->findText(pid, Qt::MatchExactly));
    }
    void SearchRange(QDate start, QDate end) {
        view->StartPicker()->setDate(start);
        view->EndPicker()->setDate(end);
        view->OnDateSearch();
    }

    test::TempDir home;
    VirtualClock clock;
    ResultDatabase db{clock};
    AppSettings settings;
    std::atomic<int> searchActive{0};
    test::LoggingViewHost host;
    std::unique_ptr<CHbA1c720GraphDataView> view;
};

TEST_F(GraphViewTest, ValuesArgumentsTitlesAndPatientIdsAreShownByTheSettings) {
    // Oldest first; a stored text longer than three characters and one that
    // is no number are read safely. A patient id is listed once, and not
    // when an item begins with it.
    std::vector<Row> rows = Daily({"35", "140", "065", "041", "0650000000000000", "x7", "065"},
                                  {"123", "12", "abc", "AB", "A", "1234", "123"});
    rows[0].time = "0930";
    Store(rows);
    Open();
    EXPECT_EQ(Values(), (std::vector<double>{4.0, 14.0, 6.5f, 4.1f, 14.0, 4.0, 6.5f}));
    EXPECT_EQ(view->PointLabels(),
              (QStringList{"4.0", "14.0", "6.5", "4.1", "14.0", "4.0", "6.5"}));
    EXPECT_EQ(PidItems(), (QStringList{"ALL Data", "123", "abc", "1234"}));
    EXPECT_EQ(view->PidCombo()->currentIndex(), 0);
    EXPECT_EQ(YAxis(), "0-15 HbA1c Result(%)");
    EXPECT_EQ(view->Chart()->title(), kChartTitle);
    EXPECT_EQ(view->Series()->name(), "HbA1C");
    EXPECT_EQ(view->Chart()->series().size(), 1);
    EXPECT_TRUE(view->Chart()->legend()->isVisible());
    EXPECT_EQ(view->XAxis()->labelsAngle(), 315);

    // The date setting, the first label and the axis title.
    const std::tuple<int, const char*, const char*> cases[] = {
        {0, "2012-03-01 09:30", "Date/Time (Year-Month-Day)"},
        {1, "03/01/2012 09:30", "Date/Time (Month/Day/Year)"},
        {2, "01/03/2012 09:30", "Date/Time (Day/Month/Year)"}};
    for (const auto& [date, label, title] : cases) {
        settings.Date = date;
        view->RefreshGraph();
        EXPECT_EQ(Labels().first(), label) << date;
        EXPECT_EQ(view->XAxis()->titleText(), title);
    }

    settings.unit = 1;
    view->RefreshGraph();
    EXPECT_EQ(Values(), (std::vector<double>{20, 130, 48, 21, 130, 20, 48}));
    EXPECT_EQ(view->PointLabels(), (QStringList{"20", "130", "48", "21", "130", "20", "48"}));
    EXPECT_EQ(YAxis(), "0-150 HbA1c Result(mmol/mol)");
}

TEST_F(GraphViewTest, PeriodSelectionFiltersFromTheFirstDate) {
    Store({{"20120301", "P1"},
           {"20120310", "P2"},
           {"20120315", "P1", "062", "2359"},
           {"20120316", "P1", "063", "0000"},
           {"20120501", "P2"}});
    Open();
    // The patient, the period (0: all; n: n weeks from the first date), the filter and what
    // shows (the patient list is kept from the full load).
    const std::tuple<const char*, int, const char*, const char*> steps[] = {
        {"ALL Data", 2, "DATE between '20120301' and '20120315'",
         "points 3, drawn 3, pid items 3, search 1"},
        {"P2", 12, "DATE between '20120301' and '20120524' and [PID]='P2'",
         "points 2, drawn 2, pid items 3, search 1"},
        // "All" with a patient selected: that patient's results, still a search.
        {"P2", 0, "[PID]='P2'", "points 2, drawn 2, pid items 3, search 1"},
        // "All" with "ALL Data": every result, no search.
        {"ALL Data", 0, "", "points 5, drawn 5, pid items 3, search 0"},
    };
    for (const auto& [pid, period, filter, shown] : steps) {
        SelectPid(pid);
        view->OnPeriodSelected(period);
        EXPECT_EQ(Filter(), filter);
        EXPECT_EQ(Shown(), shown) << filter;
        EXPECT_EQ(view->PidCombo()->currentText(), pid);
        EXPECT_FALSE(view->KeepSelection());
    }

    // A period that finds nothing empties the chart, not leaving the last one.
    SelectPid("P2");
    view->OnPeriodSelected(1);
    EXPECT_EQ(Shown(), "points 0, drawn 0, pid items 3, search 1");
    EXPECT_EQ(view->FirstDate(), "20240315");
}

TEST_F(GraphViewTest, DateSearchChecksOrderAndSpan) {
    Store({{"20120101", "P1"}, {"20120601", "O'NEIL"}, {"20130101", "P1"}, {"20130102", "P1"}});
    Open();
    // The range, the message (null: accepted) and the points shown.
    const std::tuple<QDate, QDate, const char*, size_t> cases[] = {
        {QDate(2012, 1, 2), QDate(2012, 1, 1), kDateOrderText, 4},
        {QDate(2012, 1, 1), QDate(2013, 1, 2), kDateSpanText, 4},  // 367 days
        {QDate(2012, 1, 1), QDate(2013, 1, 1), nullptr, 3},        // 366 days
        {QDate(2012, 6, 1), QDate(2012, 6, 1), nullptr, 1},
    };
    for (const auto& [start, end, message, points] : cases) {
        view->RefreshGraph();
        host.log.clear();
        SearchRange(start, end);
        EXPECT_EQ(host.log, message ? std::vector<std::string>{std::string("message ") + message}
                                    : std::vector<std::string>{});
        EXPECT_EQ(searchActive, message ? 0 : 1);
        EXPECT_EQ(view->Points().size(), points) << start.toString().toStdString();
    }
    EXPECT_EQ(Filter(), "DATE between '20120601' and '20120601'");

    // A patient id with a quote is searched as the text it is.
    view->RefreshGraph();
    SelectPid("O'NEIL");
    SearchRange(QDate(2012, 1, 1), QDate(2012, 12, 31));
    EXPECT_EQ(Filter(), "DATE between '20120101' and '20121231'and[PID]='O''NEIL'");
    ASSERT_EQ(view->Points().size(), 1u);
    EXPECT_EQ(view->Points()[0].DateText, "2012-06-01");
    EXPECT_EQ(view->StartPicker()->date(), QDate(2012, 6, 1));

    // A search that finds nothing shows every result again.
    view->RefreshGraph();
    SelectPid("O'NEIL");
    SearchRange(QDate(2012, 1, 1), QDate(2012, 2, 1));
    EXPECT_EQ(Shown(), "points 4, drawn 4, pid items 3, search 1");
    EXPECT_EQ(Filter(), "");
    EXPECT_EQ(view->PidCombo()->currentIndex(), 0);
}

// Eleven results of eleven patients on ten days at 12:00; the last two at the
// same date and time.
TEST_F(GraphViewTest, ALongLoadIsReadInSlicesAndNeverLeftHalfReadWhenInterrupted) {
    std::vector<Row> rows = Daily(std::vector<std::string>(11, "070"));
    rows[10].date = "20120310";
    rows[10].value = "080";
    Store(rows);
    Open(3, 5);
    // The first rows show at once; the rest is still to come.
    EXPECT_EQ(Shown(), "points 3, drawn 3, pid items 4, search 0, loading");
    EXPECT_EQ(view->LoadSlices(), 1);
    EXPECT_EQ(PidItems(), (QStringList{"ALL Data", "P01", "P02", "P03"}));
    EXPECT_EQ(view->StartPicker()->date(), QDate(2012, 3, 1));

    // An event posted now is handled while the load is part way through.
    size_t pointsSeen = 0;
    QTimer::singleShot(0, view.get(), [&] { pointsSeen = view->Points().size(); });
    DrainLoad();
    EXPECT_GT(pointsSeen, 3u);
    EXPECT_LT(pointsSeen, 11u);

    EXPECT_EQ(view->LoadSlices(), 3);
    EXPECT_EQ(Shown(), "points 11, drawn 8, pid items 12, search 0");  // filled as rows came
    EXPECT_EQ(Labels().first(), "2012-03-01 12:00");
    EXPECT_EQ(view->ScrollBar()->maximum(), 3);

    view->ScrollTo(3);
    EXPECT_EQ(view->Series()->count(), 8);
    EXPECT_EQ(view->Series()->points().front().x(), 3);
    EXPECT_EQ(view->Series()->points().back(), QPointF(10, 8.0));
    EXPECT_EQ(Labels().size(), 8);  // both results of 2012-03-10 12:00 keep a label
    EXPECT_TRUE(Labels().last().startsWith("2012-03-10 12:00"));
    EXPECT_DOUBLE_EQ(view->XAxis()->min(), 2.5);
    EXPECT_DOUBLE_EQ(view->XAxis()->max(), 10.5);

    // The load reads through an index without sorting, so the first points
    // of a large store show before the rest is read.
    EXPECT_EQ(LoadPlan().find("TEMP B-TREE"), std::string::npos) << LoadPlan();
    EXPECT_NE(LoadPlan().find("INDEX"), std::string::npos) << LoadPlan();
    view->OnPeriodSelected(2);
    EXPECT_EQ(LoadPlan().find("TEMP B-TREE"), std::string::npos) << LoadPlan();

    // A search reads the whole patient list first: the list it keeps is whole.
    Open(3, 5);
    SelectPid("P02");
    view->OnPeriodSelected(12);
    EXPECT_EQ(Shown(), "points 1, drawn 1, pid items 12, search 1");
    EXPECT_EQ(view->PidCombo()->currentText(), "P02");

    // A refresh part way starts again: no point is read twice.
    view->RefreshGraph();
    QCoreApplication::processEvents();
    view->RefreshGraph();
    DrainLoad();
    EXPECT_EQ(Shown(), "points 11, drawn 8, pid items 12, search 0");

    // Another view showing stops the load; the next activation loads again.
    view->show();
    view->RefreshGraph();
    view->hide();
    EXPECT_EQ(Shown(), "points 3, drawn 3, pid items 4, search 0");
    view->OnActivateView();
    DrainLoad();
    EXPECT_EQ(view->Points().size(), 11u);

    // The store closing part way (the program ending) ends the load.
    view->RefreshGraph();
    db.Close();
    db.DatabaseReady = 0;
    DrainLoad();
    EXPECT_EQ(view->Points().size(), 3u);

    // Without a database the chart is empty and the pickers start today.
    Open();
    EXPECT_EQ(Shown(), "points 0, drawn 0, pid items 1, search 0");
    EXPECT_EQ(view->StartPicker()->date(), QDate(2024, 3, 15));
    EXPECT_EQ(view->EndPicker()->date(), QDate(2024, 3, 22));
}

}  // namespace
}  // namespace tav
