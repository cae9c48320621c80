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
//
// Besides, one clean download at the analyzer's line speed on the real clock.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "protocol/link_commands.h"
#include "protocol/record_decoder.h"
#include "tests/support/sim_download_rig.h"
#include "tests/support/sql_rows.h"
#include "tests/support/temp_dir.h"
#include "tools/analyzer-sim/model/records.h"

namespace tav::test {
namespace {

// Real-time limit of one download, retries included; generous for sanitizers.
constexpr int kDownloadMs = 120'000;
// Quiet line for this long (real time) before the clock jumps.
constexpr int kQuietMs = 30;

// Real time plus the jumps the test and the program's pauses make.
class JumpingClock final : public Clock {
  public:
    int64_t NowMs() const override { return real_.NowMs() + offsetMs_; }
    int64_t Ticks() const override {
        return real_.Ticks() + static_cast<int64_t>(offsetMs_ * real_.TicksPerMs());
    }
    double TicksPerMs() const override { return real_.TicksPerMs(); }
    // The program's pauses pass in no real time: the simulator needs none.
    void SleepMs(int64_t ms) override {
        Jump(ms);
        std::this_thread::yield();
    }
    void Jump(int64_t ms) { offsetMs_ += ms; }

  private:
    SystemClock real_;
    std::atomic<int64_t> offsetMs_{0};
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

// Each row of `table` in the database file `path`, sorted.
std::vector<std::string> Rows(const std::string& path, const std::string& table) {
    return SqlRows(path,
                   "SELECT [DATE]||' '||[TIME]||' '||[HbA1c_VALUE]||' |'||[PID]||'|'||[OPID]||'|'||"
                   "[EQ_TYPE]||'|'||[DATE_YEAR] FROM [" +
                       table + "] ORDER BY 1");
}

struct RigParts {
    TempDir homeDir;
    JumpingClock jumping;
};

// The rig on the jumping clock: the controller's time-outs run in real time
// except while it only waits, when the clock jumps ahead to its next tick.
class Rig : RigParts, public SimDownloadRig {
  public:
    Rig() : SimDownloadRig(jumping, homeDir.path(), TAV_ANALYZER_SIM) {}

    // A simulator holding the first `results` of the list, with `extra` options.
    bool StartSim(int results, std::vector<std::string> extra, bool automatic = false) {
        const std::string memory = homeDir.File("memory" + std::to_string(++sims_) + ".txt");
        WriteWholeFile(memory, MemoryText(results));
        std::vector<std::string> args = {"--fast", "--answer-delay", "0"};
        if (automatic)
            args.insert(args.end(), {"--count", "0", "--seed", "5"});
        else if (results == 0)
            args.push_back("--empty");
        else
            args.insert(args.end(), {"--load", memory});
        args.insert(args.end(), extra.begin(), extra.end());
        return SimDownloadRig::StartSim(args);
    }

    // Jumps the clock `ms` ahead each time the line was quiet for a moment
    // while `waiting()` holds.
    std::function<void()> JumpWhenQuiet(int64_t ms, std::function<bool()> waiting) {
        return [=, this, lastRx = -1, lastText = size_t{0},
                quietSince = std::chrono::steady_clock::now()]() mutable {
            const auto now = std::chrono::steady_clock::now();
            if (state.RxCount != lastRx || state.RxText.size() != lastText) {
                lastRx = state.RxCount;
                lastText = state.RxText.size();
                quietSince = now;
            }
            if (waiting() && now - quietSince > std::chrono::milliseconds(kQuietMs)) {
                jumping.Jump(ms);
                quietSince = now;
            }
        };
    }

    // A manual download that jumps while a receive time-out (or an answered
    // link check) is all that is pending.
    bool ManualDownload() {
        return SimDownloadRig::ManualDownload(
            kDownloadMs, JumpWhenQuiet(500, [this] {
                return TimerRunning(timer::kReceive) ||
                       (TimerRunning(timer::kLinkCheck) && state.HandshakeSeen == 1);
            }));
    }

