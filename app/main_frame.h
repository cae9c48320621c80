// The main window: a skinned frame around a fixed 1024 x 768 client area with
// a seven-pane status bar and five views (the initial blank view, home,
// download, all-data list, graph), of which one shows at a time. It hosts the
// download controller: its commands, timers, message boxes, progress dialogs
// and the port-select dialog all go through here.
#pragma once

#include <QSettings>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "app/frame_interfaces.h"
#include "app/message_presenter.h"
#include "app/port_select_dialog.h"
#include "app/qt_handoff.h"
#include "controls/skinned_frame.h"
#include "link/link_channel.h"
#include "link/link_state.h"
#include "platform/clock.h"
#include "protocol/controller_host.h"
#include "views/csv_export.h"
#include "views/download_source.h"
#include "views/frame_view.h"

class QLabel;
class QTimer;
class QGridLayout;

namespace tav {

class CHbA1c720MainView;
class CHbA1c720DownLoadView;
class CProcessDlg;
class CCheckingDlg;

// The application-wide objects the window works with; all outlive it.
struct FrameContext {
    LinkState& Link;
    Clock& Time;
    // The hand-off the serial watcher and the link worker use to reach this window.
    QtHandoff& WindowHandoff;
    FrameServices& Services;
    // The application profile (column layouts of the lists).
    QSettings& Profile;
    ResultRowSource& DownloadRows;
    const ResultCellFormatter& Formatter;
    PortSelectSource& Ports;
    // The CSV export of both lists.
    CsvExporter& Export;
};

// Status-bar panes and the texts they start with.
inline constexpr int kStatusPaneCount = 7;
inline constexpr const char* kPane13Underscores = "_____________";
inline constexpr const char* kPane20Underscores = "____________________";
inline constexpr const char* kPane19Hyphens = "-------------------";

// View table indexes and the control ids views carry.
namespace viewix {
inline constexpr int kInitial = 0;
inline constexpr int kHome = 1;
inline constexpr int kDownload = 2;
inline constexpr int kAllData = 3;
inline constexpr int kGraph = 4;
}  // namespace viewix
inline constexpr int kPaneFirstId = 0xE900;

class CMainFrame : public VOvoziRurud, public ControllerHost, public LinkChannel, public ViewHost {
    Q_OBJECT
  public:
    // Builds a view for table index 3 or 4 (the list and graph views).
    using ViewFactory = std::function<FrameView*(ViewHost& host, QWidget* parent)>;

    explicit CMainFrame(const FrameContext& context, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // The controller that handles commands and timer ticks; null ignores them.
    void SetController(FrameController* controller) { controller_ = controller; }
    // Replaces the message boxes (tests answer them from a script); null
    // restores the real boxes.
    void SetMessagePresenter(MessagePresenter* presenter) { presenter_ = presenter; }
    MessagePresenter& Presenter();
    // Before DeferredInit: how to build the list (3) or graph (4) view.
    void SetViewFactory(int index, ViewFactory factory);

    // Runs once after the window has been shown: opens the store, creates the
    // views and the two progress dialogs, loads the settings, shows home.
    void DeferredInit();
    bool Initialised() const { return initialised_; }

    // The close command's shutdown steps (run once; closing the window runs them).
    void RunCloseCommand();

    FrameView* View(int index) const;
    int ActiveViewIndex() const { return active_; }
    int LastActiveViewIndex() const { return lastActive_; }
    CHbA1c720MainView* HomeView() const;
    CHbA1c720DownLoadView* DownloadView() const;
    CProcessDlg* ProcessDialog() const { return process_; }
    CCheckingDlg* CheckingDialog() const { return checking_; }
    PortSelectDialog* PortSelect() const { return portSelect_; }
    CsvExporter& Exporter() { return exporter_; }

    QLabel* StatusPane(int pane) const;
    QString StatusPaneText(int pane) const;

    bool TimerRunning(int id) const;
    int TimerInterval(int id) const;
    // What a timer's tick does: hands it to the controller.
    void OnTimerTick(int id);

    // ControllerHost (window thread).
    bool AskYesNo(const std::string& text) override;
    void HideProgress() override;
    void SetProgressButtonText(const std::string& text) override;
    bool ProgressVisible() const override;
    void ShowNewResults(int count) override;
    void ShowChecking(const std::string& text) override;
    void HideChecking() override;
    bool CheckingVisible() const;
    void StartTimer(int id, int intervalMs) override;
    void KillTimer(int id) override;
    void ShowView(int view) override;
    int CurrentView() const override;
    void RefreshDownloadView() override;
    // Shows view `view` (0 home .. 3 graph) again from its data.
    void RefreshView(int view);
    void ClearDownloadList() override;
    void SetStatusPane(int pane, const std::string& text) override;
    bool RunPortSelect(std::string& selectedLabel) override;
    bool PortSelectOpen() const override { return portSelect_ != nullptr; }
    void RefreshPortSelect() override;
    void SignalWorker(int event) override;

    // LinkChannel and ControllerHost: callable from any thread; they run on
    // the window thread and return once done.
    void SendLinkCommand(int code) override;
    void ShowMessage(const std::string& text) override;
    void ShowProgress(const std::string& text) override;
    void ShowProgressCount(int done, int total) override;

    // ViewHost.
    LinkState& Link() override { return link_; }
    void PauseMs(int ms) override { clock_.SleepMs(ms); }

  signals:
    // The port-select dialog is about to run modally (tests and the
    // screenshot tool answer it from here).
    void PortSelectOpened(PortSelectDialog* dialog);

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void CreateStatusBar();
    void DispatchLinkCommand(int code);
    void SwitchCommand(int to);
    void SwitchView(int from, int to);
    void AddView(int index, FrameView* view);

    LinkState& link_;
    Clock& clock_;
    QtHandoff& handoff_;
    FrameServices& services_;
    QSettings& profile_;
    ResultRowSource& downloadRows_;
    const ResultCellFormatter& formatter_;
    PortSelectSource& ports_;
    CsvExporter& exporter_;

    FrameController* controller_ = nullptr;
    MessagePresenter* presenter_ = nullptr;
    QtMessagePresenter realPresenter_;
    std::map<int, ViewFactory> factories_;

    QWidget* container_ = nullptr;
    QGridLayout* stack_ = nullptr;
    std::array<FrameView*, 5> views_{};
    int active_ = viewix::kInitial;
    int lastActive_ = viewix::kInitial;
    std::array<QLabel*, kStatusPaneCount> panes_{};
    std::map<int, QTimer*> timers_;
    CProcessDlg* process_ = nullptr;
    CCheckingDlg* checking_ = nullptr;
    PortSelectDialog* portSelect_ = nullptr;
    bool initialised_ = false;
    bool closed_ = false;
};

}  // namespace tav
