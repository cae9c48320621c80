// Downloads end to end: the real serial port on the simulator's
// pseudo-terminal, the download controller, the link worker running the
// download processing into a real result database, all in real time. The
// test thread is the window thread.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "link/serial_port.h"
#include "platform/clock.h"
#include "platform/handoff.h"
#include "protocol/download_controller.h"
#include "protocol/link_commands.h"
#include "protocol/link_worker.h"
#include "protocol/process_download.h"
#include "protocol/record_decoder.h"
#include "store/result_database.h"
#include "tests/support/realtime_host.h"
#include "tests/support/sim_process.h"
#include "tests/support/temp_dir.h"
#include "tools/analyzer-sim/model/records.h"

namespace tav::test {
namespace {

constexpr int kCom = 7;
// Real-time limit of one exchange; generous for sanitizer builds.
constexpr int kExchangeMs = 40'000;

// The line as the controller sees it, keeping every byte that went out.
class WireTap final : public SerialLink {
  public:
    explicit WireTap(SerialLink& line) : line_(line) {}
    std::string written;

    void SetPortDeviceName(const std::string& name) override { line_.SetPortDeviceName(name); }
    std::string PortDeviceName() const override { return line_.PortDeviceName(); }
    void SetLineSettings(const LineSettings& s) override { line_.SetLineSettings(s); }
    bool Prepare(SerialReceiver* owner, uint32_t size) override {
        return line_.Prepare(owner, size);
    }
    bool Open() override { return line_.Open(); }
    void Close() override { line_.Close(); }
    bool IsOpen() const override { return line_.IsOpen(); }
    size_t Write(const uint8_t* data, size_t count) override {
        const size_t n = line_.Write(data, count);
        written.append(reinterpret_cast<const char*>(data), n);
        return n;
    }
    bool Purge() override { return line_.Purge(); }
    std::string LastOpenError() const override { return line_.LastOpenError(); }

  private:
    SerialLink& line_;
};

// "COM7 /dev/pts/3" -> "/dev/pts/3".
std::string DeviceOf(const std::string& startLine) {
    const size_t blank = startLine.find(' ');
    return blank == std::string::npos ? std::string() : startLine.substr(blank + 1);
}

std::vector<std::string> WithHome(std::vector<std::string> args, const std::string& home) {
    args.insert(args.end(), {"--home", home, "--com", std::to_string(kCom)});
    return args;
}

// The program's side of one simulated analyzer.
class Rig {
  public:
    explicit Rig(std::vector<std::string> simArgs)
        : sim(TAV_ANALYZER_SIM, WithHome(std::move(simArgs), simHome.path())),
          device(DeviceOf(sim.ReadLine())),
          ports(kCom, device),
          controller(state, line, clock, host, ports,
                     [this] { return static_cast<int>(db.DownloadTable.RowCount()); }),
          channel(handoff, controller, host),
          worker(state, LinkWorkerActions{[this] { Decode(); }, {}, {}}) {
        db.InitResultDatabase(home.path());
        host.onTimer = [this](int id) { controller.OnTimer(id); };
        host.onWorker = [this](int event) { worker.Signal(event); };
        host.onPortSelect = [this](std::string& label) {
            label = "COM" + std::to_string(kCom);
            line.SetPortDeviceName(ports.DeviceName(kCom));
            return true;
        };
        worker.Start();
    }

    ~Rig() {
        worker.Stop([this] { handoff.PumpOne(10); });
        serial.Close();
        handoff.Pump();  // lets a watcher still inside a hand-off go
        if (sim.pid() > 0) {
            kill(sim.pid(), SIGTERM);
            sim.Wait(5000);
        }
    }

    bool Started() const { return device.rfind("/dev/", 0) == 0; }
    bool RunUntil(const std::function<bool()>& done, int timeoutMs = kExchangeMs) {
        return host.RunUntil(done, timeoutMs);
    }

    // Runs of the download processing that have ended, with their outcome.
    std::vector<DownloadSummary> Summaries() {
        std::lock_guard lock(mutex_);
        return summaries_;
    }
    size_t Decodes() { return Summaries().size(); }

    // What happened so far, for failure messages.
    std::string Trace() const {
        std::string out = "sent \"" + sim::Printable(line.written) + "\", received \"" +
                          sim::Printable(state.RxText) + "\", download state " +
                          std::to_string(state.DownloadState) + ", handshake " +
                          std::to_string(state.HandshakeSeen) + "\nprogress:";
        for (const auto& p : host.progressLog) out += " [" + sim::Printable(p) + "]";
        out += "\nmessages:";
        for (const auto& m : host.messages) out += " [" + sim::Printable(m) + "]";
        return out;
    }

