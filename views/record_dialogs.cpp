#include "views/record_dialogs.h"

#include <QComboBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <cstdlib>

#include "views/list_view_prompts.h"

namespace tav {

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

int PieceAsInt(std::string_view text, size_t from, size_t count) {
    if (from >= text.size()) return 0;
    return std::atoi(std::string(text.substr(from, count)).c_str());
}

}  // namespace

RecordSlot MakeRecordSlot(const ListRowView& row, int index) {
    RecordSlot slot;
    slot.RowNumber = index + 1;
    slot.DATE = row.DATE;
    slot.TIME = row.TIME;
    slot.HbA1c_VALUE = row.HbA1c_VALUE;
    slot.PID = row.PID;
    slot.OPID = row.OPID;
    slot.p_NAME = row.p_NAME;
    slot.Remark = row.Remark;
    slot.Type = row.P_DIAGNOSE;
    slot.RowId = row.RowId;
    slot.Birthday = DateTime{PieceAsInt(row.p_DOB, 0, 4), PieceAsInt(row.p_DOB, 4, 2),
                             PieceAsInt(row.p_DOB, 6, 2)};
    slot.BirthdayStatus = slot.Birthday.IsValid() ? DateStatus::Valid : DateStatus::Invalid;
    return slot;
}

CRecordDlg::CRecordDlg(const RecordSlot& selected, const AppSettings& settings,
                       ListViewPrompts& prompts, RecordSlot* edit, QWidget* parent)
    : QDialog(parent), selected_(selected), prompts_(prompts), edit_(edit) {
    const bool modify = edit != nullptr;
    setProperty("controlId", modify ? recid::kDataModifyDialog : recid::kDataViewDialog);
    setWindowTitle(modify ? QStringLiteral("Data Modify") : QStringLiteral("Data View"));
    setModal(true);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(12);
    int row = 0;
    auto addRow = [&](const char* label, QWidget* control, int id) {
        control->setProperty("controlId", id);
        grid->addWidget(new QLabel(QString::fromLatin1(label), this), row, 0,
                        Qt::AlignRight | Qt::AlignTop);
        grid->addWidget(control, row++, 1);
    };
    auto readOnlyLine = [&](const std::string& text) {
        auto* line = new QLineEdit(Q(text), this);
        line->setReadOnly(true);
        // Shown as fixed text, unlike the fields the user may change.
        line->setStyleSheet(QStringLiteral("QLineEdit { background: palette(window); }"));
        return line;
    };

    const DateTime taken = MakeResultDateTime(selected.DATE, selected.TIME);
    addRow("Date / Time:", readOnlyLine(FormatDialogDateTime(taken, settings)), recid::kDateTime);
    addRow("Result :", readOnlyLine(FormatResult(selected.HbA1c_VALUE, settings)), recid::kResult);
    addRow("OPID :", readOnlyLine(DisplayIdText(selected.OPID)), recid::kOpid);
    addRow("PID :", readOnlyLine(DisplayIdText(selected.PID)), recid::kPid);

    name_ = new QLineEdit(Q(selected.p_NAME), this);
    addRow("Patient Name :", name_, recid::kName);

    type_ = new QComboBox(this);
    for (const char* name : kDiagnoseTypeNames) type_->addItem(QString::fromLatin1(name));
    type_->setCurrentIndex(selected.Type >= 0 && selected.Type < type_->count() ? selected.Type
                                                                                : -1);
    addRow("Type :", type_, recid::kType);

    birthday_ = new QDateEdit(this);
    birthday_->setCalendarPopup(true);
    birthday_->setMinimumDate(QDate(100, 1, 1));
    birthday_->setDisplayFormat(Q(PickerDisplayFormat(settings.Date)));
    const DateTime& b = selected.Birthday;
    const QDate birthday = selected.BirthdayStatus == DateStatus::Valid
                               ? QDate(b.year, b.month, b.day)
                               : QDate(1900, 1, 1);
    birthday_->setDate(birthday.isValid() ? birthday : QDate(1900, 1, 1));
    addRow("Birthday :", birthday_, recid::kBirthday);

    remark_ = new QPlainTextEdit(Q(selected.Remark), this);
    remark_->setFixedHeight(90);
    addRow("Remark :", remark_, recid::kRemark);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    if (modify) {
        auto* change = new QPushButton(QStringLiteral("&Change"), this);
        change->setProperty("controlId", recid::kChange);
        change->setDefault(true);
        connect(change, &QPushButton::clicked, this, [this] { OnChange(); });
        buttons->addWidget(change);
    }
    auto* close =
        new QPushButton(modify ? QStringLiteral("&Cancel") : QStringLiteral("&Close"), this);
    close->setProperty("controlId", recid::kClose);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addWidget(close);

    if (!modify) {
        // Data View changes nothing: every field is disabled.
        for (QWidget* field : {static_cast<QWidget*>(name_), static_cast<QWidget*>(type_),
                               static_cast<QWidget*>(birthday_), static_cast<QWidget*>(remark_)})
            field->setEnabled(false);
        for (int id : {recid::kDateTime, recid::kResult, recid::kOpid, recid::kPid})
            for (QLineEdit* line : findChildren<QLineEdit*>())
                if (line->property("controlId").toInt() == id) line->setEnabled(false);
    }

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    setMinimumWidth(460);
}

void CRecordDlg::OnChange() {
    if (!edit_) return;
    if (!prompts_.AskOkCancel(kAskChangeText)) return;
    RecordSlot& edit = *edit_;
    edit.RowNumber = selected_.RowNumber;
    const QDate b = birthday_->date();
    edit.Birthday = DateTime{b.year(), b.month(), b.day()};
    edit.BirthdayStatus = DateStatus::Valid;
    edit.p_NAME = name_->text().toStdString();
    edit.Remark = remark_->toPlainText().toStdString();
    edit.Type = type_->currentIndex();
    edit.DATE = selected_.DATE;
    edit.TIME = selected_.TIME;
    edit.HbA1c_VALUE = selected_.HbA1c_VALUE;
    edit.PID = selected_.PID;
    edit.OPID = selected_.OPID;
    edit.RowId = selected_.RowId;
    accept();
}

}  // namespace tav
