#include "app/checking_dlg.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/message_presenter.h"

namespace tav {

CCheckingDlg::CCheckingDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Checking"));
    setModal(false);
    setProperty("controlId", 30376);
    text_ = new QLabel(this);
    text_->setProperty("controlId", kIdMessageText);
    text_->setAlignment(Qt::AlignCenter);
    text_->setWordWrap(true);
    text_->setMinimumSize(320, 60);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setProperty("controlId", kIdCheckingOk);
    ok->setAutoDefault(false);
    connect(ok, &QPushButton::clicked, this, &QWidget::hide);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text_, 1);
    layout->addWidget(ok, 0, Qt::AlignHCenter);
}

void CCheckingDlg::SetMessage(const QString& text) {
    if (text == message_) return;
    message_ = text;
    text_->setText(DisplayText(text));
    text_->repaint();
}

}  // namespace tav
