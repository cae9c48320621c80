#include "tests/support/controller_rig.h"

#include "link/port_discovery.h"
#include "protocol/link_commands.h"

namespace tav::test {

ControllerRig::ControllerRig()
    : controller(state, link, clock, host, ports, [this] { return state.RecordCount; }),
      channel(handoff, controller, host) {
    host.onTimer = [this](int id) { controller.OnTimer(id); };
    host.onWorker = [this](int event) {
        if (event == ev::kDecode) StubDecode();
        if (event == ev::kScanAll) ports.ScanAll(state, channel);
        if (event == ev::kScanAnalyzer) ports.ScanAnalyzer(channel);
    };
    // The port-select dialog sets the device of the chosen COM number.
    host.onPortSelect = [this](std::string& label) {
        label = portLabel;
        link.SetPortDeviceName(ports.DeviceName(PortNumberFromText(label).value_or(0)));
        return !label.empty();
    };
}

void ControllerRig::StubDecode() {
    payloads.push_back(state.RxPayload);
    counts.push_back(state.RecordCount);
    clock.SleepMs(300);
    channel.SendLinkCommand(cmd::kEndAfterDecode);
    clock.SleepMs(300);
    channel.SendLinkCommand(cmd::kClosePort);
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
    portLabel = label;
    host.view = 1;
    controller.OnLinkCommand(cmd::kShowDownload);
}

void ControllerRig::StartAutomatic() {
    state.AutoMode = 1;
    controller.OnLinkCommand(cmd::kStartAuto);
}

}  // namespace tav::test
