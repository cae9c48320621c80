#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <tuple>

#include "app/checking_dlg.h"
#include "app/message_presenter.h"
#include "app/port_select_dialog.h"
#include "app/process_dlg.h"
#include "tests/support/sim_link_fake.h"
#include "tests/support/store_recording_channel.h"
#include "tests/support/widget_lookup.h"
#include "views/frame_view.h"

namespace tav {
namespace {

using test::Click;
using test::Control;

TEST(ProcessDlg, ShowsItsTextAndHidesOnItsButtonKeepingTheText) {
    CProcessDlg dlg;
    EXPECT_EQ(dlg.windowTitle(), "Process");
    dlg.SetMessage("1 Receiving the data\r\nPlease check");
    EXPECT_EQ(Control<QLabel>(&dlg, kIdMessageText)->text(), "1 Receiving the data\nPlease check");
    EXPECT_EQ(Control<QPushButton>(&dlg, kIdProcessButton)->text(), "Close");

    dlg.show();
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
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.Message(), "1 Receiving the data\r\nPlease check");
}

// Refuses "COM999"; an empty text resolves to "COM3".
struct FakePorts : PortSelectSource {
    PortSelectList Choices() override { return choices; }
    void Search() override {}
    PortChoice Confirm(const std::string& text) override {
        confirmed.push_back(text);
        const bool ok = text != "COM999";
        return {ok, text.empty() ? "COM3" : text, 0, "", ok ? "" : "No such port."};
    }
    PortSelectList choices;
    std::vector<std::string> confirmed;
};

class PortSelectTest : public ::testing::Test {
  protected:
    ScriptedMessagePresenter presenter_;
    FakePorts ports_;
};

TEST_F(PortSelectTest, ListIsPreselectedFromTheSourceAndOkConfirmsTheTextAsItStands) {
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
        ports_.choices = c.choices;
        ports_.confirmed.clear();
        PortSelectDialog dialog(ports_, presenter_);
        EXPECT_EQ(dialog.PortList()->count(), static_cast<int>(c.choices.items.size()));
        EXPECT_EQ(dialog.PortList()->currentText(), c.preselected);
        if (!c.typed.isNull()) dialog.PortList()->setEditText(c.typed);
        dialog.show();
        Click(&dialog, psid::kOk);
        EXPECT_EQ(ports_.confirmed, std::vector<std::string>{c.confirmed});
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(dialog.SelectedLabel(), c.label);
        EXPECT_FALSE(dialog.isVisible());
    }
}

TEST_F(PortSelectTest, PortFontIsTwentyHighAndEightWide) {
    PortSelectDialog dialog(ports_, presenter_);
    for (QWidget* w : {static_cast<QWidget*>(dialog.PortList()),
                       static_cast<QWidget*>(Control<QLabel>(&dialog, psid::kSelectPortLabel))}) {
        EXPECT_EQ(w->font().pixelSize(), 20);
        EXPECT_NEAR(QFontMetricsF(w->font()).averageCharWidth(), 8.0, 0.25);
    }
}

TEST_F(PortSelectTest, RefusedTextKeepsTheDialogOpenAndSaysWhyThenCancelCloses) {
    PortSelectDialog dialog(ports_, presenter_);
    dialog.PortList()->setEditText("COM999");
    dialog.show();
    Click(&dialog, psid::kOk);
    EXPECT_TRUE(dialog.isVisible());
    ASSERT_EQ(presenter_.Boxes().size(), 1u);
    EXPECT_EQ(presenter_.Boxes()[0].Caption, "TAVRINA1c Expert");
    EXPECT_EQ(presenter_.Boxes()[0].Text, "No such port.");
    Click(&dialog, psid::kCancel);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(ports_.confirmed, std::vector<std::string>{"COM999"}) << "Cancel confirms nothing";
}

// Search scans every port; the dialog then offers what was found.
TEST(ScanPortSelectSource, SearchFillsTheDialogWithTheScannedPorts) {
    PortLists lists;
    LinkState state;
    VirtualClock clock;
    test::RecordingLinkChannel channel(clock);
    auto port = [](int n, const std::string& name) {
        const std::string friendly = name + " (COM" + std::to_string(n) + ")";
        return PortInfo{R"(\\?\USB#VID_067B)", "", friendly, true, "", n, "/dev/ttyUSB0"};
    };
    const PortEnumeration found{{port(1, "Other Serial"), port(12, "Prolific USB-to-Serial")}, ""};
    PortScanner scanner(
        lists, [&] { return found; }, state, channel);
    test::SimLink link(clock);
    ScanPortSelectSource source(lists, scanner, link);
    ScriptedMessagePresenter presenter;
    PortSelectDialog dialog(source, presenter);
    Click(&dialog, psid::kSearch);
    EXPECT_EQ(channel.Commands(), (std::vector<int>{50}));
    dialog.Refresh();
    ASSERT_EQ(dialog.PortList()->count(), 2);
    EXPECT_EQ(dialog.PortList()->currentText(), "COM12");
}

}  // namespace
}  // namespace tav