    // One manual download as the user starts it; true once the processing
    // has run `decodes` times in all and the controller is idle again.
    bool ManualDownload(size_t decodes) {
        controller.OnLinkCommand(cmd::kManualMode);  // as the scan does on the cable
        return RunUntil([&] { return Decodes() == decodes && state.DownloadState == -1; });
    }

    TempDir simHome;
    TempDir home;
    SimProcess sim;
    std::string device;
    SystemClock clock;
    QueueHandoff handoff;
    RealtimeHost host{clock, handoff};
    LinkState state;
    OneAnalyzerPort ports;
    SerialPort serial{clock, handoff, state.LinkRunning};
    WireTap line{serial};
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

    std::mutex mutex_;
    std::vector<DownloadSummary> summaries_;
};

// Each stored row as "DATE TIME VALUE |PID|OPID|EQ_TYPE|DATE_YEAR", sorted.
std::vector<std::string> Rows(ResultTable& t) {
    std::vector<std::string> out;
    t.MoveFirst();
    while (!t.IsEOF()) {
        out.push_back(t.DATE.str() + " " + t.TIME.str() + " " + t.HbA1c_VALUE.str() + " |" +
                      t.PID.str() + "|" + t.OPID.str() + "|" + t.EQ_TYPE.str() + "|" +
                      std::to_string(t.DATE_YEAR));
        t.MoveNext();
    }
    std::sort(out.begin(), out.end());
    return out;
}

// The rows the records should give, decoded as the processing decodes them.
std::vector<std::string> Expected(const std::vector<std::string>& records, int handshakeSeen) {
    std::vector<std::string> out;
    for (const std::string& r : records) {
        const DecodedRecord d = DecodeRecord(r, handshakeSeen, IdDigits{});
        out.push_back(d.DATE + " " + d.TIME + " " + d.HbA1c_VALUE + " |" + d.PID + "|" + d.OPID +
                      "|" + d.EQ_TYPE + "|" + std::to_string(d.DATE_YEAR));
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::string Joined(const std::vector<std::string>& records) {
    std::string all;
    for (const auto& r : records) all += r;
    return all;
}

const std::string kLinkCheck = "ST\x03ST\x03";
const std::string kEnd = "SE\x03SE\x03";

// At the analyzer's real line speed: about 4.5 s of data on the wire.
TEST(EndToEndDownload, HundredResultsAtLineSpeedAreStoredExactlyAndARepeatStoresNothing) {
    sim::GenerateOptions generate;
    generate.count = 100;
    generate.seed = 11;
    generate.tilted = 3;
    generate.flagged = 2;
    const std::vector<std::string> records = sim::GenerateRecords(generate);

    Rig rig({"--count", "100", "--seed", "11", "--tilted", "3", "--flagged", "2"});
    ASSERT_TRUE(rig.Started()) << rig.device;
    ASSERT_TRUE(rig.ManualDownload(1)) << rig.Trace();
    EXPECT_EQ(rig.Summaries()[0].stored, 100);
    EXPECT_EQ(ReadWholeFile(rig.home.File(kRawDataFile)), Joined(records));
    EXPECT_EQ(Rows(rig.db.MainTable), Expected(records, 1));
    EXPECT_EQ(Rows(rig.db.DownloadTable), Expected(records, 1));
    EXPECT_EQ(rig.line.written, kLinkCheck + "SH" + kEnd);
    EXPECT_EQ(rig.controller.RequestCount(), 1);
    EXPECT_EQ(rig.host.countText, "100 of 100");
    EXPECT_EQ(rig.host.downloadRefreshes, 1);
    EXPECT_TRUE(rig.host.messages.empty());

    // The same memory again stores nothing and says so.
    rig.line.written.clear();
    ASSERT_TRUE(rig.ManualDownload(2)) << rig.Trace();
    EXPECT_EQ(rig.Summaries()[1].duplicates, 100);
    EXPECT_EQ(Rows(rig.db.MainTable), Expected(records, 1));
    EXPECT_EQ(rig.db.DownloadTable.RowCount(), 0);
    EXPECT_EQ(rig.host.progressText, text::kNoNewData);
    EXPECT_EQ(rig.host.downloadRefreshes, 1);
    EXPECT_EQ(rig.line.written, kLinkCheck + "SH" + kEnd);
    EXPECT_TRUE(rig.host.messages.empty());
}

}  // namespace
}  // namespace tav::test
