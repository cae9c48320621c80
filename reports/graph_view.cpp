#include "reports/graph_view.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QWheelEvent>
#include <QtCharts/QCategoryAxis>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QScatterSeries>
#include <QtCharts/QValueAxis>

#include "controls/art_button.h"
#include "core/result_format.h"
#include "store/row_scan.h"
#include "store/sql_text.h"

namespace tav {
namespace {

constexpr const char* kAscendingOrder = "[DATE] ASC, [TIME] ASC, [HbA1c_VALUE] ASC";

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

std::string Stored(const QDate& date) {
    return MakeStoredDate(date.year(), date.month(), date.day());
}

QFont SystemListFont() {
    QFont font(QStringLiteral("SYSTEM"));
    font.setPointSize(10);
    return font;
}

// The chart with the value of each point written above its marker; the
// chart's own point labels cannot keep one decimal for 8.0.
class LabelledChartView final : public QChartView {
  public:
    LabelledChartView(QChart* chart, const QStringList& labels, QScatterSeries* const& series,
                      QWidget* parent)
        : QChartView(chart, parent), labels_(labels), series_(series) {}

  protected:
    void drawForeground(QPainter* painter, const QRectF& rect) override {
        QChartView::drawForeground(painter, rect);
        if (!series_) return;
        const QList<QPointF> points = series_->points();
        painter->save();
        painter->setPen(QColor(40, 40, 40));
        const QFontMetrics metrics(painter->font());
        for (qsizetype i = 0; i < points.size() && i < labels_.size(); ++i) {
            const QPointF at = chart()->mapToPosition(points[i], series_);
            const int width = metrics.horizontalAdvance(labels_[i]);
            painter->drawText(QPointF(at.x() - width / 2.0, at.y() - 10), labels_[i]);
        }
        painter->restore();
    }

