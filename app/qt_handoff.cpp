#include "app/qt_handoff.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

namespace tav {

namespace {
struct Call {
    bool started = false;
    bool done = false;
    bool abandoned = false;
};
}  // namespace

QtHandoff::QtHandoff(QObject* windowObject)
    : core_(std::make_shared<Core>()),
      target_(windowObject ? windowObject : QCoreApplication::instance()) {}

QtHandoff::~QtHandoff() {
    Close();
}

void QtHandoff::Invoke(const std::function<void()>& fn) {
    QObject* target = target_.data();
    if (!target) return;
    if (QThread::currentThread() == target->thread()) {
        fn();
        return;
    }
    auto core = core_;
    auto call = std::make_shared<Call>();
    {
        std::lock_guard lock(core->mutex);
        if (core->closed) return;
    }
    const std::function<void()>* fnPtr = &fn;
    QMetaObject::invokeMethod(
        target,
        [core, call, fnPtr] {
            {
                std::lock_guard lock(core->mutex);
                if (call->abandoned) return;  // the caller has gone; fnPtr is dangling
                call->started = true;
                ++core->running;
            }
            (*fnPtr)();
            {
                std::lock_guard lock(core->mutex);
                --core->running;
                call->done = true;
            }
            core->cv.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(core->mutex);
    core->cv.wait(lock, [&] { return call->done || (core->closed && !call->started); });
    if (!call->done) call->abandoned = true;
}

void QtHandoff::Close() {
    {
        std::lock_guard lock(core_->mutex);
        core_->closed = true;
    }
    core_->cv.notify_all();
}

bool QtHandoff::InCall() const {
    std::lock_guard lock(core_->mutex);
    return core_->running > 0;
}

bool QtHandoff::Closed() const {
    std::lock_guard lock(core_->mutex);
    return core_->closed;
}

}  // namespace tav
