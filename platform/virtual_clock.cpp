#include "platform/clock.h"

namespace tav {

int64_t VirtualClock::NowMs() const {
    std::lock_guard lock(mutex_);
    return now_;
}

int64_t VirtualClock::Ticks() const {
    std::lock_guard lock(mutex_);
    return now_ * 1000;
}

void VirtualClock::SleepMs(int64_t ms) {
    std::lock_guard lock(mutex_);
    if (ms > 0) now_ += ms;
}

VirtualClock::TaskId VirtualClock::ScheduleAt(int64_t atMs, Callback fn) {
    std::lock_guard lock(mutex_);
    TaskId id = nextId_++;
    tasks_.emplace(std::make_pair(atMs, id), std::move(fn));
    return id;
}

void VirtualClock::Cancel(TaskId id) {
    std::lock_guard lock(mutex_);
    for (auto it = tasks_.begin(); it != tasks_.end(); ++it) {
        if (it->first.second == id) {
            tasks_.erase(it);
            return;
        }
    }
}

bool VirtualClock::HasPending() const {
    std::lock_guard lock(mutex_);
    return !tasks_.empty();
}

// Runs the earliest task due by `untilMs`; time moves to its due time unless a
// sleep already carried it further.
bool VirtualClock::RunOne(int64_t untilMs) {
    Callback fn;
    {
        std::lock_guard lock(mutex_);
        if (tasks_.empty()) return false;
        auto it = tasks_.begin();
        if (it->first.first > untilMs) return false;
        if (it->first.first > now_) now_ = it->first.first;
        fn = std::move(it->second);
        tasks_.erase(it);
    }
    fn();
    return true;
}

void VirtualClock::RunDue() {
    while (RunOne(NowMs())) {
    }
}

void VirtualClock::Advance(int64_t ms) {
    const int64_t target = NowMs() + ms;
    while (RunOne(target)) {
    }
    std::lock_guard lock(mutex_);
    if (now_ < target) now_ = target;
}

bool VirtualClock::RunUntil(const std::function<bool()>& done, int64_t limitMs) {
    const int64_t limit = NowMs() + limitMs;
    while (!done()) {
        if (!RunOne(limit)) {
            std::lock_guard lock(mutex_);
            if (now_ < limit) now_ = limit;
            return done();
        }
    }
    return true;
}

}  // namespace tav
