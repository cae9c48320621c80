#include "tests/support/sim_download_rig.h"

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "protocol/link_commands.h"
#include "tools/analyzer-sim/model/records.h"

namespace tav::test {

SimDownloadRig::SimDownloadRig(Clock& clock, const std::string& home, std::string simProgram)
    : RecordingHost(clock),
      clock(clock),
      home(home),
      // The program is told what the last download stored, as the window is.
      controller(state, serial, clock, *this, ports, [this] { return lastStored_.load(); }),
      channel(handoff, controller, *this),
      worker(state, LinkWorkerActions{[this] { Decode(); }, {}, {}}),
      simProgram_(std::move(simProgram)),
      simHome_(home + "/analyzer-sim") {
    std::filesystem::create_directories(simHome_);
    handoff.BindToCurrentThread();
    db.InitResultDatabase(home);
    onTimer = [this](int id) { controller.OnTimer(id); };
    onPortSelect = [this](std::string& label) {
        label = "COM7";
        serial.SetPortDeviceName(ports.device);
        return true;
    };
    worker.Start();
}

SimDownloadRig::~SimDownloadRig() {
    worker.Stop([this] { handoff.PumpOne(10); });
    serial.Close();
    handoff.Pump();  // lets a watcher still inside a hand-off go
    StopSim();
}

bool SimDownloadRig::StartSim(std::vector<std::string> args) {
    StopSim();
    args.insert(args.end(), {"--home", simHome_, "--com", "7"});
    sim = std::make_unique<SimProcess>(simProgram_, args);
    const std::string line = sim->ReadLine();        // "COM7 /dev/pts/3"
    ports.device = line.substr(line.find(' ') + 1);  // the whole line when it has no blank
    return ports.device.rfind("/dev/", 0) == 0;
}

void SimDownloadRig::StopSim() {
    if (sim && sim->pid() > 0) {
        kill(sim->pid(), SIGTERM);
        sim->Wait(5000);
    }
    sim.reset();
}

bool SimDownloadRig::ManualDownload(int timeoutMs, const std::function<void()>& onTurn) {
    messages.clear();
    controller.OnLinkCommand(cmd::kManualMode);  // as the scan does on the cable
    return RunUntil(
        [&] {
            if (onTurn) onTurn();
            return state.DownloadState == -1 && Decodes() == size_t(decodeSignals_) &&
                   !TimerRunning(timer::kReceive) && !TimerRunning(timer::kLinkCheck);
        },
        timeoutMs);
}

bool SimDownloadRig::RunUntil(const std::function<bool()>& done, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        handoff.Pump();
        const int64_t untilTimer = FireDueTimers();
        if (done()) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        handoff.PumpOne(static_cast<int>(std::min<int64_t>(20, untilTimer)));
    }
}

void SimDownloadRig::SignalWorker(int event) {
    signals.push_back(event);
    decodeSignals_ += event == ev::kDecode;
    worker.Signal(event);
}

std::vector<DownloadSummary> SimDownloadRig::Summaries() {
    std::lock_guard lock(mutex_);
    return summaries_;
}

std::string SimDownloadRig::Trace() const {
    std::string out = "received \"" + sim::Printable(state.RxText) + "\", download state " +
                      std::to_string(state.DownloadState) + "\nprogress:";
    for (const auto& p : progressLog) out += " [" + sim::Printable(p) + "]";
    out += "\nmessages:";
    for (const auto& m : messages) out += " [" + sim::Printable(m) + "]";
    return out;
}

void SimDownloadRig::Decode() {
    DownloadObserver observer;
    observer.finished = [this](const DownloadSummary& s) { lastStored_ = s.stored; };
    lastStored_ = 0;
    const DownloadSummary s =
        ProcessDownload(state, db, channel, clock, home, IdDigits{}, home, observer);
    std::lock_guard lock(mutex_);
    summaries_.push_back(s);
}

}  // namespace tav::test
