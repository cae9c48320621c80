#include "app/process_dlg.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/message_presenter.h"

namespace tav {

CProcessDlg::CProcessDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Process"));
    setModal(false);
    setProperty("controlId", 189);
    text_ = new QLabel(this);
    text_->setProperty("controlId", kIdMessageText);
    text_->setAlignment(Qt::AlignCenter);
    text_->setWordWrap(true);
    text_->setMinimumSize(360, 80);
    button_ = new QPushButton(QStringLiteral("Close"), this);
    button_->setProperty("controlId", kIdProcessButton);
    button_->setAutoDefault(false);
    connect(button_, &QPushButton::clicked, this, &QWidget::hide);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text_, 1);
    layout->addWidget(button_, 0, Qt::AlignHCenter);
}

void CProcessDlg::SetMessage(const QString& text) {
    if (text == message_) return;
    message_ = text;
    text_->setText(DisplayText(text));
    text_->repaint();
}

void CProcessDlg::SetButtonText(const QString& text) {
    button_->setText(text);
}

QString CProcessDlg::ButtonText() const {
    return button_->text();
}

}  // namespace tav
