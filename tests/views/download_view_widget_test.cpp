#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <memory>
#include <tuple>

#include "app/message_presenter.h"
#include "core/result_format.h"
#include "tests/support/export_fakes.h"
#include "tests/support/logging_view_host.h"
#include "tests/support/sql_rows.h"
#include "tests/support/temp_dir.h"
#include "tests/views/list_texts.h"
#include "views/download_sources.h"
#include "views/download_view.h"
#include "views/settings_dlg.h"

namespace tav {
namespace {

using test::Texts;

// The view's host, with a row source and formatter that mark each cell with the
// rule that made it.
struct FakeHost : test::LoggingViewHost, ResultRowSource, ResultCellFormatter {
    bool VisitRows(const std::function<bool(const ResultRowTexts&)>& visit) override {
        for (const ResultRowTexts& row : rows)
            if (!visit(row)) break;
        return true;
    }
    std::string Result(const std::string& v) const override { return "R" + v; }
    std::string ListDate(const std::string& d, const std::string& t) const override {
        return "D" + d + "/" + t;
    }
    std::string ListTime(const std::string& d, const std::string& t) const override {
        return "T" + t + "/" + d;
    }

    std::vector<ResultRowTexts> rows;
};

ResultRowTexts Row(const std::string& pid) {
    return {"20240315", "2105", "0" + pid, pid, "op" + pid, "eq" + pid, "name"};
}

class DownloadViewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        host_.link.DownloadState = -1;
        view_ = MakeView();
    }

    std::unique_ptr<CHbA1c720DownLoadView> MakeView() {
        auto view = std::make_unique<CHbA1c720DownLoadView>(host_, *source_, *formatter_, profile_,
                                                            exporter_);
        view->OnInitialUpdate();
        return view;
    }

    template <typename W = QAbstractButton>
    static W* Control(QWidget* parent, int id) {
        auto* w = qobject_cast<W*>(FindControl(parent, id));
        EXPECT_NE(w, nullptr) << id;
        return w;
    }
    void Click(int id) { Control(view_.get(), id)->click(); }

    Texts Cells(int row) { return test::RowTexts(view_->List(), row); }

    test::TempDir out_;
    QSettings profile_{QString::fromStdString(out_.File("profile.ini")), QSettings::IniFormat};
    FakeHost host_;
    ResultRowSource* source_ = &host_;
    const ResultCellFormatter* formatter_ = &host_;
    ScriptedMessagePresenter boxes_;
    test::FakeSaveChooser chooser_;
    test::FakeLauncher launcher_;
    CsvExporter exporter_{"/home", out_.path(), [this]() -> MessagePresenter& { return boxes_; },
                          &chooser_, &launcher_};
    std::unique_ptr<CHbA1c720DownLoadView> view_;
};

TEST_F(DownloadViewTest, ManualFillShowsEveryIdByteWideningCutColumnsWhoseLayoutIsKept) {
    const std::string id = "81244447654321";
    host_.rows = {Row(id), Row("2"), Row("3")};
    host_.rows[2][rescol::kPid] = "AB\351";                // not UTF-8
    host_.rows[2][rescol::kOpid] = "OP\033\342\200\2561";  // escape, right-to-left override
    std::vector<int> before;
    for (int c = 0; c < 7; ++c) before.push_back(view_->List().ColumnWidth(c));
    test::AppendTexts(view_->List(), {{"9", "old"}});
    view_->FillDownloadList();
    ASSERT_EQ(view_->List().RowCount(), 3);
    EXPECT_EQ(Cells(0), (Texts{"1", "D20240315/2105", "T2105/20240315", "R0" + id, id, "op" + id,
                               "eq" + id}));
    // Ids show every stored byte and no control character.
    EXPECT_EQ(Cells(2), (Texts{"3", "D20240315/2105", "T2105/20240315", "R03", "ABé",
                               "OP⟨1B⟩⟨202E⟩1", "eq3"}));
    EXPECT_EQ(view_->List().currentIndex().row(), 0);
    EXPECT_TRUE(host_.progressVisible);
    EXPECT_EQ(host_.progressText, "Receiving data - Completed \r\n(Close this message box)");
    const QFontMetrics metrics(view_->List().font());
    for (int c = 0; c < 7; ++c) {  // widened where cut, never narrowed
        EXPECT_GE(view_->List().ColumnWidth(c), before[c]) << c;
        EXPECT_GT(view_->List().ColumnWidth(c),
                  metrics.horizontalAdvance(view_->List().CellText(0, c)))
            << c;
    }
    // The layout is saved when the view goes and restored with the next one.
    EXPECT_FALSE(view_->List().SetColumnVisible(0, false)) << "No. is fixed";
    view_->List().SetColumnVisible(5, false);
    view_.reset();
    view_ = MakeView();
    EXPECT_FALSE(view_->List().IsColumnVisible(5));
    EXPECT_EQ(view_->List().ColumnOrder().back(), 5);
}

