#include "protocol/link_worker.h"

#include "protocol/download_controller.h"
#include "protocol/link_commands.h"

namespace tav {

LinkWorker::LinkWorker(LinkState& state, LinkWorkerActions actions)
    : state_(state), actions_(std::move(actions)) {
    // The order of adding is the wait order.
    events_.Add(EventSet::Reset::Manual);     // ev::kStop
    events_.Add(EventSet::Reset::Automatic);  // ev::kDecode
    events_.Add(EventSet::Reset::Automatic);  // ev::kScanAll
    events_.Add(EventSet::Reset::Automatic);  // ev::kScanAnalyzer
}

LinkWorker::~LinkWorker() {
    Stop();
}

void LinkWorker::Start() {
    if (thread_.joinable()) return;
    runFlag_ = true;
    exitCode_ = -1;
    thread_ = std::thread([this] { exitCode_ = Run(); });
}

void LinkWorker::Signal(int event) {
    if (event >= ev::kStop && event <= ev::kScanAnalyzer) events_.Set(event);
}

void LinkWorker::Stop(const std::function<void()>& pump) {
    runFlag_ = false;
    events_.Set(ev::kStop);
    if (!thread_.joinable()) return;
    if (pump) {
        while (exitCode_ == -1) pump();
    }
    thread_.join();
}

void LinkWorker::Join() {
    if (thread_.joinable()) thread_.join();
}

int LinkWorker::Run() {
    while (state_.LinkRunning != 0) {
        const int event = events_.WaitAny();
        if (event == ev::kStop) return 1;
        const std::function<void()>* action = nullptr;
        if (event == ev::kDecode) action = &actions_.decode;
        if (event == ev::kScanAll) action = &actions_.scanAll;
        if (event == ev::kScanAnalyzer) action = &actions_.scanAnalyzer;
        if (action && *action) (*action)();
        if (!runFlag_) return 1;
    }
    return 0;
}

HandoffLinkChannel::HandoffLinkChannel(Handoff& handoff, DownloadController& controller,
                                       ControllerHost& host)
    : handoff_(handoff), controller_(controller), host_(host) {}

void HandoffLinkChannel::SendLinkCommand(int code) {
    handoff_.Invoke([&] { controller_.OnLinkCommand(code); });
}

void HandoffLinkChannel::ShowMessage(const std::string& text) {
    handoff_.Invoke([&] { host_.ShowMessage(text); });
}

void HandoffLinkChannel::ShowProgress(const std::string& text) {
    handoff_.Invoke([&] { host_.ShowProgress(text); });
}

void HandoffLinkChannel::ShowProgressCount(int done, int total) {
    handoff_.Invoke([&] { host_.ShowProgressCount(done, total); });
}

}  // namespace tav
