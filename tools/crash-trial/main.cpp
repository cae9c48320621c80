// Crash trials of the result store: a download of thousands of results is
// stored into a filled store by the program's own download processing in a
// child process, which is killed with SIGKILL at a random moment. After each
// kill the files are checked and the download is repeated.
//
//   tav-crash-trial trials N [--dir DIR] [--seed S]   runs N trials
//   tav-crash-trial store HOME                        (the child) stores the download
//
// Prints one line per failed check and ends with "N passed, M failed".
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "link/link_channel.h"
#include "link/link_state.h"
#include "platform/clock.h"
#include "protocol/process_download.h"
#include "store/result_database.h"

namespace fs = std::filesystem;
using namespace tav;

namespace {

constexpr int kFilled = 20000;   // results already stored before a trial
constexpr int kDownload = 3000;  // results in the download
constexpr int kOverlap = 400;    // of them already stored
constexpr int kNew = kDownload - kOverlap;

// What the child tells the driver through its pipe, one letter each.
constexpr char kInReset = 'R';  // the staging reset is between drop and create
constexpr char kStoring = 'S';  // storing reached its first record
constexpr char kDone = 'D';

std::string Field(std::string s) {
    s.resize(kIdFieldLength, ' ');
    return s;
}

// Result number i: a distinct date, time and patient per i.
std::string Record(int i) {
    char when[16];
    std::snprintf(when, sizeof when, "%02d%02d%02d%02d%02d", 20 + i % 5, 1 + i % 12, 1 + i % 28,
                  i / 60 % 24, i % 60);
    char value[4];
    std::snprintf(value, sizeof value, "%03d", 40 + i % 100);
    return std::string(when) + value + Field("P" + std::to_string(i)) + Field("OP") + "\r\n";
}

// Results first..first+count-1 as one payload.
std::string Payload(int first, int count) {
    std::string out;
    for (int i = first; i < first + count; ++i) out += Record(i);
    return out;
}

// The download of every trial: the last kOverlap stored results and kNew more.
int DownloadFirst() {
    return kFilled - kOverlap;
}

class QuietChannel final : public LinkChannel {
  public:
    void SendLinkCommand(int) override {}
    void ShowMessage(const std::string&) override {}
    void ShowProgress(const std::string&) override {}
};

// The system clock that tells the driver when the staging reset pauses
// between dropping and re-creating the table.
class SignallingClock final : public Clock {
  public:
    explicit SignallingClock(int fd) : fd_(fd) {}
    int64_t NowMs() const override { return inner_.NowMs(); }
    int64_t Ticks() const override { return inner_.Ticks(); }
    double TicksPerMs() const override { return inner_.TicksPerMs(); }
    void SleepMs(int64_t ms) override {
        if (ms == 200) Tell(fd_, kInReset);
        inner_.SleepMs(ms);
    }
    static void Tell(int fd, char c) {
        if (fd >= 0 && write(fd, &c, 1) != 1) _exit(3);
    }

  private:
    int fd_;
    SystemClock inner_;
};

DownloadSummary Store(const std::string& home, Clock& clock, int first, int count,
                      const DownloadObserver& observer = {}) {
    ResultDatabase db(clock);
    if (db.InitResultDatabase(home)) return {DownloadSummary::Outcome::StoreFailed};
    LinkState link;
    link.HandshakeSeen = 1;
    link.RxPayload = Payload(first, count);
    link.RecordCount = count;
    QuietChannel channel;
    const DownloadSummary s = ProcessDownload(link, db, channel, clock, home, {}, home, observer);
    db.Close();
    return s;
}

int ChildStore(const std::string& home, int fd) {
    SignallingClock clock(fd);
    DownloadObserver observer;
    observer.storing = [fd](int n, int) {
        if (n == 1) SignallingClock::Tell(fd, kStoring);
    };
    const DownloadSummary s = Store(home, clock, DownloadFirst(), kDownload, observer);
    SignallingClock::Tell(fd, kDone);
    return s.outcome == DownloadSummary::Outcome::Stored && s.stored == kNew ? 0 : 1;
}

// ------------------------------------------------------------------ checks

struct Db {
    explicit Db(const std::string& path) {
        // Read-write, as the program opens it: a killed writer's journal is
        // rolled back first.
        if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
            sqlite3_close(db);
            db = nullptr;
        }
    }
    ~Db() { sqlite3_close(db); }
    std::string Text(const std::string& sql) const {
        std::string out = "(no answer)";
        sqlite3_stmt* stmt = nullptr;
        if (db && sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK &&
            sqlite3_step(stmt) == SQLITE_ROW) {
            const unsigned char* t = sqlite3_column_text(stmt, 0);
            out = t ? reinterpret_cast<const char*>(t) : "";
        }
        sqlite3_finalize(stmt);
        return out;
    }
    long Number(const std::string& sql) const {
        const std::string t = Text(sql);
        return t.empty() || t[0] == '(' ? -1 : std::stol(t);
    }
    sqlite3* db = nullptr;
};

