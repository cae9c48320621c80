#include "protocol/download_controller.h"

#include <cstdio>

#include "link/port_discovery.h"
#include "protocol/link_commands.h"

namespace tav {

namespace {

constexpr uint32_t kDriverBufferSize = 1'000'000;
constexpr int kLinkCheckDeadlineMs = 400;
constexpr int kWatchdogMs = 15000;
// A single-result frame is some 45 bytes: one not whole by then never comes.
constexpr uint32_t kAutoReplyLimitMs = 20000;
constexpr int kGreetingsPerPort = 6;
constexpr int kStallLimit = 5;
constexpr int kStallRequestLimit = 7;
constexpr int kRequestLimit = 5;

std::tm SystemLocalTime() {
    std::time_t now = std::time(nullptr);
    return *std::localtime(&now);
}

std::string Format(const char* pattern, int value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, pattern, value);
    return buffer;
}

}  // namespace

DownloadController::DownloadController(LinkState& state, SerialLink& link, Clock& clock,
                                       ControllerHost& host, AnalyzerPorts& ports,
                                       NewResultCount newResults, LocalTime localTime)
    : state_(state),
      link_(link),
      clock_(clock),
      host_(host),
      ports_(ports),
      newResults_(std::move(newResults)),
      localTime_(localTime ? std::move(localTime) : LocalTime(SystemLocalTime)),
      framing_(state, link, clock, host) {
    // A download frame that overruns the receive buffer ends the attempt as
    // an incomplete one does at the last time limit.
    framing_.SetOverflowHandler([this] { EndAttempt(text::kFail3); });
}

void DownloadController::OnSerialByte(uint8_t byte) {
    framing_.OnSerialByte(byte);
}

// ---------------------------------------------------------------- commands

void DownloadController::OnLinkCommand(int code) {
    const bool running = state_.LinkRunning != 0;
    switch (code) {
        case cmd::kShowHome:
        case cmd::kShowList:
        case cmd::kShowGraph:
            ShowView(code - 1);
            break;
        case cmd::kShowDownload:
            if (host_.CurrentView() == 1) {
                if (state_.AutoMode == 0) host_.SignalWorker(ev::kScanAll);
            } else {
                ShowView(1);
            }
            break;
        case cmd::kManualStart:
            ManualStart();
            break;
        case cmd::kRefreshView:
            if (host_.CurrentView() != 0) host_.RefreshView(host_.CurrentView());
            break;
        case cmd::kStartAuto:
            StartAutomatic();
            break;
        case cmd::kOpenNextPort:
            if (running) OpenNextPort();
            break;
        case cmd::kRestartScan:
            // A watchdog scan that ends after the switch to manual mode must
            // not pull the link back into the automatic sequence.
            if (state_.AutoMode == 0) break;
            state_.AutoStep = 6;
            state_.LinkPhase = 1;
            watchMark_.started = false;
            break;
        case cmd::kGreeting:
            if (running) Greeting();
            break;
        case cmd::kMeasurementRequest:
            if (running) MeasurementRequest();
            break;
        case cmd::kCartridgeRemoval:
            state_.AutoStep = 110;
            state_.LinkPhase = 1;
            break;
        case cmd::kWatchdogScan:
            host_.SignalWorker(ev::kScanAnalyzer);
            break;
        case cmd::kEnd:
        case cmd::kEndAfterDecode:
            framing_.SendEnd();
            break;
        case cmd::kManualMode:
            host_.KillTimer(timer::kAuto);
            state_.AutoStep = -1;
            state_.LinkPhase = 0;
            watchMark_.started = false;
            state_.DownloadState = 0;
            host_.SetStatusPane(3, text::kManual);
            OnLinkCommand(cmd::kManualStart);
            break;
        case cmd::kLinkCheck:
            if (running) LinkCheck();
            break;
        case cmd::kResultRequest:
            if (running) ResultRequest();
            break;
        case cmd::kClosePort:
            if (link_.IsOpen()) link_.Close();
            break;
        case cmd::kPurge:
            if (running) link_.Purge();
            break;
        case cmd::kDownloadFinished:
            FinishDownload();
            break;
        case cmd::kDownloadFailed:
            FailDownload();
            break;
        default:
            break;
    }
}

