// A ControllerHost for end-to-end tests in real time: the test thread plays
// the window thread, pumping the hand-off that the serial watcher and the
// link worker use and firing the controller's timers when they fall due.
// It records what the controller shows and answers its questions Yes.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/handoff.h"
#include "tests/support/controller_host_script.h"

namespace tav::test {

class RealtimeHost final : public RecordingHost {
  public:
    // Binds `handoff` to the calling thread, which becomes the window thread.
    RealtimeHost(Clock& clock, QueueHandoff& handoff);

    // Runs the window thread's loop until `done()` holds or `timeoutMs` of
    // real time passed; returns done(). Handed-over calls and due timer
    // ticks run in between; the loop blocks on the hand-off when idle.
    bool RunUntil(const std::function<bool()>& done, int timeoutMs);
    // onWorker runs at once, on the calling thread.
    void SignalWorker(int event) override;

  private:
    QueueHandoff& handoff_;
};

}  // namespace tav::test
