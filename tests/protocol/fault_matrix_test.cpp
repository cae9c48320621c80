// The analyzer fault matrix: every fault the simulator can play, end to end
// through the real serial port on its pseudo-terminal, the download
// controller and the link worker storing into a real result database. Each
// case stores a first clean download, runs one download against the fault,
// then a clean download from a fresh simulator holding more results.
//
// The controller's time-outs run in real time except while it only waits:
// when the line has been quiet for a moment and a receive time-out (or an
// answered link check) is all that is pending, the clock jumps ahead to its
// next tick, so a case that retries for minutes on a real analyzer takes
// seconds here.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "link/serial_port.h"
#include "platform/clock.h"
#include "platform/handoff.h"
#include "protocol/download_controller.h"
#include "protocol/link_commands.h"
#include "protocol/link_worker.h"
#include "protocol/process_download.h"
#include "store/result_database.h"
#include "tests/support/realtime_host.h"
#include "tests/support/sim_process.h"
#include "tests/support/temp_dir.h"
#include "tools/analyzer-sim/model/records.h"

namespace tav::test {
namespace {

constexpr int kCom = 7;
// Real-time limit of one download, retries included; generous for sanitizers.
constexpr int kDownloadMs = 120'000;
// Quiet line for this long (real time) before the clock jumps.
constexpr int kQuietMs = 30;

// Real time plus the jumps the test and the program's pauses make.
class JumpingClock final : public Clock {
  public:
    int64_t NowMs() const override { return Micros() / 1000; }
    int64_t Ticks() const override { return Micros(); }
    double TicksPerMs() const override { return 1000.0; }
    // The program's pauses pass in no real time: the simulator needs none.
    void SleepMs(int64_t ms) override {
        Jump(ms);
        std::this_thread::yield();
    }
    void Jump(int64_t ms) { offsetUs_ += ms * 1000; }

  private:
    int64_t Micros() const {
        return std::chrono::duration_cast<std::chrono::microseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
                   .count() +
               offsetUs_.load();
    }
    std::atomic<int64_t> offsetUs_{0};
};

// The analyzer port the last scan found; a new simulator brings a new terminal.
class MovingPort final : public AnalyzerPorts {
  public:
    int Count() const override { return 1; }
    std::string PortName(int index) const override {
        return index == 0 ? "COM" + std::to_string(kCom) : std::string();
    }
    bool Found() const override { return found_; }
    void SetFound(bool found) override { found_ = found; }
    std::string DeviceName(int number) const override {
        return number == kCom ? device : std::string();
    }
    std::string device;

  private:
    bool found_ = true;
};

// Memory files: results 0..n-1 of one fixed list, as the simulator reads them.
std::string MemoryText(int n) {
    std::string text;
    for (int i = 0; i < n; ++i)
        text += "2024-0" + std::to_string(1 + i % 6) + "-1" + std::to_string(i % 10) + " 0" +
                std::to_string(i % 10) + ":1" + std::to_string(i % 6) + " " +
                std::to_string(5 + i % 4) + "." + std::to_string(i % 10) + " PAT-" +
                std::to_string(100 + i) + " OP" + std::to_string(i % 3) + "\n";
    return text;
}

class Rig {
  public:
    Rig()
        : controller(state, serial, clock, host, ports,
                     [this] { return static_cast<int>(db.DownloadTable.RowCount()); }),
          channel(handoff, controller, host),
          worker(state, LinkWorkerActions{[this] { Decode(); }, {}, {}}) {
        db.InitResultDatabase(home.path());
        host.onTimer = [this](int id) { controller.OnTimer(id); };
        host.onWorker = [this](int event) { worker.Signal(event); };
        host.onPortSelect = [this](std::string& label) {
            label = "COM" + std::to_string(kCom);
            serial.SetPortDeviceName(ports.DeviceName(kCom));
            return true;
        };
        worker.Start();
    }

    ~Rig() {
        worker.Stop([this] { handoff.PumpOne(10); });
        serial.Close();
        handoff.Pump();
        StopSim();
    }