void DownloadController::ShowView(int view) {
    if (host_.CurrentView() != view) host_.ShowView(view);
}

void DownloadController::ApplyLineSettings() {
    LineSettings line;
    line.baudRate = 9600;
    line.byteSize = 8;
    line.parity = 0;
    line.stopBits = 0;
    link_.SetLineSettings(line);
}

void DownloadController::ManualStart() {
    state_.DownloadState = 1;
    if (host_.PortSelectOpen()) {
        host_.RefreshPortSelect();
        return;
    }
    host_.KillTimer(timer::kReceive);
    std::string label;
    if (!host_.RunPortSelect(label)) {
        state_.DownloadState = -1;
        return;
    }
    selectedPort_ = label;
    host_.SetStatusPane(1, label);
    ApplyLineSettings();
    if (link_.IsOpen()) link_.Close();
    link_.Prepare(this, kDriverBufferSize);
    if (!link_.Open()) {
        std::string message = text::kPortOpenFailed;
        const std::string reason = link_.LastOpenError();
        if (!reason.empty()) message += "\r\n" + reason;
        host_.ShowMessage(message);
        state_.DownloadState = -1;
        return;
    }
    if (!host_.AskYesNo(label + text::kConnectedSuffix + text::kAskDownload)) {
        state_.DownloadState = -1;
        return;
    }
    requestCount_ = 0;
    state_.Receiving = 0;
    OnLinkCommand(cmd::kLinkCheck);
}

void DownloadController::ClearProgressCount() {
    host_.ShowProgressCount(0, 0);
    host_.ShowNewResults(-1);
}

void DownloadController::LinkCheck() {
    ClearProgressCount();
    host_.ShowProgress(text::kCheckingManual);
    host_.SetProgressButtonText(text::kClose);
    state_.DownloadState = 2;
    stallCount_ = 0;
    lastRxCount_ = 0;
    framing_.SendLinkCheck();
    if (state_.LinkPhase == 0) {
        clock_.SleepMs(300);
        host_.StartTimer(timer::kLinkCheck, 500);
    }
}

void DownloadController::ResultRequest() {
    host_.ShowProgress(text::kDataTransferred);
    stallCount_ = 0;
    lastRxCount_ = 0;
    dataMark_.started = false;
    framing_.SendResultRequest();
    clock_.SleepMs(300);
    ++requestCount_;
    host_.StartTimer(timer::kReceive, 1000);
}

void DownloadController::FinishDownload() {
    const int stored = newResults_ ? newResults_() : 0;
    if (stored < 1) host_.ShowProgress(text::kNoNewData);
    host_.ShowNewResults(stored);
    state_.DownloadState = -1;
    if (stored >= 1) host_.RefreshDownloadView();
}

// The processing refused the records and has closed the line: back to idle
// with nothing on screen, so the user can download again or leave the view.
void DownloadController::FailDownload() {
    host_.KillTimer(timer::kReceive);
    host_.HideProgress();
    state_.Receiving = 0;
    state_.LetterFilter = 0;
    state_.DownloadState = -1;
}

void DownloadController::StartAutomatic() {
    host_.KillTimer(timer::kReceive);
    ClearProgressCount();
    host_.ShowProgress(text::kInitAuto);
    host_.SetProgressButtonText(text::kClose);
    host_.SetStatusPane(3, text::kAutomatic);
    state_.Receiving = 0;
    scanIndex_ = 0;
    watchMark_.started = false;
    state_.AutoStep = 0;
    state_.LinkPhase = 1;
    OnLinkCommand(cmd::kShowDownload);
    clock_.SleepMs(500);
    host_.StartTimer(timer::kAuto, 1000);
}