const char* const kDistinct =
    "SELECT count(*) FROM (SELECT DISTINCT [DATE],[TIME],[HbA1c_VALUE],[PID],[OPID] FROM "
    "[HospitalTlb])";

// Results of the download's new part in the main table.
long NewStored(const Db& main) {
    return main.Number(
        "SELECT count(*) FROM [HospitalTlb] WHERE CAST(substr(trim([PID]),2) AS "
        "INTEGER) >= " +
        std::to_string(kFilled));
}

// Every check after one kill; returns the failures, each as a line.
std::vector<std::string> Check(const std::string& home) {
    std::vector<std::string> failed;
    const std::string mainPath = home + "/" + kMainDbFile;
    const std::string stagingPath = home + "/" + kDownloadDbFile;
    for (const std::string& path : {mainPath, stagingPath}) {
        const std::string ok = Db(path).Text("PRAGMA integrity_check");
        if (ok != "ok") failed.push_back("integrity_check of " + path + ": " + ok);
    }
    long before;
    {
        Db main(mainPath);
        before = main.Number("SELECT count(*) FROM [HospitalTlb]");
        const long fresh = NewStored(main);
        if (!(before == kFilled && fresh == 0) && !(before == kFilled + kNew && fresh == kNew))
            failed.push_back("main table holds part of the download: " + std::to_string(before) +
                             " rows, " + std::to_string(fresh) + " of " + std::to_string(kNew) +
                             " new");
    }
    {
        VirtualClock clock;
        ResultDatabase db(clock);
        if (const auto problem = db.InitResultDatabase(home))
            failed.push_back("next start: " + problem->File + ": " + problem->Reason);
        else if (!db.MainTable.IsOpen() || !db.DownloadTable.IsOpen())
            failed.push_back("next start leaves a table closed");
        db.Close();
    }
    VirtualClock clock;
    const DownloadSummary repeat = Store(home, clock, DownloadFirst(), kDownload);
    const long missing = kFilled + kNew - before;
    if (repeat.outcome != DownloadSummary::Outcome::Stored || repeat.stored != missing ||
        repeat.duplicates != kDownload - missing)
        failed.push_back("repeat download stored " + std::to_string(repeat.stored) + " with " +
                         std::to_string(repeat.duplicates) + " duplicates, expected " +
                         std::to_string(missing) + " new");
    Db main(mainPath);
    const long total = main.Number("SELECT count(*) FROM [HospitalTlb]");
    if (total != kFilled + kNew || main.Number(kDistinct) != total)
        failed.push_back("after the repeat: " + std::to_string(total) + " rows, " +
                         std::to_string(main.Number(kDistinct)) + " distinct, expected " +
                         std::to_string(kFilled + kNew));
    if (Db(stagingPath).Number("SELECT count(*) FROM [DownLoadData]") != repeat.stored)
        failed.push_back("staging table does not list the repeat's results");
    return failed;
}

// ------------------------------------------------------------------ driver

// Reads one letter from `fd`, waiting at most `ms`; 0 when none came.
char ReadLetter(int fd, int ms) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(fd, &set);
    timeval tv{ms / 1000, (ms % 1000) * 1000};
    if (select(fd + 1, &set, nullptr, nullptr, &tv) <= 0) return 0;
    char c = 0;
    return read(fd, &c, 1) == 1 ? c : 0;
}

struct Child {
    pid_t pid = -1;
    int fd = -1;
};

Child Spawn(const std::string& self, const std::string& home) {
    int p[2];
    if (pipe(p) != 0) return {};
    const pid_t pid = fork();
    if (pid == 0) {
        close(p[0]);
        const std::string fd = std::to_string(p[1]);
        execl(self.c_str(), self.c_str(), "store", home.c_str(), fd.c_str(), nullptr);
        _exit(127);
    }
    close(p[1]);
    return {pid, p[0]};
}

