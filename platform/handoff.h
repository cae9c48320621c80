// The one synchronous hand-off from the serial watcher and the link worker to
// the window thread: Invoke runs `fn` on the window thread and returns only
// after it has run (the caller blocks meanwhile). Called on the window thread
// itself it runs `fn` at once.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace tav {

class Handoff {
  public:
    virtual ~Handoff() = default;
    virtual void Invoke(const std::function<void()>& fn) = 0;
};

// Runs everything on the calling thread: for single-threaded tests.
class InlineHandoff final : public Handoff {
  public:
    void Invoke(const std::function<void()>& fn) override { fn(); }
};

// A hand-off to a thread that pumps it: tests run their "window thread" loop
// with Pump/PumpOne while other threads Invoke.
class QueueHandoff final : public Handoff {
  public:
    // The thread that pumps; Invoke from it runs at once.
    void BindToCurrentThread();
    void Invoke(const std::function<void()>& fn) override;
    // Runs queued calls until none is left; returns how many ran.
    int Pump();
    // Waits up to `ms` for one call and runs it; returns whether one ran.
    bool PumpOne(int ms);

  private:
    struct Call {
        const std::function<void()>* fn;
        bool done = false;
    };
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<Call*> queue_;
    std::thread::id owner_{};
};

}  // namespace tav