void DownloadController::OpenNextPort() {
    host_.ShowProgress(text::kOpenPort);
    const int count = ports_.Count();
    if (scanIndex_ >= count) scanIndex_ = 0;
    std::string device;
    if (count > 0) {
        currentPort_ = ports_.PortName(scanIndex_);
        ports_.SetCurrentPortName(currentPort_);
        scanIndex_ = scanIndex_ + 1 >= count ? 0 : scanIndex_ + 1;
        if (auto number = PortNumberFromText(currentPort_)) device = ports_.DeviceName(*number);
    }
    if (link_.IsOpen()) link_.Close();
    // An empty list or a name without a device leaves the port closed; the
    // sequence then notices it and scans again.
    if (device.empty()) return;
    link_.SetPortDeviceName(device);
    ApplyLineSettings();
    link_.Prepare(this, kDriverBufferSize);
    link_.Open();
}

void DownloadController::Greeting() {
    ClearProgressCount();
    host_.ShowProgress(text::kCheckingAuto);
    stallCount_ = 0;
    lastRxCount_ = 0;
    framing_.SendGreeting();
}

void DownloadController::MeasurementRequest() {
    host_.ShowProgress(text::kDataBeingTransferred);
    stallCount_ = 0;
    lastRxCount_ = 0;
    framing_.SendMeasurementRequest();
}

void DownloadController::OnModeButton() {
    if (state_.AutoMode == 1) {
        if (state_.AutoStep > 25) return;  // a transfer or the cartridge steps are running
        if (!host_.AskYesNo(text::kAskManual)) return;
        host_.ClearDownloadList();
        host_.HideProgress();
        state_.AutoMode = 0;
        state_.DownloadState = 0;
        OnLinkCommand(cmd::kEnd);
        clock_.SleepMs(50);
        OnLinkCommand(cmd::kManualMode);
    } else {
        if (!host_.AskYesNo(text::kAskAuto)) return;
        host_.ClearDownloadList();
        host_.HideProgress();
        state_.AutoMode = 1;
        OnLinkCommand(cmd::kStartAuto);
    }
}

// ------------------------------------------------------------------ timers

void DownloadController::StartMark(Mark& mark) {
    mark.start = clock_.Ticks();
    mark.started = true;
}

double DownloadController::ElapsedMs(const Mark& mark) const {
    return static_cast<double>(clock_.Ticks() - mark.start) / clock_.TicksPerMs();
}

void DownloadController::OnTimer(int id) {
    if (state_.LinkRunning == 0) return;
    RefreshStatusBar();
    switch (id) {
        case timer::kLinkCheck:
            OnLinkCheckTimer();
            break;
        case timer::kReceive:
            OnReceiveTimer();
            break;
        case timer::kAuto:
            OnAutoTimer();
            break;
        default:
            break;
    }
}

void DownloadController::RefreshStatusBar() {
    const bool automatic = state_.AutoMode == 1;
    host_.SetStatusPane(3, automatic ? text::kAutomatic : text::kManual);
    const std::tm now = localTime_();
    char stamp[64];
    std::strftime(stamp, sizeof stamp, "20%y/%m/%d - %H:%M:%S", &now);
    host_.SetStatusPane(2, stamp);
    host_.SetStatusPane(1, automatic ? ports_.PortName(scanIndex_) : selectedPort_);
    host_.SetStatusPane(
        4, automatic ? Format("SEQ : %d", state_.AutoStep) : Format("Cnt : %d", requestCount_));
}

void DownloadController::OnLinkCheckTimer() {
    if (!watchMark_.started) StartMark(watchMark_);
    if (ElapsedMs(watchMark_) < kLinkCheckDeadlineMs) return;
    host_.KillTimer(timer::kLinkCheck);
    if (state_.HandshakeSeen == 1) {
        state_.DownloadState = 3;
        OnLinkCommand(cmd::kResultRequest);
    } else {
        host_.HideProgress();
        host_.ShowMessage(text::kNoResponse);
        state_.DownloadState = -1;
        state_.LetterFilter = 0;
    }
}

