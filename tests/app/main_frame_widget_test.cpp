#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <memory>
#include <thread>
#include <tuple>

#include "app/checking_dlg.h"
#include "app/home_view.h"
#include "app/main_frame.h"
#include "app/message_presenter.h"
#include "app/port_select_dialog.h"
#include "app/process_dlg.h"
#include "tests/support/sim_link_fake.h"
#include "tests/support/store_recording_channel.h"
#include "tests/support/widget_lookup.h"
#include "views/download_view.h"
#include "views/frame_view.h"

namespace tav {
namespace {

using Log = std::vector<std::string>;
using test::Click;
using test::Control;

// Everything the frame calls out to, logged in one list so the order shows.
struct Fakes : FrameServices,
               FrameController,
               ResultRowSource,
               ResultCellFormatter,
               PortSelectSource {
    void OpenStore() override { log.push_back("open store"); }
    void LoadSettings() override { onLoadSettings(); }
    void CloseStore() override { log.push_back("close store"); }
    void ClosePort() override { log.push_back("close port"); }
    void SignalWorker(int event) override { log.push_back("signal " + std::to_string(event)); }
    void StopWorker() override { log.push_back("stop worker"); }
    bool OpenSettings(QWidget*) override {
        log.push_back("settings");
        return true;
    }
    void OnLinkCommand(int code) override {
        log.push_back("command " + std::to_string(code));
        if (onCommand) onCommand();
    }
    void OnTimer(int id) override { log.push_back("timer " + std::to_string(id)); }
    bool VisitRows(const std::function<bool(const ResultRowTexts&)>& visit) override {
        for (const ResultRowTexts& row : rows) visit(row);
        return true;
    }
    std::string Result(const std::string& v) const override { return v; }
    std::string ListDate(const std::string& d, const std::string&) const override { return d; }
    std::string ListTime(const std::string&, const std::string& t) const override { return t; }
    PortSelectList Choices() override { return choices; }
    void Search() override {}
    // Refuses "COM999"; an empty text resolves to "COM3".
    PortChoice Confirm(const std::string& text) override {
        log.push_back("confirm " + text);
        const bool ok = text != "COM999";
        return {ok, text.empty() ? "COM3" : text, 0, "", ok ? "" : "No such port."};
    }

    Log log;
    std::function<void()> onLoadSettings = [] {};
    std::function<void()> onCommand;
    std::vector<ResultRowTexts> rows;
    PortSelectList choices{{"COM1", "COM4"}, 1};
};

class MainFrameTest : public ::testing::Test {
  protected:
    void SetUp() override {
        frame_ = std::make_unique<CMainFrame>(FrameContext{
            link_, clock_, handoff_, fakes_, profile_, fakes_, fakes_, fakes_, exporter_});
        frame_->SetController(&fakes_);
        frame_->SetMessagePresenter(&presenter_);
    }
    void TearDown() override {
        for (QWidget* w : QApplication::topLevelWidgets()) w->hide();
    }
    void Start() {
        frame_->show();
        frame_->DeferredInit();
        log_.clear();
    }

