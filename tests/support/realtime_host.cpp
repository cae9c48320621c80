#include "tests/support/realtime_host.h"

#include <algorithm>
#include <chrono>

namespace tav::test {

RealtimeHost::RealtimeHost(Clock& clock, QueueHandoff& handoff)
    : RecordingHost(clock), handoff_(handoff) {
    handoff_.BindToCurrentThread();
}

void RealtimeHost::SignalWorker(int event) {
    signals.push_back(event);
    if (onWorker) onWorker(event);
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
