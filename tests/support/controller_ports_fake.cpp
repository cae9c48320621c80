#include "tests/support/controller_ports_fake.h"

#include "protocol/link_commands.h"

namespace tav::test {

std::string FakeDevice(int number) {
    return "/dev/ttyFAKE" + std::to_string(number);
}

void FakeAnalyzerPorts::Plug(int number, bool analyzerCable) {
    std::lock_guard lock(mutex_);
    present_[number] = analyzerCable;
}

void FakeAnalyzerPorts::Unplug(int number) {
    std::lock_guard lock(mutex_);
    present_.erase(number);
}

void FakeAnalyzerPorts::RebuildLocked() {
    list_.clear();
    for (const auto& [number, cable] : present_)
        if (cable) list_.push_back("COM" + std::to_string(number));
}

void FakeAnalyzerPorts::ScanAll(LinkState& state, LinkChannel& channel) {
    {
        std::lock_guard lock(mutex_);
        found_ = false;
        RebuildLocked();
        found_ = !list_.empty();
    }
    if (state.LinkPhase == 0 || state.LinkPhase == -1) {
        state.DownloadState = 0;
        channel.SendLinkCommand(cmd::kManualMode);
    }
}

void FakeAnalyzerPorts::ScanAnalyzer(LinkChannel& channel) {
    bool none;
    {
        std::lock_guard lock(mutex_);
        RebuildLocked();
        none = list_.empty();
    }
    if (none) channel.SendLinkCommand(cmd::kRestartScan);
}

int FakeAnalyzerPorts::Count() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(list_.size());
}

std::string FakeAnalyzerPorts::PortName(int index) const {
    std::lock_guard lock(mutex_);
    if (index < 0 || index >= static_cast<int>(list_.size())) return {};
    return list_[index];
}

bool FakeAnalyzerPorts::Found() const {
    std::lock_guard lock(mutex_);
    return found_;
}

void FakeAnalyzerPorts::SetFound(bool found) {
    std::lock_guard lock(mutex_);
    found_ = found;
}

std::string FakeAnalyzerPorts::DeviceName(int number) const {
    return number >= 1 && number <= 100 ? FakeDevice(number) : std::string();
}

}  // namespace tav::test
