#include "protocol/link_worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/handoff.h"
#include "protocol/link_commands.h"

namespace tav::test {
namespace {

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
        for (int i = 0; i < 2000 && ran.size() == before; ++i) handoff.PumpOne(10);
        ASSERT_EQ(ran.size(), before + 1);
    }
    EXPECT_EQ(ran, (std::vector<std::string>{"scan analyzer", "decode", "scan all"}));
    EXPECT_TRUE(offWindow);
    worker.Join();  // it finds the link stopped and ends by itself
    EXPECT_EQ(worker.ExitCode(), 0);
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