  private:
    const QStringList& labels_;
    QScatterSeries* const& series_;
};

}  // namespace

CHbA1c720GraphDataView::CHbA1c720GraphDataView(ViewHost& host, GraphSources sources,
                                               QWidget* parent)
    : FrameView(parent), host_(host), sources_(std::move(sources)) {
    setProperty("controlId", graphid::kTemplate);
    resize(1024, 768);

    auto caption = [this](const char* text, int x) {
        auto* label = new QLabel(QString::fromLatin1(text), this);
        label->setGeometry(x, 10, 130, 18);
    };
    caption("Period", 55);
    caption("Patient ID", 248);
    caption("End date", 438);
    caption("Start date", 568);

    period_ = new QComboBox(this);
    period_->setProperty("controlId", graphid::kPeriod);
    period_->setGeometry(55, 30, 130, 25);
    period_->addItem(QStringLiteral("All"));
    period_->addItem(QStringLiteral("1 week"));
    for (int weeks = 2; weeks <= 12; ++weeks)
        period_->addItem(QStringLiteral("%1 weeks").arg(weeks));
    period_->setFont(SystemListFont());

    pid_ = new QComboBox(this);
    pid_->setProperty("controlId", graphid::kPid);
    pid_->setGeometry(248, 30, 130, 22);
    pid_->setFont(SystemListFont());
    pid_->setMaxVisibleItems(20);

    end_ = new QDateEdit(this);
    end_->setProperty("controlId", graphid::kEndDate);
    end_->setGeometry(438, 30, 110, 25);
    end_->setCalendarPopup(true);
    start_ = new QDateEdit(this);
    start_->setProperty("controlId", graphid::kStartDate);
    start_->setGeometry(568, 30, 110, 25);
    start_->setCalendarPopup(true);

    auto* search = new QPushButton(QStringLiteral("Search"), this);
    search->setProperty("controlId", graphid::kSearch);
    search->setGeometry(690, 28, 90, 29);

    chart_ = new QChart();
    chart_->legend()->setVisible(true);
    chart_->legend()->setAlignment(Qt::AlignTop);
    xAxis_ = new QCategoryAxis(chart_);
    xAxis_->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    xAxis_->setTruncateLabels(false);
    yAxis_ = new QValueAxis(chart_);
    chart_->addAxis(xAxis_, Qt::AlignBottom);
    chart_->addAxis(yAxis_, Qt::AlignLeft);
    chartView_ = new LabelledChartView(chart_, pointLabels_, series_, this);
    chartView_->setProperty("controlId", graphid::kChart);
    chartView_->setRenderHint(QPainter::Antialiasing);
    chartView_->setGeometry(55, 70, 894, 500);
    chartView_->viewport()->installEventFilter(this);

    scroll_ = new QScrollBar(Qt::Horizontal, this);
    scroll_->setGeometry(55, 572, 894, 18);
    scroll_->setRange(0, 0);
    scroll_->setPageStep(kVisibleArguments);
    connect(scroll_, &QScrollBar::valueChanged, this, [this](int value) {
        firstVisible_ = value;
        ShowWindow();
    });

    const struct {
        int id;
        int command;
        const char* caption;
    } buttons[] = {
        {graphid::kHome, cmd::kShowHome, "Home"},
        {graphid::kDownload, cmd::kShowDownload, "Download"},
        {graphid::kAllData, cmd::kShowList, "List"},
        {graphid::kGraph, cmd::kShowGraph, "Graph"},
        {graphid::kAutomatic, cmd::kStartAuto, "Automatic"},
    };
    int x = 638;
    for (const auto& entry : buttons) {
        auto* button =
            new ArtButton(ArtForCommand(entry.command), QString::fromLatin1(entry.caption), this);
        button->setProperty("controlId", entry.id);
        button->setGeometry(x, 644, 75, 75);
        x += 75;
        const int command = entry.command;
        if (command == cmd::kStartAuto)
            connect(button, &QAbstractButton::clicked, this, [this] { OnAutomatic(); });
        else
            connect(button, &QAbstractButton::clicked, this,
                    [this, command] { host_.SendLinkCommand(command); });
    }

    connect(period_, &QComboBox::activated, this, [this](int index) { OnPeriodSelected(index); });
    connect(search, &QAbstractButton::clicked, this, [this] { OnDateSearch(); });
}

CHbA1c720GraphDataView::~CHbA1c720GraphDataView() {
    StopLoad();
}

void CHbA1c720GraphDataView::OnInitialUpdate() {
    titlePending_ = 1;
}

void CHbA1c720GraphDataView::OnActivateView() {
    RefreshGraph();
}

void CHbA1c720GraphDataView::RefreshGraph() {
    period_->setCurrentIndex(0);
    sources_.SearchActive = 0;
    keepSelection_ = false;
    Reload();
}

void CHbA1c720GraphDataView::Reload() {
    LoadChartData();
    InitDateRange();
    BuildChart();
}

QDate CHbA1c720GraphDataView::Today() const {
    return sources_.Today ? sources_.Today() : QDate::currentDate();
}

QDate CHbA1c720GraphDataView::FirstQDate() const {
    const QDate date = QDate::fromString(Q(firstDate_), QStringLiteral("yyyyMMdd"));
    return date.isValid() ? date : Today();
}

void CHbA1c720GraphDataView::LoadChartData() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    StopLoad();
    loadSlices_ = 0;
    const bool keep = keepSelection_;
    if (!keep) pids_.Reset();
    points_.clear();
    ResultDatabase& db = sources_.Database;
    ResultTable& table = db.MainTable;
    if (db.DatabaseReady && table.IsOpen()) {
        if (!keep) {
            // All rows, oldest first (read through the index that leads with
            // DATE, TIME, HbA1c_VALUE, so the first rows come without a sort).
            // The rows are read below in one pass, so the table's own cursor is
            // not rebuilt for them.
            table.orderBy = kAscendingOrder;
            table.filter = "";
        }
        scan_ = std::make_unique<ColumnScan>(
            table, std::vector<std::string>{"DATE", "TIME", "HbA1c_VALUE", "PID"});
        scanKeepsPids_ = keep;
        ReadSlice(static_cast<size_t>(firstRows_));
    }
    if (points_.empty()) firstDate_ = Stored(Today());
    if (!keep) {
        pid_->clear();
        pidsShown_ = 0;
        SyncPidCombo();
        pid_->setCurrentIndex(0);
    }
    keepSelection_ = false;
    const QString format = Q(PickerDisplayFormat(sources_.Settings.Date));
    start_->setDisplayFormat(format);
    end_->setDisplayFormat(format);
    if (scan_) {
        // The rest follows in slices, each after the window has handled its events.
        chartView_->setCursor(Qt::BusyCursor);
        const unsigned generation = loadGeneration_;
        QTimer::singleShot(0, this, [this, generation] { ContinueLoad(generation); });
    }
    QApplication::restoreOverrideCursor();
}

void CHbA1c720GraphDataView::ReadSlice(size_t limit) {
    if (!scan_) return;
    const int unit = sources_.Settings.unit;
    const int dateSetting = sources_.Settings.Date;
    for (size_t n = 0; n < limit; ++n) {
        const std::vector<std::string_view>* row = scan_->Next();
        if (!row) break;
        const std::vector<std::string_view>& cells = *row;
        if (points_.empty()) firstDate_.assign(cells[0].substr(0, 8));
        points_.push_back({ChartDateText(cells[0], dateSetting), ChartTimeText(cells[1]),
                           ChartValue(cells[2], unit)});
        if (!scanKeepsPids_) pids_.Offer(cells[3]);
    }
    ++loadSlices_;
    if (!scanKeepsPids_) SyncPidCombo();
    if (scan_->Finished()) StopLoad();
}

