// The hand-off to the window thread in the Qt program: Invoke posts the call
// to the window thread's event loop and blocks until it has run there.
#pragma once

#include <QPointer>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/handoff.h"

class QObject;

namespace tav {

class QtHandoff final : public Handoff {
  public:
    // `windowObject` lives on the window thread; by default the application
    // object, which must exist by then.
    explicit QtHandoff(QObject* windowObject = nullptr);
    ~QtHandoff() override;

    // Runs `fn` on the window thread and returns once it has run. Called on the
    // window thread it runs `fn` at once. After Close it returns without running.
    void Invoke(const std::function<void()>& fn) override;

    // Releases every caller still waiting for a call that has not started and
    // makes later calls from other threads return at once. The window thread
    // calls it before it waits for the worker threads to end, so that a worker
    // blocked in Invoke cannot hold up the shutdown.
    void Close();
    bool Closed() const;
    // True while the window thread is inside a call handed over by another
    // thread (for example in a message box that a worker's report opened).
    bool InCall() const;

  private:
    struct Core {
        std::mutex mutex;
        std::condition_variable cv;
        bool closed = false;
        int running = 0;  // calls being run on the window thread now
    };
    std::shared_ptr<Core> core_;
    QPointer<QObject> target_;
};

}  // namespace tav
