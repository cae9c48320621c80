#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <atomic>
#include <memory>
#include <tuple>

#include "tests/support/logging_view_host.h"
#include "tests/support/sql_rows.h"
#include "tests/support/temp_dir.h"
#include "tests/views/list_texts.h"
#include "views/all_data_list_view.h"
#include "views/list_view_prompts.h"

namespace tav {
namespace {

using test::Texts;

struct FakeHost : test::LoggingViewHost, ListViewPrompts {
    FakeHost() { answer = true; }
    void Inform(const std::string& text) override { log.push_back("inform " + text); }
    bool AskOkCancel(const std::string& text) override {
        log.push_back("okcancel " + text);
        return okAnswer;
    }
    int RunDialog(QDialog& dialog) override {
        log.push_back("dialog " + dialog.windowTitle().toStdString());
        if (onDialog) onDialog(static_cast<CRecordDlg&>(dialog));
        return dialog.result();
    }

    bool okAnswer = true;
    std::function<void(CRecordDlg&)> onDialog;
};

class AllDataListViewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        database_.InitResultDatabase(home_.path());
        settings_.time = 1;  // 24 hours
        view_ = std::make_unique<CHbA1c720AllDataListView>(host_, database_, settings_, host_,
                                                           profile_, searchActive_);
        view_->SetToday([] { return QDate(2024, 3, 20); });
        view_->OnInitialUpdate();
    }

    void Add(const char* date, const char* time, const char* value, const char* pid,
             const char* opid, const char* eq = "ok", int age = 0, const char* memo = "") {
        ResultTable& t = database_.MainTable;
        ASSERT_TRUE(t.AddNew());
        std::tie(t.DATE, t.TIME, t.HbA1c_VALUE, t.PID, t.OPID, t.EQ_TYPE, t.P_AGE, t.P_MEMO) =
            std::tuple(date, time, value, pid, opid, eq, age, memo);
        ASSERT_TRUE(t.Commit());
    }

    void Activate() {
        view_->OnActivateView();
        view_->FinishFill();
    }

    template <typename W>
    W* Control(int id) {
        return qobject_cast<W*>(FindControl(view_.get(), id));
    }

    Texts Column(int column) { return test::ColumnTexts(view_->List(), column); }

    Texts Items(int comboId) {
        Texts items;
        QComboBox* combo = Control<QComboBox>(comboId);
        for (int i = 0; i < combo->count(); ++i) items.push_back(combo->itemText(i).toStdString());
        return items;
    }

    // Every stored row as "date time value pid opid", newest first.
    Texts StoredRows() {
        return test::SqlRows(
            database_.MainTable.Handle(),
            "SELECT DATE, TIME, HbA1c_VALUE, PID, OPID FROM HospitalTlb ORDER BY " +
                std::string(kDefaultResultOrder));
    }

    void Search(QDate from, QDate to, int pid = 0, int opid = 0) {
        Control<QDateEdit>(alid::kStart)->setDate(from);
        Control<QDateEdit>(alid::kEnd)->setDate(to);
        Control<QComboBox>(alid::kPid)->setCurrentIndex(pid);
        Control<QComboBox>(alid::kOpid)->setCurrentIndex(opid);
        Control<QAbstractButton>(alid::kSearch)->click();
        view_->FinishFill();
    }

    test::TempDir home_;
    QSettings profile_{QString::fromStdString(home_.File("profile.ini")), QSettings::IniFormat};
    VirtualClock clock_;
    ResultDatabase database_{clock_};
    AppSettings settings_;
    FakeHost host_;
    std::atomic<int> searchActive_{0};
    std::unique_ptr<CHbA1c720AllDataListView> view_;
};

