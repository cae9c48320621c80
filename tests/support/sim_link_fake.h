// A SerialLink that joins the controller to an analyzer in virtual time: the
// bytes the controller writes go to the analyzer with the current time, and
// the analyzer's bytes are delivered to the receiver, one call each, when the
// clock reaches the time they come off the wire.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "link/serial_link.h"
#include "platform/clock.h"

namespace tav::test {

// The analyzer's side of the line, in virtual time.
class AnalyzerPeer {
  public:
    virtual ~AnalyzerPeer() = default;
    virtual void OnHostByte(uint8_t byte, int64_t nowMs) = 0;
    virtual std::optional<int64_t> NextOutputTime() const = 0;
    virtual std::string TakeOutputDue(int64_t nowMs) = 0;
    virtual bool LineClosed() const { return false; }
};

class SimLink final : public SerialLink {
  public:
    explicit SimLink(VirtualClock& clock) : clock_(clock) {}

    // A device that can be opened, with the analyzer on it (null: a port with
    // nothing attached). Detach pulls the cable: the line goes dead and the
    // device can no longer be opened.
    void Attach(const std::string& device, AnalyzerPeer* peer) { devices_[device] = peer; }
    void Detach(const std::string& device) { devices_.erase(device); }

    // Records.
    std::string written;              // every byte written while open
    std::vector<int64_t> writtenAt;   // the time of each
    std::vector<std::string> opened;  // devices opened, in order

    void SetPortDeviceName(const std::string& name) override { device_ = name; }
    std::string PortDeviceName() const override { return device_; }
    void SetLineSettings(const LineSettings& settings) override { settings_ = settings; }
    const LineSettings& Settings() const { return settings_; }
    bool Prepare(SerialReceiver* owner, uint32_t bufferSize) override;
    bool Open() override;
    void Close() override;
    // A line whose device went away reads as closed, as the driver reports it.
    bool IsOpen() const override { return LineAlive(); }
    size_t Write(const uint8_t* data, size_t count) override;
    bool Purge() override { return open_; }
    std::string LastOpenError() const override { return lastError_; }

  private:
    AnalyzerPeer* Peer() const;
    bool LineAlive() const;
    void Schedule();
    void Deliver();

    VirtualClock& clock_;
    std::map<std::string, AnalyzerPeer*> devices_;
    std::string device_;
    std::string openDevice_;
    LineSettings settings_;
    SerialReceiver* receiver_ = nullptr;
    bool open_ = false;
    std::string lastError_;
    std::optional<VirtualClock::TaskId> task_;
    int64_t taskAt_ = 0;
};

}  // namespace tav::test