void CHbA1c720GraphDataView::SyncPidCombo() {
    const std::vector<std::string>& items = pids_.Items();
    if (pidsShown_ >= items.size()) return;
    QStringList added;
    added.reserve(static_cast<qsizetype>(items.size() - pidsShown_));
    for (size_t i = pidsShown_; i < items.size(); ++i) added << Q(items[i]);
    pid_->addItems(added);
    pidsShown_ = items.size();
}

void CHbA1c720GraphDataView::ExtendChart(size_t shownBefore) {
    const int count = static_cast<int>(points_.size());
    {
        // The range only grows: the point in view stays where it is.
        const QSignalBlocker block(scroll_);
        scroll_->setRange(0, std::max(0, count - kVisibleArguments));
    }
    if (shownBefore < static_cast<size_t>(firstVisible_ + kVisibleArguments)) ShowWindow();
}

void CHbA1c720GraphDataView::ContinueLoad(unsigned generation) {
    if (generation != loadGeneration_ || !scan_) return;
    if (!sources_.Database.DatabaseReady || !sources_.Database.MainTable.IsOpen()) {
        // The store was closed part way (the program is ending): read no more.
        StopLoad();
        return;
    }
    const size_t before = points_.size();
    ReadSlice(static_cast<size_t>(sliceRows_));
    ExtendChart(before);
    if (scan_) QTimer::singleShot(0, this, [this, generation] { ContinueLoad(generation); });
}

bool CHbA1c720GraphDataView::Loading() const {
    return scan_ != nullptr;
}

void CHbA1c720GraphDataView::FinishLoad() {
    if (!scan_) return;
    const size_t before = points_.size();
    ReadSlice(static_cast<size_t>(-1));
    ExtendChart(before);
}

void CHbA1c720GraphDataView::CompleteFullLoad() {
    if (scan_ && !scanKeepsPids_) FinishLoad();
}

void CHbA1c720GraphDataView::StopLoad() {
    if (scan_) chartView_->unsetCursor();
    scan_.reset();
    ++loadGeneration_;
}

void CHbA1c720GraphDataView::SetSliceRows(int first, int slice) {
    firstRows_ = std::max(1, first);
    sliceRows_ = std::max(1, slice);
}

void CHbA1c720GraphDataView::InitDateRange() {
    const QDate first = FirstQDate();
    start_->setDate(first);
    end_->setDate(first.addDays(7));
}

void CHbA1c720GraphDataView::BuildChart() {
    chartView_->setGeometry(55, 70, 894, 500);
    chart_->legend()->setVisible(true);
    if (titlePending_ == 1) {
        chart_->setTitle(QString::fromLatin1(kChartTitle));
        titlePending_ = 0;
    }
    chart_->removeAllSeries();
    series_ = new QScatterSeries();
    series_->setName(QString::fromLatin1(kSeriesName));
    series_->setMarkerSize(11);
    chart_->addSeries(series_);
    series_->attachAxis(xAxis_);
    series_->attachAxis(yAxis_);

    const int dateSetting = sources_.Settings.Date;
    xAxis_->setTitleText(dateSetting == 1   ? QStringLiteral("Date/Time (Month/Day/Year)")
                         : dateSetting == 2 ? QStringLiteral("Date/Time (Day/Month/Year)")
                                            : QStringLiteral("Date/Time (Year-Month-Day)"));
    xAxis_->setTitleVisible(true);
    xAxis_->setLabelsAngle(315);
    const bool percent = sources_.Settings.unit == 0;
    yAxis_->setTitleText(percent ? QStringLiteral("HbA1c Result(%)")
                                 : QStringLiteral("HbA1c Result(mmol/mol)"));
    yAxis_->setTitleVisible(true);
    yAxis_->setLabelFormat(QStringLiteral("%d"));
    yAxis_->setRange(0.0, percent ? 15.0 : 150.0);
    yAxis_->setTickCount(16);

    const int last = std::max(0, static_cast<int>(points_.size()) - kVisibleArguments);
    const QSignalBlocker block(scroll_);
    scroll_->setRange(0, last);
    scroll_->setValue(0);
    firstVisible_ = 0;
    ShowWindow();
}

void CHbA1c720GraphDataView::ScrollTo(int firstIndex) {
    scroll_->setValue(firstIndex);
}

