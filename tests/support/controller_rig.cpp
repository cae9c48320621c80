#include "tests/support/controller_rig.h"

#include "link/port_discovery.h"
#include "protocol/link_commands.h"

namespace tav::test {

ControllerRig::ControllerRig()
    : controller(
          state, link, clock, host, ports, [this] { return newResults ? newResults() : lastNew; },
          [this] { return wallTime; }),
      channel(handoff, controller, host) {
    wallTime.tm_year = 2024 - 1900;
    wallTime.tm_mon = 2;
    wallTime.tm_mday = 15;
    wallTime.tm_hour = 9;
    wallTime.tm_min = 30;
    wallTime.tm_sec = 5;
    decode = [this] { StubDecode(); };
    host.onTimer = [this](int id) { controller.OnTimer(id); };
    host.onWorker = [this](int event) {
        if (event == ev::kDecode && decode) decode();
        if (event == ev::kScanAll) ports.ScanAll(state, channel);
        if (event == ev::kScanAnalyzer) ports.ScanAnalyzer(channel);
    };
    // The port-select dialog sets the device of the chosen COM number.
    host.onPortSelect = [this](std::string& label) {
        if (host.portChoices.empty() || !host.portChoices.front()) {
            if (!host.portChoices.empty()) host.portChoices.pop_front();
            return false;
        }
        label = *host.portChoices.front();
        host.portChoices.pop_front();
        link.SetPortDeviceName(ports.DeviceName(PortNumberFromText(label).value_or(0)));
        return true;
    };
}

void ControllerRig::StubDecode() {
    payloads.push_back(state.RxPayload);
    counts.push_back(state.RecordCount);
    clock.SleepMs(300);
    channel.SendLinkCommand(cmd::kEndAfterDecode);
    clock.SleepMs(300);
    channel.SendLinkCommand(cmd::kClosePort);
    lastNew = newPerDownload < 0 ? state.RecordCount : newPerDownload;
    channel.ShowProgress("Complete the Data Inspection \r\n(Close the message box)");
    channel.SendLinkCommand(cmd::kDownloadFinished);
    if (state.AutoMode == 1) {
        clock.SleepMs(100);
        state.DownloadState = -1;
        channel.SendLinkCommand(cmd::kCartridgeRemoval);
    }
}

void ControllerRig::Plug(int number, AnalyzerPeer* peer, bool cable) {
    ports.Plug(number, cable);
    link.Attach(FakeDevice(number), peer);
}

void ControllerRig::Unplug(int number) {
    ports.Unplug(number);
    link.Detach(FakeDevice(number));
}

void ControllerRig::StartManual(const std::string& label) {
    host.portChoices.push_back(label);
    host.view = 1;
    controller.OnLinkCommand(cmd::kShowDownload);
}

void ControllerRig::StartAutomatic() {
    state.AutoMode = 1;
    controller.OnLinkCommand(cmd::kStartAuto);
}

}  // namespace tav::test
