// Clinic-scale figures: storing downloads into, and starting with, stores of
// 100,000 and 1,000,000 results. Each figure is measured in a child process
// (its CPU time, wall time and peak resident memory) several times, and the
// median is printed beside the same work done the literal row-by-row way:
// a COUNT with the five-field condition per record on a table without the
// index, one prepare per row read and per row inserted, and every requery
// loading the whole sorted row-id list.
//
// Two figures are taken end to end instead: the program's own start-up to
// its home view (tav_startup_probe, a child process with Qt offscreen) and a
// manual download from analyzer-sim at its real 9,600-baud pacing through the
// serial port, download controller, link worker and result database. Beside
// them stands the same on an empty store (the program's files, no results).
//
//   scale_table [--quick] [--end-to-end] [--runs N] [--download-runs N]
//     --quick: the 100,000-result store only, its download of 100 results.
//     --end-to-end: only the start-up and download figures.
//     --download-runs: runs of the download (default 1; each takes its wire time).
#include <fcntl.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "bench/bench_store.h"
#include "protocol/process_download.h"
#include "tests/support/sim_download_rig.h"

namespace tav::bench {
namespace {

double CpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

double WallMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

// What a child measured: the timed part only.
struct Timed {
    double cpuMs = 0;
    double wallMs = 0;
};

struct Sample {
    double cpuMs = 0;
    double wallMs = 0;
    double peakMb = 0;
};

class Stopwatch {
  public:
    void Start() {
        cpu_ = CpuMs();
        wall_ = WallMs();
    }
    void Stop() {
        t_.cpuMs += CpuMs() - cpu_;
        t_.wallMs += WallMs() - wall_;
    }
    // Adds the timed part scaled by `factor` (a sampled loop).
    void StopScaled(double factor) {
        t_.cpuMs += (CpuMs() - cpu_) * factor;
        t_.wallMs += (WallMs() - wall_) * factor;
    }
    Timed result() const { return t_; }