TEST_F(AllDataListViewTest, ListsEveryResultNewestFirstWithOneComboItemPerIdPrefix) {
    Add("20240314", "0930", "041", "ABC", "op1", "Analyzer Tilted");
    Add("20240315", "2105", "065", "AB", "OP1");
    Add("20240315", "0800", "140", "abc", "op2");
    Add("20240101", "0700", "039", "P'1", "op1");
    Add("20231231", "2300", "050", "ALL", "op1");
    searchActive_ = 1;
    Activate();

    EXPECT_EQ(searchActive_, 0);
    QStringList titles;
    std::vector<int> widths;  // the widths the list control's font test measures against
    for (int c = 0; c < 7; ++c)
        titles << view_->List().ColumnTitle(c), widths.push_back(view_->List().ColumnWidth(c));
    EXPECT_EQ(titles.join('|'), "No.|Date|Time|Result.|Patient ID.|Operator ID.|Note");
    EXPECT_EQ(widths, (std::vector<int>{60, 140, 80, 130, 140, 140, 150}));
    EXPECT_EQ(Column(0), (Texts{"1", "2", "3", "4", "5"}));
    EXPECT_EQ(Column(1),
              (Texts{"2024-03-15", "2024-03-15", "2024-03-14", "2024-01-01", "2023-12-31"}));
    EXPECT_EQ(Column(2), (Texts{"21:05", "08:00", "09:30", "07:00", "23:00"}));
    EXPECT_EQ(Column(3), (Texts{"6.5 %", "> 14 %", "4.1 %", "< 4 %", "5.0 %"}));
    EXPECT_EQ(Column(6), (Texts{"ok", "ok", "Analyzer Tilted", "ok", "ok"}));
    EXPECT_EQ(view_->NewestDate(), "20240315");
    // An id is left out when an item already begins with it, whatever the case:
    // "ABC" after "abc", "ALL" after "ALL Data".
    EXPECT_EQ(Items(alid::kPid), (Texts{"ALL Data", "AB", "abc", "P'1"}));
    EXPECT_EQ(Items(alid::kOpid), (Texts{"ALL Data", "OP1", "op2"}));
    EXPECT_EQ(view_->List().currentIndex().row(), 0);
    view_->List().SortByColumn(1, true);  // equal years ordered by the whole date
    EXPECT_EQ(Column(1),
              (Texts{"2023-12-31", "2024-01-01", "2024-03-14", "2024-03-15", "2024-03-15"}));
    // The default range: the eight days ending with the newest result.
    EXPECT_EQ(Control<QDateEdit>(alid::kEnd)->date(), QDate(2024, 3, 15));
    EXPECT_EQ(Control<QDateEdit>(alid::kStart)->date(), QDate(2024, 3, 8));
}

