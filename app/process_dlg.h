// The two modeless dialogs of the download controller: the progress dialog
// and the checking dialog. Both are created hidden once and live as long as
// the main window; their buttons only hide them.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;

namespace tav {

inline constexpr int kIdMessageText = 1004;
inline constexpr int kIdProcessButton = 1170;
inline constexpr int kIdCheckingOk = 1020;

// "Process": a message text and one button, "Close" at first.
class CProcessDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CProcessDlg(QWidget* parent = nullptr);

    // Changes the text only when it differs from the one shown, then repaints.
    void SetMessage(const QString& text);
    void SetButtonText(const QString& text);
    QString Message() const { return message_; }
    QString ButtonText() const;

  private:
    QLabel* text_;
    QPushButton* button_;
    QString message_;
};

}  // namespace tav
