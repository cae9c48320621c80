// Kernel-style events for the link worker: a set of manual- or automatic-reset
// events that one thread waits on. WaitAny honours the order in which the
// events were added: the first signalled one in that order wins.
#pragma once

#include <condition_variable>
#include <mutex>
#include <vector>

namespace tav {

class EventSet {
  public:
    enum class Reset { Manual, Automatic };

    // Adds an event and returns its index (its place in the wait order).
    int Add(Reset reset);
    void Set(int index);
    void ResetEvent(int index);
    bool IsSet(int index) const;
    // Blocks until one event is signalled; returns its index. An automatic
    // event is cleared by the wait that returns it.
    int WaitAny();
    // As WaitAny, but gives up after `ms` of real time and returns -1.
    int WaitAnyFor(int ms);

  private:
    int TakeLocked();

    mutable std::mutex mutex_;
    std::condition_variable cv_;
    struct Slot {
        Reset reset;
        bool set;
    };
    std::vector<Slot> slots_;
};

}  // namespace tav