void DownloadController::Retry() {
    host_.KillTimer(timer::kReceive);
    state_.DownloadState = 2;
    // The new link check must read "SU" as the ready answer, not as the
    // start of a download frame.
    state_.Receiving = 0;
    OnLinkCommand(cmd::kLinkCheck);
}

void DownloadController::RetryLimitHit(const char* message) {
    ports_.SetFound(false);
    host_.KillTimer(timer::kReceive);
    if (link_.IsOpen()) link_.Close();
    host_.ShowMessage(message);
    state_.DownloadState = -1;
    state_.LetterFilter = 0;
}

// An attempt that ended at the second or third limit: retried a few times.
void DownloadController::EndAttempt(const char* message) {
    host_.HideProgress();
    if (requestCount_ <= kRequestLimit)
        Retry();
    else
        RetryLimitHit(message);
}

void DownloadController::OnReceiveTimer() {
    if (!dataMark_.started) StartMark(dataMark_);
    const DataTimeouts& limits = framing_.Timeouts();
    double elapsed = ElapsedMs(dataMark_);
    const bool received = !state_.RxText.empty() || state_.RxCount != 0;
    if (elapsed >= limits.t1 && ports_.Found() && received) {
        if (state_.RxCount == lastRxCount_) {
            ++stallCount_;
            host_.ShowProgress(Format(text::kErrorCount, stallCount_));
        } else {
            lastRxCount_ = state_.RxCount;
        }
        if (stallCount_ >= kStallLimit) {
            if (requestCount_ <= kStallRequestLimit)
                Retry();
            else
                RetryLimitHit(text::kFail1);
            return;
        }
    }
    elapsed = ElapsedMs(dataMark_);
    const bool nothing = state_.RxText.empty() || state_.RxCount == 0;
    if (elapsed >= limits.t2 && nothing) {
        EndAttempt(text::kFail2);
        return;
    }
    if (elapsed >= limits.t3) EndAttempt(text::kFail3);
}

// ------------------------------------------------------ automatic sequence

void DownloadController::Stamp() {
    state_.AutoStepStamp = clock_.TickCount();
}

bool DownloadController::Waited(uint32_t ms) const {
    return static_cast<uint32_t>(clock_.TickCount() - state_.AutoStepStamp) >= ms;
}

void DownloadController::GoTo(int step, bool stamp) {
    state_.AutoStep = step;
    if (stamp) Stamp();
}

void DownloadController::EmptyStrings() {
    state_.RxPayload.clear();
    state_.RxText.clear();
    state_.ReplyLetters.clear();
    state_.RxCount = 0;
}

void DownloadController::OnAutoTimer() {
    if (state_.AutoMode == 1 && state_.LinkPhase == 2) {
        SuperviseReply();
        return;
    }
    if (state_.AutoMode != 1 || state_.LinkPhase != 1) return;
    host_.SetStatusPane(5, Format("Scan Port Count : %d", scanCount_));
    host_.SetStatusPane(6, Format("Current Port Index : %d", portRetry_));
    RunStep();
    // Watchdog: while the analyzer is in use, test every 15 s that its port
    // is still there.
    const int step = state_.AutoStep;
    if (step >= 11 && step <= 110) {
        if (!watchMark_.started) StartMark(watchMark_);
        if (ElapsedMs(watchMark_) >= kWatchdogMs) {
            watchMark_.started = false;
            OnLinkCommand(cmd::kWatchdogScan);
        }
    }
}

// A measurement request whose answer stalls or never ends: the exchange is
// ended and the sequence goes back to waiting for the analyzer. Nothing was
// handed over, so nothing is stored; a frame already handed over is left to
// its processing.
void DownloadController::SuperviseReply() {
    if (state_.AutoStep != 100 || state_.Receiving == 0 || !Waited(kAutoReplyLimitMs)) return;
    state_.Receiving = 0;
    framing_.SendEnd();
    EmptyStrings();
    state_.LinkPhase = 1;
    GoTo(6, true);
}

