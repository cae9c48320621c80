// The real window with the application's wiring, against analyzer-sim on a
// pseudo-terminal: a manual download, an automatic-mode measurement and
// closing the window while the link is busy.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <QtCharts/QScatterSeries>
#include <functional>
#include <memory>

#include "app/application.h"
#include "app/checking_dlg.h"
#include "app/main_frame.h"
#include "app/message_presenter.h"
#include "app/process_dlg.h"
#include "platform/paths.h"
#include "reports/graph_view.h"
#include "tests/support/export_fakes.h"
#include "tests/support/sim_process.h"
#include "tests/support/sql_rows.h"
#include "tests/support/temp_dir.h"
#include "views/all_data_list_view.h"
#include "views/download_view.h"

namespace tav {
namespace {

template <typename W>
W* FindById(QWidget* root, int id) {
    for (W* w : root->findChildren<W*>())
        if (w->property("controlId").toInt() == id) return w;
    return nullptr;
}

// Runs the test inside its own folder, where the program makes its DATA folder.
class WorkingDir {
  public:
    explicit WorkingDir(const std::string& dir) {
        char buf[4096];
        if (getcwd(buf, sizeof buf)) old_ = buf;
        EXPECT_EQ(chdir(dir.c_str()), 0);
    }
    ~WorkingDir() { (void)!chdir(old_.c_str()); }

  private:
    std::string old_;
};

// Accepts the port-select dialog with `port` typed in, noting what it preselected.
void AnswerPortSelect(CMainFrame& frame, const QString& port, QString* preselected) {
    QObject::connect(&frame, &CMainFrame::PortSelectOpened, &frame,
                     [port, preselected](PortSelectDialog* dialog) {
                         QTimer::singleShot(0, dialog, [dialog, port, preselected] {
                             *preselected = dialog->PortList()->currentText();
                             dialog->PortList()->setEditText(port);
                             dialog->accept();
                         });
                     });
}

void StartDownloadFromHome(CMainFrame& frame) {
    auto* download = FindById<QAbstractButton>(frame.View(viewix::kHome), 1000);
    ASSERT_NE(download, nullptr);
    download->click();
}

// A home folder with a simulator registered in it and the application on it.
class ApplicationRig {
  public:
    explicit ApplicationRig(std::vector<std::string> simArgs) : cwd_(root_.path()) {
        std::vector<std::string> args{"--home", home_};
        args.insert(args.end(), simArgs.begin(), simArgs.end());
        sim_ = std::make_unique<test::SimProcess>(TAV_ANALYZER_SIM, args);
        simLine_ = sim_->ReadLine();
        ApplicationOptions options;
        options.HomeDir = home_;
        options.Presenter = &boxes_;
        options.ProfileFile = QString::fromStdString(root_.File("profile.ini"));
        options.SaveChooser = &saveChooser;
        options.Launcher = &launcher;
        app_ = std::make_unique<Application>(options);
    }
    ~ApplicationRig() {
        app_.reset();
        sim_.reset();
    }

    Application& App() { return *app_; }
    CMainFrame& Frame() { return *app_->Frame(); }
    ScriptedMessagePresenter& Boxes() { return boxes_; }
    const std::string& SimLine() const { return simLine_; }
    test::SimProcess& Sim() { return *sim_; }
    test::FakeSaveChooser saveChooser;
    test::FakeLauncher launcher;

    // Starts the program, answers Yes to the connection question and COM7 to
    // the port select, and clicks Download on the home view.
    void StartManualDownload() {
        boxes_.QueueAnswer(true);
        ASSERT_TRUE(app_->Start());
        AnswerPortSelect(Frame(), QStringLiteral("COM7"), &preselected);
        StartDownloadFromHome(Frame());
    }
    QString preselected;

    // Every box so far, for failure messages.
    std::string BoxLog() const {
        std::string log;
        for (const QString& t : boxes_.Texts()) log += "[" + t.toStdString() + "] ";
        return log;
    }

