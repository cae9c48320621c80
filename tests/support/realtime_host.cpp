#include "tests/support/realtime_host.h"

#include <algorithm>
#include <chrono>

namespace tav::test {

RealtimeHost::RealtimeHost(Clock& clock, QueueHandoff& handoff) : clock_(clock), handoff_(handoff) {
    handoff_.BindToCurrentThread();
}

void RealtimeHost::StartTimer(int id, int intervalMs) {
    timers_[id] = Timer{nextGeneration_++, intervalMs, clock_.NowMs() + intervalMs};
}

void RealtimeHost::SignalWorker(int event) {
    signals.push_back(event);
    if (onWorker) onWorker(event);
}

// Ticks keep their period; ticks missed while a handler paused collapse into
// one, as queued timer messages do. A handler may kill or restart any timer.
int64_t RealtimeHost::FireDueTimers() {
    std::vector<std::pair<int, uint64_t>> due;
    const int64_t now = clock_.NowMs();
    for (const auto& [id, t] : timers_)
        if (t.dueMs <= now) due.emplace_back(id, t.generation);
    for (const auto& [id, generation] : due) {
        auto it = timers_.find(id);
        if (it == timers_.end() || it->second.generation != generation) continue;
        if (onTimer) onTimer(id);
        it = timers_.find(id);
        if (it == timers_.end() || it->second.generation != generation) continue;
        it->second.dueMs = std::max(it->second.dueMs + it->second.intervalMs, clock_.NowMs());
    }
    int64_t wait = 1000;
    const int64_t after = clock_.NowMs();
    for (const auto& [id, t] : timers_)
        wait = std::min(wait, std::max<int64_t>(0, t.dueMs - after));
    return wait;
}

bool RealtimeHost::RunUntil(const std::function<bool()>& done, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        handoff_.Pump();
        const int64_t untilTimer = FireDueTimers();
        if (done()) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        handoff_.PumpOne(static_cast<int>(std::min<int64_t>(20, untilTimer)));
    }
}

}  // namespace tav::test
