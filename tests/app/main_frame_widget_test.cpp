#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <memory>
#include <thread>

#include "app/about_dialog.h"
#include "app/app_profile.h"
#include "app/home_view.h"
#include "app/main_frame.h"
#include "protocol/checking_dlg.h"
#include "protocol/process_dlg.h"
#include "views/download_view.h"

namespace tav {
namespace {

struct Log {
    std::vector<std::string> entries;
    void Add(std::string e) { entries.push_back(std::move(e)); }
};

struct FakeServices : FrameServices {
    explicit FakeServices(Log& log) : log(log) {}
    void OpenStore() override { log.Add("open store"); }
    void LoadSettings() override {
        log.Add("load settings");
        if (onLoadSettings) onLoadSettings();
    }
    void CloseStore() override { log.Add("close store"); }
    void ClosePort() override { log.Add("close port"); }
    void SignalWorker(int event) override { log.Add("signal " + std::to_string(event)); }
    void StopWorker() override { log.Add("stop worker"); }
    Log& log;
    std::function<void()> onLoadSettings;
};

struct FakeController : FrameController {
    explicit FakeController(Log& log) : log(log) {}
    void OnLinkCommand(int code) override {
        log.Add("command " + std::to_string(code));
        commandThread = std::this_thread::get_id();
    }
    void OnTimer(int id) override { log.Add("timer " + std::to_string(id)); }
    Log& log;
    std::thread::id commandThread;
};

struct FakeRows : ResultRowSource {
    bool VisitRows(const std::function<bool(const ResultRowTexts&)>& visit) override {
        for (const ResultRowTexts& row : rows) visit(row);
        return true;
    }
    std::vector<ResultRowTexts> rows;
};

struct PlainFormatter : ResultCellFormatter {
    std::string Result(const std::string& v) const override { return v; }
    std::string ListDate(const std::string& d, const std::string&) const override { return d; }
    std::string ListTime(const std::string&, const std::string& t) const override { return t; }
};

struct FakePorts : PortSelectSource {
    PortSelectList Choices() override { return choices; }
    void Search() override {}
    PortChoice Confirm(const std::string& text) override {
        PortChoice choice;
        choice.ok = true;
        choice.text = text;
        return choice;
    }
    PortSelectList choices{{"COM1", "COM4"}, 1};
};

class MainFrameTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        profile_ = std::make_unique<QSettings>(dir_.filePath("profile.ini"), QSettings::IniFormat);
        frame_ = std::make_unique<CMainFrame>(
            FrameContext{link_, clock_, handoff_, services_, *profile_, rows_, formatter_, ports_});
        frame_->SetController(&controller_);
        frame_->SetMessagePresenter(&presenter_);
    }

    void TearDown() override {
        for (QWidget* w : QApplication::topLevelWidgets()) w->hide();
    }

    void Start() {
        frame_->show();
        frame_->DeferredInit();
        log_.entries.clear();
    }

    void Click(int viewIndex, int id) {
        auto* button = qobject_cast<QAbstractButton*>(FindControl(frame_->View(viewIndex), id));
        ASSERT_NE(button, nullptr) << id;
        button->click();
    }

    int ViewId(int index) { return frame_->View(index)->property("controlId").toInt(); }

    QTemporaryDir dir_;
    std::unique_ptr<QSettings> profile_;
    Log log_;
    LinkState link_;
    VirtualClock clock_{0};
    QtHandoff handoff_;
    FakeServices services_{log_};
    FakeController controller_{log_};
    FakeRows rows_;
    PlainFormatter formatter_;
    FakePorts ports_;
    ScriptedMessagePresenter presenter_;
    std::unique_ptr<CMainFrame> frame_;
};

TEST_F(MainFrameTest, IsAFixedWindowWithTitleAndSevenStatusPanes) {
    EXPECT_EQ(frame_->windowTitle(), "TAVRINAlc Expert Management Software 1.00.00");
    EXPECT_EQ(frame_->size(), QSize(1024, 768));
    EXPECT_EQ(frame_->minimumSize(), frame_->maximumSize());
    const char* initial[] = {"",
                             "_____________",
                             "____________________",
                             "_____________",
                             "-------------------",
                             "-------------------",
                             "-------------------"};
    for (int pane = 0; pane < 7; ++pane) EXPECT_EQ(frame_->StatusPaneText(pane), initial[pane]);
    frame_->SetStatusPane(3, "manual");
    frame_->SetStatusPane(4, "Cnt : 2");
    EXPECT_EQ(frame_->StatusPaneText(3), "manual");
    EXPECT_EQ(frame_->StatusPaneText(4), "Cnt : 2");
    EXPECT_EQ(link_.LinkRunning, 1);
    EXPECT_EQ(link_.RecordLength, 43);
}