  private:
    test::TempDir root_;
    WorkingDir cwd_;
    std::string home_ = root_.path() + "/TAVRINA1c Expert";
    ScriptedMessagePresenter boxes_;
    std::unique_ptr<test::SimProcess> sim_;
    std::string simLine_;
    std::unique_ptr<Application> app_;
};

TEST(ApplicationStart, AMainDatabaseThatCannotBeOpenedIsNamedAndTheProgramEnds) {
    test::TempDir root;
    WorkingDir cwd(root.path());
    const std::string home = root.File("home");
    ASSERT_EQ(PrepareHomeDir(home), home);
    const std::string garbage(3000, 'g');
    test::WriteWholeFile(home + "/TAVRINA1cExpert.sqlite", garbage);
    ScriptedMessagePresenter boxes;
    ApplicationOptions options;
    options.HomeDir = home;
    options.Presenter = &boxes;
    options.ProfileFile = QString::fromStdString(root.File("profile.ini"));
    Application app(options);

    EXPECT_FALSE(app.Start());
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_FALSE(boxes.Boxes()[0].Question);
    EXPECT_EQ(boxes.Boxes()[0].Caption, QStringLiteral("TAVRINA1c Expert"));
    EXPECT_EQ(boxes.Boxes()[0].Text.toStdString(),
              "TAVRINA1c Expert cannot open its results and will close.\r\n\r\nFile: " + home +
                  "/TAVRINA1cExpert.sqlite\r\nReason: file is not a database\r\n\r\nNothing in "
                  "the file was changed. Close any other program that uses it, or have the file "
                  "repaired or restored from a backup, then start TAVRINA1c Expert again.");
    app.Shutdown();
    EXPECT_EQ(test::ReadWholeFile(home + "/TAVRINA1cExpert.sqlite"), garbage);
}

TEST(ApplicationEndToEnd, AManualDownloadStoresTheAnalyzersResultsAndListsThem) {
    ApplicationRig rig({"--fast", "--count", "3"});
    ASSERT_EQ(rig.SimLine().rfind("COM7 /dev/pts/", 0), 0u) << rig.SimLine();
    rig.StartManualDownload();
    CMainFrame& frame = rig.Frame();
    CHbA1c720DownLoadView* view = frame.DownloadView();
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->List().RowCount() == 3; }, 40'000))
        << rig.BoxLog() << " progress: " << frame.ProcessDialog()->Message().toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return rig.App().Link().DownloadState == -1; }, 10'000));

    EXPECT_EQ(rig.preselected, QStringLiteral("COM7"));
    ASSERT_FALSE(rig.Boxes().Boxes().empty());
    EXPECT_TRUE(rig.Boxes().Boxes()[0].Question);
    EXPECT_TRUE(rig.Boxes().Boxes()[0].Text.startsWith("COM7 is connected.")) << rig.BoxLog();
    EXPECT_EQ(rig.Boxes().Boxes()[0].Caption, QStringLiteral("TAVRINA1c Expert"));
    EXPECT_EQ(frame.StatusPaneText(1), QStringLiteral("COM7"));
    EXPECT_EQ(frame.ActiveViewIndex(), viewix::kDownload);
    EXPECT_EQ(frame.ProcessDialog()->Message(), QString::fromLatin1(kDownloadCompletedText));

    ResultDatabase& db = rig.App().Database();
    EXPECT_EQ(db.DownloadTable.RowCount(), 3);
    db.MainTable.Requery();
    EXPECT_EQ(db.MainTable.RowCount(), 3);
    for (int row = 0; row < 3; ++row)
        EXPECT_FALSE(view->List().CellText(row, 3).isEmpty()) << "row " << row;

    // The graph view plots what was stored, and command 12 draws it again.
    frame.SendLinkCommand(cmd::kShowGraph);
    auto* graph = qobject_cast<CHbA1c720GraphDataView*>(frame.View(viewix::kGraph));
    ASSERT_NE(graph, nullptr);
    EXPECT_EQ(frame.ActiveViewIndex(), viewix::kGraph);
    EXPECT_EQ(graph->Series()->count(), 3);
    graph->Series()->clear();
    frame.SendLinkCommand(cmd::kRefreshView);
    EXPECT_EQ(graph->Series()->count(), 3);
}

