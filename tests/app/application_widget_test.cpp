// The whole application. The real window with the application's wiring,
// against analyzer-sim on a pseudo-terminal: a refused download, the next one
// and what the lists then do with it, an automatic-mode measurement and
// closing the window while the link is busy. Start-up on a home folder that a
// crash, a disk, another program or a hand edit left broken. The built
// program, started as a clinic would start it, in an empty home folder.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QLineEdit>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <QtCharts/QScatterSeries>
#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <string>

#include "app/application.h"
#include "app/checking_dlg.h"
#include "app/main_frame.h"
#include "app/message_presenter.h"
#include "app/process_dlg.h"
#include "platform/paths.h"
#include "reports/graph_view.h"
#include "store/result_database.h"
#include "tests/support/export_fakes.h"
#include "tests/support/sim_process.h"
#include "tests/support/sql_rows.h"
#include "tests/support/temp_dir.h"
#include "tests/support/widget_lookup.h"
#include "views/all_data_list_view.h"
#include "views/download_view.h"

namespace tav {
namespace {

using test::Click;

// Runs the test inside its own folder, where the program makes its DATA folder.
struct WorkingDir {
    explicit WorkingDir(const std::string& dir) { std::filesystem::current_path(dir); }
    ~WorkingDir() { std::filesystem::current_path(old); }
    std::filesystem::path old = std::filesystem::current_path();
};

// A home folder with a simulator registered in it and the application on it.
struct ApplicationRig {
    explicit ApplicationRig(std::vector<std::string> simArgs) {
        simArgs.insert(simArgs.begin(), {"--home", home});
        sim = std::make_unique<test::SimProcess>(TAV_ANALYZER_SIM, simArgs);
        sim->ReadLine();  // the port is registered
        app = std::make_unique<Application>(
            ApplicationOptions{home, &boxes, QString::fromStdString(root.File("profile.ini")),
                               &saveChooser, &launcher});
    }
    Application& App() { return *app; }
    CMainFrame& Frame() { return *app->Frame(); }
    const LinkState& Link() { return app->Link(); }

    // Starts the program, answers Yes to the connection question and COM7 to
    // this and every later port select (noting what it preselected), and
    // clicks Download on the home view.
    void StartManualDownload() {
        boxes.QueueAnswer(true);
        ASSERT_TRUE(app->Start());
        QObject::connect(&Frame(), &CMainFrame::PortSelectOpened, &Frame(),
                         [this](PortSelectDialog* dialog) {
                             QTimer::singleShot(0, dialog, [this, dialog] {
                                 preselected = dialog->PortList()->currentText();
                                 dialog->PortList()->setEditText("COM7");
                                 dialog->accept();
                             });
                         });
        Click(Frame().View(viewix::kHome), 1000);
    }

    // Waits until the progress dialog shows a text that begins with `text`.
    bool WaitForProgress(const char* text, int ms) {
        CProcessDlg* p = Frame().ProcessDialog();
        return QTest::qWaitFor([&] { return p->isVisible() && p->Message().startsWith(text); }, ms);
    }

    // Every box so far, the progress text and the link's step, for failure messages.
    std::string State() {
        std::string log;
        for (const QString& t : boxes.Texts()) log += "[" + t.toStdString() + "] ";
        return log + "progress: " + Frame().ProcessDialog()->Message().toStdString() + " step " +
               std::to_string(Link().AutoStep) + " phase " + std::to_string(Link().LinkPhase);
    }