TEST_F(AllDataListViewTest, SearchAndPeriodComposeTheConditionAndCheckTheRange) {
    Activate();
    QComboBox* period = Control<QComboBox>(alid::kPeriod);
    const auto choose = [&](int index, const char* filter, int rows, int searching) {
        period->setCurrentIndex(index);
        emit period->activated(index);
        view_->FinishFill();
        EXPECT_EQ(database_.MainTable.filter.str(), filter) << index;
        EXPECT_EQ(view_->List().RowCount(), rows) << index;
        EXPECT_EQ(searchActive_, searching) << index;
    };
    choose(1, "DATE between '20240313' and ''", 0, 1);  // an empty list stays empty
    EXPECT_EQ(view_->NewestDate(), "20240320") << "today, set by the default range";

    Add("20240301", "0900", "065", "P1", "OP7");
    Add("20240315", "0900", "070", "P1", "OP8");
    Add("20240315", "1000", "071", "O'NEIL", "OP7");
    Add("20240316", "0900", "072", "P2", "OP7");
    Activate();
    ResultTable& t = database_.MainTable;

    // The case, the range, the patient and operator items, the rows (-1: refused, with its message
    // in place of the condition) and the condition after the date range.
    const std::tuple<const char*, const char*, const char*, int, int, int, std::string> cases[] = {
        {"same day", "20240315", "20240315", 0, 0, 2, ""},
        {"patient", "20240301", "20240315", 3, 0, 2, "and[PID]='P1'"},
        {"quoted id", "20240301", "20240315", 2, 0, 1, "and[PID]='O''NEIL'"},
        {"operator", "20240301", "20240316", 0, 1, 3, "and[OPID]='OP7'"},
        {"both", "20240301", "20240315", 3, 1, 1, "and[PID]='P1'and[OPID]='OP7'"},
        {"366 days", "20230315", "20240315", 0, 0, 3, ""},
        {"367 days", "20230314", "20240315", 0, 0, -1, kSearchSpanText},
        {"order wrong", "20240316", "20240315", 0, 0, -1, kSearchOrderText},
    };
    for (const auto& [name, from, to, pid, opid, rows, condition] : cases) {
        SCOPED_TRACE(name);
        host_.log.clear();
        t.filter = "unchanged";
        searchActive_ = 0;
        Search(QDate::fromString(from, "yyyyMMdd"), QDate::fromString(to, "yyyyMMdd"), pid, opid);
        const bool refused = rows < 0;
        EXPECT_EQ(host_.log, refused ? Texts{"inform " + condition} : Texts{});
        EXPECT_EQ(t.filter.str(), refused ? "unchanged"
                                          : "DATE between '" + std::string(from) + "' and '" + to +
                                                "'" + condition);
        EXPECT_EQ(searchActive_, refused ? 0 : 1);
        if (refused) continue;
        EXPECT_EQ(view_->List().RowCount(), rows);
        EXPECT_EQ(view_->List().CellText(0, 0), "1") << "numbered from 1";
        // The combos keep their items and selection after a search.
        EXPECT_EQ(Items(alid::kPid).size(), 4u);
        EXPECT_EQ(Control<QComboBox>(alid::kPid)->currentIndex(), pid);
    }

    // A period counts back from the newest listed result.
    Activate();
    Texts periods{"ALL", "1 week"};
    for (int weeks = 2; weeks <= 12; ++weeks) periods.push_back(std::to_string(weeks) + " weeks");
    EXPECT_EQ(Items(alid::kPeriod), periods);
    choose(2, "DATE between '20240302' and '20240316'", 3, 1);
    choose(0, "", 4, 0);
}

TEST_F(AllDataListViewTest, DoubleClickDeletesEveryRowWithTheFiveValuesButNotDuringASearch) {
    Add("20240315", "0930", "065", "O'NEIL", "OP7");
    Add("20240315", "0930", "065", "O'NEIL", "OP7");
    Add("20240315", "0930", "065", "O'NEIL", "OP8");
    Add("20240316", "0930", "099", "P2", "OP7");
    Activate();

    const auto op7 = [&] {
        const Texts opids = Column(5);
        for (size_t r = 0; r < opids.size(); ++r)
            if (opids[r] == "OP7" && Column(4)[r] == "O'NEIL") return static_cast<int>(r);
        return -1;
    };
    host_.answer = false;
    view_->DeleteResult(op7());
    EXPECT_EQ(StoredRows().size(), 4u) << "answered No";
    Activate();

    host_.answer = true;
    host_.log.clear();
    view_->DeleteResult(op7());  // one of the two identical rows
    EXPECT_EQ(host_.log, Texts{std::string("ask ") + kAskDeleteText});
    EXPECT_EQ(StoredRows(), (Texts{"20240316 0930 099 P2 OP7", "20240315 0930 065 O'NEIL OP8"}));
    view_->FinishFill();
    EXPECT_EQ(view_->List().RowCount(), 2);

    host_.log.clear();
    view_->DeleteResult(5);  // below the last row
    view_->SelectRecord(0);  // P2
    Search({2024, 3, 1}, {2024, 3, 15});
    view_->DeleteResult(0);  // clicks are ignored after a search
    view_->SelectRecord(0);
    EXPECT_TRUE(host_.log.empty());
    EXPECT_EQ(view_->SelectedRecord().PID, "P2");
    EXPECT_EQ(StoredRows().size(), 2u);

    Activate();                           // activation ends the search
    view_->List().SortByColumn(3, true);  // ascending by result: O'NEIL's 6.5 % first
    view_->SelectRecord(1);               // clicks follow the row after a header sort
    EXPECT_EQ(view_->SelectedRecord().PID, "P2");
    EXPECT_EQ(view_->SelectedRecord().RowNumber, 1);
    view_->DeleteResult(0);
    EXPECT_EQ(StoredRows(), Texts{"20240316 0930 099 P2 OP7"});
}

