// How the all-data list copes with a clinic's years of results: a main table
// of 1,000,000 results, listed, searched, changed and sorted through the real
// view, each figure beside the record-set cursor that prepares one statement
// per row (MoveTo) on the table without the list's indexes, measured on the
// same file in the same run.
//
//   tav_list_bench [--rows=N] [google-benchmark flags]
//   tav_list_bench [--rows=N] --program    the program's resident size with the list open
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/main_frame.h"
#include "app/message_presenter.h"
#include "core/result_format.h"
#include "views/all_data_list_view.h"
#include "views/list_view_prompts.h"

namespace tav {
namespace {

int gRows = 1'000'000;

struct BenchHost final : ViewHost, ListViewPrompts {
    void SendLinkCommand(int) override {}
    bool AskYesNo(const std::string&) override { return true; }
    void SignalWorker(int) override {}
    void ShowProgress(const std::string&) override {}
    void HideProgress() override {}
    bool ProgressVisible() const override { return false; }
    LinkState& Link() override { return link; }
    void PauseMs(int) override {}
    void Inform(const std::string&) override {}
    bool AskOkCancel(const std::string&) override { return true; }
    int RunDialog(QDialog& dialog) override {
        if (auto* record = dynamic_cast<CRecordDlg*>(&dialog)) {
            record->NameEdit()->setText(QStringLiteral("Changed"));
            record->OnChange();
        }
        return dialog.result();
    }
    LinkState link;
};

// CPU time of this thread: on a shared machine the wall clock also counts
// the time other programs had the processor.
double ThreadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

long ResidentMb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6) / 1024;
    return -1;
}