TEST(ApplicationEndToEnd, ARefusedDownloadSaysWhatToDoAndLeavesTheViewFree) {
    ApplicationRig rig({"--fast", "--count", "3", "--bad-terminator", "1"});
    rig.StartManualDownload();
    CMainFrame& frame = rig.Frame();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return rig.Boxes().Boxes().size() == 2 && rig.App().Link().DownloadState == -1; },
        40'000))
        << rig.BoxLog() << " progress: " << frame.ProcessDialog()->Message().toStdString();

    EXPECT_EQ(rig.Boxes().Boxes()[1].Text,
              "Error. cyclic redundancy check : Fail.\r\nPlease download again.");
    EXPECT_FALSE(rig.Boxes().Boxes()[1].Question);
    EXPECT_EQ(rig.Boxes().Boxes()[1].Caption, QStringLiteral("TAVRINA1c Expert"));
    EXPECT_FALSE(frame.ProcessDialog()->isVisible());
    EXPECT_FALSE(rig.App().Serial().IsOpen());
    EXPECT_EQ(rig.App().Database().DownloadTable.RowCount(), 0);
    ASSERT_EQ(frame.ActiveViewIndex(), viewix::kDownload);
    FindById<QAbstractButton>(frame.View(viewix::kDownload), dlid::kHome)->click();
    EXPECT_EQ(frame.ActiveViewIndex(), viewix::kHome);
}

// Every stored row as "rowid date time value pid opid name", by row id.
std::vector<std::string> StoredRows(ResultDatabase& db) {
    return test::SqlRows(
        db.MainTable.Handle(),
        "SELECT ROWID, DATE, TIME, HbA1c_VALUE, PID, OPID, ifnull(p_NAME, '') FROM [" +
            db.MainTable.GetTableName() + "] ORDER BY ROWID");
}

// The first display row whose patient id cell begins with `pid`; -1 when none.
int RowOfPatient(CHbA1c720AllDataListView& view, const QString& pid) {
    for (int r = 0; r < view.List().RowCount(); ++r)
        if (view.List().CellText(r, 4).trimmed() == pid) return r;
    return -1;
}