TEST_F(DownloadViewTest, NavigationButtonsActOnlyWhenTheViewMayBeLeft) {
    // The case, AutoMode, DownloadState, the progress dialog showing, the button and the log.
    const std::tuple<const char*, int, int, bool, int, Texts> cases[] = {
        {"home when idle", 0, -1, false, dlid::kHome, {"cmd 1"}},
        {"list when idle", 0, -1, false, dlid::kAllData, {"cmd 3"}},
        {"graph when idle", 0, -1, false, dlid::kGraph, {"cmd 4"}},
        {"new download when idle", 0, -1, false, dlid::kDownload, {"cmd 2"}},
        {"home during a manual download", 0, 2, false, dlid::kHome, {}},
        {"home while the progress dialog shows", 0, -1, true, dlid::kHome, {}},
        {"list in automatic mode", 1, -1, false, dlid::kAllData, {}},
        {"new download in automatic mode", 1, -1, false, dlid::kDownload, {}},
    };
    for (const auto& [name, autoMode, downloadState, progress, button, log] : cases) {
        host_.log.clear();
        host_.link.AutoMode = autoMode;
        host_.link.DownloadState = downloadState;
        host_.progressVisible = progress;
        Click(button);
        EXPECT_EQ(host_.log, log) << name;
    }
}

TEST_F(DownloadViewTest, ModeButtonSwitchesBothWaysAndAutomaticFillsAppend) {
    host_.rows = {Row("1")};
    view_->FillDownloadList();  // leaves the progress dialog showing
    Click(dlid::kMode);         // answered No
    EXPECT_EQ(host_.link.AutoMode, 0);
    EXPECT_EQ(view_->List().RowCount(), 1);

    host_.log.clear();
    host_.answer = true;
    Click(dlid::kMode);
    EXPECT_EQ(host_.log,
              (Texts{"ask Do you want to switch to automatic mode?", "hide progress", "cmd 30"}));
    EXPECT_EQ(host_.link.AutoMode, 1);
    EXPECT_EQ(view_->List().RowCount(), 0);
    for (const char* pid : {"1", "2"}) {
        host_.rows = {Row(pid)};
        view_->FillDownloadList();
    }
    ASSERT_EQ(view_->List().RowCount(), 2);
    EXPECT_EQ((Texts{Cells(0)[4], Cells(1)[0], Cells(1)[4]}), (Texts{"1", "2", "2"}));
    host_.log.clear();
    view_->OnActivateView();  // continues automatic mode
    EXPECT_EQ(view_->List().RowCount(), 0);
    EXPECT_EQ(host_.log, Texts{"cmd 30"});

    host_.log.clear();
    host_.link.AutoStep = 27;
    Click(dlid::kMode);
    EXPECT_TRUE(host_.log.empty()) << "no question while a transfer runs";
    host_.link.AutoStep = 25;
    Click(dlid::kMode);
    EXPECT_EQ(host_.log, (Texts{"ask Do you want to change in Manual-mode?", "hide progress",
                                "cmd 37", "pause 50", "cmd 50"}));
    EXPECT_EQ(host_.link.AutoMode, 0);
    EXPECT_EQ(host_.link.DownloadState, 0);
    host_.log.clear();
    view_->OnActivateView();  // rescans in manual mode
    EXPECT_EQ(host_.log, Texts{"signal 2"});
}

