// The all-data list: every stored result newest first, narrowed by a period,
// a date range and patient or operator ID; a double click deletes a result,
// the right-click menu views or edits one. Its export, print and settings
// buttons run actions that whoever builds the view supplies.
#pragma once

#include <QDate>
#include <QSettings>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <unordered_set>

#include "core/settings.h"
#include "store/result_database.h"
#include "store/result_list_reader.h"
#include "views/download_sources.h"
#include "views/frame_view.h"
#include "views/list_ctrl_ext.h"
#include "views/record_dialogs.h"

class QComboBox;
class QDateEdit;
class QMenu;
class QPushButton;

namespace tav {

class ListViewPrompts;

namespace alid {
inline constexpr int kView = 133;
inline constexpr int kList = 1001;
inline constexpr int kPeriod = 1059;
inline constexpr int kPid = 1058;
inline constexpr int kOpid = 1061;
inline constexpr int kStart = 1200;
inline constexpr int kEnd = 1201;
inline constexpr int kSearch = 1060;
inline constexpr int kHome = 1006;
inline constexpr int kDownload = 1011;
inline constexpr int kAllData = 1014;
inline constexpr int kGraph = 1013;
inline constexpr int kAutomatic = 1012;
inline constexpr int kExport = 1007;
inline constexpr int kPrint = 1167;
inline constexpr int kSettings = 1015;
inline constexpr int kRecordMenu = 120;
inline constexpr int kModifyCommand = 32795;
inline constexpr int kDetailCommand = 32771;
}  // namespace alid

inline constexpr const char* kAllIdsItem = "ALL Data";
inline constexpr const char* kSearchOrderText =
    "The starting date & ending date set-up is wrong. \r\nPlease set up the date again.";
inline constexpr const char* kSearchSpanText =
    "365 data can be searched in maximum. \r\nPlease set up the date again.";
inline constexpr const char* kAskDeleteText = "Do you want to delete the selected data?";
inline constexpr const char* kAskAutomaticModeText = "Do you want to switch to automatic mode?";

class CHbA1c720AllDataListView : public FrameView {
    Q_OBJECT
  public:
    // `searchActive` is the application's SearchActive flag, shared with the
    // graph view: 1 while a list shows a period or search result.
    CHbA1c720AllDataListView(ViewHost& host, ResultDatabase& database, const AppSettings& settings,
                             ListViewPrompts& prompts, QSettings& profile,
                             std::atomic<int>& searchActive, QWidget* parent = nullptr);
    // Keeps the list's column layout in the profile.
    ~CHbA1c720AllDataListView() override;

    // Sets up the columns once and restores their saved layout.
    void OnInitialUpdate() override;
    // Shows every result with the period "ALL" and the default date range.
    void OnActivateView() override;
    void OnRefresh() override { OnActivateView(); }

    // Rebuilds list, rows and ID combos from the main table. The first rows
    // are listed at once, the rest in slices while the window stays usable.
    void FillResultList();
    bool FillRunning() const { return reader_ != nullptr; }
    // Lists the rows still to come now.
    void FinishFill();
    void SetDefaultRange();
    void ApplyPeriod();
    void SearchResults();

    // Double click on display row `row`.
    void DeleteResult(int row);
    // Right click on display row `row`: copies it into SelectedRecord.
    void SelectRecord(int row);
    // Menu 120: "Modify Data" and "Detail view of the data"; null while the list is empty.
    QMenu* CreateRecordMenu(QWidget* parent);
    void ViewResult();
    void ModifyResult();

    // The export, print and settings buttons stay disabled until their action is set.
    void SetExportAction(std::function<void()> action);
    void SetPrintAction(std::function<void()> action);
    void SetSettingsAction(std::function<void()> action);

    CListCtrlExt& List() { return *list_; }
    // ResultRows: entry i belongs to the list row numbered i + 1 (its "No."),
    // whatever order a header click has put the rows in.
    const ResultRowArray& ResultRows() const { return rows_; }
    // The ResultRows index of display row `row`; -1 outside the list.
    int RowIndex(int row) const;

    bool KeepSearch() const { return keepSearch_; }
    const std::string& NewestDate() const { return newestDate_; }
    const RecordSlot& SelectedRecord() const { return selected_; }
    const RecordSlot& EditRecord() const { return edit_; }
    // Today's date for the default range and an empty list; the system's date by default.
    void SetToday(std::function<QDate()> today) { today_ = std::move(today); }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    struct IdCombo {
        QComboBox* combo = nullptr;
        std::set<std::string> keys;            // folded item texts, for the prefix test
        std::unordered_set<std::string> seen;  // every id noted since the reset
        QStringList pending;                   // items found by the current slice
        void Reset();
        void Note(std::string_view id);
        void Flush();
    };

    void ReadRows(size_t limit);
    void ContinueFill(unsigned generation);
    void StopFill();
    void OnAutomatic();
    void SetAction(int id, std::function<void()>& slot, std::function<void()> action);

    ViewHost& host_;
    ResultDatabase& database_;
    const AppSettings& settings_;
    // Orders cells whose leading numbers tie by their whole date, time or result.
    SettingsCellFormatter sortKeys_{settings_};
    ListViewPrompts& prompts_;
    std::atomic<int>& searchActive_;
    CListCtrlExt* list_ = nullptr;
    QComboBox* period_ = nullptr;
    IdCombo pids_;
    IdCombo opids_;
    QDateEdit* start_ = nullptr;
    QDateEdit* end_ = nullptr;

    ResultRowArray rows_;
    std::unique_ptr<ResultListReader> reader_;
    unsigned fillGeneration_ = 0;
    bool keepSearch_ = false;
    std::string newestDate_;
    RecordSlot selected_;
    RecordSlot edit_;
    std::function<QDate()> today_;
    std::function<void()> exportAction_, printAction_, settingsAction_;
};

}  // namespace tav