// Fills the main table with gRows results over six years from 20,000
// patients and 200 operators; notes a patient and the day of one result.
void Populate(ResultTable& table, std::string& somePid, QDate& someDay) {
    sqlite3* handle = table.Handle();
    sqlite3_exec(handle, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(handle,
                       "INSERT INTO [HospitalTlb] VALUES(?,?,?,?,?,?,'','19000101',0,0,0,'','')",
                       -1, &insert, nullptr);
    // Results arrive about in the order they were measured: rows are
    // stored by date, with random times, values and ids.
    std::mt19937 random(7);
    std::vector<int> days(static_cast<size_t>(gRows));
    for (int& day : days) day = static_cast<int>(random() % (6 * 365));
    std::sort(days.begin(), days.end());
    char date[16], time[8], value[8], pid[16], opid[16];
    for (int i = 0; i < gRows; ++i) {
        const QDate taken = QDate(2020, 1, 1).addDays(days[static_cast<size_t>(i)]);
        std::snprintf(date, sizeof date, "%04d%02d%02d", taken.year(), taken.month(), taken.day());
        std::snprintf(time, sizeof time, "%02d%02d", static_cast<int>(random() % 24),
                      static_cast<int>(random() % 60));
        std::snprintf(value, sizeof value, "%03d", 40 + static_cast<int>(random() % 100));
        std::snprintf(pid, sizeof pid, "P%07d", static_cast<int>(random() % 20000));
        std::snprintf(opid, sizeof opid, "OP%03d", static_cast<int>(random() % 200));
        const char* texts[] = {date, time, value, pid, opid, "OK"};
        for (int k = 0; k < 6; ++k)
            sqlite3_bind_text(insert, k + 1, texts[k], -1, SQLITE_TRANSIENT);
        sqlite3_step(insert);
        sqlite3_reset(insert);
        if (i == gRows / 2) {
            somePid = pid;
            someDay = taken;
        }
    }
    sqlite3_finalize(insert);
    sqlite3_exec(handle, "COMMIT", nullptr, nullptr, nullptr);
}

// A home folder whose main table holds gRows results over six years, from
// 20,000 patients and 200 operators, and the view over it.
class Fixture {
  public:
    static Fixture& Get() {
        if (!instance_) instance_.reset(new Fixture);
        return *instance_;
    }
    // Before the application object goes.
    static void Release() { instance_.reset(); }
    ~Fixture() {
        view.reset();
        db.Close();
        std::filesystem::remove_all(home_);
    }

    VirtualClock clock;
    ResultDatabase db{clock};
    AppSettings settings;
    BenchHost host;
    int searchActive = 0;
    std::unique_ptr<QSettings> profile;
    std::unique_ptr<CHbA1c720AllDataListView> view;
    // A patient and the day of one of their results, for the search.
    std::string somePid;
    QDate someDay;

  private:
    Fixture() {
        char templ[] = "/tmp/tav-list-bench-XXXXXX";
        home_ = mkdtemp(templ);
        db.InitResultDatabase(home_);
        Populate(db.MainTable, somePid, someDay);
        // Reopen: the indexes are made at start-up, as for an older file.
        db.Close();
        db.InitResultDatabase(home_);
        settings.unit = 0;
        settings.Date = 0;
        settings.time = 1;
        profile = std::make_unique<QSettings>(QString::fromStdString(home_ + "/profile.ini"),
                                              QSettings::IniFormat);
        view = std::make_unique<CHbA1c720AllDataListView>(host, db, settings, host, *profile,
                                                          searchActive);
        view->OnInitialUpdate();
    }

    static inline std::unique_ptr<Fixture> instance_;
    std::string home_;
};

// The row-by-row design had no indexes beyond the table: they are dropped
// while its figure is taken and made again afterwards.
class WithoutListIndexes {
  public:
    explicit WithoutListIndexes(ResultTable& table) : table_(table) {
        for (const char* index : {"ListPid", "ListOpid"})
            table_.Execute("DROP INDEX IF EXISTS [" + table_.GetTableName() + "_" + index + "]");
        table_.Execute("DROP INDEX IF EXISTS [" + DuplicateIndexName(table_.GetTableName()) + "]");
    }
    ~WithoutListIndexes() {
        EnsureResultListIndexes(table_);
        table_.Execute("CREATE INDEX IF NOT EXISTS [" + DuplicateIndexName(table_.GetTableName()) +
                       "] ON [" + table_.GetTableName() +
                       "] ([DATE],[TIME],[HbA1c_VALUE],[PID],[OPID])");
    }

  private:
    ResultTable& table_;
};

// The whole list walked with the record-set cursor, one prepared statement
// per row, building the same cells.
size_t WalkRowByRow(ResultTable& t, size_t limit) {
    t.MoveFirst();
    t.orderBy = kDefaultResultOrder;
    t.Requery();
    const int32_t n = t.RowCount();
    size_t bytes = 0;
    for (int32_t i = 0; i < n && !t.IsEOF() && static_cast<size_t>(i) < limit; ++i) {
        const DateTime dt = MakeResultDateTime(t.DATE.str(), t.TIME.str());
        bytes += FormatListDate(dt, 0).size() + FormatListTime(dt, 1).size() +
                 FormatResult(t.HbA1c_VALUE.str(), 0).size() + t.PID.str().size();
        t.MoveNext();
    }
    return bytes;
}

// Opening the list: the first rows, then the rest while the window keeps
// handling events. "longest_stall_ms" is the longest the window waited.
void BM_OpenList(benchmark::State& state) {
    Fixture& f = Fixture::Get();
    double firstMs = 0, stallMs = 0, firstCpuMs = 0, stallCpuMs = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        const double cpu = ThreadCpuMs();
        f.view->OnActivateView();
        firstMs = timer.nsecsElapsed() / 1e6;
        firstCpuMs = ThreadCpuMs() - cpu;
        stallMs = firstMs;
        stallCpuMs = firstCpuMs;
        while (f.view->FillRunning()) {
            QElapsedTimer slice;
            slice.start();
            const double sliceCpu = ThreadCpuMs();
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            stallMs = std::max(stallMs, slice.nsecsElapsed() / 1e6);
            stallCpuMs = std::max(stallCpuMs, ThreadCpuMs() - sliceCpu);
        }
    }
    state.counters["first_rows_ms"] = firstMs;
    state.counters["first_rows_cpu_ms"] = firstCpuMs;
    state.counters["longest_stall_ms"] = stallMs;
    state.counters["longest_stall_cpu_ms"] = stallCpuMs;
    state.counters["rows"] = f.view->List().RowCount();
    state.counters["pid_items"] =
        qobject_cast<QComboBox*>(FindControl(f.view.get(), alid::kPid))->count();
    state.counters["resident_MB"] = static_cast<double>(ResidentMb());
}
BENCHMARK(BM_OpenList)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

void BM_OpenList_RowByRow(benchmark::State& state) {
    Fixture& f = Fixture::Get();
    WithoutListIndexes original(f.db.MainTable);
    for (auto _ : state) benchmark::DoNotOptimize(WalkRowByRow(f.db.MainTable, SIZE_MAX));
    LoadDefaultView(f.db.MainTable);
}
BENCHMARK(BM_OpenList_RowByRow)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