// Waits for the child; true when it ended by SIGKILL.
bool Reap(Child& c) {
    int status = 0;
    waitpid(c.pid, &status, 0);
    close(c.fd);
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

void Fill(const std::string& home) {
    fs::create_directories(home);
    VirtualClock clock;
    Store(home, clock, 0, kFilled);
}

void CopyHome(const std::string& from, const std::string& to) {
    fs::remove_all(to);
    fs::create_directories(to);
    for (const auto& entry : fs::directory_iterator(from))
        if (entry.is_regular_file())
            fs::copy_file(entry.path(), fs::path(to) / entry.path().filename());
}

int Trials(const std::string& self, int trials, const std::string& dir, unsigned seed) {
    const std::string filled = dir + "/filled";
    fs::remove_all(filled);
    Fill(filled);

    // One run uncut, for how long a run takes and that it stores the download.
    const std::string home = dir + "/trial";
    CopyHome(filled, home);
    const auto start = std::chrono::steady_clock::now();
    Child c = Spawn(self, home);
    auto storingAt = start;
    for (char l; (l = ReadLetter(c.fd, 60000)) != 0 && l != kDone;)
        if (l == kStoring) storingAt = std::chrono::steady_clock::now();
    int status = 0;
    waitpid(c.pid, &status, 0);
    close(c.fd);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::printf("an uncut run did not store the download\n");
        return 1;
    }
    const auto end = std::chrono::steady_clock::now();
    const auto ms = [](auto d) {
        return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(d).count());
    };
    const int runMs = ms(end - start);
    const int storeMs = std::max(1, ms(end - storingAt));
    std::printf("an uncut run takes %d ms, %d of them storing\n", runMs, storeMs);

    std::mt19937 random(seed);
    int passed = 0, failedTrials = 0, inReset = 0, inStoring = 0, anywhere = 0, killed = 0;
    for (int t = 0; t < trials; ++t) {
        CopyHome(filled, home);
        c = Spawn(self, home);
        // A third of the kills fall inside the staging reset, a third while
        // the results are inserted, the rest anywhere in the run.
        const int kind = t % 3;
        const char awaited = kind == 0 ? kInReset : kind == 1 ? kStoring : 0;
        bool reached = awaited == 0;
        for (char l; !reached && (l = ReadLetter(c.fd, 60000)) != 0 && l != kDone;)
            reached = l == awaited;
        const int window = kind == 0 ? 200 : kind == 1 ? storeMs : runMs;
        std::this_thread::sleep_for(std::chrono::microseconds(
            std::uniform_int_distribution<int>(0, window * 1000)(random)));
        kill(c.pid, SIGKILL);
        const bool wasKilled = Reap(c);
        killed += wasKilled;
        (kind == 0 ? inReset : kind == 1 ? inStoring : anywhere) += reached && wasKilled;

        const std::vector<std::string> failures = Check(home);
        if (failures.empty()) {
            ++passed;
        } else {
            ++failedTrials;
            for (const std::string& f : failures) std::printf("trial %d: %s\n", t + 1, f.c_str());
        }
    }
    fs::remove_all(home);
    fs::remove_all(filled);
    std::printf("%d killed (%d in the staging reset, %d while storing, %d at any moment)\n", killed,
                inReset, inStoring, anywhere);
    std::printf("%d passed, %d failed\n", passed, failedTrials);
    return failedTrials == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 3 && args[0] == "store") return ChildStore(args[1], std::stoi(args[2]));
    if (!args.empty() && args[0] == "trials") {
        int trials = 50;
        std::string dir = fs::temp_directory_path() / ("tav-crash-" + std::to_string(getpid()));
        unsigned seed = std::random_device{}();
        for (size_t i = 1; i < args.size(); ++i) {
            if (args[i] == "--dir" && i + 1 < args.size())
                dir = args[++i];
            else if (args[i] == "--seed" && i + 1 < args.size())
                seed = static_cast<unsigned>(std::stoul(args[++i]));
            else
                trials = std::stoi(args[i]);
        }
        std::printf("seed %u, %d trials\n", seed, trials);
        const int rc = Trials(fs::canonical("/proc/self/exe"), trials, dir, seed);
        fs::remove_all(dir);
        return rc;
    }
    std::fprintf(stderr, "usage: tav-crash-trial trials N [--dir DIR] [--seed S]\n");
    return 2;
}