TEST_F(AllDataListViewTest, ModifyChangesOnlyTheEditedRowAndKeepsTheHiddenColumns) {
    // Same date, time and value, different patients.
    Add("20240315", "0930", "065", "P1", "OP7", "Analyzer Tilted", 41, "memo1");
    Add("20240315", "0930", "065", "P2", "OP8", "ok", 52, "memo2");
    Activate();
    view_->SelectRecord(0);
    const std::string editedPid = view_->SelectedRecord().PID;

    host_.onDialog = [&](CRecordDlg& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "Data Modify");
        EXPECT_EQ(dialog.BirthdayEdit()->date(), QDate(1900, 1, 1)) << "never entered";
        EXPECT_EQ(dialog.TypeCombo()->currentText(), "None");
        dialog.NameEdit()->setText("Kim");
        dialog.TypeCombo()->setCurrentIndex(1);
        dialog.RemarkEdit()->setPlainText("fasting");
        host_.okAnswer = false;
        dialog.OnChange();  // Cancel keeps the dialog open
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
        host_.okAnswer = true;
        dialog.OnChange();
    };
    view_->ModifyResult();

    // Each row as "PID NAME DIAGNOSE REMARK DOB DATETIMEVALUE OPID EQ_TYPE AGE MEMO".
    const auto row = [&](const std::string& pid, const std::string& rest) {
        return pid + (pid == editedPid ? " Kim 1 fasting 19000101 " : "  0   ") + rest;
    };
    EXPECT_EQ(test::SqlRows(database_.MainTable.Handle(),
                            "SELECT PID, ifnull(p_NAME, ''), P_DIAGNOSE, ifnull(Remark, ''), "
                            "ifnull(p_DOB, ''), DATE || TIME || HbA1c_VALUE, OPID, EQ_TYPE, P_AGE, "
                            "P_MEMO FROM HospitalTlb ORDER BY PID"),
              (Texts{row("P1", "202403150930065 OP7 Analyzer Tilted 41 memo1"),
                     row("P2", "202403150930065 OP8 ok 52 memo2")}));
}