  private:
    double cpu_ = 0, wall_ = 0;
    Timed t_;
};

// Runs `work` in a child process; the peak resident memory is the child's.
Sample InChild(const std::function<void(Stopwatch&)>& work) {
    int fds[2];
    if (pipe(fds) != 0) std::exit(3);
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        Stopwatch watch;
        work(watch);
        const Timed t = watch.result();
        if (write(fds[1], &t, sizeof t) != sizeof t) _exit(4);
        _exit(0);
    }
    close(fds[1]);
    Timed t;
    const bool got = read(fds[0], &t, sizeof t) == sizeof t;
    close(fds[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    if (!got || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "a measurement failed\n");
        std::exit(5);
    }
    return {t.cpuMs, t.wallMs, usage.ru_maxrss / 1024.0};
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n == 0 ? 0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

Sample MedianOf(int runs, const std::function<Sample()>& once) {
    std::vector<double> cpu, wall, peak;
    for (int i = 0; i < runs; ++i) {
        const Sample s = once();
        cpu.push_back(s.cpuMs);
        wall.push_back(s.wallMs);
        peak.push_back(s.peakMb);
    }
    return {Median(cpu), Median(wall), Median(peak)};
}

class SilentChannel final : public LinkChannel {
  public:
    void SendLinkCommand(int) override {}
    void ShowMessage(const std::string&) override {}
    void ShowProgress(const std::string&) override {}
};

std::string ScratchHome() {
    return CacheDir() + "/scratch-" + std::to_string(getpid());
}

// ---- the program's own code ----

// Stores `records` into a copy of `home` through ProcessDownload.
Sample OursStore(const std::string& home, const std::vector<std::string>& records, bool automatic) {
    const std::string work = ScratchHome();
    CopyHome(home, work);
    const Sample s = InChild([&](Stopwatch& watch) {
        NoPauseClock clock;
        SilentChannel channel;
        ResultDatabase db(clock);
        db.InitResultDatabase(work);
        LinkState link;
        link.HandshakeSeen = 1;
        link.AutoMode = automatic ? 1 : 0;
        link.RxPayload = Payload(records);
        link.RecordCount = static_cast<int>(records.size());
        watch.Start();
        ProcessDownload(link, db, channel, clock, work, IdDigits{}, work);
        watch.Stop();
        db.Close();
    });
    std::filesystem::remove_all(work);
    return s;
}

// Start-up: both tables opened in the default order and the first screen of
// the list (30 rows) read.
constexpr int kScreenRows = 30;

Sample OursStart(const std::string& home, bool copy) {
    const std::string work = copy ? ScratchHome() : home;
    if (copy) CopyHome(home, work);
    const Sample s = InChild([&](Stopwatch& watch) {
        NoPauseClock clock;
        watch.Start();
        ResultDatabase db(clock);
        db.InitResultDatabase(work);
        int rows = 0;
        for (db.MainTable.MoveFirst(); !db.MainTable.IsEOF() && rows < kScreenRows;
             db.MainTable.MoveNext())
            ++rows;
        db.DownloadTable.MoveFirst();
        watch.Stop();
        db.Close();
    });
    if (copy) std::filesystem::remove_all(work);
    return s;
}

// ---- end to end ----

// The program's start-up in its own process on a copy of `home`: wall time from before the start to
// the home view shown, CPU time of the process until then, its peak resident memory; and in `app`
// the same for the application's own part, after Qt's start.
Sample ProgramStart(const std::string& home, Sample* app) {
#ifdef TAV_STARTUP_PROBE
    const std::string work = ScratchHome();
    CopyHome(home, work);
    int fds[2];
    if (pipe(fds) != 0) std::exit(3);
    std::fflush(nullptr);
    const double started = WallMs();
    // Qt's chatter and any failure go to a log, shown when the start fails.
    const std::string log = work + ".log";
    const pid_t pid = fork();
    if (pid == 0) {
        const int err = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (err >= 0) dup2(err, 2);
        dup2(fds[1], 1);
        close(fds[0]);
        close(fds[1]);
        execl(TAV_STARTUP_PROBE, TAV_STARTUP_PROBE, work.c_str(), static_cast<char*>(nullptr));
        _exit(6);
    }
    close(fds[1]);
    char line[64] = {};
    size_t got = 0;
    ssize_t n = 0;
    while (got < sizeof line - 1 && (n = read(fds[0], line + got, sizeof line - 1 - got)) > 0) {
        got += static_cast<size_t>(n);
        if (std::memchr(line, '\n', got)) break;
    }
    const double wall = WallMs() - started;
    close(fds[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    std::filesystem::remove_all(work);
    double cpu = 0, appCpu = 0, appWall = 0;
    if (std::sscanf(line, "%lf %lf %lf", &cpu, &appCpu, &appWall) != 3 || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "the program's start-up failed; its log (%s):\n", log.c_str());
        std::system(("cat '" + log + "' >&2").c_str());
        std::exit(5);
    }
    std::filesystem::remove(log);
    const double peak = usage.ru_maxrss / 1024.0;
    *app = {appCpu, appWall, peak};
    return {cpu, wall, peak};
#else
    (void)home, (void)app;
    return {};
#endif
}

// The wire time of a download of `count` results: 8 + 43 x N bytes at 960 bytes/s.
double WireMs(int count) {
    return (8.0 + 43.0 * count) / 960.0 * 1000.0;
}
// The fixed pauses of a manual download (docs/PERFORMANCE.md, "Physical floors").
constexpr double kFixedPausesMs = 8300;

// A manual download of `count` results into a copy of `home`, timed from the user's start to the
// end.
Sample ManualDownload(const std::string& home, int count) {
    const std::string work = ScratchHome();
    CopyHome(home, work);
    const Sample s = InChild([&](Stopwatch& watch) {
        int failed = 0;  // exit status once the rig (and the simulator) are gone
        {
            SystemClock clock;
            test::SimDownloadRig rig(clock, work, TAV_ANALYZER_SIM);
            if (!rig.StartSim({"--count", std::to_string(count), "--seed", "9", "--from",
                               "2025-01-01", "--to", "2026-12-31", "--tilted", "20", "--flagged",
                               "50"})) {
                std::fprintf(stderr, "analyzer-sim did not start\n");
                failed = 7;
            } else {
                watch.Start();
                const bool done = rig.ManualDownload(
                    static_cast<int>(3 * (WireMs(count) + kFixedPausesMs)) + 60000);
                watch.Stop();
                const auto runs = rig.Summaries();
                std::fprintf(stderr, "  %d of %d results stored\n",
                             runs.empty() ? 0 : runs.back().stored, count);
                if (!done) {
                    std::fprintf(stderr, "the download did not end\n");
                    failed = 8;
                }
            }
        }
        if (failed) _exit(failed);
    });
    std::filesystem::remove_all(work);
    return s;
}

// ---- the literal row-by-row design ----

class Literal {
  public:
    explicit Literal(const std::string& path) {
        sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr);
        Exec("PRAGMA auto_vacuum=1");
    }
    ~Literal() { sqlite3_close(db_); }

    void Exec(const std::string& sql) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK)
            sqlite3_step(stmt);
        sqlite3_finalize(stmt);
    }