    // A simulator holding the first `results` of the list, with `extra` options.
    bool StartSim(int results, std::vector<std::string> extra, bool automatic = false) {
        StopSim();
        const std::string memory = simHome.File("memory" + std::to_string(++sims_) + ".txt");
        WriteWholeFile(memory, MemoryText(results));
        std::vector<std::string> args = {"--home", simHome.path(),   "--com", std::to_string(kCom),
                                         "--fast", "--answer-delay", "0"};
        if (automatic)
            args.insert(args.end(), {"--count", "0", "--seed", "5"});
        else if (results == 0)
            args.push_back("--empty");
        else
            args.insert(args.end(), {"--load", memory});
        args.insert(args.end(), extra.begin(), extra.end());
        sim = std::make_unique<SimProcess>(TAV_ANALYZER_SIM, args);
        const std::string line = sim->ReadLine();
        const size_t blank = line.find(' ');
        ports.device = blank == std::string::npos ? std::string() : line.substr(blank + 1);
        return ports.device.rfind("/dev/", 0) == 0;
    }

    void StopSim() {
        if (sim && sim->pid() > 0) {
            kill(sim->pid(), SIGTERM);
            sim->Wait(5000);
        }
        sim.reset();
    }

    // One manual download as the user starts it, until the controller is idle
    // again with its time-outs stopped.
    bool ManualDownload() {
        const size_t decodesBefore = Decodes();
        host.messages.clear();
        controller.OnLinkCommand(cmd::kManualMode);
        int lastRx = -1;
        size_t lastText = 0;
        auto quietSince = std::chrono::steady_clock::now();
        return host.RunUntil(
            [&] {
                const auto now = std::chrono::steady_clock::now();
                if (state.RxCount != lastRx || state.RxText.size() != lastText) {
                    lastRx = state.RxCount;
                    lastText = state.RxText.size();
                    quietSince = now;
                }
                const bool waiting =
                    host.TimerRunning(timer::kReceive) ||
                    (host.TimerRunning(timer::kLinkCheck) && state.HandshakeSeen == 1);
                if (waiting && now - quietSince > std::chrono::milliseconds(kQuietMs)) {
                    clock.Jump(500);
                    quietSince = now;
                }
                const bool processing = state.DownloadState == 4 && Decodes() == decodesBefore;
                return state.DownloadState == -1 && !processing &&
                       !host.TimerRunning(timer::kReceive) && !host.TimerRunning(timer::kLinkCheck);
            },
            kDownloadMs);
    }

    // One finished measurement fetched as the automatic sequence fetches it:
    // greeting, the analyzer's "measurement finished", the request and its
    // single-result frame; true once the processing has run and sent the
    // sequence on to the cartridge steps.
    bool AutoMeasurement() {
        const size_t decodes = Decodes() + 1;
        host.messages.clear();
        state.AutoMode = 1;
        state.LinkPhase = 1;
        controller.OnLinkCommand(cmd::kOpenNextPort);
        if (!serial.IsOpen()) return false;
        controller.OnLinkCommand(cmd::kGreeting);
        if (!host.RunUntil([&] { return state.HandshakeSeen == 1; }, kDownloadMs)) return false;
        state.ReplyLetters.clear();
        state.LetterFilter = 11;
        controller.OnLinkCommand(cmd::kPurge);
        if (kill(sim->pid(), SIGUSR1) != 0) return false;
        if (!host.RunUntil([&] { return state.ReplyLetters.rfind("SF", 0) == 0; }, kDownloadMs))
            return false;
        state.LinkPhase = 2;
        state.AutoStep = 100;
        controller.OnLinkCommand(cmd::kMeasurementRequest);
        return host.RunUntil([&] { return state.AutoStep == 110 && Decodes() == decodes; },
                             kDownloadMs);
    }

    // The automatic sequence on its own timer from the greeting on, as after a
    // port scan found the analyzer, until it is back to waiting for one (step
    // 6). The analyzer finishes a measurement once the sequence waits for it.
    // While the line is quiet the clock jumps a second at a time.
    bool AutoSequenceBackToWaiting(std::vector<int>& steps) {
        host.messages.clear();
        state.AutoMode = 1;
        state.LinkPhase = 1;
        controller.OnLinkCommand(cmd::kOpenNextPort);
        if (!serial.IsOpen()) return false;
        state.AutoStep = 10;
        host.StartTimer(timer::kAuto, 1000);
        int lastRx = -1;
        auto quietSince = std::chrono::steady_clock::now();
        return host.RunUntil(
            [&] {
                const int step = state.AutoStep;
                if (steps.empty() || steps.back() != step) {
                    steps.push_back(step);
                    if (step == 25) kill(sim->pid(), SIGUSR1);
                }
                const auto now = std::chrono::steady_clock::now();
                if (state.RxCount != lastRx) {
                    lastRx = state.RxCount;
                    quietSince = now;
                }
                if (now - quietSince > std::chrono::milliseconds(kQuietMs)) {
                    clock.Jump(1000);
                    quietSince = now;
                }
                return step == 6;
            },
            kDownloadMs);
    }

