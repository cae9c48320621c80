// The program's side of downloads from analyzer-sim in real time: the real
// serial port on the simulator's pseudo-terminal, the download controller,
// the link worker running the download processing into the result database
// of a home folder. The thread that builds it plays the window thread: the
// rig is the controller's host, pumps the hand-off that the serial watcher
// and the link worker use, fires the timers when they fall due and answers
// every question Yes.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "link/serial_port.h"
#include "platform/clock.h"
#include "platform/handoff.h"
#include "protocol/analyzer_ports.h"
#include "protocol/download_controller.h"
#include "protocol/link_worker.h"
#include "protocol/process_download.h"
#include "store/result_database.h"
#include "tests/support/controller_host_script.h"
#include "tests/support/sim_process.h"

namespace tav::test {

// COM7, the analyzer port the last scan found, on the last simulator's terminal.
class SimAnalyzerPort final : public AnalyzerPorts {
  public:
    int Count() const override { return 1; }
    std::string PortName(int index) const override { return index == 0 ? "COM7" : ""; }
    bool Found() const override { return found_; }
    void SetFound(bool found) override { found_ = found; }
    std::string DeviceName(int number) const override { return number == 7 ? device : ""; }
    std::string device;

  private:
    bool found_ = true;
};

class SimDownloadRig : public RecordingHost {
  public:
    // `simProgram` is analyzer-sim; its files go in `home`/analyzer-sim.
    SimDownloadRig(Clock& clock, const std::string& home, std::string simProgram);
    ~SimDownloadRig() override;

    // A new simulator on COM7 with `args`, the last one stopped first; true
    // once its terminal is there.
    bool StartSim(std::vector<std::string> args);
    void StopSim();

    // One manual download as the user starts it; true once every processing
    // it started has ended and the controller is idle with its time-outs
    // stopped. `onTurn` runs at each turn of the window loop.
    bool ManualDownload(int timeoutMs, const std::function<void()>& onTurn = {});
    // Runs the window thread's loop until `done()` holds or `timeoutMs` of
    // real time passed; returns done(). Handed-over calls and due timer
    // ticks run in between; the loop blocks on the hand-off when idle.
    bool RunUntil(const std::function<bool()>& done, int timeoutMs);
    void SignalWorker(int event) override;

    // Runs of the download processing that have ended, with their outcome.
    std::vector<DownloadSummary> Summaries();
    size_t Decodes() { return Summaries().size(); }
    // What happened so far, for failure messages.
    std::string Trace() const;

    Clock& clock;
    const std::string home;
    std::unique_ptr<SimProcess> sim;
    QueueHandoff handoff;
    LinkState state;
    SimAnalyzerPort ports;
    SerialPort serial{clock, handoff, state.LinkRunning};
    ResultDatabase db{clock};
    DownloadController controller;
    HandoffLinkChannel channel;
    LinkWorker worker;

  private:
    void Decode();

    std::string simProgram_;
    std::string simHome_;
    std::atomic<int> lastStored_{0};
    int decodeSignals_ = 0;
    std::mutex mutex_;
    std::vector<DownloadSummary> summaries_;
};

}  // namespace tav::test