TEST_F(AllDataListViewTest, RecordDialogsShowTheSelectedRow) {
    Add("20240315", "2105", "065", "P\xE9", "O\x01");
    test::SqlRows(database_.MainTable.Handle(),
                  "UPDATE HospitalTlb SET p_DOB = '19800229', P_DIAGNOSE = 4, Remark = 'note'");
    settings_.Date = 2;
    settings_.time = 0;
    Activate();
    view_->SelectRecord(0);
    EXPECT_EQ((Texts{Column(4)[0], Column(5)[0]}), (Texts{"P\u00E9", "O\u27E801\u27E9"}));
    host_.onDialog = [&](CRecordDlg& dialog) {
        auto text = [&](int id) {
            auto* line = qobject_cast<QLineEdit*>(FindControl(&dialog, id));
            return line ? line->text().toStdString() : std::string("<none>");
        };
        EXPECT_EQ(dialog.windowTitle(), "Data View");
        EXPECT_EQ((Texts{text(recid::kDateTime), text(recid::kResult), text(recid::kPid),
                         text(recid::kOpid)}),
                  (Texts{"15-03-2024 09:05 PM", "6.5 %", "P\u00E9", "O\u27E801\u27E9"}));
        EXPECT_EQ(dialog.TypeCombo()->currentText(), "Normal");
        EXPECT_EQ(dialog.TypeCombo()->itemText(1), "Type  I");
        EXPECT_EQ(dialog.BirthdayEdit()->date(), QDate(1980, 2, 29));
        EXPECT_EQ(dialog.BirthdayEdit()->displayFormat(), "dd'/'MM'/'yyyy");
        EXPECT_EQ(dialog.RemarkEdit()->toPlainText(), "note");
        EXPECT_FALSE(dialog.NameEdit()->isEnabled());
        EXPECT_EQ(FindControl(&dialog, recid::kChange), nullptr);
    };
    view_->ViewResult();
    EXPECT_EQ(host_.log.back(), "dialog Data View");

    QMenu* menu = view_->CreateRecordMenu(view_.get());
    ASSERT_NE(menu, nullptr);
    std::vector<std::pair<QString, int>> items;
    for (QAction* action : menu->actions())
        items.emplace_back(action->text(), action->data().toInt());
    EXPECT_EQ(items, (decltype(items){{"Modify Data", alid::kModifyCommand},
                                      {"Detail view of the data", alid::kDetailCommand}}));
}

TEST_F(AllDataListViewTest, ButtonsSwitchViewsAndTheHookedOnesWaitForTheirAction) {
    for (int id : {alid::kExport, alid::kPrint, alid::kSettings})
        EXPECT_FALSE(Control<QAbstractButton>(id)->isEnabled()) << id;
    int exported = 0;
    view_->SetExportAction([&] { ++exported; });
    Control<QAbstractButton>(alid::kExport)->click();
    EXPECT_EQ(exported, 1);
    EXPECT_TRUE(Control<QAbstractButton>(alid::kExport)->isEnabled());
    EXPECT_FALSE(Control<QAbstractButton>(alid::kPrint)->isEnabled());

    // The automatic button asks only when the mode is not automatic yet.
    const std::tuple<int, int, Texts> clicks[] = {
        // the button, AutoMode and the log{alid::kHome, 0, {"cmd 1"}},
        {alid::kDownload, 0, {"cmd 2"}},
        {alid::kAllData, 0, {"cmd 3"}},
        {alid::kGraph, 0, {"cmd 4"}},
        {alid::kAutomatic, 1, {}},
        {alid::kAutomatic, 0, {std::string("ask ") + kAskAutomaticModeText, "cmd 30"}}};
    for (const auto& [id, autoMode, log] : clicks) {
        host_.log.clear();
        host_.link.AutoMode = autoMode;
        Control<QAbstractButton>(id)->click();
        EXPECT_EQ(host_.log, log) << id;
    }
    EXPECT_EQ(host_.link.AutoMode, 1);
}

TEST_F(AllDataListViewTest, ALongListComesInSlicesAfterItsFirstRows) {
    ResultTable& t = database_.MainTable;
    ASSERT_TRUE(t.BeginTransaction());
    for (int i = 0; i < 5000; ++i)
        Add("20240315", std::to_string(10000 + i).substr(1).c_str(), "065", "P", "O");
    ASSERT_TRUE(t.CommitTransaction());
    view_->OnActivateView();
    EXPECT_TRUE(view_->FillRunning());
    EXPECT_GT(view_->List().RowCount(), 0);
    EXPECT_LT(view_->List().RowCount(), 5000);

    view_->FinishFill();
    EXPECT_FALSE(view_->FillRunning());
    EXPECT_EQ(view_->List().RowCount(), 5000);
    EXPECT_EQ(view_->ResultRows().Size(), 5000u);
    EXPECT_EQ(view_->List().CellText(4999, 0), "5000");
}

}  // namespace
}  // namespace tav
