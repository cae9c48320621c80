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
#include "protocol/analyzer_ports.h"
#include "protocol/controller_host.h"

namespace tav::test {

class RealtimeHost final : public ControllerHost {
  public:
    // Binds `handoff` to the calling thread, which becomes the window thread.
    RealtimeHost(Clock& clock, QueueHandoff& handoff);

    // Where timer ticks go (the controller's OnTimer).
    std::function<void(int)> onTimer;
    // Where SignalWorker goes (the link worker's Signal).
    std::function<void(int)> onWorker;
    // The port-select dialog: sets the device and line and gives the label;
    // unset means Cancel.
    std::function<bool(std::string&)> onPortSelect;
    bool answer = true;  // to every Yes/No question

    // Runs the window thread's loop until `done()` holds or `timeoutMs` of
    // real time passed; returns done(). Handed-over calls and due timer
    // ticks run in between; the loop blocks on the hand-off when idle.
    bool RunUntil(const std::function<bool()>& done, int timeoutMs);
    // One turn of that loop, blocking up to `ms` when idle.
    void PumpOnce(int ms);

    // Records.
    std::vector<std::string> messages;
    std::vector<std::string> questions;
    std::vector<std::string> progressLog;  // every changed progress text
    std::string progressText;
    std::vector<int> signals;
    int downloadRefreshes = 0;
    std::string countText;  // the bar, "n of N"; empty when hidden
    bool Shown(const std::string& text) const;
    bool TimerRunning(int id) const { return timers_.count(id) != 0; }

    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    bool AskYesNo(const std::string& text) override;
    void ShowProgress(const std::string& text) override;
    void HideProgress() override { progressVisible_ = false; }
    void SetProgressButtonText(const std::string&) override {}
    bool ProgressVisible() const override { return progressVisible_; }
    void ShowProgressCount(int done, int total) override {
        countText = total < 1 ? "" : std::to_string(done) + " of " + std::to_string(total);
    }
    void ShowChecking(const std::string&) override { checkingVisible_ = true; }
    void HideChecking() override { checkingVisible_ = false; }
    bool CheckingVisible() const override { return checkingVisible_; }
    void StartTimer(int id, int intervalMs) override;
    void KillTimer(int id) override { timers_.erase(id); }
    void ShowView(int v) override { view_ = v; }
    int CurrentView() const override { return view_; }
    void RefreshDownloadView() override { ++downloadRefreshes; }
    void ClearDownloadList() override {}
    void SetStatusPane(int, const std::string&) override {}
    bool RunPortSelect(std::string& selectedLabel) override;
    bool PortSelectOpen() const override { return false; }
    void RefreshPortSelect() override {}
    void SignalWorker(int event) override;

  private:
    struct Timer {
        uint64_t generation;
        int intervalMs;
        int64_t dueMs;
    };
    // Runs every tick that is due; returns the real time until the next one.
    int64_t FireDueTimers();

    Clock& clock_;
    QueueHandoff& handoff_;
    std::map<int, Timer> timers_;
    uint64_t nextGeneration_ = 1;
    bool progressVisible_ = false;
    bool checkingVisible_ = false;
    int view_ = 0;
};

// One analyzer port, "COM<number>" on `device`, found by the last scan.
class OneAnalyzerPort final : public AnalyzerPorts {
  public:
    OneAnalyzerPort(int number, std::string device) : number_(number), device_(std::move(device)) {}
    int Count() const override { return 1; }
    std::string PortName(int index) const override {
        return index == 0 ? "COM" + std::to_string(number_) : std::string();
    }
    bool Found() const override { return found_; }
    void SetFound(bool found) override { found_ = found; }
    std::string DeviceName(int number) const override {
        return number == number_ ? device_ : std::string();
    }

  private:
    int number_;
    std::string device_;
    bool found_ = true;
};

}  // namespace tav::test
