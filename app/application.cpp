#include "app/application.h"

#include <QCoreApplication>
#include <QPushButton>
#include <cstdio>
#include <ctime>

#include "app/app_profile.h"
#include "app/list_view_wiring.h"
#include "app/main_frame.h"
#include "app/process_dlg.h"
#include "protocol/process_download.h"
#include "reports/graph_view.h"
#include "reports/print_data_list.h"
#include "views/all_data_list_view.h"
#include "views/csv_export.h"
#include "views/settings_dlg.h"

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
void Application::FrameChannel::ShowProgressCount(int done, int total) {
    if (target) target->ShowProgressCount(done, total);
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

    exporter_ = std::make_unique<CsvExporter>(
        paths_.HomeDir, paths_.DataDir,
        [this]() -> MessagePresenter& { return frame_->Presenter(); }, options_.SaveChooser,
        options_.Launcher);
    FrameContext context{link_,         clock_,     handoff_,     *this,     *profile_,
                         downloadRows_, formatter_, *portSource_, *exporter_};
    frame_ = std::make_unique<CMainFrame>(context);
    frame_->SetMessagePresenter(options_.Presenter);
    frame_->SetViewFactory(viewix::kGraph, [this](ViewHost& host, QWidget* parent) -> FrameView* {
        return new CHbA1c720GraphDataView(
            host, GraphSources{database_, settings_, SearchActive, {}}, parent);
    });
    channel_.target = frame_.get();
    listPrompts_ = std::make_unique<FrameListPrompts>(*frame_);
    frame_->SetViewFactory(viewix::kAllData, [this](ViewHost& host, QWidget* parent) {
        auto* view = new CHbA1c720AllDataListView(host, database_, settings_, *listPrompts_,
                                                  *profile_, SearchActive, parent);
        view->SetExportAction([this, view] {
            CsvExportRequest request;
            request.Question = QString::fromLatin1(kAskExportAllText);
            request.FolderAfter = QString::fromStdString(exporter_->HomeDir());
            exporter_->ExportListCsv(view->List(), request, view);
        });
        view->SetPrintAction([this, view] {
            RunDataListPrint(view->List(), FindControl(view, 1167), [this](const QString& text) {
                frame_->ShowMessage(text.toStdString());
            });
        });
        view->SetSettingsAction([this, view] { OpenSettingsDialog(view); });
        return view;
    });

    controller_ = std::make_unique<DownloadController>(
        link_, serial_, clock_, *frame_, analyzerPorts_, [this] { return lastStored_.load(); },
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
    if (storeProblem_) {
        const std::string text = StartupFailureText(storeProblem_->File, storeProblem_->Reason);
        std::string plain = text;
        std::erase(plain, '\r');
        std::fprintf(stderr, "%s\n", plain.c_str());
        frame_->Presenter().Inform(frame_.get(), QString::fromLatin1(kMessageCaption),
                                   QString::fromStdString(text));
        return false;
    }
    return true;
}

bool Application::OpenSettingsDialog(QWidget* parent) {
    if (!frame_) return false;
    return RunSettingsDialog(settings_, paths_.HomeDir, *frame_, parent ? parent : frame_.get());
}

void Application::Decode() {
    DownloadObserver observer;
    observer.finished = [this](const DownloadSummary& s) { lastStored_ = s.stored; };
    lastStored_ = 0;
    ProcessDownload(link_, database_, *frame_, clock_, paths_.HomeDir,
                    IdDigits{settings_.PID_Digit, settings_.OPID_Digit}, std::string(), observer);
}

void Application::OpenStore() {
    // An older file gains its duplicate index at its first start here; on a
    // large file that takes seconds, so the window shows how far it is and
    // keeps painting. User input waits until the store is open, so the
    // dialog's button is hidden meanwhile rather than shown dead.
    QPushButton* button = nullptr;
    database_.OnIndexProgress = [this, &button](int percent) {
        if (!frame_ || !frame_->ProcessDialog()) return;
        if (!button) {
            button = frame_->ProcessDialog()->findChild<QPushButton*>();
            if (button) button->hide();
        }
        frame_->ShowProgress("Preparing the stored results for faster downloads... " +
                             std::to_string(percent) + " %");
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    };
    storeProblem_ = database_.InitResultDatabase(paths_.HomeDir);
    database_.OnIndexProgress = nullptr;
    if (button) {
        button->show();
        frame_->HideProgress();
    }
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
