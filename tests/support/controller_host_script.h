// ControllerHosts for tests: they record what the controller shows and
// answer its questions from a script. ScriptedHost runs the timers on a
// VirtualClock; SimDownloadRig (sim_download_rig.h) in real time.
#pragma once

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "protocol/controller_host.h"

namespace tav::test {

// Everything but the worker and the clock loop.
class RecordingHost : public ControllerHost {
  public:
    explicit RecordingHost(Clock& clock) : clock_(clock) {}

    // Where timer ticks go (the controller's OnTimer).
    std::function<void(int)> onTimer;
    // What SignalWorker starts. Unset: only recorded.
    std::function<void(int)> onWorker;
    // The port-select dialog: sets the line up and the label; false (or
    // unset) is Cancel.
    std::function<bool(std::string&)> onPortSelect;

    // Script.
    std::deque<bool> answers;  // Yes/No answers, in order; then Yes

    // Records.
    std::vector<std::string> messages;
    std::vector<std::string> questions;
    std::vector<std::string> progressLog;  // every text the progress dialog took
    std::string progressText;
    bool progressVisible = false;
    std::vector<std::string> countLog;  // every change of the bar, "n of N" or "hidden"
    int newResults = -1;                // the new-results line; -1 hidden
    std::string checkingText;
    bool checkingVisible = false;
    std::vector<int> signals;
    std::map<int, std::string> panes;
    int view = 0;
    int downloadRefreshes = 0;

    bool Shown(const std::string& text) const {
        return std::count(progressLog.begin(), progressLog.end(), text) != 0;
    }
    int Signalled(int event) const {
        return static_cast<int>(std::count(signals.begin(), signals.end(), event));
    }
    bool TimerRunning(int id) const { return timers_.count(id) != 0; }

    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    bool AskYesNo(const std::string& text) override;
    void ShowProgress(const std::string& text) override;
    void HideProgress() override { progressVisible = false; }
    void SetProgressButtonText(const std::string&) override {}
    bool ProgressVisible() const override { return progressVisible; }
    void ShowProgressCount(int done, int total) override;
    void ShowNewResults(int count) override { newResults = count; }
    void ShowChecking(const std::string& text) override;
    void HideChecking() override { checkingVisible = false; }
    bool CheckingVisible() const override { return checkingVisible; }
    void StartTimer(int id, int intervalMs) override;
    void KillTimer(int id) override { timers_.erase(id); }
    void ShowView(int v) override { view = v; }
    int CurrentView() const override { return view; }
    void RefreshDownloadView() override { ++downloadRefreshes; }
    void ClearDownloadList() override {}
    void SetStatusPane(int pane, const std::string& text) override { panes[pane] = text; }
    bool RunPortSelect(std::string& label) override { return onPortSelect && onPortSelect(label); }
    bool PortSelectOpen() const override { return false; }
    void RefreshPortSelect() override {}

  protected:
    // Runs every tick that is due; returns the time until the next one, at
    // most a second.
    int64_t FireDueTimers();
    // A timer falls due at `dueMs`.
    virtual void WakeAt(int64_t /*dueMs*/) {}

    Clock& clock_;

  private:
    struct Timer {
        uint64_t generation;
        int intervalMs;
        int64_t dueMs;
    };
    std::map<int, Timer> timers_;
    uint64_t nextGeneration_ = 1;
};

class ScriptedHost final : public RecordingHost {
  public:
    explicit ScriptedHost(VirtualClock& clock) : RecordingHost(clock), virtual_(clock) {}

    // onWorker runs from the clock loop right after the current handler, as
    // a worker would.
    void SignalWorker(int event) override;

  private:
    void WakeAt(int64_t dueMs) override {
        virtual_.ScheduleAt(dueMs, [this] { FireDueTimers(); });
    }

    VirtualClock& virtual_;
};

}  // namespace tav::test
