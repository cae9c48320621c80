#include "app/port_select_dialog.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>

#include "app/message_presenter.h"
#include "controls/art_button.h"
#include "controls/fitted_font.h"
#include "link/link_channel.h"

namespace tav {

PortSelectDialog::PortSelectDialog(PortSelectSource& source, MessagePresenter& presenter,
                                   QWidget* parent)
    : QDialog(parent), source_(source), presenter_(presenter) {
    setWindowTitle(QString::fromLatin1(kPortSelectTitle));
    setProperty("controlId", 141);
    setModal(true);

    const QFont portFont = PortSelectFont();

    auto* label = new QLabel(QStringLiteral("Select Port"), this);
    label->setProperty("controlId", psid::kSelectPortLabel);
    label->setFont(portFont);
    list_ = new QComboBox(this);
    list_->setProperty("controlId", psid::kPortList);
    list_->setEditable(true);
    list_->setInsertPolicy(QComboBox::NoInsert);
    list_->setFont(portFont);
    list_->setMinimumWidth(180);

    // Image buttons; Enter presses OK as before.
    const QSize buttonSize(100, 36);
    auto* search = new ArtButton(Art::Search, QStringLiteral("Search"), this);
    search->setProperty("controlId", psid::kSearch);
    search->setFixedSize(buttonSize);
    auto* ok = new ArtButton(Art::Ok, QStringLiteral("OK"), this);
    ok->setProperty("controlId", psid::kOk);
    ok->setFixedSize(buttonSize);
    ok->setDefault(true);
    auto* cancel = new ArtButton(Art::Cancel, QStringLiteral("Cancel"), this);
    cancel->setProperty("controlId", psid::kCancel);
    cancel->setFixedSize(buttonSize);

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
    const PortSelectList choices = source_.Choices();
    list_->clear();
    for (const std::string& item : choices.items) list_->addItem(QString::fromStdString(item));
    if (list_->count() == 0) return;
    const int selected =
        choices.selected >= 0 && choices.selected < list_->count() ? choices.selected : 0;
    list_->setCurrentIndex(selected);
}

void PortSelectDialog::accept() {
    const PortChoice result = source_.Confirm(list_->currentText().toStdString());
    if (!result.ok) {
        if (!result.error.empty())
            presenter_.Inform(this, QString::fromLatin1(kMessageCaption),
                              QString::fromStdString(result.error));
        return;
    }
    label_ = result.text;
    QDialog::accept();
}

PortSelectList ScanPortSelectSource::Choices() {
    return FillPortSelectList(lists_);
}

void ScanPortSelectSource::Search() {
    lists_.SetAnalyzerPortFound(0);
    scanner_.ScanAllPorts();
}

PortChoice ScanPortSelectSource::Confirm(const std::string& text) {
    return AcceptPortSelection(text, lists_, link_);
}

}  // namespace tav