    QTemporaryDir dir_;
    QSettings profile_{dir_.filePath("profile.ini"), QSettings::IniFormat};
    LinkState link_;
    VirtualClock clock_{0};
    QtHandoff handoff_;
    Fakes fakes_;
    Log& log_ = fakes_.log;
    CsvExporter exporter_{"", "", [this]() -> MessagePresenter& { return presenter_; }};
    ScriptedMessagePresenter presenter_;
    std::unique_ptr<CMainFrame> frame_;
};

TEST_F(MainFrameTest, DeferredInitialisationLoadsSettingsWithTheViewsBuiltAndShowsHome) {
    std::string panes;
    for (int pane = 0; pane < 7; ++pane) panes += frame_->StatusPaneText(pane).toStdString() + "|";
    EXPECT_EQ(panes,
              "|_____________|____________________|_____________|-------------------|"
              "-------------------|-------------------|");
    link_.AutoMode = 1;
    bool viewsExistedAtLoad = false;
    int activeAtLoad = -1;
    fakes_.onLoadSettings = [&] {
        viewsExistedAtLoad = frame_->View(4) && frame_->ProcessDialog() && frame_->CheckingDialog();
        activeAtLoad = frame_->ActiveViewIndex();
    };
    Start();
    EXPECT_TRUE(viewsExistedAtLoad);
    EXPECT_EQ(activeAtLoad, viewix::kInitial);
    EXPECT_EQ(frame_->ActiveViewIndex(), viewix::kHome);
    for (int index = viewix::kDownload; index <= viewix::kGraph; ++index)
        EXPECT_FALSE(frame_->View(index)->isVisible()) << index;
    EXPECT_EQ(link_.AutoMode, 0);
}

// Each view fills the fixed client area beside the status bar, every control inside.
TEST_F(MainFrameTest, SwitchCommandsAndHomeButtonsShowOneViewAndAutomaticAsksFirst) {
    Start();
    EXPECT_EQ(frame_->centralWidget()->width(), 1024);
    EXPECT_EQ(frame_->centralWidget()->height() + frame_->statusBar()->height(), 768);
    for (int index = viewix::kHome; index <= viewix::kGraph; ++index) {
        frame_->SendLinkCommand(index);
        QCoreApplication::processEvents();
        FrameView* view = frame_->View(index);
        EXPECT_EQ(view->size(), frame_->centralWidget()->size()) << index;
        for (QWidget* control : view->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (control->isWindow()) continue;
            EXPECT_TRUE(view->rect().contains(control->geometry()))
                << index << " " << control->property("controlId").toInt();
        }
    }
    log_.clear();                // showing the download view asks for a scan
    frame_->SendLinkCommand(3);  // from the graph view
    EXPECT_EQ(frame_->ActiveViewIndex(), viewix::kAllData);
    EXPECT_TRUE(frame_->View(viewix::kAllData)->isVisible());
    EXPECT_FALSE(frame_->View(viewix::kGraph)->isVisible());
    EXPECT_EQ(frame_->LastActiveViewIndex(), viewix::kGraph);
    frame_->SendLinkCommand(3);  // already showing: nothing
    EXPECT_EQ(frame_->LastActiveViewIndex(), viewix::kAllData);
    EXPECT_TRUE(log_.empty()) << "view switches never reach the controller";

    const std::pair<int, int> buttons[] = {{1001, viewix::kAllData},
                                           {1002, viewix::kGraph},
                                           {1000, viewix::kDownload},
                                           {1006, viewix::kHome}};
    for (const auto& [button, view] : buttons) {
        frame_->SendLinkCommand(1);
        Click(frame_->View(viewix::kHome), button);
        EXPECT_EQ(frame_->ActiveViewIndex(), view) << button;
    }
    EXPECT_EQ(log_.back(), "settings") << "the home view's Settings opens the settings dialog";

    log_.clear();
    Click(frame_->View(viewix::kHome), 1005);  // answered No
    EXPECT_EQ(presenter_.Texts(), std::vector<QString>{"Do you want to switch to automatic mode?"});
    EXPECT_EQ(link_.AutoMode, 0);
    presenter_.QueueAnswer(true);
    Click(frame_->View(viewix::kHome), 1005);
    EXPECT_EQ(link_.AutoMode, 1);
    EXPECT_EQ(log_, (Log{"command 30"}));
}

TEST_F(MainFrameTest, OtherCommandsGoToTheControllerAndADownloadFillsTheViewAndTheProgress) {
    Start();
    frame_->SendLinkCommand(50);
    frame_->SendLinkCommand(500);
    EXPECT_EQ(log_, (Log{"command 50", "command 500"}));

    frame_->SendLinkCommand(12);  // home: nothing
    EXPECT_FALSE(frame_->ProgressVisible());
    log_.clear();
    ResultRowTexts row;
    row[0] = "20240315";
    fakes_.rows = {row, row};
    frame_->SendLinkCommand(2);
    frame_->SendLinkCommand(2);  // showing already, in manual mode: scans again
    EXPECT_EQ(log_, (Log{"signal 2", "signal 2"}));
    frame_->SendLinkCommand(12);
    EXPECT_EQ(frame_->DownloadView()->List().RowCount(), 2);
    EXPECT_TRUE(frame_->ProgressVisible());
    EXPECT_EQ(frame_->ProcessDialog()->Message(), kDownloadCompletedText);
    frame_->ClearDownloadList();
    EXPECT_EQ(frame_->DownloadView()->List().RowCount(), 0);

    // The progress dialog's text, counts and Close button.
    CProcessDlg& dlg = *frame_->ProcessDialog();
    EXPECT_EQ(dlg.windowTitle(), "Process");
    dlg.SetMessage("1 Receiving the data\r\nPlease check");
    EXPECT_EQ(Control<QLabel>(&dlg, kIdMessageText)->text(), "1 Receiving the data\nPlease check");
    EXPECT_EQ(Control<QPushButton>(&dlg, kIdProcessButton)->text(), "Close");

    EXPECT_EQ(dlg.CountText() + dlg.NewResultsText(), "") << "nothing to count yet";
    const std::tuple<int, int, int, QString> counts[] = {
        {2, 500, -1, "2 of 500|"},
        {501, 500, 0, "500 of 500|New results stored: 0"},
        {0, 0, -1, "|"}};
    for (const auto& [count, total, stored, shown] : counts) {
        dlg.SetCount(count, total);
        dlg.SetNewResults(stored);
        EXPECT_EQ(dlg.CountText() + "|" + dlg.NewResultsText(), shown);
    }
    Click(&dlg, kIdProcessButton);
    EXPECT_FALSE(frame_->ProgressVisible());
    EXPECT_EQ(dlg.Message(), "1 Receiving the data\r\nPlease check");
}

// A restarted timer ticks into the controller at its new interval. The
// caption's close button closes the window only when released on it.
TEST_F(MainFrameTest, TimersTickIntoTheControllerAndCloseShutsDownInOrderAndReturnsHome) {
    Start();
    frame_->StartTimer(3, 60000);
    frame_->StartTimer(3, 0);
    while (log_.empty()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    EXPECT_EQ(log_.front(), "timer 3");
    frame_->KillTimer(3);  // a tick after this would show in the log below
    log_.clear();
    frame_->SendLinkCommand(4);
    for (int id : {1, 4, 5, 10}) frame_->StartTimer(id, 1000);
    const int64_t before = clock_.NowMs();
    const int w = frame_->width();
    for (int releasedAt : {w - 55, w - 10}) {
        QTest::mousePress(frame_.get(), Qt::LeftButton, {}, QPoint(w - 10, 8));
        QTest::mouseRelease(frame_.get(), Qt::LeftButton, {}, QPoint(releasedAt, 8));
        EXPECT_EQ(frame_->isVisible(), releasedAt != w - 10);
    }
    EXPECT_EQ(log_, (Log{"close store", "close port"}));
    EXPECT_EQ(link_.LinkRunning, 0);
    EXPECT_EQ(frame_->ActiveViewIndex(), viewix::kHome);
    for (int id : {1, 4, 5}) EXPECT_FALSE(frame_->TimerRunning(id)) << id;
    EXPECT_EQ(clock_.NowMs() - before, 500);
    EXPECT_TRUE(handoff_.Closed());

    frame_.reset();
    EXPECT_EQ(log_, (Log{"close store", "close port", "close port", "stop worker"}));
}

TEST_F(MainFrameTest, PortSelectRunsModallyAndRefreshesWhileOpen) {
    Start();
    QTimer::singleShot(0, frame_.get(), [&] {
        EXPECT_TRUE(frame_->PortSelectOpen());
        fakes_.choices = {{"COM1", "COM4", "COM9"}, 2};
        frame_->RefreshPortSelect();
        EXPECT_EQ(frame_->PortSelect()->PortList()->count(), 3);
        Click(frame_->PortSelect(), psid::kOk);
    });
    std::string label;
    EXPECT_TRUE(frame_->RunPortSelect(label));
    EXPECT_EQ(label, "COM9");
    EXPECT_FALSE(frame_->PortSelectOpen());
}

TEST_F(MainFrameTest, CommandsFromAnotherThreadRunOnTheWindowThreadUntilTheHandoffCloses) {
    Start();
    bool inCall = false;
    fakes_.onCommand = [&, window = std::this_thread::get_id()] {
        inCall = handoff_.InCall() && std::this_thread::get_id() == window;
    };
    QEventLoop loop;
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        frame_->SendLinkCommand(53);
        returned = !log_.empty();  // the command ran before the call returned
        frame_->ShowProgress("No new data from analyzer.");
        QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
    EXPECT_TRUE(returned);
    EXPECT_TRUE(inCall);
    EXPECT_FALSE(handoff_.InCall());
    EXPECT_EQ(frame_->ProcessDialog()->Message(), "No new data from analyzer.");

    // Closing releases a waiting caller without running its call.
    log_.clear();
    std::thread late([&] { frame_->SendLinkCommand(54); });
    handoff_.Close();
    late.join();
    QCoreApplication::processEvents();
    EXPECT_TRUE(log_.empty());
    frame_->SendLinkCommand(55);
    EXPECT_EQ(log_, Log{"command 55"}) << "calls on the window thread still run";
}

TEST_F(MainFrameTest, PortSelectListIsPreselectedFromTheSourceAndOkConfirmsTheTextAsItStands) {
    struct Case {
        const char* name;
        PortSelectList choices;
        QString preselected;
        QString typed;  // null: leave the selection alone
        std::string confirmed, label;
    } cases[] = {
        {"the chosen item", {{"COM1", "COM12", "COM4"}, 1}, "COM12", {}, "COM12", "COM12"},
        {"out of range: the first", {{"COM1", "COM4"}, 7}, "COM1", {}, "COM1", "COM1"},
        {"a typed name", {{"COM1"}, 0}, "COM1", "COM12", "COM12", "COM12"},
        {"an empty text, resolved by the source", {{}, -1}, "", {}, "", "COM3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fakes_.choices = c.choices;
        log_.clear();
        PortSelectDialog dialog(fakes_, presenter_);
        EXPECT_EQ(dialog.PortList()->count(), static_cast<int>(c.choices.items.size()));
        EXPECT_EQ(dialog.PortList()->currentText(), c.preselected);
        if (!c.typed.isNull()) dialog.PortList()->setEditText(c.typed);
        dialog.show();
        Click(&dialog, psid::kOk);
        EXPECT_EQ(log_, Log{"confirm " + c.confirmed});
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(dialog.SelectedLabel(), c.label);
        EXPECT_FALSE(dialog.isVisible());
    }
}

TEST_F(MainFrameTest, PortSelectFontIsTwentyHighAndARefusedTextKeepsItOpenSayingWhy) {
    PortSelectDialog dialog(fakes_, presenter_);
    for (QWidget* w : {static_cast<QWidget*>(dialog.PortList()),
                       Control<QWidget>(&dialog, psid::kSelectPortLabel)}) {
        EXPECT_EQ(w->font().pixelSize(), 20);
        EXPECT_NEAR(QFontMetricsF(w->font()).averageCharWidth(), 8.0, 0.25);
    }
    dialog.PortList()->setEditText("COM999");
    dialog.show();
    Click(&dialog, psid::kOk);
    EXPECT_TRUE(dialog.isVisible());
    ASSERT_EQ(presenter_.Boxes().size(), 1u);
    EXPECT_EQ(presenter_.Boxes()[0].Caption, "TAVRINA1c Expert");
    EXPECT_EQ(presenter_.Boxes()[0].Text, "No such port.");
    Click(&dialog, psid::kCancel);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(log_, Log{"confirm COM999"}) << "Cancel confirms nothing";
}

// Search scans every port; the dialog then offers what was found.
TEST(ScanPortSelectSource, SearchFillsTheDialogWithTheScannedPorts) {
    PortLists lists;
    LinkState state;
    VirtualClock clock;
    test::RecordingLinkChannel channel(clock);
    // Which port to prefer is the scanner's own test.
    const PortEnumeration found{{{R"(\\?\USB#VID_067B)", "", "Prolific USB-to-Serial (COM12)", true,
                                  "", 12, "/dev/ttyUSB0"}},
                                ""};
    PortScanner scanner(
        lists, [&] { return found; }, state, channel);
    test::SimLink link(clock);
    ScanPortSelectSource source(lists, scanner, link);
    ScriptedMessagePresenter presenter;
    PortSelectDialog dialog(source, presenter);
    Click(&dialog, psid::kSearch);
    EXPECT_EQ(channel.Commands(), (std::vector<int>{50}));
    dialog.Refresh();
    EXPECT_EQ(dialog.PortList()->currentText(), "COM12");
}

}  // namespace
}  // namespace tav
