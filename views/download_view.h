// The download view: starts manual downloads, switches between manual and
// automatic mode and lists the results the last download brought.
#pragma once

#include <QSettings>

#include "views/csv_export.h"
#include "views/download_source.h"
#include "views/frame_view.h"
#include "views/list_ctrl_ext.h"

namespace tav {

namespace dlid {
inline constexpr int kList = 1000;
inline constexpr int kHome = 1019;
inline constexpr int kDownload = 1020;
inline constexpr int kMode = 1021;
inline constexpr int kGraph = 1022;
inline constexpr int kAllData = 1023;
inline constexpr int kExport = 1007;
}  // namespace dlid

inline constexpr const char* kDownloadCompletedText =
    "Receiving data - Completed \r\n(Close this message box)";
inline constexpr const char* kAskManualText = "Do you want to change in Manual-mode?";
inline constexpr const char* kAskAutomaticText = "Do you want to switch to automatic mode?";

class CHbA1c720DownLoadView : public FrameView {
    Q_OBJECT
  public:
    CHbA1c720DownLoadView(ViewHost& host, ResultRowSource& rows,
                          const ResultCellFormatter& formatter, QSettings& profile,
                          CsvExporter& exporter, QWidget* parent = nullptr);
    // Keeps the list's column layout in the profile.
    ~CHbA1c720DownLoadView() override;

    // Sets up the list's columns and restores their saved layout.
    void OnInitialUpdate() override;
    // Empties the list; in manual mode starts a port scan, in automatic mode
    // carries on with automatic mode.
    void OnActivateView() override;
    void OnRefresh() override { FillDownloadList(); }

    // Lists the staging table (appending in automatic mode) and shows the
    // completion text in the progress dialog.
    void FillDownloadList();
    // Leaving is allowed only in manual mode with no download running and the
    // progress dialog hidden.
    bool CanLeaveDownload() const;
    // Widens the columns whose texts do not fit.
    void WidenCutColumns();
    // Empties the list when it holds rows.
    void ClearList();

    CListCtrlExt& List() { return *list_; }

  private:
    void OnHome();
    void OnNewDownload();
    void OnOtherView(int command);
    void OnModeButton();
    // Button 1007: the CSV export; nothing at all in automatic mode.
    void OnExport();

    ViewHost& host_;
    ResultRowSource& rows_;
    const ResultCellFormatter& formatter_;
    CsvExporter& exporter_;
    CListCtrlExt* list_;
};

}  // namespace tav
