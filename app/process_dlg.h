// The two modeless dialogs of the download controller: the progress dialog
// and the checking dialog. Both are created hidden once and live as long as
// the main window; their buttons only hide them.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QProgressBar;
class QPushButton;

namespace tav {

inline constexpr int kIdMessageText = 1004;
inline constexpr int kIdProcessButton = 1170;
inline constexpr int kIdCheckingOk = 1020;

// "Process": a message text, a bar counting the results of a download
// ("n of N", hidden when there is nothing to count), a line with the number
// of new results a download stored (hidden until then) and one button,
// "Close" at first.
class CProcessDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CProcessDlg(QWidget* parent = nullptr);

    // Changes the text only when it differs from the one shown, then repaints.
    void SetMessage(const QString& text);
    void SetButtonText(const QString& text);
    QString Message() const { return message_; }
    QString ButtonText() const;
    // `done` of `total` on the bar; a total below 1 hides it.
    void SetCount(int done, int total);
    // "New results stored: n"; a count below 0 hides the line.
    void SetNewResults(int count);
    // What the bar and the line show; empty when hidden.
    QString CountText() const;
    QString NewResultsText() const;

  private:
    QLabel* text_;
    QProgressBar* bar_;
    QLabel* newResults_;
    QPushButton* button_;
    QString message_;
};

}  // namespace tav