void DownloadController::RunStep() {
    switch (state_.AutoStep.load()) {
        case 0:
            scanIndex_ = 0;
            portRetry_ = 0;
            host_.SignalWorker(ev::kScanAll);
            GoTo(3, true);
            break;
        case 2:
            if (!Waited(2500)) break;
            host_.SignalWorker(ev::kScanAll);
            GoTo(3, true);
            break;
        case 3:
            if (Waited(1500)) GoTo(4, false);
            break;
        case 4:
        case 5:
            if (!ports_.Found()) {
                GoTo(2, true);
                break;
            }
            if (state_.AutoStep == 4) scanCount_ = ports_.Count();
            OnLinkCommand(cmd::kOpenNextPort);
            GoTo(10, true);
            break;
        case 6:
            host_.ShowProgress(text::kWaiting);
            state_.ReplyLetters.clear();
            host_.SignalWorker(ev::kScanAll);
            GoTo(7, true);
            break;
        case 7:
            if (!Waited(1500)) break;
            if (link_.IsOpen() && ports_.Found()) {
                scanCount_ = ports_.Count();
                GoTo(5, true);
            } else {
                if (link_.IsOpen()) link_.Close();
                GoTo(2, true);
            }
            break;
        case 10:
            if (!Waited(1500)) break;
            host_.ShowProgress(text::kChecking);
            state_.ReplyLetters.clear();
            GoTo(11, false);
            break;
        case 11:
            if (!link_.IsOpen()) {
                GoTo(6, true);
                break;
            }
            state_.ReplyLetters.clear();
            GoTo(20, false);
            OnLinkCommand(cmd::kGreeting);
            Stamp();
            break;
        case 20:
            if (state_.HandshakeSeen == 1) {
                host_.ShowProgress(text::kAwaitingMeasurement);
                EmptyStrings();
                state_.LetterFilter = 11;
                Stamp();
                OnLinkCommand(cmd::kPurge);
                GoTo(25, false);
            } else if (Waited(7000)) {
                ++portRetry_;
                EmptyStrings();
                OnLinkCommand(cmd::kPurge);
                if (portRetry_ < kGreetingsPerPort) {
                    GoTo(10, true);
                } else {
                    portRetry_ = 0;
                    GoTo(6, true);
                }
            }
            break;
        case 25:
            if (state_.ReplyLetters.size() >= 2 && state_.ReplyLetters.compare(0, 2, "SF") == 0) {
                OnLinkCommand(cmd::kPurge);
                host_.ShowProgress(text::kMeasurementCompleted);
                host_.SetProgressButtonText(text::kClose);
                state_.LinkPhase = 1;
                EmptyStrings();
                GoTo(30, true);
            } else if (Waited(400000)) {
                EmptyStrings();
                GoTo(6, true);
            }
            break;
        case 27:
            if (!Waited(1500)) break;
            state_.LinkPhase = 1;
            EmptyStrings();
            OnLinkCommand(cmd::kPurge);
            GoTo(30, true);
            break;
        case 30:
            if (!Waited(2000)) break;
            state_.LinkPhase = 2;
            EmptyStrings();
            GoTo(100, true);
            OnLinkCommand(cmd::kMeasurementRequest);
            break;
        case 110:
            if (host_.ProgressVisible()) break;
            ClearProgressCount();
            host_.ShowProgress(text::kRemoveCartridge);
            state_.LinkPhase = 1;
            GoTo(115, false);
            break;
        case 115:
            if (host_.ProgressVisible()) break;
            host_.ShowProgress(text::kCartridgeRemoved);
            GoTo(120, false);
            break;
        case 120:
            if (!host_.ProgressVisible()) GoTo(125, false);
            break;
        case 125:
            host_.ShowChecking(text::kAutoTerminated);
            scanIndex_ = 0;
            GoTo(130, false);
            break;
        case 130:
            if (host_.CheckingVisible()) break;
            state_.AutoStep = -1;
            state_.AutoMode = 0;
            state_.LinkPhase = 0;
            break;
        default:
            break;
    }
}

}  // namespace tav