    // COUNT, the whole row-id list in order, then row 1: one requery.
    int64_t Requery(const std::string& table, const std::string& filter, const std::string& order) {
        std::string where = filter.empty() ? "" : " WHERE " + filter;
        int64_t count = 0;
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db_, ("SELECT COUNT (*) FROM [" + table + "]" + where).c_str(), -1,
                           &stmt, nullptr);
        if (sqlite3_step(stmt) == SQLITE_ROW) count = sqlite3_column_int64(stmt, 0);
        sqlite3_finalize(stmt);
        ids_.assign(static_cast<size_t>(count + 5000), 0);
        if (count > 0) {
            std::string sql = "SELECT ROWID FROM [" + table + "]" + where;
            if (!order.empty()) sql += " ORDER BY " + order;
            sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr);
            size_t n = 0;
            while (n < static_cast<size_t>(count) && sqlite3_step(stmt) == SQLITE_ROW)
                ids_[n++] = sqlite3_column_int(stmt, 0);
            sqlite3_finalize(stmt);
            MoveTo(table, 1);
        }
        return count;
    }

    // One prepare per row read.
    void MoveTo(const std::string& table, size_t row) {
        char sql[200];
        std::snprintf(sql, sizeof sql, "SELECT * FROM [%s] WHERE ROWID = %d", table.c_str(),
                      ids_[row - 1]);
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db_, sql, -1, &stmt, nullptr);
        if (sqlite3_step(stmt) == SQLITE_ROW)
            for (int i = 0; i < sqlite3_column_count(stmt); ++i)
                sink_ += sqlite3_column_bytes(stmt, i);
        sqlite3_finalize(stmt);
    }

    // One prepare per row inserted.
    void Insert(const std::string& table, const DecodedRecord& r, bool mainTable) {
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(
            db_, ("INSERT INTO [" + table + "] VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?) ").c_str(), -1,
            &stmt, nullptr);
        const std::string* texts[] = {&r.DATE, &r.TIME, &r.HbA1c_VALUE,
                                      &r.PID,  &r.OPID, &r.EQ_TYPE};
        for (int k = 0; k < 6; ++k)
            sqlite3_bind_text(stmt, k + 1, texts[k]->c_str(), static_cast<int>(texts[k]->size()),
                              SQLITE_STATIC);
        sqlite3_bind_text(stmt, 7, "", 0, SQLITE_STATIC);
        sqlite3_bind_text(stmt, 8, mainTable ? "19000101" : "", mainTable ? 8 : 0, SQLITE_STATIC);
        sqlite3_bind_int(stmt, 9, 0);
        sqlite3_bind_int(stmt, 10, 0);
        sqlite3_bind_int(stmt, 11, r.DATE_YEAR);
        sqlite3_bind_text(stmt, 12, "", 0, SQLITE_STATIC);
        sqlite3_bind_text(stmt, 13, "", 0, SQLITE_STATIC);
        sqlite3_step(stmt);
        sqlite3_reset(stmt);
        sqlite3_finalize(stmt);
    }

    // The default view: order then filter, a requery after each.
    void DefaultView(const std::string& table, const std::string& lastFilter) {
        Requery(table, lastFilter, kDefaultResultOrder);
        Requery(table, "", kDefaultResultOrder);
    }

    size_t sink_ = 0;

  private:
    sqlite3* db_ = nullptr;
    std::vector<int32_t> ids_;
};

