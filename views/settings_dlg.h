// The settings dialog: the result unit, the date order and the clock of every
// result display. Saving writes set_info.ini, reads it back and asks the main
// window to show the current view again in the new settings.
#pragma once

#include <QDialog>
#include <string>

#include "core/settings.h"

class QLineEdit;
class QLabel;
class QRadioButton;

namespace tav {

class ViewHost;

namespace setid {
inline constexpr int kDialog = 142;
inline constexpr int kUnitGroup = 1038;
inline constexpr int kPercent = 1102;
inline constexpr int kMmol = 1103;
inline constexpr int kDateGroup = 1039;
inline constexpr int kYmd = 1107;
inline constexpr int kMdy = 1108;
inline constexpr int kDmy = 1109;
inline constexpr int kTimeGroup = 1040;
inline constexpr int k12Hours = 1104;
inline constexpr int k24Hours = 1105;
inline constexpr int kHigh = 1000;
inline constexpr int kLow = 1005;
inline constexpr int kHighUnit = 1018;
inline constexpr int kLowUnit = 1019;
inline constexpr int kPhysicianGroup = 1015;
inline constexpr int kName = 1085;
inline constexpr int kHospital = 1090;
inline constexpr int kEmail = 1093;
inline constexpr int kNote = 1094;
inline constexpr int kSave = 1074;
inline constexpr int kClose = 1170;
}  // namespace setid

inline constexpr const char* kSettingsDialogTitle = "Setting information";

class CSettingsDlg : public QDialog {
    Q_OBJECT
  public:
    // Edits `settings` (the program's own); saving writes them to the
    // settings file in `homeDir` and sends command 12 through `host`.
    CSettingsDlg(AppSettings& settings, std::string homeDir, ViewHost& host,
                 QWidget* parent = nullptr);

    // Button 1074: takes the choices, saves, reloads, refreshes the view that
    // is showing and closes with OK.
    void OnSave();

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    // Fills the controls from the settings.
    void FillFromSettings();

    AppSettings& settings_;
    std::string homeDir_;
    ViewHost& host_;
    int openedUnit_ = 0;

    QRadioButton* percent_;
    QRadioButton* mmol_;
    QRadioButton* dateButtons_[3];
    QRadioButton* hours12_;
    QRadioButton* hours24_;
    QLineEdit* high_;
    QLineEdit* low_;
    QLabel* highUnit_;
    QLabel* lowUnit_;
    QLineEdit* name_;
    QLineEdit* hospital_;
    QLineEdit* email_;
    QLineEdit* note_;
};

// Opens the dialog modally over `parent`; true when the user saved.
bool RunSettingsDialog(AppSettings& settings, const std::string& homeDir, ViewHost& host,
                       QWidget* parent);

}  // namespace tav