TEST_F(MainFrameTest, DeferredInitialisationRunsInItsOrderAndShowsHome) {
    link_.AutoMode = 1;
    bool viewsExistedAtLoad = false;
    int activeAtLoad = -1;
    services_.onLoadSettings = [&] {
        viewsExistedAtLoad = frame_->View(4) && frame_->ProcessDialog() && frame_->CheckingDialog();
        activeAtLoad = frame_->ActiveViewIndex();
    };
    frame_->show();
    frame_->DeferredInit();
    EXPECT_EQ(log_.entries, (std::vector<std::string>{"open store", "load settings"}));
    EXPECT_TRUE(viewsExistedAtLoad);
    EXPECT_EQ(activeAtLoad, viewix::kInitial);
    EXPECT_EQ(frame_->ActiveViewIndex(), viewix::kHome);
    EXPECT_EQ(frame_->CurrentView(), 0);
    EXPECT_EQ(ViewId(viewix::kHome), 0xE900);
    EXPECT_EQ(ViewId(viewix::kInitial), 0xE900)
        << "the initial view keeps the pane id it left with";
    for (int index = viewix::kDownload; index <= viewix::kGraph; ++index) {
        EXPECT_EQ(ViewId(index), 0xE900 + index);
        EXPECT_FALSE(frame_->View(index)->isVisible());
    }
    EXPECT_TRUE(frame_->View(viewix::kHome)->isVisible());
    EXPECT_FALSE(frame_->ProcessDialog()->isVisible());
    EXPECT_FALSE(frame_->CheckingDialog()->isVisible());
    EXPECT_EQ(link_.AutoStep, -1);
    EXPECT_EQ(link_.LinkPhase, -1);
    EXPECT_EQ(link_.DownloadState, -1);
    EXPECT_EQ(link_.HandshakeSeen, -1);
    EXPECT_EQ(link_.AutoMode, 0);
}

TEST_F(MainFrameTest, SwitchCommandsShowOneViewAndTradeThePaneId) {
    Start();
    frame_->SendLinkCommand(4);
    frame_->SendLinkCommand(3);
    EXPECT_EQ(frame_->ActiveViewIndex(), viewix::kAllData);
    EXPECT_EQ(ViewId(viewix::kAllData), 0xE900);
    EXPECT_EQ(ViewId(viewix::kGraph), 0xE904);
    EXPECT_TRUE(frame_->View(viewix::kAllData)->isVisible());
    EXPECT_FALSE(frame_->View(viewix::kGraph)->isVisible());
    EXPECT_EQ(frame_->LastActiveViewIndex(), viewix::kGraph);

    frame_->SendLinkCommand(3);  // already showing: nothing
    EXPECT_EQ(frame_->ActiveViewIndex(), viewix::kAllData);
    EXPECT_EQ(frame_->LastActiveViewIndex(), viewix::kAllData);
    EXPECT_TRUE(log_.entries.empty()) << "view switches never reach the controller";
}

TEST_F(MainFrameTest, DownloadViewActivationAndRepeatedDownloadCommandScanPorts) {
    Start();
    frame_->SendLinkCommand(2);
    EXPECT_EQ(log_.entries, (std::vector<std::string>{"signal 2"})) << "activation in manual mode";
    frame_->SendLinkCommand(2);
    EXPECT_EQ(log_.entries, (std::vector<std::string>{"signal 2", "signal 2"}));

    log_.entries.clear();
    link_.AutoMode = 1;
    frame_->SendLinkCommand(2);  // already showing in automatic mode: nothing
    EXPECT_TRUE(log_.entries.empty());
    frame_->SendLinkCommand(1);
    frame_->SendLinkCommand(2);  // activation in automatic mode carries on with command 30
    EXPECT_EQ(log_.entries, (std::vector<std::string>{"command 30"}));
}

TEST_F(MainFrameTest, OtherCommandsGoToTheControllerAndTwelveRefreshesTheView) {
    Start();
    frame_->SendLinkCommand(50);
    frame_->SendLinkCommand(500);
    EXPECT_EQ(log_.entries, (std::vector<std::string>{"command 50", "command 500"}));

    frame_->SendLinkCommand(12);  // home: nothing
    EXPECT_FALSE(frame_->ProgressVisible());
    ResultRowTexts row;
    row[0] = "20240315";
    rows_.rows = {row, row};
    frame_->SendLinkCommand(2);
    frame_->SendLinkCommand(12);
    EXPECT_EQ(frame_->DownloadView()->List().RowCount(), 2);
    EXPECT_TRUE(frame_->ProgressVisible());
    EXPECT_EQ(frame_->ProcessDialog()->Message(), kDownloadCompletedText);
    frame_->ClearDownloadList();
    EXPECT_EQ(frame_->DownloadView()->List().RowCount(), 0);
}