    // One finished measurement fetched as the automatic sequence fetches it:
    // greeting, the analyzer's "measurement finished", the request and its
    // single-result frame; true once the processing has run and sent the
    // sequence on to the cartridge steps.
    bool AutoMeasurement() {
        const size_t decodes = Decodes() + 1;
        if (!OpenAutomatic()) return false;
        controller.OnLinkCommand(cmd::kGreeting);
        if (!RunUntil([&] { return state.HandshakeSeen == 1; }, kDownloadMs)) return false;
        state.ReplyLetters.clear();
        state.LetterFilter = 11;
        controller.OnLinkCommand(cmd::kPurge);
        if (kill(sim->pid(), SIGUSR1) != 0) return false;
        if (!RunUntil([&] { return state.ReplyLetters.rfind("SF", 0) == 0; }, kDownloadMs))
            return false;
        state.LinkPhase = 2;
        state.AutoStep = 100;
        controller.OnLinkCommand(cmd::kMeasurementRequest);
        return RunUntil([&] { return state.AutoStep == 110 && Decodes() == decodes; }, kDownloadMs);
    }

    // The automatic sequence on its own timer from the greeting on, as after a
    // port scan found the analyzer, until it is back to waiting for one (step
    // 6). The analyzer finishes a measurement once the sequence waits for it.
    // While the line is quiet the clock jumps a second at a time.
    bool AutoSequenceBackToWaiting(std::vector<int>& steps) {
        if (!OpenAutomatic()) return false;
        state.AutoStep = 10;
        StartTimer(timer::kAuto, 1000);
        auto jump = JumpWhenQuiet(1000, [] { return true; });
        return RunUntil(
            [&] {
                const int step = state.AutoStep;
                if (steps.empty() || steps.back() != step) {
                    steps.push_back(step);
                    if (step == 25) kill(sim->pid(), SIGUSR1);
                }
                jump();
                return step == 6;
            },
            kDownloadMs);
    }

    std::vector<std::string> MainRows() { return Rows(db.MainDbPath, "HospitalTlb"); }

  private:
    // Automatic mode with the analyzer's port open, as the sequence opens it.
    bool OpenAutomatic() {
        messages.clear();
        state.AutoMode = 1;
        state.LinkPhase = 1;
        controller.OnLinkCommand(cmd::kOpenNextPort);
        return serial.IsOpen();
    }