void SetSearch(Fixture& f, QDate from, QDate to, const std::string& pid) {
    QComboBox* pids = qobject_cast<QComboBox*>(FindControl(f.view.get(), alid::kPid));
    qobject_cast<QDateEdit*>(FindControl(f.view.get(), alid::kStart))->setDate(from);
    qobject_cast<QDateEdit*>(FindControl(f.view.get(), alid::kEnd))->setDate(to);
    pids->setCurrentIndex(pid.empty() ? 0 : pids->findText(QString::fromStdString(pid)));
}

// A two-week search for one patient, and the period "2 weeks", each listed whole.
void BM_SearchTwoWeeksOnePatient(benchmark::State& state) {
    Fixture& f = Fixture::Get();
    if (f.view->FillRunning() || f.view->List().RowCount() == 0) {
        f.view->OnActivateView();
        f.view->FinishFill();
    }
    for (auto _ : state) {
        SetSearch(f, f.someDay.addDays(-13), f.someDay, f.somePid);
        f.view->SearchResults();
        f.view->FinishFill();
    }
    state.counters["rows"] = f.view->List().RowCount();
}
BENCHMARK(BM_SearchTwoWeeksOnePatient)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SearchTwoWeeksOnePatient_RowByRow(benchmark::State& state) {
    Fixture& f = Fixture::Get();
    WithoutListIndexes original(f.db.MainTable);
    ResultTable& t = f.db.MainTable;
    for (auto _ : state) {
        const auto text = [](QDate d) { return d.toString("yyyyMMdd").toStdString(); };
        t.filter = "DATE between '" + text(f.someDay.addDays(-13)) + "' and '" + text(f.someDay) +
                   "'and[PID]='" + f.somePid + "'";
        benchmark::DoNotOptimize(WalkRowByRow(t, SIZE_MAX));
    }
    LoadDefaultView(t);
}
BENCHMARK(BM_SearchTwoWeeksOnePatient_RowByRow)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PeriodTwoWeeks(benchmark::State& state) {
    Fixture& f = Fixture::Get();
    QComboBox* period = qobject_cast<QComboBox*>(FindControl(f.view.get(), alid::kPeriod));
    for (auto _ : state) {
        state.PauseTiming();
        f.view->OnActivateView();
        f.view->FinishFill();
        period->setCurrentIndex(2);
        state.ResumeTiming();
        f.view->ApplyPeriod();
        f.view->FinishFill();
    }
    state.counters["rows"] = f.view->List().RowCount();
}
BENCHMARK(BM_PeriodTwoWeeks)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_PeriodTwoWeeks_RowByRow(benchmark::State& state) {
    Fixture& f = Fixture::Get();
    WithoutListIndexes original(f.db.MainTable);
    ResultTable& t = f.db.MainTable;
    QComboBox* period = qobject_cast<QComboBox*>(FindControl(f.view.get(), alid::kPeriod));
    for (auto _ : state) {
        state.PauseTiming();
        f.view->OnActivateView();
        f.view->FinishFill();
        period->setCurrentIndex(2);
        f.view->ApplyPeriod();
        f.view->FinishFill();
        const std::string filter = t.filter.str();
        state.ResumeTiming();
        t.filter = filter;
        benchmark::DoNotOptimize(WalkRowByRow(t, SIZE_MAX));
    }
    LoadDefaultView(t);
}
BENCHMARK(BM_PeriodTwoWeeks_RowByRow)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// Deleting the tenth row and listing again (to the first rows; "whole_ms" to the last).
void BM_DeleteAndRefill(benchmark::State& state) {
    Fixture& f = Fixture::Get();
    double wholeMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        f.view->OnActivateView();
        state.ResumeTiming();
        QElapsedTimer timer;
        timer.start();
        f.view->DeleteResult(10);
        state.PauseTiming();
        f.view->FinishFill();
        wholeMs = timer.nsecsElapsed() / 1e6;
        state.ResumeTiming();
    }
    state.counters["whole_ms"] = wholeMs;
}
BENCHMARK(BM_DeleteAndRefill)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_DeleteAndRefill_RowByRow(benchmark::State& state) {
    Fixture& f = Fixture::Get();
    WithoutListIndexes original(f.db.MainTable);
    ResultTable& t = f.db.MainTable;
    for (auto _ : state) {
        state.PauseTiming();
        LoadDefaultView(t);
        t.MoveTo(10);
        const std::string condition = "[DATE]='" + t.DATE.str() + "'and [TIME]='" + t.TIME.str() +
                                      "'and [HbA1c_VALUE]='" + t.HbA1c_VALUE.str() +
                                      "'and [PID]='" + t.PID.str() + "'and [OPID]='" +
                                      t.OPID.str() + "'";
        state.ResumeTiming();
        t.filter = condition;
        t.DeleteFiltered();
        t.orderBy = kDefaultResultOrder;
        t.Requery();
        t.filter = "";
        benchmark::DoNotOptimize(WalkRowByRow(t, SIZE_MAX));
    }
}
BENCHMARK(BM_DeleteAndRefill_RowByRow)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

