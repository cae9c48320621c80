#include "protocol/link_worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/handoff.h"
#include "protocol/download_controller.h"
#include "protocol/link_commands.h"
#include "tests/support/controller_host_script.h"
#include "tests/support/controller_ports_fake.h"
#include "tests/support/sim_link_fake.h"

namespace tav::test {
namespace {

// Pumps the window side of the hand-off until `done` holds.
template <typename Done>
bool PumpUntil(QueueHandoff& handoff, Done done) {
    for (int i = 0; i < 2000 && !done(); ++i) handoff.PumpOne(10);
    return done();
}

TEST(LinkWorker, StopWinsOverWorkSignalledAtTheSameTime) {
    LinkState state;
    std::atomic<int> decodes{0};
    LinkWorker worker(state, {[&] { ++decodes; }, {}, {}});
    worker.Signal(ev::kDecode);
    worker.Signal(ev::kStop);
    worker.Start();
    worker.Stop();
    EXPECT_EQ(worker.ExitCode(), 1);
    EXPECT_EQ(decodes, 0);
}

TEST(LinkWorker, RunsEachActionOnItsThreadAndEndsWhenTheLinkStops) {
    LinkState state;
    QueueHandoff handoff;
    handoff.BindToCurrentThread();
    std::vector<std::string> ran;  // written on the window thread only
    const auto window = std::this_thread::get_id();
    std::atomic<bool> offWindow{true};
    auto action = [&](std::string name) {
        return [&, name] {
            if (std::this_thread::get_id() == window) offWindow = false;
            handoff.Invoke([&] { ran.push_back(name); });
            // The window is closed while the last action runs.
            if (name == "scan all") state.LinkRunning = 0;
        };
    };
    LinkWorker worker(state, {action("decode"), action("scan all"), action("scan analyzer")});
    worker.Start();
    for (int event : {ev::kScanAnalyzer, ev::kDecode, ev::kScanAll}) {
        const size_t before = ran.size();
        worker.Signal(event);
        ASSERT_TRUE(PumpUntil(handoff, [&] { return ran.size() == before + 1; }));
    }
    EXPECT_EQ(ran, (std::vector<std::string>{"scan analyzer", "decode", "scan all"}));
    EXPECT_TRUE(offWindow);
    worker.Join();  // it finds the link stopped and ends by itself
    EXPECT_EQ(worker.ExitCode(), 0);
}

// The worker's reports reach the controller on the window thread, each
// finished before the worker goes on.
TEST(LinkWorker, ReportsRunTheControllerOnTheWindowThread) {
    VirtualClock clock(0);
    LinkState state;
    ScriptedHost host(clock);
    SimLink link(clock);
    FakeAnalyzerPorts ports;
    ports.Plug(5, true);
    link.Attach(FakeDevice(5), nullptr);
    QueueHandoff handoff;
    handoff.BindToCurrentThread();
    const auto window = std::this_thread::get_id();
    std::atomic<int> offWindowCalls{0};
    DownloadController controller(state, link, clock, host, ports, [&] {
        if (std::this_thread::get_id() != window) ++offWindowCalls;
        return 1;
    });
    HandoffLinkChannel channel(handoff, controller, host);

    std::atomic<bool> decoded{false};
    std::string seenPayload;  // written by the worker, read after it reported
    LinkWorker worker(state, {[&] {
                                  seenPayload = state.RxPayload;
                                  channel.SendLinkCommand(cmd::kEndAfterDecode);
                                  channel.SendLinkCommand(cmd::kClosePort);
                                  channel.ShowProgress("stored");
                                  channel.SendLinkCommand(cmd::kDownloadFinished);
                                  decoded = true;
                              },
                              [&] { ports.ScanAll(state, channel); },
                              {}});
    int portSelects = 0;
    host.onPortSelect = [&](std::string&) {
        if (std::this_thread::get_id() != window) ++offWindowCalls;
        ++portSelects;
        return false;
    };
    host.onWorker = nullptr;
    worker.Start();

    // A scan on the worker starts the manual download on the window thread.
    host.view = 1;
    controller.OnLinkCommand(cmd::kShowDownload);
    worker.Signal(host.signals.back());
    ASSERT_TRUE(PumpUntil(handoff, [&] { return portSelects == 1; }));
    EXPECT_EQ(state.DownloadState, -1);  // cancelled

    // A hand-over is processed on the worker and ends the exchange.
    link.SetPortDeviceName(FakeDevice(5));
    link.Prepare(&controller, 1'000'000);
    ASSERT_TRUE(link.Open());
    state.RxPayload = "records";
    state.RecordCount = 1;
    worker.Signal(ev::kDecode);
    ASSERT_TRUE(PumpUntil(handoff, [&] { return decoded.load(); }));
    worker.Stop([&] { handoff.PumpOne(10); });

    EXPECT_EQ(seenPayload, "records");
    EXPECT_EQ(link.written, "SE\x03SE\x03");
    EXPECT_FALSE(link.IsOpen());
    EXPECT_EQ(host.progressText, "stored");
    EXPECT_EQ(host.downloadRefreshes, 1);
    EXPECT_EQ(offWindowCalls, 0);
    EXPECT_EQ(worker.ExitCode(), 1);
}

TEST(LinkWorker, StoppingWhileAReportWaitsForTheWindowDoesNotHang) {
    LinkState state;
    QueueHandoff handoff;
    handoff.BindToCurrentThread();
    std::atomic<bool> reporting{false};
    bool served = false;
    LinkWorker worker(state, {{},
                              [&] {
                                  reporting = true;
                                  handoff.Invoke([&] { served = true; });
                              },
                              {}});
    worker.Start();
    worker.Signal(ev::kScanAll);
    while (!reporting) std::this_thread::yield();
    state.LinkRunning = 0;
    worker.Stop([&] { handoff.PumpOne(10); });
    EXPECT_TRUE(served);
    EXPECT_EQ(worker.ExitCode(), 1);
}

}  // namespace
}  // namespace tav::test