TEST_F(MainFrameTest, HomeButtonsSitInTheirRowAndSwitchViews) {
    Start();
    const int ids[] = {1000, 1001, 1002, 1005, 1006};
    const int xs[] = {638, 713, 788, 863, 938};
    for (int i = 0; i < 5; ++i) {
        QWidget* button = FindControl(frame_->View(viewix::kHome), ids[i]);
        ASSERT_NE(button, nullptr) << ids[i];
        EXPECT_EQ(button->geometry(), QRect(xs[i], 644, 75, 75)) << ids[i];
    }
    EXPECT_EQ(FindControl(frame_->View(viewix::kHome), 1208)->geometry(), QRect(31, 648, 233, 68));

    struct Case {
        int button;
        int view;
    } cases[] = {{1001, viewix::kAllData}, {1002, viewix::kGraph}, {1000, viewix::kDownload}};
    for (const Case& c : cases) {
        frame_->SendLinkCommand(1);
        Click(viewix::kHome, c.button);
        EXPECT_EQ(frame_->ActiveViewIndex(), c.view) << c.button;
    }
    frame_->SendLinkCommand(1);
    Click(viewix::kHome, 1006);
    EXPECT_EQ(frame_->ActiveViewIndex(), viewix::kHome);
}

TEST_F(MainFrameTest, HomeAutomaticButtonAsksOnTopAndStartsAutomaticMode) {
    Start();
    Click(viewix::kHome, 1005);  // answered No
    ASSERT_EQ(presenter_.Boxes().size(), 1u);
    EXPECT_TRUE(presenter_.Boxes()[0].Question);
    EXPECT_EQ(presenter_.Boxes()[0].Caption, "TAVRINA1c Expert");
    EXPECT_EQ(presenter_.Boxes()[0].Text, "Do you want to switch to automatic mode?");
    EXPECT_EQ(link_.AutoMode, 0);
    EXPECT_TRUE(log_.entries.empty());

    presenter_.QueueAnswer(true);
    Click(viewix::kHome, 1005);
    EXPECT_EQ(link_.AutoMode, 1);
    EXPECT_EQ(log_.entries, (std::vector<std::string>{"command 30"}));

    Click(viewix::kHome, 1005);  // already automatic: no question
    EXPECT_EQ(presenter_.Boxes().size(), 2u);
}

TEST_F(MainFrameTest, LogoOpensTheAboutBox) {
    Start();
    Click(viewix::kHome, 1208);
    auto* home = static_cast<CHbA1c720MainView*>(frame_->View(viewix::kHome));
    AboutDialog* about = home->About();
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(about->windowTitle(), "About TAVRINA1cExpert");
    EXPECT_TRUE(about->isModal());
    qobject_cast<QPushButton*>(FindControl(about, 1))->click();
    EXPECT_EQ(home->About(), nullptr);
}

TEST_F(MainFrameTest, MessageBoxesGoThroughThePresenterWithTheCaption) {
    Start();
    frame_->ShowMessage("Communication port connecting failure.\r\nPlease check.");
    presenter_.QueueAnswer(true);
    EXPECT_TRUE(frame_->AskYesNo("COM4 is connected."));
    EXPECT_FALSE(frame_->AskYesNo("again?"));
    ASSERT_EQ(presenter_.Boxes().size(), 3u);
    EXPECT_FALSE(presenter_.Boxes()[0].Question);
    EXPECT_EQ(presenter_.Boxes()[0].Text,
              "Communication port connecting failure.\r\nPlease check.");
    for (const auto& box : presenter_.Boxes()) EXPECT_EQ(box.Caption, "TAVRINA1c Expert");
}

TEST_F(MainFrameTest, ProgressAndCheckingDialogsFollowTheHost) {
    Start();
    frame_->ShowProgress("Data is transferred from analyzer.");
    EXPECT_TRUE(frame_->ProgressVisible());
    frame_->SetProgressButtonText("Close");
    EXPECT_EQ(frame_->ProcessDialog()->ButtonText(), "Close");
    frame_->HideProgress();
    EXPECT_FALSE(frame_->ProgressVisible());
    EXPECT_EQ(frame_->ProcessDialog()->Message(), "Data is transferred from analyzer.");

    frame_->ShowChecking("Automatic mode was terminated.");
    EXPECT_TRUE(frame_->CheckingVisible());
    frame_->HideChecking();
    EXPECT_FALSE(frame_->CheckingVisible());
}

