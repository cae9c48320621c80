// The graph view: plots the stored results of the main table over time, one
// marker per result, in the user's unit, narrowed by a period, a date range
// and a patient id. Eight results show at a time; a scroll bar under the
// chart moves through the rest. Only the results in view are handed to the
// chart, so a store of a million results opens and scrolls quickly. The
// results are read in slices with the window's events handled between them:
// the first results show at once and the rest follow without freezing it.
#pragma once

#include <QDate>
#include <QPointer>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>

#include "core/settings.h"
#include "reports/graph_data.h"
#include "store/result_database.h"
#include "views/frame_view.h"

class QComboBox;
class QDateEdit;
class QScrollBar;
class QChart;
class QChartView;
class QScatterSeries;
class QValueAxis;
class QCategoryAxis;

namespace tav {

namespace graphid {
inline constexpr int kTemplate = 134;
inline constexpr int kPeriod = 1095;
inline constexpr int kPid = 1058;
inline constexpr int kEndDate = 1204;
inline constexpr int kStartDate = 1205;
inline constexpr int kSearch = 1009;
inline constexpr int kChart = 1015;
inline constexpr int kHome = 1027;
inline constexpr int kDownload = 1028;
inline constexpr int kAutomatic = 1029;
inline constexpr int kGraph = 1030;
inline constexpr int kAllData = 1031;
}  // namespace graphid

inline constexpr const char* kChartTitle = "TAVRINA1c Expert HbA1c Chart";
inline constexpr const char* kSeriesName = "HbA1C";
inline constexpr const char* kDateOrderText =
    "The starting date & ending date set-up is wrong. \r\nPlease set up the date again.";
inline constexpr const char* kDateSpanText =
    "365 data can be searched in maximum. \r\nPlease set up the date again.";
// Arguments shown at once on the x axis.
inline constexpr int kVisibleArguments = 8;
// Results read before a load first returns, and per later slice.
inline constexpr int kFirstChartRows = 2000;
inline constexpr int kChartSliceRows = 10000;

// The application-wide objects the view reads.
struct GraphSources {
    ResultDatabase& Database;
    const AppSettings& Settings;
    // Shared with the list view: 1 while a view shows a filtered result.
    std::atomic<int>& SearchActive;
    // Today's date; the local date when empty.
    std::function<QDate()> Today;
};

class ColumnScan;

class CHbA1c720GraphDataView : public FrameView {
    Q_OBJECT
  public:
    CHbA1c720GraphDataView(ViewHost& host, GraphSources sources, QWidget* parent = nullptr);
    ~CHbA1c720GraphDataView() override;

    void OnInitialUpdate() override;
    void OnActivateView() override;
    // Command 12: redraws in the current unit and date format.
    void OnRefresh() override { RefreshGraph(); }
    void RefreshGraph();

    // Reads the main table into the point list and the patient-id list: the
    // first rows at once, the rest in slices after the window has handled its
    // events (see Loading()).
    void LoadChartData();
    // True while results of the last load are still to be read.
    bool Loading() const;
    // Reads the rest of the load at once.
    void FinishLoad();
    // Slices the last load was read in so far, the first one included.
    int LoadSlices() const { return loadSlices_; }
    // Rows read at once and per later slice (tests use small ones).
    void SetSliceRows(int first, int slice);
    // Start picker: the first date; end picker: the first date plus 7 days.
    void InitDateRange();
    // Rebuilds the chart from the point list.
    void BuildChart();
    // Period list selection and the date search (button 1009).
    void OnPeriodSelected(int index);
    void OnDateSearch();

    const ChartPointList& Points() const { return points_; }
    const std::string& FirstDate() const { return firstDate_; }
    bool KeepSelection() const { return keepSelection_; }
    QChart* Chart() const { return chart_; }
    QScatterSeries* Series() const { return series_; }
    QCategoryAxis* XAxis() const { return xAxis_; }
    QValueAxis* YAxis() const { return yAxis_; }
    QScrollBar* ScrollBar() const { return scroll_; }
    QComboBox* PeriodList() const { return period_; }
    QComboBox* PidCombo() const { return pid_; }
    QDateEdit* StartPicker() const { return start_; }
    QDateEdit* EndPicker() const { return end_; }
    // The first point index in view.
    int FirstVisible() const { return firstVisible_; }
    // The value texts drawn over the points in view: "6.5" in percent, "48"
    // in mmol/mol.
    const QStringList& PointLabels() const { return pointLabels_; }
    void ScrollTo(int firstIndex);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void Reload();
    void ShowWindow();
    void OnAutomatic();
    QDate Today() const;
    QDate FirstQDate() const;
    void SetFilterAndRequery(const std::string& condition);
    // Reads up to `limit` rows of the load into the points; then the patient
    // list, the scroll range and the points in view follow.
    void ReadSlice(size_t limit);
    // Adds the patient-list items the combo box does not show yet.
    void SyncPidCombo();
    // After a slice: the scroll range, and the points in view when the slice
    // added to them (`shownBefore` is the point count before it).
    void ExtendChart(size_t shownBefore);
    void ContinueLoad(unsigned generation);
    void StopLoad();
    // A search narrows what the whole load found: its patient list is read
    // whole first.
    void CompleteFullLoad();

    ViewHost& host_;
    GraphSources sources_;
    ChartPointList points_;
    PidList pids_;
    std::string firstDate_;
    bool keepSelection_ = false;
    int titlePending_ = 0;
    std::unique_ptr<ColumnScan> scan_;
    bool scanKeepsPids_ = false;  // the load in progress leaves the patient list as it is
    unsigned loadGeneration_ = 0;
    int loadSlices_ = 0;
    int firstRows_ = kFirstChartRows;
    int sliceRows_ = kChartSliceRows;
    size_t pidsShown_ = 0;  // patient-list items already in the combo box
    int firstVisible_ = 0;
    QStringList pointLabels_;

    QComboBox* period_ = nullptr;
    QComboBox* pid_ = nullptr;
    QDateEdit* end_ = nullptr;
    QDateEdit* start_ = nullptr;
    QChartView* chartView_ = nullptr;
    QChart* chart_ = nullptr;
    QScatterSeries* series_ = nullptr;
    QCategoryAxis* xAxis_ = nullptr;
    QValueAxis* yAxis_ = nullptr;
    QScrollBar* scroll_ = nullptr;
};

}  // namespace tav
