#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include "app/checking_dlg.h"
#include "app/message_presenter.h"
#include "app/port_select_dialog.h"
#include "app/process_dlg.h"
#include "tests/support/sim_link_fake.h"
#include "tests/support/store_recording_channel.h"
#include "views/frame_view.h"

namespace tav {
namespace {

template <typename T>
T* Control(QWidget* parent, int id) {
    auto* control = qobject_cast<T*>(FindControl(parent, id));
    EXPECT_NE(control, nullptr) << id;
    return control;
}

void Press(QWidget* dialog, int id) {
    Control<QPushButton>(dialog, id)->click();
}

TEST(ProcessDlg, ShowsItsTextAndHidesOnItsButtonKeepingTheText) {
    CProcessDlg dlg;
    EXPECT_EQ(dlg.windowTitle(), "Process");
    dlg.SetMessage("1 Receiving the data\r\nPlease check");
    EXPECT_EQ(Control<QLabel>(&dlg, kIdMessageText)->text(), "1 Receiving the data\nPlease check");
    EXPECT_EQ(Control<QPushButton>(&dlg, kIdProcessButton)->text(), "Close");
    dlg.SetButtonText("Cancel");
    EXPECT_EQ(dlg.ButtonText(), "Cancel");

    dlg.show();
    EXPECT_EQ(dlg.CountText(), "") << "nothing to count yet";
    EXPECT_EQ(dlg.NewResultsText(), "");
    dlg.SetCount(2, 500);
    EXPECT_EQ(dlg.CountText(), "2 of 500");
    dlg.SetCount(501, 500);
    EXPECT_EQ(dlg.CountText(), "500 of 500");
    dlg.SetNewResults(0);
    EXPECT_EQ(dlg.NewResultsText(), "New results stored: 0");
    dlg.SetCount(0, 0);
    dlg.SetNewResults(-1);
    EXPECT_EQ(dlg.CountText(), "");
    EXPECT_EQ(dlg.NewResultsText(), "");
    Press(&dlg, kIdProcessButton);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.Message(), "1 Receiving the data\r\nPlease check");
}

// Refuses "COM999"; an empty text resolves to "COM3".
struct FakePorts : PortSelectSource {
    PortSelectList Choices() override { return choices; }
    void Search() override {}
    PortChoice Confirm(const std::string& text) override {
        confirmed.push_back(text);
        PortChoice choice;
        choice.ok = text != "COM999";
        choice.text = text.empty() ? "COM3" : text;
        if (!choice.ok) choice.error = "No such port.";
        return choice;
    }
    PortSelectList choices;
    std::vector<std::string> confirmed;
};

class PortSelectTest : public ::testing::Test {
  protected:
    ScriptedMessagePresenter presenter_;
    FakePorts ports_;
};

TEST_F(PortSelectTest, ListIsFilledAndPreselectedFromTheSource) {
    struct Case {
        const char* name;
        PortSelectList choices;
        QString expectText;
    } cases[] = {
        {"the chosen item is selected", {{"COM1", "COM12", "COM4"}, 1}, "COM12"},
        {"a choice out of range selects the first", {{"COM1", "COM4"}, 7}, "COM1"},
        {"an empty list leaves the text empty", {{}, -1}, ""},
    };
    for (const Case& c : cases) {
        ports_.choices = c.choices;
        PortSelectDialog dialog(ports_, presenter_);
        EXPECT_EQ(dialog.PortList()->count(), static_cast<int>(c.choices.items.size())) << c.name;
        EXPECT_EQ(dialog.PortList()->currentText(), c.expectText) << c.name;
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

TEST_F(PortSelectTest, OkConfirmsTheTextAsItStandsAndCloses) {
    struct Case {
        const char* name;
        PortSelectList choices;
        QString typed;  // null: leave the selection alone
        std::string confirmed, label;
    } cases[] = {
        {"the selected item", {{"COM1", "COM7"}, 1}, {}, "COM7", "COM7"},
        {"a typed name", {{"COM1"}, 0}, "COM12", "COM12", "COM12"},
        {"an empty text, resolved by the source", {{}, -1}, {}, "", "COM3"},
    };
    for (const Case& c : cases) {
        ports_.choices = c.choices;
        ports_.confirmed.clear();
        PortSelectDialog dialog(ports_, presenter_);
        if (!c.typed.isNull()) dialog.PortList()->setEditText(c.typed);
        dialog.show();
        Press(&dialog, psid::kOk);
        EXPECT_EQ(ports_.confirmed, std::vector<std::string>{c.confirmed}) << c.name;
        EXPECT_EQ(dialog.result(), QDialog::Accepted) << c.name;
        EXPECT_EQ(dialog.SelectedLabel(), c.label) << c.name;
        EXPECT_FALSE(dialog.isVisible()) << c.name;
    }
}

TEST_F(PortSelectTest, RefusedTextKeepsTheDialogOpenAndSaysWhyThenCancelCloses) {
    PortSelectDialog dialog(ports_, presenter_);
    dialog.PortList()->setEditText("COM999");
    dialog.show();
    Press(&dialog, psid::kOk);
    EXPECT_TRUE(dialog.isVisible());
    ASSERT_EQ(presenter_.Boxes().size(), 1u);
    EXPECT_EQ(presenter_.Boxes()[0].Caption, "TAVRINA1c Expert");
    EXPECT_EQ(presenter_.Boxes()[0].Text, "No such port.");
    Press(&dialog, psid::kCancel);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(ports_.confirmed, std::vector<std::string>{"COM999"}) << "Cancel confirms nothing";
}

TEST(ScanPortSelectSource, DialogOffersTheScannedPortsAndSetsTheChosenDevice) {
    PortLists lists;
    LinkState state;
    VirtualClock clock;
    test::RecordingLinkChannel channel(clock);
    auto port = [](int n, std::string name, std::string node) {
        PortInfo info;
        info.devicePath = R"(\\?\USB#VID_067B)";
        info.friendlyName = name + " (COM" + std::to_string(n) + ")";
        info.usb = true;
        info.comNumber = n;
        info.deviceNode = node;
        return info;
    };
    const PortEnumeration found{
        {port(1, "Other Serial", "/dev/ttyS0"), port(12, "Prolific USB-to-Serial", "/dev/ttyUSB0")},
        ""};
    PortScanner scanner(
        lists, [&] { return found; }, state, channel);
    test::SimLink link(clock);
    link.SetLineSettings({1200, 7, 1, 1, 5});
    ScanPortSelectSource source(lists, scanner, link);
    ScriptedMessagePresenter presenter;
    PortSelectDialog dialog(source, presenter);
    EXPECT_EQ(dialog.PortList()->count(), 0);

    Press(&dialog, psid::kSearch);
    EXPECT_EQ(channel.Commands(), (std::vector<int>{50}));
    dialog.Refresh();
    ASSERT_EQ(dialog.PortList()->count(), 2);
    EXPECT_EQ(dialog.PortList()->currentText(), "COM12");

    dialog.PortList()->setEditText("COM101");
    dialog.show();
    Press(&dialog, psid::kOk);
    EXPECT_TRUE(dialog.isVisible()) << "a number beyond 100 is refused";
    EXPECT_EQ(presenter.Boxes().size(), 1u);

    dialog.PortList()->setCurrentIndex(1);
    Press(&dialog, psid::kOk);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.SelectedLabel(), "COM12");
    EXPECT_EQ(link.PortDeviceName(), "/dev/ttyUSB0");
    EXPECT_EQ(link.Settings().baudRate, 9600u);
    EXPECT_EQ(lists.SelectedPortText(), "COM12");
}

}  // namespace
}  // namespace tav