// The literal storing of `records` into a copy of the older `home`; only the
// first `sample` records are timed and their time scaled to all of them
// (each costs a scan of the same table), then the relist is timed whole.
Sample LiteralStore(const std::string& home, const std::vector<std::string>& records, int sample) {
    const std::string work = ScratchHome();
    CopyHome(home, work);
    const Sample s = InChild([&](Stopwatch& watch) {
        Literal main(work + "/" + kMainDbFile);
        Literal staging(work + "/" + kDownloadDbFile);
        main.Exec("BEGIN");
        staging.Exec("BEGIN");
        const size_t timed = std::min(records.size(), static_cast<size_t>(sample));
        std::string filter;
        watch.Start();
        for (size_t i = 0; i < timed; ++i) {
            const DecodedRecord r = DecodeRecord(records[i], 1, {});
            filter = DuplicateCondition(r);
            if (main.Requery(kMainTableName, filter, kDefaultResultOrder) > 0) continue;
            main.Insert(kMainTableName, r, true);
            staging.Insert(kDownloadTableName, r, false);
        }
        watch.StopScaled(static_cast<double>(records.size()) / static_cast<double>(timed));
        watch.Start();
        main.Exec("COMMIT");
        staging.Exec("COMMIT");
        main.DefaultView(kMainTableName, filter);
        staging.DefaultView(kDownloadTableName, "");
        watch.Stop();
    });
    std::filesystem::remove_all(work);
    return s;
}

// The literal start: open (a requery), the default view twice (four sorted
// requeries) for each table, then the first screen, one prepare per row.
Sample LiteralStart(const std::string& home) {
    return InChild([&](Stopwatch& watch) {
        watch.Start();
        for (const char* file : {kMainDbFile, kDownloadDbFile}) {
            const std::string table = file == kMainDbFile ? kMainTableName : kDownloadTableName;
            Literal t(home + "/" + file);
            const int64_t rows = t.Requery(table, "", "");
            t.DefaultView(table, "");
            t.DefaultView(table, "");
            if (file == kMainDbFile)
                for (int64_t row = 2; row <= std::min<int64_t>(rows, kScreenRows); ++row)
                    t.MoveTo(table, static_cast<size_t>(row));
        }
        watch.Stop();
    });
}

// ---- the table ----

struct Row {
    std::string figure;
    int64_t stored = 0;
    Sample ours;
    bool hasLiteral = false;
    Sample literal;
    std::string target;
    // Set when the comparison is not the literal design (e.g. "empty store").
    std::string besideName;
};

std::string Ms(double ms) {
    char b[32];
    if (ms >= 10000)
        std::snprintf(b, sizeof b, "%.1f s", ms / 1000);
    else if (ms >= 100)
        std::snprintf(b, sizeof b, "%.0f ms", ms);
    else
        std::snprintf(b, sizeof b, "%.1f ms", ms);
    return b;
}

std::string Count(int64_t n) {
    std::string s = std::to_string(n);
    for (int i = static_cast<int>(s.size()) - 3; i > 0; i -= 3)
        s.insert(static_cast<size_t>(i), ",");
    return s;
}