void BM_ModifyAndRefill(benchmark::State& state) {
    Fixture& f = Fixture::Get();
    for (auto _ : state) {
        state.PauseTiming();
        f.view->OnActivateView();
        f.view->SelectRecord(5);
        state.ResumeTiming();
        f.view->ModifyResult();
    }
}
BENCHMARK(BM_ModifyAndRefill)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// The three-value update of the record set, then the whole list walked again.
void BM_ModifyAndRefill_RowByRow(benchmark::State& state) {
    Fixture& f = Fixture::Get();
    WithoutListIndexes original(f.db.MainTable);
    ResultTable& t = f.db.MainTable;
    for (auto _ : state) {
        state.PauseTiming();
        LoadDefaultView(t);
        t.MoveTo(5);
        const std::string condition = "[DATE]='" + t.DATE.str() + "'and [TIME]='" + t.TIME.str() +
                                      "'and [HbA1c_VALUE]='" + t.HbA1c_VALUE.str() + "'";
        state.ResumeTiming();
        t.CancelAdd();
        t.p_NAME = "Changed";
        t.UpdateWhere(condition);
        t.orderBy = kDefaultResultOrder;
        t.Requery();
        t.filter = "";
        benchmark::DoNotOptimize(WalkRowByRow(t, SIZE_MAX));
    }
}
BENCHMARK(BM_ModifyAndRefill_RowByRow)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

// A header click on "Result." with the whole list showing.
void BM_HeaderSort(benchmark::State& state) {
    Fixture& f = Fixture::Get();
    f.view->OnActivateView();
    f.view->FinishFill();
    for (auto _ : state) f.view->List().SortByColumn(3, true);
    state.counters["rows"] = f.view->List().RowCount();
    state.counters["resident_MB"] = static_cast<double>(ResidentMb());
}
BENCHMARK(BM_HeaderSort)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace
}  // namespace tav

namespace tav {
namespace {

// The whole program with the list open on gRows results: its resident size.
int MeasureProgram() {
    char templ[] = "/tmp/tav-list-program-XXXXXX";
    const std::string root = mkdtemp(templ);
    const std::string home = root + "/home";
    // The program makes its DATA folder in the current folder.
    if (chdir(root.c_str()) != 0 || !std::filesystem::create_directory(home)) return 1;
    {
        VirtualClock clock;
        ResultDatabase db(clock);
        db.InitResultDatabase(home);
        std::string pid;
        QDate day;
        Populate(db.MainTable, pid, day);
        db.Close();
    }
    const long before = ResidentMb();
    ScriptedMessagePresenter boxes;
    ApplicationOptions options;
    options.HomeDir = home;
    options.Presenter = &boxes;
    options.ProfileFile = QString::fromStdString(root + "/profile.ini");
    long listed = 0, rows = 0;
    double openMs = 0;
    {
        Application app(options);
        app.Start();
        QElapsedTimer timer;
        timer.start();
        app.Frame()->SendLinkCommand(cmd::kShowList);
        auto* view = dynamic_cast<CHbA1c720AllDataListView*>(app.Frame()->View(viewix::kAllData));
        while (view && view->FillRunning()) QCoreApplication::processEvents();
        openMs = timer.nsecsElapsed() / 1e6;
        rows = view ? view->List().RowCount() : 0;
        listed = ResidentMb();
    }
    std::filesystem::remove_all(root);
    std::printf(
        "program with %ld results listed (%.0f ms to the last row): resident %ld MB "
        "(%ld MB before the program started)\n",
        rows, openMs, listed, before);
    return 0;
}

}  // namespace
}  // namespace tav

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--rows=", 7) == 0) tav::gRows = std::atoi(argv[i] + 7);
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--program") == 0) return tav::MeasureProgram();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    tav::Fixture::Release();
    return 0;
}
