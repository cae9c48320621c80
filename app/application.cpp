#include "app/application.h"

#include <ctime>

#include "app/app_profile.h"
#include "app/list_view_wiring.h"
#include "app/main_frame.h"
#include "protocol/process_download.h"
#include "views/all_data_list_view.h"

namespace tav {

void Application::FrameChannel::SendLinkCommand(int code) {
    if (target) target->SendLinkCommand(code);
}
void Application::FrameChannel::ShowMessage(const std::string& text) {
    if (target) target->ShowMessage(text);
}
void Application::FrameChannel::ShowProgress(const std::string& text) {
    if (target) target->ShowProgress(text);
}

Application::Application() = default;

Application::Application(ApplicationOptions options) : options_(std::move(options)) {}

Application::~Application() {
    Shutdown();
}

void Application::Shutdown() {
    // Closing runs the window's close steps; its destruction then the worker's end.
    if (frame_ && frame_->isVisible()) frame_->close();
    frame_.reset();
    listPrompts_.reset();
    StopWorker();
    database_.Close();
}

bool Application::Start() {
    paths_ = options_.HomeDir.empty() ? PrepareAppPaths(clock_)
                                      : PrepareAppPaths(clock_, options_.HomeDir);
    scanner_ = std::make_unique<PortScanner>(ports_, SystemPortEnumerator(paths_.HomeDir), link_,
                                             channel_);
    portSource_ = std::make_unique<ScanPortSelectSource>(ports_, *scanner_, serial_);
    profile_ = options_.ProfileFile.isEmpty()
                   ? OpenApplicationProfile()
                   : std::make_unique<QSettings>(options_.ProfileFile, QSettings::IniFormat);

    FrameContext context{link_,     clock_,        handoff_,   *this,
                         *profile_, downloadRows_, formatter_, *portSource_};
    frame_ = std::make_unique<CMainFrame>(context);
    frame_->SetMessagePresenter(options_.Presenter);
    channel_.target = frame_.get();
    listPrompts_ = std::make_unique<FrameListPrompts>(*frame_);
    frame_->SetViewFactory(viewix::kAllData, [this](ViewHost& host, QWidget* parent) {
        return new CHbA1c720AllDataListView(host, database_, settings_, *listPrompts_, *profile_,
                                            searchActive_, parent);
    });

    controller_ = std::make_unique<DownloadController>(
        link_, serial_, clock_, *frame_, analyzerPorts_,
        [this] { return static_cast<int>(database_.DownloadTable.RowCount()); },
        [] {
            std::time_t now = std::time(nullptr);
            std::tm local{};
            localtime_r(&now, &local);
            return local;
        });
    frame_->SetController(this);

    worker_ = std::make_unique<LinkWorker>(
        link_, LinkWorkerActions{[this] { Decode(); }, [this] { scanner_->ScanAllPorts(); },
                                 [this] { scanner_->ScanAnalyzerPorts(); }});
    worker_->Start();

    frame_->show();
    frame_->DeferredInit();
    return true;
}

void Application::Decode() {
    ProcessDownload(link_, database_, *frame_, clock_, paths_.HomeDir,
                    IdDigits{settings_.PID_Digit, settings_.OPID_Digit});
}

void Application::OpenStore() {
    database_.InitResultDatabase(paths_.HomeDir);
}

void Application::LoadSettings() {
    tav::LoadSettings(settings_, paths_.HomeDir);
}

void Application::CloseStore() {
    // A download being stored on the worker must finish before its tables
    // close: release the worker's reports to this thread (they would wait for
    // it) and let the worker end after its current run. When this thread is
    // itself inside one of the worker's reports (a dialog it opened), the
    // worker cannot go on until we return, so it is stopped later instead.
    handoff_.Close();
    if (!handoff_.InCall()) StopWorker();
    database_.MainDbPath.clear();
    database_.DatabaseReady = 0;
    database_.Close();
}

void Application::ClosePort() {
    if (serial_.IsOpen()) serial_.Close();
}

void Application::SignalWorker(int event) {
    if (worker_) worker_->Signal(event);
}

void Application::StopWorker() {
    if (worker_ && !workerStopped_) {
        workerStopped_ = true;
        worker_->Stop();
    }
}

void Application::OnLinkCommand(int code) {
    if (controller_) controller_->OnLinkCommand(code);
}

void Application::OnTimer(int id) {
    if (controller_) controller_->OnTimer(id);
}

}  // namespace tav
