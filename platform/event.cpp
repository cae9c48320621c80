#include "platform/event.h"

#include <chrono>

namespace tav {

int EventSet::Add(Reset reset) {
    std::lock_guard lock(mutex_);
    slots_.push_back({reset, false});
    return static_cast<int>(slots_.size()) - 1;
}

void EventSet::Set(int index) {
    {
        std::lock_guard lock(mutex_);
        slots_.at(index).set = true;
    }
    cv_.notify_all();
}

void EventSet::ResetEvent(int index) {
    std::lock_guard lock(mutex_);
    slots_.at(index).set = false;
}

bool EventSet::IsSet(int index) const {
    std::lock_guard lock(mutex_);
    return slots_.at(index).set;
}

int EventSet::TakeLocked() {
    for (size_t i = 0; i < slots_.size(); ++i) {
        if (slots_[i].set) {
            if (slots_[i].reset == Reset::Automatic) slots_[i].set = false;
            return static_cast<int>(i);
        }
    }
    return -1;
}

int EventSet::WaitAny() {
    std::unique_lock lock(mutex_);
    int index = -1;
    cv_.wait(lock, [&] { return (index = TakeLocked()) >= 0; });
    return index;
}

int EventSet::WaitAnyFor(int ms) {
    std::unique_lock lock(mutex_);
    int index = -1;
    cv_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return (index = TakeLocked()) >= 0; });
    return index;
}

}  // namespace tav