    std::vector<DownloadSummary> Summaries() {
        std::lock_guard lock(mutex_);
        return summaries_;
    }
    size_t Decodes() { return Summaries().size(); }

    // Every stored row of the main table as its file holds it, sorted.
    std::vector<std::string> MainRows() {
        std::vector<std::string> out;
        sqlite3* file = nullptr;
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_open_v2(db.MainDbPath.c_str(), &file, SQLITE_OPEN_READONLY, nullptr) ==
                SQLITE_OK &&
            sqlite3_prepare_v2(file,
                               "SELECT [DATE]||' '||[TIME]||' '||[HbA1c_VALUE]||' |'||[PID]||'|'||"
                               "[OPID]||'|'||[EQ_TYPE] FROM [HospitalTlb] ORDER BY 1",
                               -1, &stmt, nullptr) == SQLITE_OK)
            while (sqlite3_step(stmt) == SQLITE_ROW)
                out.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
        sqlite3_finalize(stmt);
        sqlite3_close(file);
        return out;
    }

    std::string Trace() const {
        std::string out = "received \"" + sim::Printable(state.RxText) + "\", download state " +
                          std::to_string(state.DownloadState) + "\nprogress:";
        for (const auto& p : host.progressLog) out += " [" + sim::Printable(p) + "]";
        out += "\nmessages:";
        for (const auto& m : host.messages) out += " [" + sim::Printable(m) + "]";
        return out;
    }

    TempDir simHome;
    TempDir home;
    std::unique_ptr<SimProcess> sim;
    JumpingClock clock;
    QueueHandoff handoff;
    RealtimeHost host{clock, handoff};
    LinkState state;
    MovingPort ports;
    SerialPort serial{clock, handoff, state.LinkRunning};
    ResultDatabase db{clock};
    DownloadController controller;
    HandoffLinkChannel channel;
    LinkWorker worker;

  private:
    void Decode() {
        DownloadSummary s =
            ProcessDownload(state, db, channel, clock, home.path(), IdDigits{}, home.path());
        std::lock_guard lock(mutex_);
        summaries_.push_back(s);
    }

    int sims_ = 0;
    std::mutex mutex_;
    std::vector<DownloadSummary> summaries_;
};

// Results the first clean download stores, the faulted memory and the last
// clean memory. The download frame of kFaulted results is "SH" 0007 CR LF
// and 7 records of 43 bytes, 309 bytes in all.
constexpr int kFirst = 3;
constexpr int kFaulted = 7;
constexpr int kLast = 9;

struct FaultCase {
    const char* name;
    std::vector<std::string> options;
    // The message box the faulted download ends with; empty: none.
    std::string message;
    // Results of the faulted memory the faulted download stores.
    int stored;
};

void PrintTo(const FaultCase& c, std::ostream* os) {
    *os << c.name;
}

std::string RefusedText() {
    return std::string(kRecordCheckFailText) + "\r\n" + kDownloadAgainText;
}

std::vector<FaultCase> ManualCases() {
    return {
        {"NoAnswer", {"--no-answer"}, text::kNoResponse, 0},
        {"StallMidRecord", {"--stall-after", "100"}, text::kFail1, 0},
        {"StallBeforeData", {"--stall-after", "0"}, text::kFail2, 0},
        {"DroppedByte", {"--drop-byte", "100"}, text::kFail1, 0},
        // Noise after a whole frame is ignored: the records are stored.
        {"ExtraBytes", {"--extra-bytes", "5"}, "", kFaulted - kFirst},
        {"BadTerminator", {"--bad-terminator", "4"}, RefusedText(), 0},
        // The serial driver reads a NUL as a blank, here in an id's padding.
        {"NulInRecord", {"--nul-in", "4"}, "", kFaulted - kFirst},
        {"CountTooHigh", {"--count-delta", "2"}, text::kFail1, 0},
        // The announced records are stored; the rest come with the next download.
        {"CountTooLow", {"--count-delta", "-2"}, "", kFaulted - kFirst - 2},
        // The retry's link check finds no analyzer.
        {"LineClosedMidTransfer", {"--close-after", "100"}, text::kNoResponse, 0},
    };
}

class ManualFaults : public ::testing::TestWithParam<FaultCase> {};

TEST_P(ManualFaults, UserIsToldAndTheNextDownloadStoresExactlyWhatIsNew) {
    const FaultCase& c = GetParam();
    Rig rig;
    ASSERT_TRUE(rig.StartSim(kFirst, {}));
    ASSERT_TRUE(rig.ManualDownload()) << rig.Trace();
    const std::vector<std::string> first = rig.MainRows();
    ASSERT_EQ(first.size(), size_t(kFirst)) << rig.Trace();

    ASSERT_TRUE(rig.StartSim(kFaulted, c.options));
    ASSERT_TRUE(rig.ManualDownload()) << "stranded\n" << rig.Trace();
    EXPECT_EQ(rig.host.messages,
              c.message.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.message})
        << rig.Trace();
    const std::vector<std::string> afterFault = rig.MainRows();
    EXPECT_EQ(afterFault.size(), size_t(kFirst + c.stored)) << rig.Trace();
    EXPECT_TRUE(std::includes(afterFault.begin(), afterFault.end(), first.begin(), first.end()))
        << "a stored result changed";

