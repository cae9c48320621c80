#include <time.h>

#include "platform/clock.h"

namespace tav {

namespace {
int64_t MonotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}
}  // namespace

int64_t SystemClock::NowMs() const {
    return MonotonicNs() / 1'000'000;
}
int64_t SystemClock::Ticks() const {
    return MonotonicNs();
}
double SystemClock::TicksPerMs() const {
    return 1'000'000.0;
}

void SystemClock::SleepMs(int64_t ms) {
    if (ms <= 0) return;
    timespec req{static_cast<time_t>(ms / 1000), static_cast<long>((ms % 1000) * 1'000'000)};
    while (nanosleep(&req, &req) != 0) {
    }
}

}  // namespace tav
