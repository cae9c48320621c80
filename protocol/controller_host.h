// What the download controller needs of the window it runs in. The main
// window implements it; controller tests implement a scripted one. Every call
// is made on the window thread.
#pragma once

#include <string>
#include <vector>

namespace tav {

class ControllerHost {
  public:
    enum class Answer { Ok, Yes, No };
    virtual ~ControllerHost() = default;

    // Message boxes, caption "TAVRINA1c Expert". A Yes/No question comes to the
    // front and stays on top.
    virtual void ShowMessage(const std::string& text) = 0;
    virtual bool AskYesNo(const std::string& text) = 0;

    // The progress dialog: set its text (only a changed text repaints) and
    // show it if hidden; hide it; change its button caption.
    virtual void ShowProgress(const std::string& text) = 0;
    virtual void HideProgress() = 0;
    virtual void SetProgressButtonText(const std::string& text) = 0;
    virtual bool ProgressVisible() const = 0;
    // The progress dialog's bar beside its text: `done` of `total` results
    // ("n of N"); a total below 1 hides the bar.
    virtual void ShowProgressCount(int /*done*/, int /*total*/) {}
    // The line under the bar: how many new results the finished download
    // stored; a count below 0 hides the line.
    virtual void ShowNewResults(int /*count*/) {}
    // The checking dialog ("Automatic mode was terminated.").
    virtual void ShowChecking(const std::string& text) = 0;
    virtual void HideChecking() = 0;
    virtual bool CheckingVisible() const = 0;

    // Timers 3, 5 and 10: each tick calls DownloadController::OnTimer(id).
    virtual void StartTimer(int id, int intervalMs) = 0;
    virtual void KillTimer(int id) = 0;

    // Views: 0 home, 1 download, 2 all-data list, 3 graph.
    virtual void ShowView(int view) = 0;
    virtual int CurrentView() const = 0;
    // Redisplays the download view from the staging table (as command 12).
    virtual void RefreshDownloadView() = 0;
    // Redisplays view `view` from its data (the settings changed).
    virtual void RefreshView(int view) {
        if (view == 1) RefreshDownloadView();
    }
    // Empties the download view's list when it holds rows.
    virtual void ClearDownloadList() = 0;
    // Status-bar panes 1 to 6.
    virtual void SetStatusPane(int pane, const std::string& text) = 0;

    // The modal port-select dialog. Returns false on Cancel; on OK the dialog
    // has set the port device name and line settings and gives the label the
    // user confirmed (for "<label> is connected.").
    virtual bool RunPortSelect(std::string& selectedLabel) = 0;
    // True while the port-select dialog is open; RefreshPortSelect refills it.
    virtual bool PortSelectOpen() const = 0;
    virtual void RefreshPortSelect() = 0;

    // Wakes the link worker: 1 EvDecode, 2 EvScanAll, 3 EvScanAnalyzer.
    virtual void SignalWorker(int event) = 0;
};

}  // namespace tav