    ASSERT_TRUE(rig.StartSim(kLast, {}));
    ASSERT_TRUE(rig.ManualDownload()) << rig.Trace();
    EXPECT_TRUE(rig.host.messages.empty()) << rig.Trace();
    ASSERT_FALSE(rig.Summaries().empty());
    EXPECT_EQ(rig.Summaries().back().stored, kLast - kFirst - c.stored);
    EXPECT_EQ(rig.Summaries().back().duplicates, kFirst + c.stored);
    const std::vector<std::string> last = rig.MainRows();
    EXPECT_EQ(last.size(), size_t(kLast));
    EXPECT_EQ(std::adjacent_find(last.begin(), last.end()), last.end()) << "a duplicate";
    EXPECT_TRUE(std::includes(last.begin(), last.end(), afterFault.begin(), afterFault.end()));
}

INSTANTIATE_TEST_SUITE_P(Matrix, ManualFaults, ::testing::ValuesIn(ManualCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ManualFaultsEmpty, EmptyMemoryIsReportedAndTheNextDownloadStoresEverything) {
    Rig rig;
    ASSERT_TRUE(rig.StartSim(kFirst, {}));
    ASSERT_TRUE(rig.ManualDownload()) << rig.Trace();
    const std::vector<std::string> first = rig.MainRows();
    ASSERT_TRUE(rig.StartSim(0, {}));
    ASSERT_TRUE(rig.ManualDownload()) << rig.Trace();
    EXPECT_EQ(rig.host.messages, std::vector<std::string>{text::kBlankBox});
    EXPECT_EQ(rig.MainRows(), first);
    ASSERT_TRUE(rig.StartSim(kLast, {}));
    ASSERT_TRUE(rig.ManualDownload()) << rig.Trace();
    EXPECT_EQ(rig.Summaries().back().stored, kLast - kFirst);
    EXPECT_EQ(rig.MainRows().size(), size_t(kLast));
}

// Faults of the single-result frame in automatic mode; the faults hit the
// first frame only, so the next measurement is clean.
class AutomaticFaults : public ::testing::TestWithParam<FaultCase> {};

TEST_P(AutomaticFaults, UserIsToldAndTheNextMeasurementIsStored) {
    const FaultCase& c = GetParam();
    Rig rig;
    std::vector<std::string> options = c.options;
    options.insert(options.end(), {"--fault-frames", "1"});
    ASSERT_TRUE(rig.StartSim(0, options, true));
    ASSERT_TRUE(rig.AutoMeasurement()) << rig.Trace();
    EXPECT_EQ(rig.host.messages,
              c.message.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.message})
        << rig.Trace();
    EXPECT_EQ(rig.MainRows().size(), size_t(c.stored));
    EXPECT_EQ(rig.state.DownloadState, -1);

    ASSERT_TRUE(rig.AutoMeasurement()) << "stranded\n" << rig.Trace();
    EXPECT_TRUE(rig.host.messages.empty()) << rig.Trace();
    const DownloadSummary next = rig.Summaries().back();
    EXPECT_EQ(next.outcome, DownloadSummary::Outcome::Stored);
    EXPECT_EQ(next.stored + next.duplicates, 1);
    const std::vector<std::string> rows = rig.MainRows();
    EXPECT_EQ(rows.size(), size_t(c.stored + next.stored));
    EXPECT_EQ(std::adjacent_find(rows.begin(), rows.end()), rows.end()) << "a duplicate";
}

