#include "app/process_dlg.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

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
    bar_ = new QProgressBar(this);
    bar_->setFormat(QStringLiteral("%v of %m"));
    bar_->setAlignment(Qt::AlignCenter);
    bar_->hide();
    newResults_ = new QLabel(this);
    newResults_->setAlignment(Qt::AlignCenter);
    newResults_->hide();
    button_ = new QPushButton(QStringLiteral("Close"), this);
    button_->setProperty("controlId", kIdProcessButton);
    button_->setAutoDefault(false);
    connect(button_, &QPushButton::clicked, this, &QWidget::hide);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text_, 1);
    layout->addWidget(bar_);
    layout->addWidget(newResults_);
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

void CProcessDlg::SetCount(int done, int total) {
    if (total < 1) {
        bar_->hide();
        return;
    }
    if (bar_->maximum() != total) bar_->setRange(0, total);
    bar_->setValue(std::clamp(done, 0, total));
    bar_->show();
}

void CProcessDlg::SetNewResults(int count) {
    if (count < 0) {
        newResults_->hide();
        return;
    }
    newResults_->setText(QStringLiteral("New results stored: %1").arg(count));
    newResults_->show();
}

QString CProcessDlg::CountText() const {
    return bar_->isVisibleTo(this) ? bar_->text() : QString();
}

QString CProcessDlg::NewResultsText() const {
    return newResults_->isVisibleTo(this) ? newResults_->text() : QString();
}

}  // namespace tav
