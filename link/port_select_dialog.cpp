#include "link/port_select_dialog.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include "app/message_presenter.h"
#include "protocol/link_channel.h"

namespace tav {

PortSelectDialog::PortSelectDialog(PortSelectSource& source, MessagePresenter& presenter,
                                   QWidget* parent)
    : QDialog(parent), source_(source), presenter_(presenter) {
    setWindowTitle(QString::fromLatin1(kPortSelectTitle));
    setProperty("controlId", 141);
    setModal(true);

    QFont portFont(QStringLiteral("Tahoma"));
    portFont.setPixelSize(20);
    portFont.setWeight(QFont::DemiBold);

    auto* label = new QLabel(QStringLiteral("Select Port"), this);
    label->setProperty("controlId", psid::kSelectPortLabel);
    label->setFont(portFont);
    list_ = new QComboBox(this);
    list_->setProperty("controlId", psid::kPortList);
    list_->setEditable(true);
    list_->setInsertPolicy(QComboBox::NoInsert);
    list_->setFont(portFont);
    list_->setMinimumWidth(180);

    auto* search = new QPushButton(QStringLiteral("Search"), this);
    search->setProperty("controlId", psid::kSearch);
    search->setAutoDefault(false);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setProperty("controlId", psid::kOk);
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setProperty("controlId", psid::kCancel);
    cancel->setAutoDefault(false);

    connect(search, &QPushButton::clicked, this, [this] { source_.Search(); });
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* grid = new QGridLayout(this);
    grid->addWidget(label, 0, 0);
    grid->addWidget(list_, 0, 1);
    grid->addWidget(search, 0, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    grid->addLayout(buttons, 1, 0, 1, 3);
    resize(420, 140);

    Refresh();
}

void PortSelectDialog::Refresh() {
    const PortChoices choices = source_.Choices();
    list_->clear();
    for (const std::string& item : choices.Items) list_->addItem(QString::fromStdString(item));
    if (list_->count() == 0) return;
    const int selected =
        choices.Selected >= 0 && choices.Selected < list_->count() ? choices.Selected : 0;
    list_->setCurrentIndex(selected);
}

void PortSelectDialog::accept() {
    const PortConfirmation result = source_.Confirm(list_->currentText().toStdString());
    if (!result.Accepted) {
        if (!result.Refusal.empty())
            presenter_.Inform(this, QString::fromLatin1(kMessageCaption),
                              QString::fromStdString(result.Refusal));
        return;
    }
    label_ = result.Label;
    QDialog::accept();
}

}  // namespace tav