INSTANTIATE_TEST_SUITE_P(
    Matrix, AutomaticFaults,
    ::testing::Values(FaultCase{"BadTerminator", {"--bad-terminator", "0"}, RefusedText(), 0},
                      FaultCase{"NulInRecord", {"--nul-in", "0"}, "", 1},
                      FaultCase{"ExtraBytes", {"--extra-bytes", "5"}, "", 1}),
    [](const auto& info) { return std::string(info.param.name); });

// Faults that leave the single-result frame unanswered, cut short or never
// whole: no message, the sequence ends the exchange and goes back to waiting
// for the analyzer, and the user can switch to manual mode.
struct AutoWaitCase {
    const char* name;
    std::vector<std::string> options;
    // The fault hits the measurement request; otherwise already the greeting.
    bool requested;
};

void PrintTo(const AutoWaitCase& c, std::ostream* os) {
    *os << c.name;
}

class AutomaticFaultsBackToWaiting : public ::testing::TestWithParam<AutoWaitCase> {};

TEST_P(AutomaticFaultsBackToWaiting, NothingIsStoredAndTheNextMeasurementIsStored) {
    const AutoWaitCase& c = GetParam();
    Rig rig;
    ASSERT_TRUE(rig.StartSim(0, {}, true));
    ASSERT_TRUE(rig.AutoMeasurement()) << rig.Trace();
    const std::vector<std::string> first = rig.MainRows();
    ASSERT_EQ(first.size(), 1u);
    rig.controller.OnLinkCommand(cmd::kClosePort);

    ASSERT_TRUE(rig.StartSim(0, c.options, true));
    std::vector<int> steps;
    ASSERT_TRUE(rig.AutoSequenceBackToWaiting(steps)) << "stranded\n" << rig.Trace();
    EXPECT_EQ(std::count(steps.begin(), steps.end(), 100), c.requested ? 1 : 0) << rig.Trace();
    EXPECT_TRUE(rig.host.messages.empty()) << rig.Trace();
    EXPECT_EQ(rig.MainRows(), first);
    EXPECT_EQ(rig.state.Receiving, 0);

    // Still responsive: the user may switch to manual mode.
    rig.host.answer = true;
    rig.controller.OnModeButton();
    EXPECT_EQ(rig.state.AutoMode, 0);
    EXPECT_FALSE(rig.host.TimerRunning(timer::kAuto));
    rig.controller.OnLinkCommand(cmd::kClosePort);

    ASSERT_TRUE(rig.StartSim(0, {}, true));
    ASSERT_TRUE(rig.AutoMeasurement()) << "stranded\n" << rig.Trace();
    EXPECT_TRUE(rig.host.messages.empty()) << rig.Trace();
    EXPECT_EQ(rig.Summaries().back().outcome, DownloadSummary::Outcome::Stored);
    EXPECT_EQ(rig.MainRows().size(), first.size() + rig.Summaries().back().stored);
    EXPECT_EQ(rig.Summaries().back().stored + rig.Summaries().back().duplicates, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Matrix, AutomaticFaultsBackToWaiting,
    ::testing::Values(AutoWaitCase{"NoAnswer", {"--no-answer"}, false},
                      AutoWaitCase{"StallBeforeData", {"--stall-after", "0"}, true},
                      AutoWaitCase{"StallMidRecord", {"--stall-after", "20"}, true},
                      AutoWaitCase{"DroppedByte", {"--drop-byte", "20"}, true},
                      AutoWaitCase{"LineClosedMidTransfer", {"--close-after", "20"}, true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tav::test