void Print(const std::vector<Row>& rows, int runs, int downloadRuns) {
    std::printf(
        "\nMedians of %d runs; CPU time of the measured part (wall time in brackets);\n"
        "peak resident memory of the process. The literal design's storing loop is\n"
        "timed on its first records and scaled to all (each costs the same scan).\n"
        "The program's start-up is timed from before its process starts (CPU time of\n"
        "the whole process), its application's part from the application object on;\n"
        "the manual download (%d run%s) is timed from the user's start to its end.\n\n",
        runs, downloadRuns, downloadRuns == 1 ? "" : "s");
    std::printf(
        "| figure | stored results | this program | literal row-by-row | ratio | peak memory "
        "(this / literal) | target |\n|---|---|---|---|---|---|---|\n");
    for (const Row& r : rows) {
        std::string literal = "-", ratio = "-",
                    peak = std::to_string(static_cast<int>(r.ours.peakMb)) + " MB";
        if (r.hasLiteral) {
            literal = Ms(r.literal.cpuMs) + " (" + Ms(r.literal.wallMs) + ")";
            char b[32];
            std::snprintf(b, sizeof b, "%.0f x", r.literal.cpuMs / std::max(r.ours.cpuMs, 0.001));
            ratio = b;
            if (!r.besideName.empty()) {
                literal = r.besideName + ": " + literal;
                ratio = "-";
            }
            peak += " / " + std::to_string(static_cast<int>(r.literal.peakMb)) + " MB";
        }
        std::printf("| %s | %s | %s (%s) | %s | %s | %s | %s |\n", r.figure.c_str(),
                    Count(r.stored).c_str(), Ms(r.ours.cpuMs).c_str(), Ms(r.ours.wallMs).c_str(),
                    literal.c_str(), ratio.c_str(), peak.c_str(), r.target.c_str());
    }
    std::fflush(stdout);
}

// The program's start-up to its home view, beside the same on an empty store.
void MeasureProgramStart(int64_t size, const std::string& indexed, int runs,
                         std::vector<Row>& rows) {
#ifdef TAV_STARTUP_PROBE
    std::fprintf(stderr, "the program's start-up, %s stored ...\n", Count(size).c_str());
    Row whole{"program start-up to the home view, deferred start-up done",
              size,
              {},
              true,
              {},
              "<= 0.5 s, <= 150 MB",
              "empty store"};
    Row own = whole;
    own.figure = "of which the application's part (after Qt's own start)";
    own.target = "";
    std::vector<Sample> ours, empty;
    whole.ours = MedianOf(runs, [&] {
        ours.emplace_back();
        return ProgramStart(indexed, &ours.back());
    });
    whole.literal = MedianOf(runs, [&] {
        empty.emplace_back();
        return ProgramStart(CachedHome(0, true), &empty.back());
    });
    auto median = [](const std::vector<Sample>& v) {
        std::vector<double> cpu, wall, peak;
        for (const Sample& s : v)
            cpu.push_back(s.cpuMs), wall.push_back(s.wallMs), peak.push_back(s.peakMb);
        return Sample{Median(cpu), Median(wall), Median(peak)};
    };
    own.ours = median(ours);
    own.literal = median(empty);
    rows.push_back(whole);
    rows.push_back(own);
#else
    (void)size, (void)indexed, (void)runs, (void)rows;
#endif
}

// A manual download of `count` results at 9,600 baud, `runs` times, beside
// the same into an empty store.
void MeasureDownload(int64_t size, const std::string& indexed, int count, int runs,
                     std::vector<Row>& rows) {
    std::fprintf(stderr, "manual download of %s results at 9,600 baud, %s stored ...\n",
                 Count(count).c_str(), Count(size).c_str());
    const double wire = WireMs(count);
    char target[120];
    std::snprintf(target, sizeof target, "<= %.1f s (wire %.1f s + pauses %.1f s + 0.5 s)",
                  (wire + kFixedPausesMs + 500) / 1000, wire / 1000, kFixedPausesMs / 1000);
    Row r{"manual download of " + Count(count) + " results at 9,600 baud",
          size,
          {},
          true,
          {},
          target,
          "empty store"};
    r.ours = MedianOf(runs, [&] { return ManualDownload(indexed, count); });
    r.literal = MedianOf(runs, [&] { return ManualDownload(CachedHome(0, true), count); });
    rows.push_back(r);
}

