// The link worker: a thread that runs the download processing and the port
// scans when the window thread signals it, and the channel through which that
// code reports back to the window thread.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "link/link_channel.h"
#include "link/link_state.h"
#include "platform/event.h"
#include "platform/handoff.h"
#include "protocol/controller_host.h"

namespace tav {

class DownloadController;

struct LinkWorkerActions {
    std::function<void()> decode;        // the download processing
    std::function<void()> scanAll;       // the full port scan
    std::function<void()> scanAnalyzer;  // the analyzer-port scan
};

class LinkWorker {
  public:
    LinkWorker(LinkState& state, LinkWorkerActions actions);
    // Stops and joins the thread if it still runs.
    ~LinkWorker();
    LinkWorker(const LinkWorker&) = delete;
    LinkWorker& operator=(const LinkWorker&) = delete;

    // Starts the thread; events signalled before it count. A worker runs once.
    void Start();
    // Signals an event: ev::kStop, ev::kDecode, ev::kScanAll or ev::kScanAnalyzer
    // (protocol/link_commands.h); the window's SignalWorker lands here.
    void Signal(int event);
    // Clears the run flag, signals the stop event and waits for the thread.
    // A report the worker is handing to the window thread meanwhile would
    // wait for the window forever; called on the window thread, pass its
    // hand-off loop as `pump` (it should block briefly when idle) so that
    // such a report is served and the worker can end.
    void Stop(const std::function<void()>& pump = {});
    // Waits for the thread to end by itself (the link stopped running).
    void Join();
    // 1 when the stop event or the cleared run flag ended the thread, 0 when
    // it found the link no longer running; -1 while it runs or never ran.
    int ExitCode() const { return exitCode_; }

  private:
    int Run();

    LinkState& state_;
    LinkWorkerActions actions_;
    EventSet events_;
    std::atomic<bool> runFlag_{false};
    std::atomic<int> exitCode_{-1};
    std::thread thread_;
};

// Hands every report of the worker to the window thread and waits until the
// controller or the window has handled it.
class HandoffLinkChannel final : public LinkChannel {
  public:
    HandoffLinkChannel(Handoff& handoff, DownloadController& controller, ControllerHost& host);
    void SendLinkCommand(int code) override;
    void ShowMessage(const std::string& text) override;
    void ShowProgress(const std::string& text) override;
    void ShowProgressCount(int done, int total) override;

  private:
    Handoff& handoff_;
    DownloadController& controller_;
    ControllerHost& host_;
};

}  // namespace tav
