#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/event.h"

namespace tav {
namespace {

TEST(VirtualClock, RunsCallbacksInTimeOrderAndSleepDefersThem) {
    VirtualClock clock(0);
    std::vector<std::string> log;
    clock.ScheduleAt(300, [&] { log.push_back("300@" + std::to_string(clock.NowMs())); });
    clock.ScheduleAt(100, [&] {
        log.push_back("100@" + std::to_string(clock.NowMs()));
        clock.SleepMs(500);  // a pause inside a handler delays what falls due meanwhile
    });
    clock.Cancel(clock.ScheduleAt(200, [&] { log.push_back("never"); }));
    EXPECT_TRUE(clock.RunUntil([&] { return log.size() == 2; }, 60'000));
    EXPECT_EQ(log, (std::vector<std::string>{"100@100", "300@600"}));
    EXPECT_FALSE(clock.RunUntil([] { return false; }, 10'000));
    EXPECT_EQ(clock.NowMs(), 10'600);
}

TEST(EventSet, FirstSignalledInOrderWinsAndAutomaticEventsClear) {
    EventSet events;
    int stop = events.Add(EventSet::Reset::Manual);
    int decode = events.Add(EventSet::Reset::Automatic);
    int scan = events.Add(EventSet::Reset::Automatic);
    events.Set(scan);
    events.Set(decode);
    EXPECT_EQ(events.WaitAny(), decode);
    EXPECT_EQ(events.WaitAny(), scan);
    EXPECT_EQ(events.WaitAnyFor(0), -1);
    events.Set(stop);
    EXPECT_EQ(events.WaitAny(), stop);
    EXPECT_EQ(events.WaitAny(), stop);  // manual reset stays signalled
    events.ResetEvent(stop);
    EXPECT_FALSE(events.IsSet(stop));
}

}  // namespace
}  // namespace tav