    int sims_ = 0;
};

// At the analyzer's real line speed and on the real clock: about 4.5 s of
// data on the wire. The same memory again stores nothing and says so.
TEST(EndToEndDownload, HundredResultsAtLineSpeedAreStoredExactlyAndARepeatStoresNothing) {
    const std::vector<std::string> records =
        sim::GenerateRecords({.count = 100, .seed = 11, .tilted = 3, .flagged = 2});
    std::vector<std::string> expected;
    for (const std::string& r : records) {
        const DecodedRecord d = DecodeRecord(r, 1, IdDigits{});
        expected.push_back(d.DATE + " " + d.TIME + " " + d.HbA1c_VALUE + " |" + d.PID + "|" +
                           d.OPID + "|" + d.EQ_TYPE + "|" + std::to_string(d.DATE_YEAR));
    }
    std::sort(expected.begin(), expected.end());

    TempDir home;
    SystemClock clock;
    SimDownloadRig rig(clock, home.path(), TAV_ANALYZER_SIM);
    ASSERT_TRUE(
        rig.StartSim({"--count", "100", "--seed", "11", "--tilted", "3", "--flagged", "2"}));
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run == 0 ? "first" : "repeat");
        ASSERT_TRUE(rig.ManualDownload(kDownloadMs)) << rig.Trace();
        ASSERT_EQ(rig.Decodes(), size_t(run + 1));
        EXPECT_EQ(rig.Summaries().back().stored, run == 0 ? 100 : 0);
        EXPECT_EQ(rig.Summaries().back().duplicates, run == 0 ? 0 : 100);
        EXPECT_EQ(Rows(rig.db.MainDbPath, "HospitalTlb"), expected);
        EXPECT_EQ(Rows(rig.db.DownloadDbPath, "DownLoadData"),
                  run == 0 ? expected : std::vector<std::string>{});
        EXPECT_EQ(ReadWholeFile(rig.home + "/" + kRawDataFile),
                  std::accumulate(records.begin(), records.end(), std::string()));
        EXPECT_EQ(rig.controller.RequestCount(), 1) << "no retry at line speed";
        EXPECT_EQ(rig.countLog.back(), "100 of 100");
        EXPECT_EQ(rig.downloadRefreshes, 1) << "refreshed only for new results";
        EXPECT_TRUE(rig.messages.empty());
    }
    EXPECT_EQ(rig.progressText, text::kNoNewData);
}

// Results the first clean download stores, the faulted memory and the last
// clean memory. The download frame of kFaulted results is "SH" 0007 CR LF
// and 7 records of 43 bytes, 309 bytes in all.
constexpr int kFirst = 3;
constexpr int kFaulted = 7;
constexpr int kLast = 9;

struct FaultCase {
    const char* name;
    std::vector<std::string> options;
    // The message boxes the faulted download ends with.
    std::vector<std::string> messages;
    // Results of the faulted memory the faulted download stores.
    int stored;
    int faulted = kFaulted;  // results in the faulted memory
};
// Rows are named by their fault in test listings, not dumped as bytes.
void PrintTo(const FaultCase& c, std::ostream* os) {
    *os << c.name;
}

const std::string kRefused = std::string(kRecordCheckFailText) + "\r\n" + kDownloadAgainText;

class ManualFaults : public ::testing::TestWithParam<FaultCase> {};

TEST_P(ManualFaults, UserIsToldAndTheNextDownloadStoresExactlyWhatIsNew) {
    const FaultCase& c = GetParam();
    Rig rig;
    ASSERT_TRUE(rig.StartSim(kFirst, {}));
    ASSERT_TRUE(rig.ManualDownload()) << rig.Trace();
    const std::vector<std::string> first = rig.MainRows();

    ASSERT_TRUE(rig.StartSim(c.faulted, c.options));
    ASSERT_TRUE(rig.ManualDownload()) << "stranded\n" << rig.Trace();
    EXPECT_EQ(rig.messages, c.messages) << rig.Trace();
    const std::vector<std::string> afterFault = rig.MainRows();
    EXPECT_EQ(afterFault.size(), size_t(kFirst + c.stored)) << rig.Trace();
    EXPECT_TRUE(std::includes(afterFault.begin(), afterFault.end(), first.begin(), first.end()))
        << "a stored result changed";

    ASSERT_TRUE(rig.StartSim(kLast, {}));
    ASSERT_TRUE(rig.ManualDownload()) << rig.Trace();
    EXPECT_TRUE(rig.messages.empty()) << rig.Trace();
    EXPECT_EQ(std::make_pair(rig.Summaries().back().stored, rig.Summaries().back().duplicates),
              std::make_pair(kLast - kFirst - c.stored, kFirst + c.stored));
    const std::vector<std::string> last = rig.MainRows();
    EXPECT_EQ(last.size(), size_t(kLast));
    EXPECT_EQ(std::adjacent_find(last.begin(), last.end()), last.end()) << "a duplicate";
    EXPECT_TRUE(std::includes(last.begin(), last.end(), afterFault.begin(), afterFault.end()));
}

INSTANTIATE_TEST_SUITE_P(
    Matrix, ManualFaults,
    ::testing::Values(
        FaultCase{"NoAnswer", {"--no-answer"}, {text::kNoResponse}, 0},
        FaultCase{"StallMidRecord", {"--stall-after", "100"}, {text::kFail1}, 0},
        FaultCase{"StallBeforeData", {"--stall-after", "0"}, {text::kFail2}, 0},
        FaultCase{"DroppedByte", {"--drop-byte", "100"}, {text::kFail1}, 0},
        // Noise after a whole frame is ignored: the records are stored.
        FaultCase{"ExtraBytes", {"--extra-bytes", "5"}, {}, kFaulted - kFirst},
        FaultCase{"BadTerminator", {"--bad-terminator", "4"}, {kRefused}, 0},
        // The serial driver reads a NUL as a blank, here in an id's padding.
        FaultCase{"NulInRecord", {"--nul-in", "4"}, {}, kFaulted - kFirst},
        FaultCase{"CountTooHigh", {"--count-delta", "2"}, {text::kFail1}, 0},
        // The announced records are stored; the rest come with the next download.
        FaultCase{"CountTooLow", {"--count-delta", "-2"}, {}, kFaulted - kFirst - 2},
        // The retry's link check finds no analyzer.
        FaultCase{"LineClosedMidTransfer", {"--close-after", "100"}, {text::kNoResponse}, 0},
        FaultCase{"EmptyMemory", {}, {text::kBlankBox}, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// Faults of the single-result frame in automatic mode. A frame that comes
// whole (its fault on the first frame only) ends as the processing judges
// it. One left unanswered, cut short or never whole, after a clean
// measurement, gives no message and changes nothing stored: the sequence
// ends the exchange and goes back to waiting for the analyzer, and the user
// can switch to manual mode. Either way the next measurement is stored.
struct AutoCase {
    const char* name;
    std::vector<std::string> options;
    std::vector<std::string> messages;
    int stored;
    // Back to waiting: measurement requests sent (0 when the greeting is
    // already unanswered); -1: the frame comes whole.
    int requests;
};
void PrintTo(const AutoCase& c, std::ostream* os) {
    *os << c.name;
}

class AutomaticFaults : public ::testing::TestWithParam<AutoCase> {};

TEST_P(AutomaticFaults, UserIsToldAndTheNextMeasurementIsStored) {
    const AutoCase& c = GetParam();
    Rig rig;
    if (c.requests >= 0) {  // a clean measurement first
        ASSERT_TRUE(rig.StartSim(0, {}, true));
        ASSERT_TRUE(rig.AutoMeasurement()) << rig.Trace();
        rig.controller.OnLinkCommand(cmd::kClosePort);
    }
    const std::vector<std::string> before = rig.MainRows();
    ASSERT_TRUE(rig.StartSim(0, c.options, true));
    std::vector<int> steps;
    ASSERT_TRUE(c.requests < 0 ? rig.AutoMeasurement() : rig.AutoSequenceBackToWaiting(steps))
        << "stranded\n"
        << rig.Trace();
    EXPECT_EQ(rig.messages, c.messages) << rig.Trace();
    const std::vector<std::string> after = rig.MainRows();
    EXPECT_EQ(after.size(), before.size() + c.stored);
    EXPECT_TRUE(std::includes(after.begin(), after.end(), before.begin(), before.end()));
    if (c.requests < 0) {
        EXPECT_EQ(rig.state.DownloadState, -1);
    } else {
        EXPECT_EQ(std::count(steps.begin(), steps.end(), 100), c.requests) << rig.Trace();
        EXPECT_EQ(rig.state.Receiving, 0);
        // Still responsive: the user may switch to manual mode.
        rig.controller.OnModeButton();
        EXPECT_EQ(rig.state.AutoMode, 0);
        EXPECT_FALSE(rig.TimerRunning(timer::kAuto));
        // The manual download the switch started finds the line closed and
        // ends before the next measurement opens it again.
        rig.controller.OnLinkCommand(cmd::kClosePort);
        ASSERT_TRUE(rig.RunUntil([&] { return rig.state.DownloadState == -1; }, kDownloadMs));
        ASSERT_TRUE(rig.StartSim(0, {}, true));
    }

    ASSERT_TRUE(rig.AutoMeasurement()) << "stranded\n" << rig.Trace();
    EXPECT_TRUE(rig.messages.empty()) << rig.Trace();
    const DownloadSummary next = rig.Summaries().back();
    EXPECT_EQ(next.outcome, DownloadSummary::Outcome::Stored);
    EXPECT_EQ(next.stored + next.duplicates, 1);
    const std::vector<std::string> rows = rig.MainRows();
    EXPECT_EQ(rows.size(), after.size() + next.stored);
    EXPECT_EQ(std::adjacent_find(rows.begin(), rows.end()), rows.end()) << "a duplicate";
}

INSTANTIATE_TEST_SUITE_P(
    Matrix, AutomaticFaults,
    ::testing::Values(
        AutoCase{
            "BadTerminator", {"--bad-terminator", "0", "--fault-frames", "1"}, {kRefused}, 0, -1},
        AutoCase{"NulInRecord", {"--nul-in", "0", "--fault-frames", "1"}, {}, 1, -1},
        AutoCase{"ExtraBytes", {"--extra-bytes", "5", "--fault-frames", "1"}, {}, 1, -1},
        AutoCase{"NoAnswer", {"--no-answer"}, {}, 0, 0},
        AutoCase{"StallBeforeData", {"--stall-after", "0"}, {}, 0, 1},
        AutoCase{"StallMidRecord", {"--stall-after", "20"}, {}, 0, 1},
        AutoCase{"DroppedByte", {"--drop-byte", "20"}, {}, 0, 1},
        AutoCase{"LineClosedMidTransfer", {"--close-after", "20"}, {}, 0, 1}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tav::test