void CHbA1c720GraphDataView::ShowWindow() {
    if (!series_) return;  // no chart built yet
    const int count = static_cast<int>(points_.size());
    const int first = std::clamp(firstVisible_, 0, std::max(0, count - kVisibleArguments));
    const int end = std::min(count, first + kVisibleArguments);
    QList<QPointF> shown;
    pointLabels_.clear();
    const bool percent = sources_.Settings.unit == 0;
    for (const QString& label : xAxis_->categoriesLabels()) xAxis_->remove(label);
    xAxis_->setStartValue(first - 0.5);
    for (int i = first; i < end; ++i) {
        const ChartPoint& point = points_[static_cast<size_t>(i)];
        shown.append(QPointF(i, point.Value));
        // Percent keeps its decimal (6.5, 8.0); mmol/mol is a whole number.
        pointLabels_ << (percent ? QString::number(point.Value, 'f', 1)
                                 : QString::number(static_cast<int>(point.Value)));
        // Labels on a category axis must differ; equal arguments (two results
        // in one minute) are told apart by invisible zero-width marks.
        QString label = Q(ChartArgument(point));
        while (xAxis_->categoriesLabels().contains(label)) label += QChar(0x200B);
        xAxis_->append(label, i);
    }
    xAxis_->setRange(first - 0.5, first + kVisibleArguments - 0.5);
    series_->replace(shown);
    chartView_->viewport()->update();
}

bool CHbA1c720GraphDataView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == chartView_->viewport() && event->type() == QEvent::Wheel) {
        const auto* wheel = static_cast<QWheelEvent*>(event);
        const int delta =
            wheel->angleDelta().y() != 0 ? wheel->angleDelta().y() : wheel->angleDelta().x();
        scroll_->setValue(scroll_->value() + (delta < 0 ? 1 : -1));
        return true;
    }
    return FrameView::eventFilter(watched, event);
}

void CHbA1c720GraphDataView::hideEvent(QHideEvent* event) {
    // Another view is showing: the rest of the load is not read (the next
    // activation loads again). A minimised window keeps loading.
    if (!event->spontaneous()) StopLoad();
    FrameView::hideEvent(event);
}

void CHbA1c720GraphDataView::SetFilterAndRequery(const std::string& condition) {
    ResultTable& table = sources_.Database.MainTable;
    table.filter = condition;
    table.Requery();
}

void CHbA1c720GraphDataView::OnPeriodSelected(int n) {
    const QDate base = FirstQDate();
    const int pidIndex = pid_->currentIndex();
    const std::string pidCondition = "[PID]=" + SqlLiteral(pid_->currentText().toStdString());
    bool filtered = false;
    if (n <= 0) {
        sources_.SearchActive = 0;
        keepSelection_ = false;
        if (pidIndex > 0) {
            CompleteFullLoad();
            SetFilterAndRequery(pidCondition);
            filtered = true;
        }
    } else {
        std::string condition = "DATE between " + SqlLiteral(Stored(base)) + " and " +
                                SqlLiteral(Stored(base.addDays(7 * n)));
        if (pidIndex > 0) condition += " and " + pidCondition;
        CompleteFullLoad();
        SetFilterAndRequery(condition);
        filtered = true;
    }
    if (filtered) {
        keepSelection_ = true;
        sources_.SearchActive = 1;
    }
    Reload();
}

void CHbA1c720GraphDataView::OnDateSearch() {
    const QDate endDate = end_->date();
    const QDate startDate = start_->date();
    if (startDate > endDate) {
        host_.ShowMessage(kDateOrderText);
        return;
    }
    const qint64 days = startDate.daysTo(endDate);
    if (days > 366) {
        host_.ShowMessage(kDateSpanText);
        return;
    }
    const std::string from = Stored(startDate);
    const std::string to = Stored(startDate.addDays(days));
    std::string condition;
    const int pidIndex = pid_->currentIndex();
    if (pidIndex == 0)
        condition = "DATE between " + SqlLiteral(from) + " and " + SqlLiteral(to);
    else if (pidIndex > 0)
        condition = "DATE between " + SqlLiteral(from) + " and " + SqlLiteral(to) + "and" +
                    "[PID]=" + SqlLiteral(pid_->currentText().toStdString());
    CompleteFullLoad();
    SetFilterAndRequery(condition);
    ResultTable& table = sources_.Database.MainTable;
    if (table.IsOpen() && table.RowCount() > 0) keepSelection_ = true;
    sources_.SearchActive = 1;
    Reload();
}

void CHbA1c720GraphDataView::OnAutomatic() {
    LinkState& link = host_.Link();
    if (link.AutoMode != 0) return;
    if (!host_.AskYesNo("Do you want to switch to automatic mode?")) return;
    link.AutoMode = 1;
    host_.SendLinkCommand(cmd::kStartAuto);
}

}  // namespace tav