TEST(ApplicationEndToEnd, TheListShowsTheDownloadAndMouseClicksModifyAndDelete) {
    test::TempDir data;
    // Two results share date, time and value but not the patient.
    test::WriteWholeFile(data.File("results.txt"),
                         "2024-03-15 09:30 6.5 O'NEIL OP7\n"
                         "2024-03-15 09:30 6.5 P2 OP7\n"
                         "2024-03-14 10:00 7.1 P2 OP8\n"
                         "2024-03-01 08:15 5.9 P3 OP7\n"
                         "2024-02-20 11:45 8.2 P2 OP7\n");
    ApplicationRig rig({"--fast", "--load", data.File("results.txt")});
    rig.StartManualDownload();
    CMainFrame& frame = rig.Frame();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return frame.DownloadView()->List().RowCount() == 5; }, 40'000))
        << rig.BoxLog();
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.App().Link().DownloadState == -1; }, 10'000));
    FindById<QAbstractButton>(frame.ProcessDialog(), kIdProcessButton)->click();

    FindById<QAbstractButton>(frame.View(viewix::kDownload), dlid::kAllData)->click();
    ASSERT_EQ(frame.ActiveViewIndex(), viewix::kAllData);
    auto* view = dynamic_cast<CHbA1c720AllDataListView*>(frame.View(viewix::kAllData));
    ASSERT_NE(view, nullptr);
    view->FinishFill();
    ASSERT_EQ(view->List().RowCount(), 5);
    EXPECT_EQ(view->List().CellText(0, 1), "2024-03-15");
    EXPECT_EQ(view->List().CellText(4, 1), "2024-02-20");
    ResultDatabase& db = rig.App().Database();
    const std::vector<std::string> before = StoredRows(db);
    ASSERT_EQ(before.size(), 5u);

    // Modify: a right click selects O'NEIL's result, Data Modify changes the name.
    const int oneil = RowOfPatient(*view, "O'NEIL");
    ASSERT_GE(oneil, 0);
    CListCtrlExt& list = view->List();
    const QPoint oneilAt = list.visualRect(list.model()->index(oneil, 1)).center();
    QTest::mouseClick(list.viewport(), Qt::RightButton, {}, oneilAt);
    ASSERT_EQ(QString::fromStdString(view->SelectedRecord().PID).trimmed(), "O'NEIL");
    rig.Boxes().QueueAnswer(true);  // "Do you Want data Change?"
    QTimer::singleShot(0, &frame, [&frame] {
        auto dialogs = frame.findChildren<CDataModifyDlg*>();
        ASSERT_EQ(dialogs.size(), 1);
        dialogs[0]->NameEdit()->setText(QStringLiteral("Lee"));
        FindById<QAbstractButton>(dialogs[0], recid::kChange)->click();
    });
    view->ModifyResult();
    std::vector<std::string> expected = before;
    for (std::string& row : expected)
        if (row.find(" O'NEIL") != std::string::npos) row += "Lee";
    EXPECT_EQ(StoredRows(db), expected) << rig.BoxLog();

    // Delete: a double click on P3's result removes exactly that row.
    view->FinishFill();
    const int p3 = RowOfPatient(*view, "P3");
    ASSERT_GE(p3, 0);
    rig.Boxes().QueueAnswer(true);  // "Do you want to delete the selected data?"
    const QPoint p3At = list.visualRect(list.model()->index(p3, 1)).center();
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, p3At);
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, p3At);
    std::erase_if(expected,
                  [](const std::string& row) { return row.find(" P3") != std::string::npos; });
    EXPECT_EQ(StoredRows(db), expected) << rig.BoxLog();
    view->FinishFill();
    EXPECT_EQ(view->List().RowCount(), 4);

    // Export: the file holds the fixed header and exactly the rows the list shows,
    // and opens with the user's program.
    rig.saveChooser.answer = QString::fromStdString(data.File("list.csv"));
    rig.Boxes().QueueAnswer(true);  // "Do you want current-data expert?"
    FindById<QAbstractButton>(view, alid::kExport)->click();
    std::string csv = "No,Date,Time,Result,PID,OPID,Note\n";
    for (int row = 0; row < list.RowCount(); ++row) {
        for (int column = 0; column < 7; ++column)
            csv += list.CellText(row, column).toStdString() + ",";
        csv += "\n";
    }
    EXPECT_EQ(test::ReadWholeFile(data.File("list.csv")), csv) << rig.BoxLog();
    EXPECT_EQ(rig.launcher.opened, std::vector<std::string>{data.File("list.csv")});
}

TEST(ApplicationEndToEnd, AutomaticModeStoresTheMeasurementAndGuidesThroughTheCartridge) {
    ApplicationRig rig({"--fast", "--count", "2", "--measure-after", "3000"});
    ASSERT_EQ(rig.SimLine().rfind("COM7 ", 0), 0u) << rig.SimLine();
    rig.Boxes().QueueAnswer(true);  // "Do you want to switch to automatic mode?"
    ASSERT_TRUE(rig.App().Start());
    CMainFrame& frame = rig.Frame();
    auto* automatic = FindById<QAbstractButton>(frame.View(viewix::kHome), 1005);
    ASSERT_NE(automatic, nullptr);
    automatic->click();
    EXPECT_EQ(rig.App().Link().AutoMode, 1);

    CHbA1c720DownLoadView* view = frame.DownloadView();
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->List().RowCount() == 1; }, 45'000))
        << rig.BoxLog() << " step " << rig.App().Link().AutoStep
        << " progress: " << frame.ProcessDialog()->Message().toStdString();
    EXPECT_EQ(rig.App().Database().DownloadTable.RowCount(), 1);

    // The user closes the completion notice and each cartridge notice as it comes.
    CProcessDlg* progress = frame.ProcessDialog();
    for (const char* notice :
         {"Receiving data - Completed", "Caution >> Please remove the cartridge",
          "Please make sure the cartridge is removed"}) {
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return progress->isVisible() && progress->Message().startsWith(notice); },
            10'000))
            << progress->Message().toStdString() << " step " << rig.App().Link().AutoStep
            << " phase " << rig.App().Link().LinkPhase << " visible " << progress->isVisible();
        FindById<QAbstractButton>(progress, kIdProcessButton)->click();
    }
    CCheckingDlg* checking = frame.CheckingDialog();
    ASSERT_TRUE(QTest::qWaitFor([&] { return checking->isVisible(); }, 10'000));
    EXPECT_EQ(checking->Message(), QStringLiteral("Automatic mode was terminated."));
    EXPECT_EQ(checking->windowTitle(), QStringLiteral("Checking"));
    FindById<QAbstractButton>(checking, kIdCheckingOk)->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.App().Link().AutoMode == 0; }, 10'000));
    EXPECT_EQ(rig.App().Link().AutoStep, -1);
}

