#include "platform/handoff.h"

#include <chrono>

namespace tav {

void QueueHandoff::BindToCurrentThread() {
    std::lock_guard lock(mutex_);
    owner_ = std::this_thread::get_id();
}

void QueueHandoff::Invoke(const std::function<void()>& fn) {
    std::unique_lock lock(mutex_);
    if (owner_ == std::this_thread::get_id()) {
        lock.unlock();
        fn();
        return;
    }
    Call call{&fn};
    queue_.push_back(&call);
    cv_.notify_all();
    cv_.wait(lock, [&] { return call.done; });
}

bool QueueHandoff::PumpOne(int ms) {
    std::unique_lock lock(mutex_);
    if (!cv_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return !queue_.empty(); }))
        return false;
    Call* call = queue_.front();
    queue_.pop_front();
    lock.unlock();
    (*call->fn)();
    lock.lock();
    call->done = true;
    cv_.notify_all();
    return true;
}

int QueueHandoff::Pump() {
    int n = 0;
    while (PumpOne(0)) ++n;
    return n;
}

}  // namespace tav