// Every figure on a store of `size` results; the manual download of
// `downloadCount` results unless 0; only the end-to-end figures when `endToEnd`.
void Measure(int64_t size, int runs, int downloadCount, int downloadRuns, bool endToEnd,
             std::vector<Row>& rows) {
    const std::string old = CachedHome(size, false);
    const std::string indexed = CachedHome(size, true);
    if (endToEnd) {
        MeasureProgramStart(size, indexed, runs, rows);
        if (downloadCount > 0) MeasureDownload(size, indexed, downloadCount, downloadRuns, rows);
        return;
    }
    // The literal loop scans the whole table per record: a few records tell its rate.
    const int sample = size >= 1000000 ? 20 : 100;
    auto news = [](int n) {
        std::vector<std::string> r;
        for (int i = 0; i < n; ++i) r.push_back(NewRecord(static_cast<uint64_t>(i)));
        return r;
    };
    std::vector<std::string> dups;
    for (int i = 0; i < 9999; ++i)
        dups.push_back(StoredRecord(static_cast<uint64_t>(i) * static_cast<uint64_t>(size) / 9999));

    auto add = [&](const std::string& figure, const std::vector<std::string>& records,
                   bool automatic, const std::string& target) {
        std::fprintf(stderr, "%s, %s stored ...\n", figure.c_str(), Count(size).c_str());
        Row r{figure, size, {}, true, {}, target, {}};
        r.ours = MedianOf(runs, [&] { return OursStore(indexed, records, automatic); });
        r.literal = MedianOf(runs, [&] { return LiteralStore(old, records, sample); });
        rows.push_back(r);
    };
    add("store 1,000 new results", news(1000), false, "");
    add("store 9,999 new results", news(9999), false, "<= 0.5 s");
    add("store 9,999 results, all already stored", dups, false, "<= 0.3 s");
    add("one automatic-mode result", news(1), true, "<= 50 ms");

    std::fprintf(stderr, "start-up, %s stored ...\n", Count(size).c_str());
    Row start{"start-up: both tables open, first screen read",
              size,
              {},
              true,
              {},
              "<= 0.5 s, <= 150 MB",
              {}};
    start.ours = MedianOf(runs, [&] { return OursStart(indexed, false); });
    start.literal = MedianOf(runs, [&] { return LiteralStart(old); });
    rows.push_back(start);
    MeasureProgramStart(size, indexed, runs, rows);
    if (downloadCount > 0) MeasureDownload(size, indexed, downloadCount, downloadRuns, rows);

    std::fprintf(stderr, "first start of an older file, %s stored ...\n", Count(size).c_str());
    Row first{"first start of an older file (builds the index)",
              size,
              {},
              false,
              {},
              "shows progress",
              {}};
    first.ours = MedianOf(std::min(runs, 3), [&] { return OursStart(old, true); });
    rows.push_back(first);
}

}  // namespace
}  // namespace tav::bench

int main(int argc, char** argv) {
    using namespace tav::bench;
    bool quick = false, endToEnd = false;
    int runs = 5, downloadRuns = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0)
            quick = true;
        else if (std::strcmp(argv[i], "--end-to-end") == 0)
            endToEnd = true;
        else if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--download-runs") == 0 && i + 1 < argc)
            downloadRuns = std::max(1, std::atoi(argv[++i]));
    }
    std::vector<Row> rows;
    // The download takes its wire time and pauses: 100 results (13 s) in the
    // quick table, 1,000 (53 s) on the million-result store only otherwise.
    Measure(100000, runs, quick ? 100 : 0, downloadRuns, endToEnd, rows);
    if (!quick) Measure(1000000, runs, 1000, downloadRuns, endToEnd, rows);
    Print(rows, runs, downloadRuns);
    return 0;
}