TEST_F(MainFrameTest, TimersTickIntoTheController) {
    Start();
    frame_->StartTimer(3, 500);
    EXPECT_TRUE(frame_->TimerRunning(3));
    EXPECT_EQ(frame_->TimerInterval(3), 500);
    frame_->StartTimer(3, 0);  // restarting replaces the interval
    while (log_.entries.empty()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    frame_->KillTimer(3);
    EXPECT_FALSE(frame_->TimerRunning(3));
    EXPECT_EQ(log_.entries.front(), "timer 3");
}

TEST_F(MainFrameTest, CloseCommandShutsDownInOrderAndReturnsHome) {
    Start();
    frame_->SendLinkCommand(4);
    for (int id : {1, 4, 5, 10}) frame_->StartTimer(id, 1000);
    const int64_t before = clock_.NowMs();
    frame_->close();
    EXPECT_EQ(log_.entries, (std::vector<std::string>{"close store", "close port"}));
    EXPECT_EQ(link_.LinkRunning, 0);
    EXPECT_EQ(frame_->ActiveViewIndex(), viewix::kHome);
    EXPECT_FALSE(frame_->TimerRunning(1));
    EXPECT_FALSE(frame_->TimerRunning(4));
    EXPECT_FALSE(frame_->TimerRunning(5));
    EXPECT_EQ(clock_.NowMs() - before, 500);
    EXPECT_TRUE(handoff_.Closed());

    frame_.reset();
    EXPECT_EQ(log_.entries,
              (std::vector<std::string>{"close store", "close port", "close port", "stop worker"}));
}

TEST_F(MainFrameTest, PortSelectRunsModallyAndRefreshesWhileOpen) {
    Start();
    bool openDuring = false;
    int countAfterRefresh = 0;
    QTimer::singleShot(0, frame_.get(), [&] {
        openDuring = frame_->PortSelectOpen();
        EXPECT_EQ(frame_->PortSelect()->windowTitle(), "Get HbA1c data");
        ports_.choices = {{"COM1", "COM4", "COM9"}, 2};
        frame_->RefreshPortSelect();
        countAfterRefresh = frame_->PortSelect()->PortList()->count();
        qobject_cast<QPushButton*>(FindControl(frame_->PortSelect(), psid::kOk))->click();
    });
    std::string label;
    EXPECT_TRUE(frame_->RunPortSelect(label));
    EXPECT_TRUE(openDuring);
    EXPECT_EQ(countAfterRefresh, 3);
    EXPECT_EQ(label, "COM9");
    EXPECT_FALSE(frame_->PortSelectOpen());

    QTimer::singleShot(0, frame_.get(), [&] {
        qobject_cast<QPushButton*>(FindControl(frame_->PortSelect(), psid::kCancel))->click();
    });
    label = "unchanged";
    EXPECT_FALSE(frame_->RunPortSelect(label));
    EXPECT_EQ(label, "unchanged");
}

TEST_F(MainFrameTest, CommandsFromAnotherThreadRunOnTheWindowThreadBeforeReturning) {
    Start();
    QEventLoop loop;
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        frame_->SendLinkCommand(53);
        returned = !log_.entries.empty();  // the command ran before the call returned
        frame_->ShowProgress("No new data from analyzer.");
        QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
    EXPECT_TRUE(returned);
    EXPECT_EQ(controller_.commandThread, std::this_thread::get_id());
    EXPECT_EQ(frame_->ProcessDialog()->Message(), "No new data from analyzer.");
}

TEST(QtHandoff, CloseReleasesAWaitingCallerWithoutRunningItsCall) {
    QtHandoff handoff;
    std::atomic<bool> ran{false};
    std::thread worker([&] { handoff.Invoke([&] { ran = true; }); });
    handoff.Close();
    worker.join();
    QCoreApplication::processEvents();
    EXPECT_FALSE(ran);
    bool direct = false;
    handoff.Invoke([&] { direct = true; });
    EXPECT_TRUE(direct) << "calls on the window thread still run";
}

TEST(QtHandoff, KnowsWhenTheWindowThreadIsInsideAnotherThreadsCall) {
    QtHandoff handoff;
    EXPECT_FALSE(handoff.InCall());
    bool inside = false;
    std::thread worker([&] { handoff.Invoke([&] { inside = handoff.InCall(); }); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return inside; }, 5000));
    worker.join();
    EXPECT_FALSE(handoff.InCall());
}

TEST(AppProfile, LivesUnderTheOrganisationAndApplicationNames) {
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    auto profile = OpenApplicationProfile();
    profile->setValue("1001/ColumnCount", 7);
    profile->sync();
    EXPECT_TRUE(
        QFile::exists(dir.filePath("Local AppWizard-Generated Applications/TAVRINA1cExpert.conf")));
}

}  // namespace
}  // namespace tav
