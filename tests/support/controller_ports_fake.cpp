#include "tests/support/controller_ports_fake.h"

#include "protocol/link_commands.h"

namespace tav::test {

std::string FakeDevice(int number) {
    return "/dev/ttyFAKE" + std::to_string(number);
}

void FakeAnalyzerPorts::Rebuild() {
    list_.clear();
    for (const auto& [number, cable] : present_)
        if (cable) list_.push_back("COM" + std::to_string(number));
}

void FakeAnalyzerPorts::ScanAll(LinkState& state, LinkChannel& channel) {
    Rebuild();
    found_ = !list_.empty();
    if (state.LinkPhase == 0 || state.LinkPhase == -1) {
        state.DownloadState = 0;
        channel.SendLinkCommand(cmd::kManualMode);
    }
}

void FakeAnalyzerPorts::ScanAnalyzer(LinkChannel& channel) {
    Rebuild();
    if (list_.empty()) channel.SendLinkCommand(cmd::kRestartScan);
}

}  // namespace tav::test
