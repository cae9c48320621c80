// The download controller: runs manual downloads and the automatic mode,
// supervises them with its timers and reacts to the link commands. Every
// method runs on the window thread; the window reaches it through
// OnLinkCommand, OnTimer and OnModeButton, the serial line through
// OnSerialByte.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>

#include "link/link_state.h"
#include "link/serial_link.h"
#include "platform/clock.h"
#include "protocol/analyzer_ports.h"
#include "protocol/controller_host.h"
#include "protocol/message_framing.h"

namespace tav {

class DownloadController final : public SerialReceiver {
  public:
    // Number of results the last download stored as new (the staging table's rows).
    using NewResultCount = std::function<int()>;
    // The local wall-clock time shown in the status bar.
    using LocalTime = std::function<std::tm()>;

    DownloadController(LinkState& state, SerialLink& link, Clock& clock, ControllerHost& host,
                       AnalyzerPorts& ports, NewResultCount newResults, LocalTime localTime = {});

    void OnSerialByte(uint8_t byte) override;
    // A link command (codes in protocol/link_commands.h); unknown codes do nothing.
    void OnLinkCommand(int code);
    // A tick of timer 3, 5 or 10 (any tick refreshes the status bar).
    void OnTimer(int id);
    // The download view's button that switches between manual and automatic mode.
    void OnModeButton();

    // The port label the user confirmed in the port-select dialog.
    const std::string& SelectedPort() const { return selectedPort_; }
    // The analyzer port automatic mode opened last.
    const std::string& CurrentPortName() const { return currentPort_; }
    int RequestCount() const { return requestCount_; }
    int PortRetry() const { return portRetry_; }
    int ScanIndex() const { return scanIndex_; }
    int ScanCount() const { return scanCount_; }
    int StallCount() const { return stallCount_; }
    const DataTimeouts& Timeouts() const { return framing_.Timeouts(); }
    MessageFraming& Framing() { return framing_; }

  private:
    // A performance-counter start value and whether it was taken.
    struct Mark {
        int64_t start = 0;
        bool started = false;
    };
    void StartMark(Mark& mark);
    double ElapsedMs(const Mark& mark) const;

    void ShowView(int view);
    void ManualStart();
    void LinkCheck();
    void ResultRequest();
    void StartAutomatic();
    void OpenNextPort();
    void Greeting();
    void MeasurementRequest();
    void FinishDownload();
    void FailDownload();
    // Hides the result count and the new-results line of the progress dialog.
    void ClearProgressCount();

    void OnLinkCheckTimer();
    void OnReceiveTimer();
    void OnAutoTimer();
    void SuperviseReply();
    void RunStep();
    void RefreshStatusBar();

    void Retry();
    void RetryLimitHit(const char* message);
    void EndAttempt(const char* message);
    void ApplyLineSettings();
    void Stamp();
    bool Waited(uint32_t ms) const;
    void GoTo(int step, bool stamp);
    void EmptyStrings();

    LinkState& state_;
    SerialLink& link_;
    Clock& clock_;
    ControllerHost& host_;
    AnalyzerPorts& ports_;
    NewResultCount newResults_;
    LocalTime localTime_;
    MessageFraming framing_;

    std::string selectedPort_;
    std::string currentPort_;
    int requestCount_ = 0;
    int portRetry_ = 0;
    int scanIndex_ = 0;
    int scanCount_ = 0;
    int stallCount_ = 0;
    int lastRxCount_ = 0;
    Mark watchMark_;
    Mark dataMark_;
};

}  // namespace tav
