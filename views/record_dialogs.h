// The two record dialogs of the all-data list: "Data View" shows one stored
// result read-only, "Data Modify" lets the user change its patient fields
// (name, type, birthday, remark). Both read a copy of the selected row; the
// modify dialog writes what the user confirmed into a second copy.
#pragma once

#include <QDialog>
#include <cstdint>
#include <string>

#include "core/result_format.h"
#include "core/settings.h"
#include "store/result_list_reader.h"

class QComboBox;
class QDateEdit;
class QLineEdit;
class QPlainTextEdit;

namespace tav {

class ListViewPrompts;

namespace recid {
inline constexpr int kDataViewDialog = 30375;
inline constexpr int kDataModifyDialog = 1540;
inline constexpr int kDateTime = 1125;
inline constexpr int kResult = 1126;
inline constexpr int kOpid = 1127;
inline constexpr int kPid = 1124;
inline constexpr int kName = 1123;
inline constexpr int kType = 1116;
inline constexpr int kBirthday = 1144;
inline constexpr int kRemark = 1001;
inline constexpr int kChange = 1120;
inline constexpr int kClose = 2;  // "&Close" of Data View, "&Cancel" of Data Modify
}  // namespace recid

inline constexpr const char* kAskChangeText = "Do you Want data Change?";
// The P_DIAGNOSE codes 0 to 4 as the type combo names them.
inline constexpr const char* kDiagnoseTypeNames[] = {"None", "Type  I", "Type II", "Gestational",
                                                     "Normal"};

enum class DateStatus { Valid, Invalid, Null };

// One result as the record dialogs see it.
struct RecordSlot {
    int32_t RowNumber = 0;  // list index + 1
    std::string DATE, TIME, HbA1c_VALUE, OPID, p_NAME, PID;
    DateTime Birthday;
    DateStatus BirthdayStatus = DateStatus::Null;
    int32_t Type = 0;
    std::string Remark;
    // The stored row it came from, so that a change reaches that row only.
    int64_t RowId = 0;
};

// The slot of list row `index`: the row's texts, its type, and the birthday
// read from p_DOB (year, month, day at 00:00; invalid when not a date).
RecordSlot MakeRecordSlot(const ListRowView& row, int index);

class CRecordDlg : public QDialog {
    Q_OBJECT
  public:
    // `edit` receives the confirmed values of the modify dialog; null for the
    // read-only view.
    CRecordDlg(const RecordSlot& selected, const AppSettings& settings, ListViewPrompts& prompts,
               RecordSlot* edit, QWidget* parent = nullptr);

    QLineEdit* NameEdit() const { return name_; }
    QComboBox* TypeCombo() const { return type_; }
    QDateEdit* BirthdayEdit() const { return birthday_; }
    QPlainTextEdit* RemarkEdit() const { return remark_; }
    // "&Change": asks, and on OK copies the dialog into the edit slot and ends with OK.
    void OnChange();

  private:
    const RecordSlot& selected_;
    ListViewPrompts& prompts_;
    RecordSlot* edit_;
    QLineEdit* name_ = nullptr;
    QComboBox* type_ = nullptr;
    QDateEdit* birthday_ = nullptr;
    QPlainTextEdit* remark_ = nullptr;
};

class CDataViewDlg final : public CRecordDlg {
    Q_OBJECT
  public:
    CDataViewDlg(const RecordSlot& selected, const AppSettings& settings, ListViewPrompts& prompts,
                 QWidget* parent = nullptr)
        : CRecordDlg(selected, settings, prompts, nullptr, parent) {}
};

class CDataModifyDlg final : public CRecordDlg {
    Q_OBJECT
  public:
    CDataModifyDlg(const RecordSlot& selected, const AppSettings& settings,
                   ListViewPrompts& prompts, RecordSlot& edit, QWidget* parent = nullptr)
        : CRecordDlg(selected, settings, prompts, &edit, parent) {}
};

}  // namespace tav