// After Shutdown: the worker has ended, the port and its watcher are closed
// and both tables are closed.
void ExpectEverythingClosed(Application& app) {
    ASSERT_NE(app.Worker(), nullptr);
    EXPECT_NE(app.Worker()->ExitCode(), -1);
    EXPECT_FALSE(app.Serial().IsOpen());
    EXPECT_TRUE(app.Serial().WaitWatcherEnded(0));
    EXPECT_FALSE(app.Database().MainTable.IsOpen());
    EXPECT_FALSE(app.Database().DownloadTable.IsOpen());
    EXPECT_EQ(app.Link().LinkRunning, 0);
}

TEST(ApplicationEndToEnd, ClosingTheWindowDuringADownloadEndsTheLinkAndTheWorker) {
    // At 9600 baud the 200 results take about nine seconds.
    ApplicationRig rig({"--count", "200"});
    rig.StartManualDownload();
    CMainFrame& frame = rig.Frame();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return frame.ProcessDialog()->Message().startsWith("Receiving data from analyzer"); },
        30'000))
        << rig.BoxLog() << frame.ProcessDialog()->Message().toStdString();
    ASSERT_TRUE(rig.App().Serial().IsOpen());
    rig.App().Shutdown();
    ExpectEverythingClosed(rig.App());
}

// How the window goes while the port-select dialog shows.
struct CloseWay {
    const char* name;
    std::function<void(CMainFrame&)> close;
};

class ClosingWithPortSelectOpen : public ::testing::TestWithParam<CloseWay> {};

INSTANTIATE_TEST_SUITE_P(
    ApplicationEndToEnd, ClosingWithPortSelectOpen,
    ::testing::Values(
        // What the program does on SIGTERM.
        CloseWay{"EveryWindowCloses", [](CMainFrame&) { QApplication::closeAllWindows(); }},
        // The dialog itself is left open: closing the frame must end it.
        CloseWay{"OnlyTheMainWindowCloses", [](CMainFrame& frame) { frame.close(); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_P(ClosingWithPortSelectOpen, CancelsTheDialogAndEndsEverything) {
    ApplicationRig rig({"--fast", "--count", "3"});
    ASSERT_TRUE(rig.App().Start());
    CMainFrame& frame = rig.Frame();
    bool opened = false;
    QObject::connect(&frame, &CMainFrame::PortSelectOpened, &frame, [&](PortSelectDialog* dialog) {
        opened = true;
        QTimer::singleShot(200, dialog, [&] { GetParam().close(frame); });
    });
    StartDownloadFromHome(frame);
    ASSERT_TRUE(QTest::qWaitFor([&] { return opened && !frame.isVisible(); }, 30'000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return frame.PortSelect() == nullptr; }, 5'000));
    EXPECT_EQ(rig.App().Link().DownloadState, -1);
    rig.App().Shutdown();
    ExpectEverythingClosed(rig.App());
    EXPECT_TRUE(rig.Boxes().Boxes().empty()) << rig.BoxLog();
}

}  // namespace
}  // namespace tav
