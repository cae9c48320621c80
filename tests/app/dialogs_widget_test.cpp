#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include "app/message_presenter.h"
#include "link/port_select_dialog.h"
#include "protocol/checking_dlg.h"
#include "protocol/process_dlg.h"
#include "views/frame_view.h"

namespace tav {
namespace {

template <typename T>
T* Control(QWidget* parent, int id) {
    return qobject_cast<T*>(FindControl(parent, id));
}

TEST(ProcessDlg, ShowsItsTextAndHidesOnItsButton) {
    CProcessDlg dlg;
    EXPECT_EQ(dlg.windowTitle(), "Process");
    EXPECT_FALSE(dlg.isVisible());
    dlg.SetMessage("1 Receiving the data\r\nPlease check");
    auto* text = Control<QLabel>(&dlg, kIdMessageText);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->text(), "1 Receiving the data\nPlease check");
    EXPECT_EQ(dlg.Message(), "1 Receiving the data\r\nPlease check");

    auto* button = Control<QPushButton>(&dlg, kIdProcessButton);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(), "Close");
    dlg.SetButtonText("Cancel");
    EXPECT_EQ(dlg.ButtonText(), "Cancel");

    dlg.show();
    button->click();
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.Message(), "1 Receiving the data\r\nPlease check") << "hiding keeps the text";
}

TEST(CheckingDlg, OkHidesIt) {
    CCheckingDlg dlg;
    EXPECT_EQ(dlg.windowTitle(), "Checking");
    dlg.SetMessage("Automatic mode was terminated.");
    EXPECT_EQ(Control<QLabel>(&dlg, kIdMessageText)->text(), "Automatic mode was terminated.");
    dlg.show();
    auto* ok = Control<QPushButton>(&dlg, kIdCheckingOk);
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text(), "OK");
    ok->click();
    EXPECT_FALSE(dlg.isVisible());
}

struct FakePorts : PortSelectSource {
    PortSelectList Choices() override { return choices; }
    void Search() override { ++searches; }
    PortChoice Confirm(const std::string& text) override {
        confirmed.push_back(text);
        PortChoice choice;
        choice.ok = text != "COM999";
        choice.text = text.empty() ? "COM3" : text;
        if (!choice.ok) choice.error = "No such port.";
        return choice;
    }
    PortSelectList choices;
    int searches = 0;
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
        EXPECT_EQ(dialog.windowTitle(), "Get HbA1c data");
        EXPECT_EQ(dialog.PortList()->count(), static_cast<int>(c.choices.items.size())) << c.name;
        EXPECT_EQ(dialog.PortList()->currentText(), c.expectText) << c.name;
    }
}

TEST_F(PortSelectTest, ControlsCarryTheirIdsAndFont) {
    PortSelectDialog dialog(ports_, presenter_);
    for (int id :
         {psid::kOk, psid::kCancel, psid::kSearch, psid::kPortList, psid::kSelectPortLabel})
        EXPECT_NE(FindControl(&dialog, id), nullptr) << id;
    EXPECT_EQ(Control<QLabel>(&dialog, psid::kSelectPortLabel)->text(), "Select Port");
    EXPECT_EQ(dialog.PortList()->font().pixelSize(), 20);
}

TEST_F(PortSelectTest, OkConfirmsTheTextAndCloses) {
    ports_.choices = {{"COM1", "COM7"}, 1};
    PortSelectDialog dialog(ports_, presenter_);
    dialog.show();
    Control<QPushButton>(&dialog, psid::kOk)->click();
    EXPECT_EQ(ports_.confirmed, (std::vector<std::string>{"COM7"}));
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.SelectedLabel(), "COM7");
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(PortSelectTest, TypedAndEmptyTextsGoToTheSourceAsTheyStand) {
    PortSelectDialog dialog(ports_, presenter_);
    dialog.show();
    Control<QPushButton>(&dialog, psid::kOk)->click();
    EXPECT_EQ(dialog.SelectedLabel(), "COM3");

    PortSelectDialog typed(ports_, presenter_);
    typed.PortList()->setEditText("COM12");
    typed.show();
    Control<QPushButton>(&typed, psid::kOk)->click();
    EXPECT_EQ(ports_.confirmed, (std::vector<std::string>{"", "COM12"}));
}

