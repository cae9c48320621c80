// The port lists and the two scans, over a scripted set of serial ports.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "link/link_channel.h"
#include "link/link_state.h"
#include "protocol/analyzer_ports.h"
#include "protocol/link_commands.h"

namespace tav::test {

// The device PortNameTable gives COM number n in these tests.
inline std::string FakeDevice(int number) {
    return "/dev/ttyFAKE" + std::to_string(number);
}

class FakeAnalyzerPorts final : public AnalyzerPorts {
  public:
    // A serial port on the machine; `analyzerCable` marks the analyzer's USB cable.
    void Plug(int number, bool analyzerCable) { present_[number] = analyzerCable; }
    void Unplug(int number) { present_.erase(number); }

    // The full scan: rebuilds the list, sets the found flag when an analyzer
    // cable is there, and starts a manual download when the link is idle or
    // manual.
    void ScanAll(LinkState& state, LinkChannel& channel) {
        Rebuild();
        found_ = !list_.empty();
        if (state.LinkPhase == 0 || state.LinkPhase == -1) {
            state.DownloadState = 0;
            channel.SendLinkCommand(cmd::kManualMode);
        }
    }
    // The analyzer-port scan: rebuilds the list; no cable restarts the sequence.
    void ScanAnalyzer(LinkChannel& channel) {
        Rebuild();
        if (list_.empty()) channel.SendLinkCommand(cmd::kRestartScan);
    }

    int Count() const override { return static_cast<int>(list_.size()); }
    std::string PortName(int index) const override {
        return index >= 0 && index < Count() ? list_[index] : std::string();
    }
    bool Found() const override { return found_; }
    void SetFound(bool found) override { found_ = found; }
    std::string DeviceName(int number) const override {
        return number >= 1 && number <= 100 ? FakeDevice(number) : std::string();
    }

  private:
    void Rebuild() {
        list_.clear();
        for (const auto& [number, cable] : present_)
            if (cable) list_.push_back("COM" + std::to_string(number));
    }

    std::map<int, bool> present_;
    std::vector<std::string> list_;
    bool found_ = false;
};

}  // namespace tav::test
