// Time source for every pause, timer interval and tick count in the program.
// The program uses SystemClock; tests use VirtualClock so that sequences that
// take minutes on the wire run instantly and always the same way.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>

namespace tav {

class Clock {
  public:
    virtual ~Clock() = default;
    // Milliseconds on a monotonic scale (the tick count).
    virtual int64_t NowMs() const = 0;
    // High-resolution counter and its ticks per millisecond.
    virtual int64_t Ticks() const = 0;
    virtual double TicksPerMs() const = 0;
    // Blocks the calling thread for the given time.
    virtual void SleepMs(int64_t ms) = 0;
    // 32-bit wrapping tick count, as the automatic sequence stamps its steps.
    uint32_t TickCount() const { return static_cast<uint32_t>(NowMs()); }
};

class SystemClock final : public Clock {
  public:
    int64_t NowMs() const override;
    int64_t Ticks() const override;
    double TicksPerMs() const override;
    void SleepMs(int64_t ms) override;
};

// Virtual time for tests. SleepMs only moves time forward; scheduled callbacks
// run from Advance/RunUntil in time order (a callback due during a sleep runs
// late, after the sleeping code has returned to the loop, as a queued window
// message would). Ticks are microseconds (1000 ticks per ms).
class VirtualClock final : public Clock {
  public:
    using Callback = std::function<void()>;
    using TaskId = uint64_t;

    explicit VirtualClock(int64_t startMs = 1'000'000) : now_(startMs) {}

    int64_t NowMs() const override;
    int64_t Ticks() const override;
    double TicksPerMs() const override { return 1000.0; }
    void SleepMs(int64_t ms) override;

    // Runs `fn` once when virtual time reaches `atMs`.
    TaskId ScheduleAt(int64_t atMs, Callback fn);
    TaskId ScheduleAfter(int64_t delayMs, Callback fn) { return ScheduleAt(NowMs() + delayMs, fn); }
    void Cancel(TaskId id);

    // Moves time forward by `ms`, running every callback that falls due.
    void Advance(int64_t ms);
    // Runs due callbacks until `done()` holds or `limitMs` of virtual time
    // passed; returns done(). Time jumps straight to the next callback.
    bool RunUntil(const std::function<bool()>& done, int64_t limitMs);
    // Runs every callback already due, without moving time.
    void RunDue();
    bool HasPending() const;

  private:
    bool RunOne(int64_t untilMs);

    mutable std::recursive_mutex mutex_;
    int64_t now_;
    TaskId nextId_ = 1;
    // Ordered by due time, then by scheduling order.
    std::multimap<std::pair<int64_t, TaskId>, Callback> tasks_;
};

}  // namespace tav
