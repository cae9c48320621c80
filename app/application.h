// The application object: owns every application-wide object (clock, paths,
// settings, result database, serial port, port lists, link worker, download
// controller) and hands them to the main window it creates.
#pragma once

#include <QSettings>
#include <atomic>
#include <memory>
#include <optional>

#include "app/frame_interfaces.h"
#include "app/port_select_dialog.h"
#include "app/qt_handoff.h"
#include "core/settings.h"
#include "core/startup.h"
#include "link/link_channel.h"
#include "link/link_state.h"
#include "link/port_scan.h"
#include "link/serial_port.h"
#include "platform/clock.h"
#include "protocol/analyzer_ports.h"
#include "protocol/download_controller.h"
#include "protocol/link_worker.h"
#include "store/result_database.h"
#include "views/csv_export.h"
#include "views/download_sources.h"

namespace tav {

class CMainFrame;
class FrameListPrompts;
class MessagePresenter;

// How the application starts; the program uses the defaults.
struct ApplicationOptions {
    // The home folder; empty: the default ($TAVRINA1C_HOME when set).
    std::string HomeDir;
    // Answers the window's message boxes; null: real boxes.
    MessagePresenter* Presenter = nullptr;
    // An INI file for the application profile; empty: the user's profile.
    QString ProfileFile;
    // Replace the CSV export's save dialog and file launcher; null: the real ones.
    SaveFileChooser* SaveChooser = nullptr;
    FileLauncher* Launcher = nullptr;
};

class Application final : public FrameServices, public FrameController {
  public:
    Application();
    explicit Application(ApplicationOptions options);
    ~Application() override;
    // Prepares the folders, shows the main window and runs its deferred
    // initialisation. False when the program must end: the results could
    // not be opened (the user has been told which file and why).
    bool Start();
    // Closes the window if it is still open, destroys it and stops the
    // worker (the destructor does this too); the objects stay inspectable.
    void Shutdown();

    const AppPaths& Paths() const { return paths_; }
    CMainFrame* Frame() const { return frame_.get(); }
    ResultDatabase& Database() { return database_; }
    LinkState& Link() { return link_; }
    SerialPort& Serial() { return serial_; }
    const LinkWorker* Worker() const { return worker_.get(); }
    AppSettings& Settings() { return settings_; }
    // The CSV export of both lists (exists once Start has run).
    CsvExporter* Exporter() { return exporter_.get(); }
    // Opens the settings dialog modally over `parent` (button 1015 of the
    // list view); true when the user saved.
    bool OpenSettingsDialog(QWidget* parent);
    const AppSettings& Settings() const { return settings_; }

    // 1 while the list or the graph view shows a filtered result; both views
    // set and clear it.
    std::atomic<int> SearchActive{0};

    // FrameServices
    void OpenStore() override;
    void LoadSettings() override;
    bool OpenSettings(QWidget* parent) override { return OpenSettingsDialog(parent); }
    void CloseStore() override;
    void ClosePort() override;
    void SignalWorker(int event) override;
    void StopWorker() override;

    // FrameController
    void OnLinkCommand(int code) override;
    void OnTimer(int id) override;

  private:
    // The scans report before the window exists; this forwards to it.
    class FrameChannel final : public LinkChannel {
      public:
        void SendLinkCommand(int code) override;
        void ShowMessage(const std::string& text) override;
        void ShowProgress(const std::string& text) override;
        void ShowProgressCount(int done, int total) override;
        LinkChannel* target = nullptr;
    };

    void Decode();

    ApplicationOptions options_;
    SystemClock clock_;
    AppPaths paths_;
    AppSettings settings_;
    ResultDatabase database_{clock_};
    LinkState link_;
    QtHandoff handoff_;
    SerialPort serial_{clock_, handoff_, link_.LinkRunning};
    PortLists ports_;
    FrameChannel channel_;
    std::unique_ptr<PortScanner> scanner_;
    ScannedAnalyzerPorts analyzerPorts_{ports_};
    StagingRowSource downloadRows_{database_};
    SettingsCellFormatter formatter_{settings_};
    std::unique_ptr<ScanPortSelectSource> portSource_;
    std::unique_ptr<QSettings> profile_;
    std::unique_ptr<CsvExporter> exporter_;
    std::unique_ptr<DownloadController> controller_;
    std::unique_ptr<LinkWorker> worker_;
    std::unique_ptr<CMainFrame> frame_;
    std::optional<StoreProblem> storeProblem_;
    std::unique_ptr<FrameListPrompts> listPrompts_;
    bool workerStopped_ = false;
    // Results the last download stored: what command 500 reports as new.
    std::atomic<int> lastStored_{0};
};

}  // namespace tav
