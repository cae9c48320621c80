// The program's serial port: opens the analyzer's line and runs a watcher
// thread that hands every received byte, one at a time and synchronously, to
// the receiver on the window thread. Writes are plain blocking calls.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "link/serial_link.h"
#include "platform/clock.h"
#include "platform/handoff.h"
#include "platform/serial_device.h"

namespace tav {

class SerialPort final : public SerialLink {
  public:
    // Pause after a successful open before Open returns.
    static constexpr int64_t kSettleMs = 800;
    // Pause after the watcher of an open line has ended, before Close returns.
    static constexpr int64_t kClosePauseMs = 200;
    // Silence after a byte that makes the watcher hand over one blank.
    static constexpr int64_t kSilenceMs = 1'000'000;
    // Longest real-time wait of one read; the watcher looks at LinkRunning
    // and at the clock between reads.
    static constexpr int kReadSliceMs = 50;

    enum class WatcherState {
        NotStarted,   // no open since construction (or the open failed)
        Running,      // delivering bytes
        PortClosed,   // ended by Close (or a new Prepare/Open)
        LinkStopped,  // ended because LinkRunning was 0; the port stays open
        DeviceGone,   // ended because the device went away; the port reads as closed
    };

    // `clock`, `handoff` and `linkRunning` must outlive the port (the
    // hand-off also any watcher the port had to leave inside it). `handoff`
    // reaches the window thread, where the receiver runs.
    SerialPort(Clock& clock, Handoff& handoff, const std::atomic<int>& linkRunning,
               SerialDeviceFactory deviceFactory = MakeSystemSerialDevice);
    ~SerialPort() override;
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    void SetPortDeviceName(const std::string& name) override;
    std::string PortDeviceName() const override;
    void SetLineSettings(const LineSettings& settings) override;
    LineSettings GetLineSettings() const { return settings_; }

    bool Prepare(SerialReceiver* owner, uint32_t bufferSize) override;
    bool Open() override;
    // Stops delivery, lets a waiting watcher go and returns once it has
    // ended. When the watcher is at that moment handing a byte to the
    // window thread and that call has not run yet (Close from inside the
    // receiver, or while the call is queued behind the caller), Close cannot
    // wait for it: that byte is dropped, the line is closed at once and the
    // watcher ends as soon as its hand-off returns, touching nothing but its
    // own state; it is joined by a later Close, Open or the destructor.
    // Closing an open line then pauses kClosePauseMs; a closed one returns at once.
    void Close() override;
    bool IsOpen() const override;
    size_t Write(const uint8_t* data, size_t count) override;
    bool Purge() override;
    std::string LastOpenError() const override { return lastOpenError_; }

    WatcherState Watcher() const;
    // Waits up to `timeoutMs` of real time for the watcher of the latest
    // open to end; true when none runs.
    bool WaitWatcherEnded(int timeoutMs) const;

  private:
    struct Session;
    static void RunWatcher(std::shared_ptr<Session> session, Clock& clock, Handoff& handoff,
                           const std::atomic<int>& linkRunning);
    SerialLineConfig LineConfig() const;
    // Joins retired watchers whose hand-off has run; `last`: detaches the
    // others (the port is going away).
    void JoinRetired(bool last);

    Clock& clock_;
    Handoff& handoff_;
    const std::atomic<int>& linkRunning_;
    SerialDeviceFactory deviceFactory_;

    std::string deviceName_;
    LineSettings settings_;
    SerialReceiver* owner_ = nullptr;
    std::string lastOpenError_;

    std::shared_ptr<Session> session_;
    std::thread watcher_;
    struct Retired {
        std::shared_ptr<Session> session;
        std::thread thread;
    };
    std::vector<Retired> retired_;
};

}  // namespace tav