TEST_F(DownloadViewTest, ExportAsksItsQuestionAndReturnsToTheDataFolderButNotInAutomaticMode) {
    host_.rows = {Row("65")};
    view_->FillDownloadList();
    chooser_.answer = QString::fromStdString(out_.File("download.csv"));
    boxes_.SetDefaultAnswer(true);
    host_.link.AutoMode = 1;  // not even a message
    Click(dlid::kExport);
    EXPECT_TRUE(boxes_.Texts().empty());
    host_.link.AutoMode = 0;
    Click(dlid::kExport);
    EXPECT_EQ(boxes_.Texts(), std::vector<QString>{"Do you want to expert selected data?"});
    EXPECT_EQ(test::ReadWholeFile(out_.File("download.csv")),
              "No,Date,Time,Result,PID,OPID,Note\n"
              "1,D20240315/2105,T2105/20240315,R065,65,op65,eq65,\n");
    EXPECT_EQ(exporter_.NextFolder().toStdString(), out_.path());
}

TEST_F(DownloadViewTest, StagingSourceListsEveryRowNewestFirst) {
    VirtualClock clock;
    ResultDatabase database(clock);
    database.InitResultDatabase(out_.path());
    ResultTable& staging = database.DownloadTable;
    test::SqlRows(staging.Handle(), "INSERT INTO [" + staging.GetTableName() +
                                        "] (DATE, TIME, HbA1c_VALUE, PID, OPID, EQ_TYPE) VALUES "
                                        "('20240314', '2105', '065', 'P1', '', 'ok'), "
                                        "('20240315', '2105', '065', 'P2', '', 'ok')");
    staging.filter = "[PID] = 'P1'";
    StagingRowSource source(database);
    source_ = &source;
    view_ = MakeView();
    view_->FillDownloadList();
    ASSERT_EQ(view_->List().RowCount(), 2) << "the fill drops any filter left on the table";
    EXPECT_EQ(Cells(0), (Texts{"1", "D20240315/2105", "T2105/20240315", "R065", "P2", "", "ok"}));
    EXPECT_EQ(view_->List().CellText(1, 4), "P1");

    database.DatabaseReady = 0;  // without the database the list stays empty, the text shows
    host_.progressText.clear();
    view_->FillDownloadList();
    EXPECT_EQ(view_->List().RowCount(), 0);
    EXPECT_EQ(host_.progressText, kDownloadCompletedText);
    view_.reset();
}

// The settings dialog over the download view, both on the program's settings
// and the user's real cell rules.
class SettingsDialogTest : public DownloadViewTest {
  protected:
    void SetUp() override {
        LoadSettings(settings_, home_.path());  // the defaults: %, yyyy-mm-dd, 24 hours
        formatter_ = &cells_;
        DownloadViewTest::SetUp();
        host_.rows = {Row("65")};
        host_.onCommand = [this](int code) {
            if (code == cmd::kRefreshView) view_->OnRefresh();
        };
        view_->FillDownloadList();
    }
    void TearDown() override { view_.reset(); }

    // Writes a settings file, opens the dialog on it as the program would.
    std::unique_ptr<CSettingsDlg> Open(const std::string& file = {}) {
        if (!file.empty()) {
            test::WriteWholeFile(SettingsFilePath(home_.path()), file);
            LoadSettings(settings_, home_.path());
        }
        return std::make_unique<CSettingsDlg>(settings_, home_.path(), host_);
    }
    std::vector<int> Checked(QWidget* dialog) {
        std::vector<int> ids;
        for (int id : {setid::kPercent, setid::kMmol, setid::kYmd, setid::kMdy, setid::kDmy,
                       setid::k12Hours, setid::k24Hours})
            if (Control<QRadioButton>(dialog, id)->isChecked()) ids.push_back(id);
        return ids;
    }
    AppSettings Stored() {
        AppSettings stored;
        LoadSettings(stored, home_.path());
        return stored;
    }

