// "Checking": the dialog that tells the user automatic mode has ended.
#pragma once

#include <QDialog>
#include <QString>

#include "app/process_dlg.h"

class QLabel;

namespace tav {

class CCheckingDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CCheckingDlg(QWidget* parent = nullptr);
    void SetMessage(const QString& text);
    QString Message() const { return message_; }

  private:
    QLabel* text_;
    QString message_;
};

}  // namespace tav