    test::TempDir root;
    WorkingDir cwd{root.path()};
    std::string home = root.path() + "/TAVRINA1c Expert";
    ScriptedMessagePresenter boxes;
    test::FakeSaveChooser saveChooser;
    test::FakeLauncher launcher;
    std::unique_ptr<test::SimProcess> sim;
    QString preselected;
    std::unique_ptr<Application> app;
};

// Every stored row as "rowid date time value pid opid name", by row id.
std::vector<std::string> StoredRows(ResultDatabase& db) {
    return test::SqlRows(
        db.MainTable.Handle(),
        "SELECT ROWID, DATE, TIME, HbA1c_VALUE, PID, OPID, ifnull(p_NAME, '') FROM [" +
            db.MainTable.GetTableName() + "] ORDER BY ROWID");
}

TEST(ApplicationEndToEnd, ARefusedDownloadLeavesTheViewFreeAndTheNextIsStoredListedAndEdited) {
    test::TempDir data;
    // Two results share date, time and value but not the patient.
    test::WriteWholeFile(data.File("results.txt"),
                         "2024-03-15 09:30 6.5 O'NEIL OP7\n"
                         "2024-03-15 09:30 6.5 P2 OP7\n"
                         "2024-03-14 10:00 7.1 P2 OP8\n"
                         "2024-03-01 08:15 5.9 P3 OP7\n"
                         "2024-02-20 11:45 8.2 P2 OP7\n");
    // A record of the first download fails its check: the user is told what to
    // do, nothing is stored, the port is closed and the view can be left.
    ApplicationRig rig({"--fast", "--load", data.File("results.txt"), "--bad-terminator", "1",
                        "--fault-frames", "1"});
    rig.StartManualDownload();
    CMainFrame& frame = rig.Frame();
    ResultDatabase& db = rig.App().Database();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return rig.boxes.Boxes().size() == 2 && rig.Link().DownloadState == -1; }, 40'000))
        << rig.State();
    EXPECT_EQ(rig.preselected, "COM7");
    EXPECT_TRUE(rig.boxes.Boxes()[0].Question);
    EXPECT_TRUE(rig.boxes.Boxes()[0].Text.startsWith("COM7 is connected.")) << rig.State();
    EXPECT_EQ(rig.boxes.Boxes()[0].Caption, "TAVRINA1c Expert");
    EXPECT_EQ(rig.boxes.Boxes()[1].Text,
              "Error. cyclic redundancy check : Fail.\r\nPlease download again.");
    EXPECT_FALSE(rig.boxes.Boxes()[1].Question);
    EXPECT_FALSE(frame.ProcessDialog()->isVisible());
    EXPECT_FALSE(rig.App().Serial().IsOpen());
    EXPECT_EQ(db.DownloadTable.RowCount(), 0);
    ASSERT_EQ(frame.ActiveViewIndex(), viewix::kDownload);
    Click(frame.View(viewix::kDownload), dlid::kHome);
    ASSERT_EQ(frame.ActiveViewIndex(), viewix::kHome);

    // The next download is stored and listed.
    rig.boxes.QueueAnswer(true);
    Click(frame.View(viewix::kHome), 1000);
    CListCtrlExt& downloaded = frame.DownloadView()->List();
    ASSERT_TRUE(QTest::qWaitFor([&] { return downloaded.RowCount() == 5; }, 40'000)) << rig.State();
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.Link().DownloadState == -1; }, 10'000));
    EXPECT_EQ(frame.StatusPaneText(1), "COM7");
    EXPECT_EQ(frame.ProcessDialog()->Message(), QString::fromLatin1(kDownloadCompletedText));
    EXPECT_EQ(db.DownloadTable.RowCount(), 5);
    const std::vector<std::string> before = StoredRows(db);

    Click(frame.ProcessDialog(), kIdProcessButton);
    Click(frame.View(viewix::kDownload), dlid::kAllData);
    auto* view = static_cast<CHbA1c720AllDataListView*>(frame.View(viewix::kAllData));
    view->FinishFill();
    CListCtrlExt& list = view->List();
    ASSERT_EQ(list.RowCount(), 5);
    // The middle of the date cell of the row whose patient id is `pid`.
    const auto cellOf = [&](const QString& pid) {
        int row = 0;
        while (row < list.RowCount() && list.CellText(row, 4).trimmed() != pid) ++row;
        return list.visualRect(list.model()->index(row, 1)).center();
    };

    // Modify: a right click selects O'NEIL's result, Data Modify changes the name.
    QTest::mouseClick(list.viewport(), Qt::RightButton, {}, cellOf("O'NEIL"));
    rig.boxes.QueueAnswer(true);  // "Do you Want data Change?"
    QTimer::singleShot(0, &frame, [&frame] {
        auto dialogs = frame.findChildren<CDataModifyDlg*>();
        ASSERT_EQ(dialogs.size(), 1);
        dialogs[0]->NameEdit()->setText("Lee");
        Click(dialogs[0], recid::kChange);
    });
    view->ModifyResult();
    std::vector<std::string> expected = before;
    for (std::string& row : expected)
        if (row.find(" O'NEIL") != std::string::npos) row += "Lee";
    EXPECT_EQ(StoredRows(db), expected) << rig.State();

    // Delete: a double click on P3's result removes exactly that row.
    view->FinishFill();
    rig.boxes.QueueAnswer(true);  // "Do you want to delete the selected data?"
    const QPoint p3 = cellOf("P3");
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, p3);
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, p3);
    std::erase_if(expected,
                  [](const std::string& row) { return row.find(" P3") != std::string::npos; });
    EXPECT_EQ(StoredRows(db), expected) << rig.State();
    view->FinishFill();

