// The port lists and the two scans, over a scripted set of serial ports.
// Safe to scan on one thread while another reads.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "protocol/analyzer_ports.h"
#include "link/link_channel.h"
#include "link/link_state.h"

namespace tav::test {

// The device PortNameTable gives COM number n in these tests.
std::string FakeDevice(int number);

class FakeAnalyzerPorts final : public AnalyzerPorts {
  public:
    // A serial port on the machine; `analyzerCable` marks the analyzer's USB cable.
    void Plug(int number, bool analyzerCable);
    void Unplug(int number);

    // The full scan: clears the found flag, rebuilds the list, sets the flag
    // when an analyzer cable is there, and starts a manual download when the
    // link is idle or manual.
    void ScanAll(LinkState& state, LinkChannel& channel);
    // The analyzer-port scan: rebuilds the list; no cable restarts the sequence.
    void ScanAnalyzer(LinkChannel& channel);

    int Count() const override;
    std::string PortName(int index) const override;
    bool Found() const override;
    void SetFound(bool found) override;
    std::string DeviceName(int number) const override;

  private:
    void RebuildLocked();

    mutable std::mutex mutex_;
    std::map<int, bool> present_;
    std::vector<std::string> list_;
    bool found_ = false;
};

}  // namespace tav::test