TEST_F(PortSelectTest, RefusedTextKeepsTheDialogOpenAndSaysWhy) {
    PortSelectDialog dialog(ports_, presenter_);
    dialog.PortList()->setEditText("COM999");
    dialog.show();
    Control<QPushButton>(&dialog, psid::kOk)->click();
    EXPECT_TRUE(dialog.isVisible());
    ASSERT_EQ(presenter_.Boxes().size(), 1u);
    EXPECT_EQ(presenter_.Boxes()[0].Caption, "TAVRINA1c Expert");
    EXPECT_EQ(presenter_.Boxes()[0].Text, "No such port.");
}

TEST_F(PortSelectTest, CancelClosesWithoutConfirming) {
    PortSelectDialog dialog(ports_, presenter_);
    dialog.show();
    Control<QPushButton>(&dialog, psid::kCancel)->click();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_TRUE(ports_.confirmed.empty());
}

TEST_F(PortSelectTest, SearchScansAndRefreshRefills) {
    ports_.choices = {{"COM1"}, 0};
    PortSelectDialog dialog(ports_, presenter_);
    Control<QPushButton>(&dialog, psid::kSearch)->click();
    EXPECT_EQ(ports_.searches, 1);
    ports_.choices = {{"COM1", "COM5", "COM5"}, 2};
    dialog.Refresh();
    EXPECT_EQ(dialog.PortList()->count(), 3);
    EXPECT_EQ(dialog.PortList()->currentIndex(), 2);
}

struct RecordingChannel : LinkChannel {
    void SendLinkCommand(int code) override { commands.push_back(code); }
    void ShowMessage(const std::string&) override {}
    void ShowProgress(const std::string&) override {}
    std::vector<int> commands;
};

struct RecordingLink : SerialLink {
    void SetPortDeviceName(const std::string& name) override { device = name; }
    std::string PortDeviceName() const override { return device; }
    void SetLineSettings(const LineSettings& s) override { settings = s; }
    bool Prepare(SerialReceiver*, uint32_t) override { return true; }
    bool Open() override { return false; }
    void Close() override {}
    bool IsOpen() const override { return false; }
    size_t Write(const uint8_t*, size_t) override { return 0; }
    bool Purge() override { return true; }
    std::string LastOpenError() const override { return {}; }
    std::string device;
    LineSettings settings{1200, 7, 1, 1, 5};
};

TEST(ScanPortSelectSource, DialogOffersTheScannedPortsAndSetsTheChosenDevice) {
    PortLists lists;
    LinkState state;
    RecordingChannel channel;
    auto port = [](int n, std::string name, std::string node) {
        PortInfo info;
        info.devicePath = R"(\\?\USB#VID_067B)";
        info.friendlyName = name + " (COM" + std::to_string(n) + ")";
        info.usb = true;
        info.comNumber = n;
        info.deviceNode = node;
        return info;
    };
    PortScanner scanner(
        lists,
        [&] {
            return PortEnumeration{{port(1, "Other Serial", "/dev/ttyS0"),
                                    port(12, "Prolific USB-to-Serial", "/dev/ttyUSB0")},
                                   ""};
        },
        state, channel);
    RecordingLink link;
    ScanPortSelectSource source(lists, scanner, link);
    ScriptedMessagePresenter presenter;
    PortSelectDialog dialog(source, presenter);
    EXPECT_EQ(dialog.PortList()->count(), 0);

    Control<QPushButton>(&dialog, psid::kSearch)->click();
    EXPECT_EQ(channel.commands, (std::vector<int>{50}));
    dialog.Refresh();
    ASSERT_EQ(dialog.PortList()->count(), 2);
    EXPECT_EQ(dialog.PortList()->currentText(), "COM12");

    dialog.PortList()->setEditText("COM101");
    dialog.show();
    Control<QPushButton>(&dialog, psid::kOk)->click();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(presenter.Boxes().size(), 1u);

    dialog.PortList()->setCurrentIndex(1);
    Control<QPushButton>(&dialog, psid::kOk)->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.SelectedLabel(), "COM12");
    EXPECT_EQ(link.device, "/dev/ttyUSB0");
    EXPECT_EQ(link.settings.baudRate, 9600u);
    EXPECT_EQ(lists.SelectedPortText(), "COM12");
}

}  // namespace
}  // namespace tav
