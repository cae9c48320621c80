#include "views/settings_dlg.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "core/result_format.h"
#include "protocol/link_commands.h"
#include "views/frame_view.h"

namespace tav {

namespace {

constexpr const char* kPercentText = "%";
constexpr const char* kMmolText = "mmol/mol";

QString L(const char* text) {
    return QString::fromLatin1(text);
}

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

template <typename W>
W* Tagged(W* widget, int id) {
    widget->setProperty("controlId", id);
    return widget;
}

// Only this button of the list is checked.
bool OnlyChecked(QRadioButton* const* buttons, int count, int which) {
    for (int i = 0; i < count; ++i)
        if (buttons[i]->isChecked() != (i == which)) return false;
    return true;
}

// Radio buttons are exclusive within their group; to show none checked the
// exclusivity is lifted for the moment of the change.
void SetChecked(QRadioButton* button, bool checked) {
    button->setAutoExclusive(false);
    button->setChecked(checked);
    button->setAutoExclusive(true);
}

}  // namespace

CSettingsDlg::CSettingsDlg(AppSettings& settings, std::string homeDir, ViewHost& host,
                           QWidget* parent)
    : QDialog(parent), settings_(settings), homeDir_(std::move(homeDir)), host_(host) {
    setWindowTitle(L(kSettingsDialogTitle));
    setProperty("controlId", setid::kDialog);
    setModal(true);

    QFont choiceFont(QStringLiteral("Tahoma"));
    choiceFont.setPixelSize(18);

    auto group = [&](int id, const char* caption) {
        auto* box = Tagged(new QGroupBox(L(caption), this), id);
        box->setFont(choiceFont);
        auto* layout = new QHBoxLayout(box);
        layout->setSpacing(24);
        return box;
    };
    auto radio = [&](QGroupBox* box, int id, const char* text) {
        auto* button = Tagged(new QRadioButton(L(text), box), id);
        button->setFont(choiceFont);
        box->layout()->addWidget(button);
        return button;
    };

    QGroupBox* units = group(setid::kUnitGroup, "Units");
    percent_ = radio(units, setid::kPercent, kPercentText);
    mmol_ = radio(units, setid::kMmol, kMmolText);
    static_cast<QHBoxLayout*>(units->layout())->addStretch(1);

    QGroupBox* dates = group(setid::kDateGroup, "Date Format  ");
    dateButtons_[0] = radio(dates, setid::kYmd, "yyyy-MM-dd");
    dateButtons_[1] = radio(dates, setid::kMdy, "MM/dd/yyyy");
    dateButtons_[2] = radio(dates, setid::kDmy, "dd/MM/yyyy");
    static_cast<QHBoxLayout*>(dates->layout())->addStretch(1);

    QGroupBox* times = group(setid::kTimeGroup, "Time Format  ");
    hours12_ = radio(times, setid::k12Hours, "12 Hours");
    hours24_ = radio(times, setid::k24Hours, "24 Hours");
    static_cast<QHBoxLayout*>(times->layout())->addStretch(1);

    // The limits and the physician's details are kept but not shown: they
    // pass through a save unchanged.
    auto* limits = new QWidget(this);
    auto* limitGrid = new QGridLayout(limits);
    high_ = Tagged(new QLineEdit(limits), setid::kHigh);
    low_ = Tagged(new QLineEdit(limits), setid::kLow);
    highUnit_ = Tagged(new QLabel(L(kPercentText), limits), setid::kHighUnit);
    lowUnit_ = Tagged(new QLabel(L(kPercentText), limits), setid::kLowUnit);
    limitGrid->addWidget(new QLabel(QStringLiteral("High"), limits), 0, 0);
    limitGrid->addWidget(high_, 0, 1);
    limitGrid->addWidget(highUnit_, 0, 2);
    limitGrid->addWidget(new QLabel(QStringLiteral("Low"), limits), 1, 0);
    limitGrid->addWidget(low_, 1, 1);
    limitGrid->addWidget(lowUnit_, 1, 2);
    limits->hide();

    auto* physician =
        Tagged(new QGroupBox(QStringLiteral(" Physician "), this), setid::kPhysicianGroup);
    auto* physicianGrid = new QGridLayout(physician);
    auto field = [&](int row, int id, const char* label) {
        auto* edit = Tagged(new QLineEdit(physician), id);
        physicianGrid->addWidget(new QLabel(L(label), physician), row, 0);
        physicianGrid->addWidget(edit, row, 1);
        return edit;
    };
    name_ = field(0, setid::kName, "Name :");
    hospital_ = field(1, setid::kHospital, "Hospital :");
    email_ = field(2, setid::kEmail, "E-mail :");
    note_ = field(3, setid::kNote, "Note :");
    physician->hide();

    auto* save = Tagged(new QPushButton(QStringLiteral("Save"), this), setid::kSave);
    auto* close = Tagged(new QPushButton(QStringLiteral("Close"), this), setid::kClose);
    save->setDefault(true);
    close->setAutoDefault(false);
    save->setMinimumSize(110, 36);
    close->setMinimumSize(110, 36);
    connect(save, &QPushButton::clicked, this, [this] { OnSave(); });
    connect(close, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 20);
    layout->setSpacing(14);
    layout->addWidget(units);
    layout->addWidget(dates);
    layout->addWidget(times);
    layout->addWidget(limits);
    layout->addWidget(physician);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(save);
    buttons->addWidget(close);
    layout->addLayout(buttons);
    setFixedSize(sizeHint().expandedTo(QSize(520, 0)));

    FillFromSettings();
}

void CSettingsDlg::FillFromSettings() {
    openedUnit_ = settings_.unit;
    // A value outside the choices (a key missing from the file) checks none.
    SetChecked(percent_, settings_.unit == 0);
    SetChecked(mmol_, settings_.unit == 1);
    if (settings_.unit == 0 || settings_.unit == 1) {
        const QString unitText = L(settings_.unit == 1 ? kMmolText : kPercentText);
        highUnit_->setText(unitText);
        lowUnit_->setText(unitText);
    }
    for (int i = 0; i < 3; ++i) SetChecked(dateButtons_[i], settings_.Date == i);
    SetChecked(hours12_, settings_.time == 0);
    SetChecked(hours24_, settings_.time == 1);

    const int shownUnit = settings_.unit == 1 ? 1 : 0;
    high_->setText(Q(LimitToDisplay(settings_.high, shownUnit)));
    low_->setText(Q(LimitToDisplay(settings_.low, shownUnit)));
    name_->setText(Q(settings_.Name));
    hospital_->setText(Q(settings_.Hospital));
    email_->setText(Q(settings_.Email));
    note_->setText(Q(settings_.Command));
}

void CSettingsDlg::OnSave() {
    const int shownUnit = openedUnit_ == 1 ? 1 : 0;
    settings_.unit = percent_->isChecked() && !mmol_->isChecked() ? 0 : 1;
    const QString unitText = L(settings_.unit == 1 ? kMmolText : kPercentText);
    highUnit_->setText(unitText);
    lowUnit_->setText(unitText);
    if (OnlyChecked(dateButtons_, 3, 0))
        settings_.Date = 0;
    else if (OnlyChecked(dateButtons_, 3, 1))
        settings_.Date = 1;
    else
        settings_.Date = 2;
    settings_.time = hours12_->isChecked() && !hours24_->isChecked() ? 0 : 1;
    settings_.high = LimitFromDisplay(high_->text().toStdString(), shownUnit);
    settings_.low = LimitFromDisplay(low_->text().toStdString(), shownUnit);
    // A text left as it was keeps its bytes (the file need not hold UTF-8).
    auto take = [](const QLineEdit* edit, std::string& value) {
        if (edit->text() != Q(value)) value = edit->text().toStdString();
    };
    take(name_, settings_.Name);
    take(hospital_, settings_.Hospital);
    take(email_, settings_.Email);
    take(note_, settings_.Command);

    SaveSettings(settings_, homeDir_);
    LoadSettings(settings_, homeDir_);
    host_.SendLinkCommand(cmd::kRefreshView);
    accept();
}

void CSettingsDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QLinearGradient fill(0, 0, 0, height());
    fill.setColorAt(0.0, QColor(236, 242, 248));
    fill.setColorAt(1.0, QColor(200, 214, 230));
    painter.fillRect(rect(), fill);
}

bool RunSettingsDialog(AppSettings& settings, const std::string& homeDir, ViewHost& host,
                       QWidget* parent) {
    CSettingsDlg dialog(settings, homeDir, host, parent);
    return dialog.exec() == QDialog::Accepted;
}

}  // namespace tav
