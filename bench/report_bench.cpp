// How quickly the graph view opens on a large store and how long its window
// stalls meanwhile, and how quickly the printed data list is written as a
// PDF, each beside the plain row-by-row way measured in the same run: the
// table's cursor with a statement per row and a combo-box search per patient
// id for the graph, and a clip, a font measure and a text split for every
// cell for the printout.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <time.h>

#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QFile>
#include <QFontMetrics>
#include <QPainter>
#include <QPrinter>
#include <QTimer>
#include <QtCharts/QScatterSeries>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>

#include "reports/graph_view.h"
#include "reports/print_data_list.h"
#include "views/list_model.h"

namespace tav {
namespace {

struct SilentHost : ViewHost, PrintHost {
    void SendLinkCommand(int) override {}
    bool AskYesNo(const std::string&) override { return false; }
    void ShowMessage(const std::string&) override {}
    void SignalWorker(int) override {}
    void ShowProgress(const std::string&) override {}
    void HideProgress() override {}
    bool ProgressVisible() const override { return false; }
    LinkState& Link() override { return link; }
    void PauseMs(int) override {}
    void Inform(const QString&) override {}
    bool RunPrintDialog(QPrinter&) override { return true; }
    QString AskPdfFile() override { return file; }
    void RunPreview(QPrinter&, const std::function<void(QPrinter*)>&) override {}
    bool Progress(qsizetype, qsizetype) override { return true; }
    LinkState link;
    QString file;
};

// A result store of `rows` results (about 2,000 patients, ten years), made
// once per size and kept for the run.
struct Store {
    std::string home;
    VirtualClock clock;
    std::unique_ptr<ResultDatabase> db;
};

Store& StoreOf(int rows) {
    static std::map<int, std::unique_ptr<Store>> stores;
    auto& slot = stores[rows];
    if (slot) return *slot;
    slot = std::make_unique<Store>();
    char templ[] = "/tmp/tav-report-bench-XXXXXX";
    slot->home = mkdtemp(templ);
    slot->db = std::make_unique<ResultDatabase>(slot->clock);
    slot->db->InitResultDatabase(slot->home);
    sqlite3* h = slot->db->MainTable.Handle();
    sqlite3_exec(h, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    const std::string sql = "INSERT INTO [" + slot->db->MainTable.GetTableName() +
                            "] ([DATE],[TIME],[HbA1c_VALUE],[PID],[OPID],[EQ_TYPE]) "
                            "VALUES (?,?,?,?,?,?)";
    sqlite3_prepare_v2(h, sql.c_str(), -1, &insert, nullptr);
    uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 8); };
    char date[16], time[8], value[8], pid[24], opid[24];
    for (int i = 0; i < rows; ++i) {
        const uint32_t day = next() % 3650;
        std::snprintf(date, sizeof date, "%04u%02u%02u", 2015 + day / 365, 1 + day % 365 / 31 % 12,
                      1 + day % 28);
        std::snprintf(time, sizeof time, "%02u%02u", next() % 24, next() % 60);
        std::snprintf(value, sizeof value, "%03u", 40 + next() % 100);
        std::snprintf(pid, sizeof pid, "P%05u", next() % 2000);
        std::snprintf(opid, sizeof opid, "OP%02u", next() % 20);
        const char* texts[] = {date, time, value, pid, opid, "Normal"};
        for (int c = 0; c < 6; ++c) sqlite3_bind_text(insert, c + 1, texts[c], -1, SQLITE_STATIC);
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(h, "COMMIT", nullptr, nullptr, nullptr);
    slot->db->MainTable.Requery();
    return *slot;
}

using BenchClock = std::chrono::steady_clock;

double Ms(BenchClock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// The window thread's own processor time, so a stall can be told apart from
// the other programs of a busy machine.
double ThreadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// The graph view opening as the window sees it: the first points (load,
// date range, chart), then the event loop runs while the rest loads in
// slices. A zero-delay heartbeat on that loop records the longest time the
// window could not handle an event, in wall time (stall_ms) and in the window
// thread's processor time (stall_cpu_ms); both include the first points
// (first_ms). The time is the whole load.
void BM_GraphOpen(benchmark::State& state) {
    Store& store = StoreOf(static_cast<int>(state.range(0)));
    AppSettings settings;
    std::atomic<int> searchActive{0};
    SilentHost host;
    CHbA1c720GraphDataView view(host, GraphSources{*store.db, settings, searchActive, {}});
    view.OnInitialUpdate();
    double first = 0, stall = 0, stallCpu = 0;
    for (auto _ : state) {
        const BenchClock::time_point start = BenchClock::now();
        const double startCpu = ThreadCpuMs();
        view.OnActivateView();
        BenchClock::time_point last = BenchClock::now();
        double lastCpu = ThreadCpuMs();
        first = std::max(first, Ms(last - start));
        stall = std::max(stall, first);
        stallCpu = std::max(stallCpu, lastCpu - startCpu);
        QEventLoop loop;
        std::function<void()> beat = [&] {
            const BenchClock::time_point now = BenchClock::now();
            const double nowCpu = ThreadCpuMs();
            stall = std::max(stall, Ms(now - last));
            stallCpu = std::max(stallCpu, nowCpu - lastCpu);
            last = now;
            lastCpu = nowCpu;
            if (view.Loading())
                QTimer::singleShot(0, &loop, beat);
            else
                loop.quit();
        };
        QTimer::singleShot(0, &loop, beat);
        loop.exec();
        if (view.Points().size() != static_cast<size_t>(state.range(0)))
            state.SkipWithError("not every point loaded");
    }
    state.counters["first_ms"] = first;
    state.counters["stall_ms"] = stall;
    state.counters["stall_cpu_ms"] = stallCpu;
    state.counters["slices"] = view.LoadSlices();
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_GraphOpen)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->Iterations(3);

// The same load read in one pass on the window thread, as before the slices:
// the window stalls for the whole load.
void BM_GraphOpenOnePass(benchmark::State& state) {
    Store& store = StoreOf(static_cast<int>(state.range(0)));
    AppSettings settings;
    std::atomic<int> searchActive{0};
    SilentHost host;
    CHbA1c720GraphDataView view(host, GraphSources{*store.db, settings, searchActive, {}});
    view.OnInitialUpdate();
    for (auto _ : state) {
        view.OnActivateView();
        view.FinishLoad();
        benchmark::DoNotOptimize(view.Points().size());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_GraphOpenOnePass)
    ->Arg(100'000)
    ->Arg(1'000'000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// The plain load: requery, then the cursor row by row, a combo search per
// patient id, every point handed to the chart's series.
void BM_GraphOpenRowByRow(benchmark::State& state) {
    Store& store = StoreOf(static_cast<int>(state.range(0)));
    ResultTable& table = store.db->MainTable;
    QComboBox pids;
    for (auto _ : state) {
        pids.clear();
        pids.addItem(QStringLiteral("ALL Data"));
        ChartPointList points;
        table.orderBy = "[DATE] ASC, [TIME] ASC, [HbA1c_VALUE] ASC";
        table.Requery();
        table.filter = "";
        table.Requery();
        const int32_t rows = table.RowCount();
        for (int32_t i = 0; i < rows && !table.IsEOF(); ++i) {
            points.push_back({ChartDateText(table.DATE.view(), 0), ChartTimeText(table.TIME.view()),
                              ChartValue(table.HbA1c_VALUE.view(), 0)});
            const QString pid = QString::fromStdString(table.PID.str());
            if (pids.findText(pid, Qt::MatchStartsWith) < 0) pids.addItem(pid);
            table.MoveNext();
        }
        QScatterSeries series;
        QList<QPointF> all;
        for (size_t i = 0; i < points.size(); ++i) all.append(QPointF(double(i), points[i].Value));
        series.replace(all);
        benchmark::DoNotOptimize(series.count());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_GraphOpenRowByRow)
    ->Arg(100'000)
    ->Arg(1'000'000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

ListModel& ListOf(int rows) {
    static std::map<int, std::unique_ptr<ListModel>> lists;
    auto& slot = lists[rows];
    if (slot) return *slot;
    slot = std::make_unique<ListModel>();
    const char* titles[] = {"No.",         "Date",         "Time", "Result.",
                            "Patient ID.", "Operator ID.", "Note"};
    for (int c = 0; c < 7; ++c) slot->InsertColumn(c, titles[c], Qt::AlignCenter);
    ListTextTable table(7);
    for (int i = 1; i <= rows; ++i)
        table.AddRow({std::to_string(i), "2024-03-15", "09:30 AM", "6.5 %",
                      "P" + std::to_string(10000 + i % 2000), "OP07", "Normal"});
    slot->AppendRows(table);
    return *slot;
}

QString BenchPdf() {
    return QStringLiteral("/tmp/tav-report-bench-%1.pdf").arg(getpid());
}

// The printout as the program writes it, to a PDF file.
void BM_PrintPdf(benchmark::State& state) {
    ListModel& rows = ListOf(static_cast<int>(state.range(0)));
    SilentHost host;
    host.file = BenchPdf();
    for (auto _ : state) {
        const PrintOutcome outcome = PrintDataList(rows, PrintOutput::Pdf, host);
        if (outcome != PrintOutcome::Done) state.SkipWithError("not printed");
    }
    QFile::remove(host.file);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_PrintPdf)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond)->Iterations(1);

// The same table drawn the plain way: each row joined and split again, a
// font measure and a clip for every cell, the pens made anew for each row.
void BM_PrintPdfPlain(benchmark::State& state) {
    ListModel& rows = ListOf(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(BenchPdf());
        QPainter painter(&printer);
        QFont font(PrintFace(QString::fromLatin1(kPrintFace)));
        font.setPixelSize(8 * printer.logicalDpiY() / 72);
        painter.setFont(font);
        const int gap = 5 * printer.logicalDpiY() / 72;
        const int factor = (printer.width() - 100) / 2180;
        const int widths[] = {180, 320, 220, 260, 400, 400, 400};
        int y = 50 * printer.logicalDpiY() / 72;
        for (int r = 0; r < rows.Rows(); ++r) {
            QStringList joined;
            for (int c = 0; c < rows.Columns(); ++c) joined << rows.CellText(r, c);
            const QStringList cells = joined.join('|').split('|');
            const int height = QFontMetrics(font, &printer).height();
            if (y + gap + height > printer.height() - 50) {
                printer.newPage();
                y = 50 * printer.logicalDpiY() / 72;
            }
            int origin = 60;
            for (int c = 0; c < cells.size(); ++c) {
                const QFontMetrics metrics(font, &printer);
                const int w = widths[c] * factor;
                painter.setClipRect(QRect(origin, y, w, gap + height));
                painter.drawText(origin + w / 2 - metrics.horizontalAdvance(cells[c]) / 2,
                                 y + metrics.ascent(), cells[c]);
                painter.setClipping(false);
                painter.setPen(QPen(Qt::black, 6));
                painter.drawLine(origin - 20, y - gap, origin - 20, y + gap + height);
                painter.setPen(Qt::black);
                origin += w + 40;
            }
            painter.setPen(QPen(Qt::black, 6));
            painter.drawLine(60, y + 2 * gap + height, origin, y + 2 * gap + height);
            painter.setPen(Qt::black);
            y += 3 * gap + height;
        }
        painter.end();
    }
    QFile::remove(BenchPdf());
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_PrintPdfPlain)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace
}  // namespace tav

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
