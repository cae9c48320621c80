// The download controller wired to a scripted window, the line fake, fake
// port scans and a stand-in for the download processing, all in virtual time
// on the test thread. Worker actions run from the clock loop right after the
// handler that signalled them.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "link/link_state.h"
#include "platform/clock.h"
#include "platform/handoff.h"
#include "protocol/download_controller.h"
#include "protocol/link_worker.h"
#include "tests/support/controller_host_script.h"
#include "tests/support/controller_ports_fake.h"
#include "tests/support/sim_link_fake.h"

namespace tav::test {

class ControllerRig {
  public:
    ControllerRig();

    VirtualClock clock{0};
    LinkState state;
    ScriptedHost host{clock};
    SimLink link{clock};
    FakeAnalyzerPorts ports;
    InlineHandoff handoff;
    DownloadController controller;
    HandoffLinkChannel channel;

    // The stand-in processing on EvDecode: records the hand-over and sends
    // 53, 54, 500 (and 35 in automatic mode) with the pauses of the real one.
    // The controller is told every record was new.
    void StubDecode();
    std::vector<std::string> payloads;
    std::vector<int> counts;

    // Puts a port COM`number` on the machine with `peer` on the line (null:
    // nothing answers); `cable` marks it as the analyzer's cable.
    void Plug(int number, AnalyzerPeer* peer, bool cable = true);
    void Unplug(int number);

    // The user shows the download view in manual mode and picks `label`.
    void StartManual(const std::string& label);
    std::string portLabel;
    // The user switches to automatic mode from the home view.
    void StartAutomatic();
};

}  // namespace tav::test