    test::TempDir home_;
    AppSettings settings_;
    SettingsCellFormatter cells_{settings_};
};

TEST_F(SettingsDialogTest, CloseChangesNothingSavedChoicesShowInTheCellsAndFileValuesAsRead) {
    auto closed = Open();
    const std::string before = test::ReadWholeFile(SettingsFilePath(home_.path()));
    Control<QRadioButton>(closed.get(), setid::kMmol)->click();
    Control(closed.get(), setid::kClose)->click();
    EXPECT_EQ(closed->result(), QDialog::Rejected);
    EXPECT_EQ(settings_.unit, 0);
    EXPECT_EQ(test::ReadWholeFile(SettingsFilePath(home_.path())), before);
    EXPECT_EQ(view_->List().CellText(0, 3), "6.5 %");
    EXPECT_TRUE(host_.log.empty());

    auto dialog = Open();
    EXPECT_EQ(Checked(dialog.get()),
              (std::vector<int>{setid::kPercent, setid::kYmd, setid::k24Hours}));
    for (int id : {setid::kMmol, setid::kDmy, setid::k12Hours})
        Control<QRadioButton>(dialog.get(), id)->click();
    Control(dialog.get(), setid::kSave)->click();
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(Cells(0),
              (Texts{"1", "15-03-2024", "09:05 PM", "48 mmol/mol", "65", "op65", "eq65"}));
    const AppSettings stored = Stored();
    EXPECT_EQ(std::vector<int>({stored.unit, stored.Date, stored.time}),
              (std::vector<int>{1, 2, 0}));
    EXPECT_EQ(Control<QLabel>(dialog.get(), setid::kHighUnit)->text(), "mmol/mol");

    // unit, Date and time missing from the file read as -1.
    dialog = Open("[SETTING VALUE]\r\nhigh=2.4\r\nlow=5.0\r\nName=Dr \xE9\r\n");
    EXPECT_TRUE(Checked(dialog.get()).empty());
    EXPECT_EQ(Control<QLineEdit>(dialog.get(), setid::kHigh)->text(), "2.4");
    EXPECT_EQ(Control<QLineEdit>(dialog.get(), setid::kName)->text(), "Dr \uFFFD");
    dialog->OnSave();
    const AppSettings s = Stored();  // "%" was not checked; a hidden text keeps its bytes
    EXPECT_EQ(std::tuple(s.unit, s.Date, s.time, s.high, s.low, s.Name, s.Hospital),
              std::tuple(1, 2, 1, 2.4f, 5.0f, std::string("Dr \xE9"), std::string("-1")));

    // Limits show in the unit the dialog opened in and come back in percent.
    dialog = Open("[SETTING VALUE]\r\nunit=1\r\nDate=0\r\ntime=1\r\nhigh=2.4\r\nlow=6.5\r\n");
    EXPECT_EQ(Control<QLineEdit>(dialog.get(), setid::kHigh)->text(), "2.7");
    EXPECT_EQ(Control<QLineEdit>(dialog.get(), setid::kLow)->text(), "47.5");
    EXPECT_FALSE(Control<QWidget>(dialog.get(), setid::kHigh)->isVisibleTo(dialog.get()));
    EXPECT_FALSE(Control<QWidget>(dialog.get(), setid::kPhysicianGroup)->isVisibleTo(dialog.get()));
    Control<QRadioButton>(dialog.get(), setid::kPercent)->click();  // the edits stay mmol/mol
    dialog->OnSave();
    const AppSettings limits = Stored();
    EXPECT_EQ(std::tuple(limits.high, limits.low, limits.unit), std::tuple(2.4f, 6.5f, 0));
}

}  // namespace
}  // namespace tav