    // Export writes the all-data list (what it holds is the exporter's own
    // test) and opens the file with the user's program.
    rig.saveChooser.answer = QString::fromStdString(data.File("list.csv"));
    rig.boxes.QueueAnswer(true);  // "Do you want current-data expert?"
    Click(view, alid::kExport);
    const std::string csv = test::ReadWholeFile(data.File("list.csv"));
    EXPECT_TRUE(csv.starts_with("No,Date,Time,") && std::ranges::count(csv, '\n') == 5) << csv;
    EXPECT_EQ(rig.launcher.opened, std::vector<std::string>{data.File("list.csv")});

    // The graph view plots what is stored, and command 12 draws it again.
    frame.SendLinkCommand(cmd::kShowGraph);
    auto* graph = static_cast<CHbA1c720GraphDataView*>(frame.View(viewix::kGraph));
    EXPECT_EQ(graph->Series()->count(), 4);
    graph->Series()->clear();
    frame.SendLinkCommand(cmd::kRefreshView);
    EXPECT_EQ(graph->Series()->count(), 4);
}

TEST(ApplicationEndToEnd, AutomaticModeStoresTheMeasurementAndGuidesThroughTheCartridge) {
    ApplicationRig rig({"--fast", "--count", "2", "--measure-after", "3000"});
    rig.boxes.QueueAnswer(true);  // "Do you want to switch to automatic mode?"
    ASSERT_TRUE(rig.App().Start());
    CMainFrame& frame = rig.Frame();
    Click(frame.View(viewix::kHome), 1005);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return frame.DownloadView()->List().RowCount() == 1; }, 45'000))
        << rig.State();

    // The user closes the completion notice and each cartridge notice as it comes.
    for (const char* notice :
         {"Receiving data - Completed", "Caution >> Please remove the cartridge",
          "Please make sure the cartridge is removed"}) {
        ASSERT_TRUE(rig.WaitForProgress(notice, 10'000)) << rig.State();
        Click(frame.ProcessDialog(), kIdProcessButton);
    }
    CCheckingDlg* checking = frame.CheckingDialog();
    ASSERT_TRUE(QTest::qWaitFor([&] { return checking->isVisible(); }, 10'000));
    EXPECT_EQ(checking->Message(), "Automatic mode was terminated.");
    Click(checking, kIdCheckingOk);
    EXPECT_TRUE(QTest::qWaitFor([&] { return rig.Link().AutoMode == 0; }, 10'000));
}

// After Shutdown: the worker has ended, the port and its watcher are closed
// and both tables are closed.
void ShutdownClosesEverything(Application& app) {
    app.Shutdown();
    ASSERT_NE(app.Worker(), nullptr);
    EXPECT_NE(app.Worker()->ExitCode(), -1);
    EXPECT_FALSE(app.Serial().IsOpen());
    EXPECT_TRUE(app.Serial().WaitWatcherEnded(0));
    EXPECT_FALSE(app.Database().MainTable.IsOpen());
    EXPECT_FALSE(app.Database().DownloadTable.IsOpen());
    EXPECT_EQ(app.Link().LinkRunning, 0);
}

// Closing the window while the port select shows cancels it; closing it
// during a download ends the link and the worker.
TEST(ApplicationEndToEnd, ClosingWhileThePortSelectShowsOrDuringADownloadEndsEverything) {
    // Every window closes, as on SIGTERM, or only the main one, the dialog left open.
    for (const bool everyWindow : {true, false}) {
        SCOPED_TRACE(everyWindow ? "every window" : "the main window");
        ApplicationRig rig({"--fast", "--count", "3"});
        ASSERT_TRUE(rig.App().Start());
        CMainFrame& frame = rig.Frame();
        bool opened = false;
        QObject::connect(
            &frame, &CMainFrame::PortSelectOpened, &frame, [&](PortSelectDialog* dialog) {
                opened = true;
                QTimer::singleShot(200, dialog, [&] {
                    everyWindow ? QApplication::closeAllWindows() : void(frame.close());
                });
            });
        Click(frame.View(viewix::kHome), 1000);
        ASSERT_TRUE(QTest::qWaitFor([&] { return opened && !frame.isVisible(); }, 30'000));
        EXPECT_TRUE(QTest::qWaitFor([&] { return frame.PortSelect() == nullptr; }, 5'000));
        EXPECT_EQ(rig.Link().DownloadState, -1);
        ShutdownClosesEverything(rig.App());
        EXPECT_TRUE(rig.boxes.Boxes().empty()) << rig.State();
    }

    // At 9600 baud the 200 results take about nine seconds.
    ApplicationRig rig({"--count", "200"});
    rig.StartManualDownload();
    ASSERT_TRUE(rig.WaitForProgress("Receiving data from analyzer", 30'000)) << rig.State();
    ASSERT_TRUE(rig.App().Serial().IsOpen());
    ShutdownClosesEverything(rig.App());
}

// Start-up on a home folder left broken: the window starts and tells the user
// plainly which file cannot be used and why, or works when it can, and no file
// in the home folder is written over.
namespace fs = std::filesystem;

constexpr uid_t kNobody = 65534;

// Every file of the home folder with its mode, size and a hash of its bytes.
std::map<std::string, std::string> Snapshot(const std::string& home) {
    std::map<std::string, std::string> out;
    for (const auto& e : fs::directory_iterator(home)) {
        struct stat st {};
        stat(e.path().c_str(), &st);
        const std::string bytes = e.is_regular_file() && (st.st_mode & 0400)
                                      ? test::ReadWholeFile(e.path().string())
                                      : "";
        out[e.path().filename().string()] = std::to_string(st.st_mode & 0777) + " " +
                                            std::to_string(std::hash<std::string>{}(bytes));
    }
    return out;
}

// Runs `fn`, when `unprivileged` with the file rights of an unprivileged user
// if the test runs as root (root reads and writes files whatever their modes say).
void AsUser(bool unprivileged, const std::function<void()>& fn) {
    if (!unprivileged || geteuid() != 0) return fn();
    ASSERT_EQ(setegid(kNobody), 0);
    ASSERT_EQ(seteuid(kNobody), 0);
    fn();
    ASSERT_EQ(seteuid(0), 0);
    ASSERT_EQ(setegid(0), 0);
}

// Gives the folder and all in it to that user, when the test runs as root.
void GiveToNobody(const std::string& path) {
    if (geteuid() != 0) return;
    ASSERT_EQ(chown(path.c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(chmod(path.c_str(), 0777), 0);
    for (const auto& e : fs::recursive_directory_iterator(path))
        ASSERT_EQ(chown(e.path().c_str(), kNobody, kNobody), 0);
}

// Starts the application on root's home folder once and shuts it down.
bool StartOnce(const test::TempDir& root, MessagePresenter& boxes) {
    WorkingDir cwd{root.path()};  // the program makes its DATA folder here
    Application app(
        ApplicationOptions{.HomeDir = root.File("home"),
                           .Presenter = &boxes,
                           .ProfileFile = QString::fromStdString(root.File("profile.ini"))});
    const bool started = app.Start();
    app.Shutdown();
    return started;
}

const std::string kHead = "TAVRINA1c Expert cannot open its results and will close.\r\n\r\nFile: ";
const std::string kTail =
    "\r\n\r\nNothing in the file was changed. Close any other program that uses it, or have the "
    "file repaired or restored from a backup, then start TAVRINA1c Expert again.";

// Breaks the home folder by writing `bytes` over its file `name`.
std::function<void(const std::string&)> Overwrite(const std::string& name, std::string bytes) {
    return [=](const std::string& home) { test::WriteWholeFile(home + "/" + name, bytes); };
}

struct BrokenHome {
    const char* name;
    // Breaks the home folder after a normal first start.
    std::function<void(const std::string& home)> breakIt;
    // The file named and how the reason begins; no file: the program starts.
    std::string file;
    std::string reason;
    bool unprivileged = false;  // run with an ordinary user's file rights
};
// Names the case in test listings instead of dumping its bytes.
void PrintTo(const BrokenHome& c, std::ostream* os) {
    *os << c.name;
}

std::vector<BrokenHome> Cases() {
    const std::string users = "[User Count]\r\ncurrent_user=";
    return {
        {"UnreadableMainDatabase",
         [](const std::string& h) { chmod((h + "/" + kMainDbFile).c_str(), 0); }, kMainDbFile,
         "unable to open database file", true},
        {"ReadOnlyHomeStarts", [](const std::string& h) { chmod(h.c_str(), 0555); }, "", "", true},
        // A user list without current_user opens the default file and its table set.
        {"GarbageUserList", Overwrite(kUserInfoIni, std::string(3000, '\x9c')), "", ""},
        // Without current_table the table set names no table to open.
        {"GarbageTableSet",
         Overwrite("TAVRINA1cExpert.ini", "\x01\x02[[[=\r\n=]\r\ncurrent_table\r\n"), kMainDbFile,
         "it has no table \"-1\", the table "},
        {"HugeUserList",
         [=](const std::string& h) {
             std::string big = users + kMainDbFile + "\r\n[Noise]\r\n";
             while (big.size() < (24u << 20)) big += "key" + std::to_string(big.size()) + "=x\r\n";
             Overwrite(kUserInfoIni, big)(h);
         },
         "", ""},
        {"CurrentUserIsAPath", Overwrite(kUserInfoIni, users + "/etc/passwd\r\n"), kUserInfoIni,
         "its current_user \"/etc/passwd\" is not the name of a file"},
    };
}

class BrokenHomeStart : public ::testing::TestWithParam<BrokenHome> {};

TEST_P(BrokenHomeStart, SaysWhichFileAndWhyOrStartsAndOverwritesNothing) {
    const BrokenHome& c = GetParam();
    test::TempDir root;
    const std::string home = root.File("home");
    ScriptedMessagePresenter first, boxes;
    ASSERT_EQ(PrepareHomeDir(home), home);
    ASSERT_TRUE(StartOnce(root, first)) << "a normal first start";
    if (c.unprivileged) GiveToNobody(root.path());
    c.breakIt(home);
    const auto before = Snapshot(home);

    bool started = false;
    AsUser(c.unprivileged, [&] { started = StartOnce(root, boxes); });

    if (c.file.empty()) {
        EXPECT_TRUE(started);
        EXPECT_TRUE(boxes.Boxes().empty()) << boxes.Boxes()[0].Text.toStdString();
    } else {
        EXPECT_FALSE(started);
        ASSERT_EQ(boxes.Boxes().size(), 1u);
        EXPECT_FALSE(boxes.Boxes()[0].Question);
        EXPECT_EQ(boxes.Boxes()[0].Caption, "TAVRINA1c Expert");
        const std::string text = boxes.Boxes()[0].Text.toStdString();
        EXPECT_TRUE(text.starts_with(kHead + home + "/" + c.file + "\r\nReason: " + c.reason))
            << text;
        EXPECT_TRUE(text.ends_with(kTail)) << text;
    }
    chmod(home.c_str(), 0755);
    EXPECT_EQ(Snapshot(home), before) << "a file in the home folder was written";
}

INSTANTIATE_TEST_SUITE_P(Table, BrokenHomeStart, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.name); });

// The built program in an empty home folder.
QProcessEnvironment ProgramEnvironment(const std::string& home, const std::string& runtime) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TAVRINA1C_HOME", QString::fromStdString(home));
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(runtime));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    return env;
}

QStringList Entries(const std::string& dir) {
    return QDir(QString::fromStdString(dir))
        .entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

// Without a display the program says so and makes nothing; with one, its
// first start lays out the home folder and a second copy is refused.
TEST(Program, WithoutADisplayItEndsThenAFirstStartLaysOutTheHomeAndASecondCopyIsRefused) {
    test::TempDir home, runtime, start;
    const std::string homeDir = home.path() + "/TAVRINA1c Expert";
    QProcessEnvironment env = ProgramEnvironment(homeDir, runtime.path());
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(name);
    QProcess program;
    program.setProcessEnvironment(env);
    program.start(TAV_PROGRAM, {});
    ASSERT_TRUE(program.waitForFinished(20'000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 1);
    EXPECT_TRUE(program.readAllStandardError().startsWith(
        "TAVRINA1c Expert needs a desktop session: no display was found"));
    EXPECT_TRUE(Entries(home.path()).isEmpty()) << "nothing is made";

    QProcess first;
    first.setProcessEnvironment(ProgramEnvironment(homeDir, runtime.path()));
    first.setWorkingDirectory(QString::fromStdString(start.path()));
    first.start(TAV_PROGRAM, {});
    // The settings file is the last file of the start-up.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return QFile::exists(QString::fromStdString(homeDir + "/set_info.ini")); }, 20'000));

    QProcess second;
    second.setProcessEnvironment(ProgramEnvironment(homeDir, runtime.path()));
    second.start(TAV_PROGRAM, {});
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return second.readAllStandardError().contains("HbA1c is already running.."); },
        20'000));
    second.kill();
    second.waitForFinished(10'000);
    EXPECT_EQ(first.state(), QProcess::Running);

    first.terminate();
    ASSERT_TRUE(first.waitForFinished(20'000));
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.exitCode(), 0);

    EXPECT_EQ(Entries(homeDir),
              (QStringList{"TAVRINA1cExpert.ini", "TAVRINA1cExpert.sqlite",
                           "TAVRINA1cExpertDown.sqlite", "set_info.ini", "user_info.ini"}));
    EXPECT_EQ(Entries(start.path()), QStringList{"DATA"});
}

}  // namespace
}  // namespace tav
