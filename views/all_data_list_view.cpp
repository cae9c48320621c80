#include "views/all_data_list_view.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDateEdit>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <cstdlib>

#include "controls/art_button.h"
#include "store/sql_text.h"
#include "views/list_view_prompts.h"
#include "views/result_list_columns.h"

namespace tav {

namespace {

constexpr int kListColumns = listcol::kCount;
constexpr int kPeriodWeeks = 12;
// Rows listed before the fill first returns, and per later slice.
constexpr size_t kFirstRows = 2000;
constexpr size_t kSliceRows = 5000;

QString Q(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string Fold(std::string_view text) {
    std::string folded(text);
    for (char& ch : folded)
        if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
    return folded;
}

// "%d" of a number, with a leading "0" when that gives one character.
std::string TwoPlaces(int value) {
    std::string text = std::to_string(value);
    return text.size() == 1 ? "0" + text : text;
}

// A search or period date as stored text: the year "%d", month and day with
// a leading zero when they have one digit.
std::string SearchDateText(const QDate& date) {
    return std::to_string(date.year()) + TwoPlaces(date.month()) + TwoPlaces(date.day());
}

QDate StoredDate(const std::string& text) {
    auto piece = [&](size_t from, size_t count) {
        return from < text.size() ? std::atoi(text.substr(from, count).c_str()) : 0;
    };
    return QDate(piece(0, 4), piece(4, 2), piece(6, 2));
}

}  // namespace

void CHbA1c720AllDataListView::IdCombo::Reset() {
    combo->clear();
    keys.clear();
    seen.clear();
    pending.clear();
    combo->addItem(QString::fromLatin1(kAllIdsItem));
    keys.insert(Fold(kAllIdsItem));
}

// An id joins the combo unless an item already begins with it, ignoring case
// ("AB" is not added after "ABC"). The folded items are kept sorted, so the
// items beginning with an id start at its lower bound.
void CHbA1c720AllDataListView::IdCombo::Note(std::string_view id) {
    // An id met before is covered already: the items only grow.
    std::string raw(id);
    if (seen.find(raw) != seen.end()) return;
    seen.insert(std::move(raw));
    std::string key = Fold(id);
    auto found = keys.lower_bound(key);
    if (found != keys.end() && found->compare(0, key.size(), key) == 0) return;
    keys.insert(found, std::move(key));
    pending.append(Q(id));
}

void CHbA1c720AllDataListView::IdCombo::Flush() {
    if (pending.isEmpty()) return;
    combo->addItems(pending);
    pending.clear();
}

CHbA1c720AllDataListView::CHbA1c720AllDataListView(ViewHost& host, ResultDatabase& database,
                                                   const AppSettings& settings,
                                                   ListViewPrompts& prompts, QSettings& profile,
                                                   std::atomic<int>& searchActive, QWidget* parent)
    : FrameView(parent),
      host_(host),
      database_(database),
      settings_(settings),
      prompts_(prompts),
      searchActive_(searchActive),
      today_([] { return QDate::currentDate(); }) {
    setProperty("dialogId", alid::kView);
    const std::vector<ArtButtonEntry> entries = {
        {alid::kHome, Art::Home, "Home"},
        {alid::kDownload, Art::Download, "Download"},
        {alid::kAllData, Art::List, "List"},
        {alid::kGraph, Art::Graph, "Graph"},
        {alid::kAutomatic, Art::Automatic, "Automatic"},
        {alid::kExport, Art::Export, "Export"},
        {alid::kPrint, Art::Print, "Print"},
        {alid::kSettings, Art::Settings, "Settings"},
    };
    AddArtButtonRow(this, entries, 1024 - 20 - static_cast<int>(entries.size()) * 75, 10);
    auto button = [this](int id) { return static_cast<QAbstractButton*>(FindControl(this, id)); };
    const struct {
        int id;
        int command;
    } views[] = {{alid::kHome, cmd::kShowHome},
                 {alid::kDownload, cmd::kShowDownload},
                 {alid::kAllData, cmd::kShowList},
                 {alid::kGraph, cmd::kShowGraph}};
    for (const auto& v : views)
        connect(button(v.id), &QAbstractButton::clicked, this,
                [this, command = v.command] { host_.SendLinkCommand(command); });
    connect(button(alid::kAutomatic), &QAbstractButton::clicked, this, [this] { OnAutomatic(); });
    // Export and print read every row: the rows still to come are listed first.
    connect(button(alid::kExport), &QAbstractButton::clicked, this, [this] {
        FinishFill();
        if (exportAction_) exportAction_();
    });
    connect(button(alid::kPrint), &QAbstractButton::clicked, this, [this] {
        FinishFill();
        if (printAction_) printAction_();
    });
    connect(button(alid::kSettings), &QAbstractButton::clicked, this, [this] {
        if (settingsAction_) settingsAction_();
    });
    for (int id : {alid::kExport, alid::kPrint, alid::kSettings}) button(id)->setEnabled(false);

    // The filters: period, patient, operator, date range and search.
    auto label = [this](const char* text, int x, int width) {
        auto* l = new QLabel(QString::fromLatin1(text), this);
        l->setGeometry(x, 96, width, 28);
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    };
    label("Period", 20, 50);
    period_ = new QComboBox(this);
    period_->setProperty("controlId", alid::kPeriod);
    period_->addItem(QStringLiteral("ALL"));
    period_->addItem(QStringLiteral("1 week"));
    for (int weeks = 2; weeks <= kPeriodWeeks; ++weeks)
        period_->addItem(QStringLiteral("%1 weeks").arg(weeks));
    period_->setGeometry(76, 96, 100, 28);
    connect(period_, &QComboBox::activated, this, [this] { ApplyPeriod(); });

    QFont idFont(QStringLiteral("SYSTEM"));
    idFont.setPointSize(10);
    label("PID", 180, 40);
    label("OPID", 380, 50);
    int comboX = 226;
    for (IdCombo* ids : {&pids_, &opids_}) {
        ids->combo = new QComboBox(this);
        ids->combo->setProperty("controlId", ids == &pids_ ? alid::kPid : alid::kOpid);
        ids->combo->setFont(idFont);
        ids->combo->setGeometry(comboX, 96, 150, 28);
        ids->combo->setMaxVisibleItems(20);
        ids->Reset();
        comboX += 210;
    }

    label("From", 588, 46);
    label("To", 758, 24);
    const QString pickerFormat = QString::fromStdString(PickerDisplayFormat(0));
    start_ = new QDateEdit(this);
    end_ = new QDateEdit(this);
    start_->setProperty("controlId", alid::kStart);
    end_->setProperty("controlId", alid::kEnd);
    start_->setGeometry(638, 96, 118, 28);
    end_->setGeometry(786, 96, 118, 28);
    for (QDateEdit* picker : {start_, end_}) {
        picker->setCalendarPopup(true);
        picker->setDisplayFormat(pickerFormat);
    }
    auto* search = new QPushButton(QStringLiteral("Search"), this);
    search->setProperty("controlId", alid::kSearch);
    search->setGeometry(914, 95, 90, 30);
    connect(search, &QPushButton::clicked, this, [this] { SearchResults(); });

    list_ = new CListCtrlExt(alid::kList, profile, this);
    list_->setGeometry(20, 136, 984, 560);
    list_->ApplyResultListStyle();
    connect(list_, &CListCtrlExt::rowDoubleClicked, this, [this](int row) { DeleteResult(row); });
    list_->viewport()->installEventFilter(this);
    list_->horizontalHeader()->viewport()->installEventFilter(this);
}

CHbA1c720AllDataListView::~CHbA1c720AllDataListView() {
    StopFill();
    if (list_->ColumnCount() > 0) list_->SaveColumnState();
}

void CHbA1c720AllDataListView::OnInitialUpdate() {
    if (list_->ColumnCount() > 0) return;
    SetUpResultColumns(*list_,
                       {{"No.", 60},
                        {"Date", 140},
                        {"Time", 80},
                        {"Result.", 130},
                        {"Patient ID.", 140},
                        {"Operator ID.", 140},
                        {"Note", 150}},
                       sortKeys_);
}

void CHbA1c720AllDataListView::OnActivateView() {
    period_->setCurrentIndex(0);
    searchActive_ = 0;
    keepSearch_ = false;
    FillResultList();
    SetDefaultRange();
}

void CHbA1c720AllDataListView::FillResultList() {
    StopFill();
    if (!keepSearch_) {
        pids_.Reset();
        opids_.Reset();
    }
    list_->DeleteAllRows();
    rows_.Clear();
    ResultTable& table = database_.MainTable;
    if (database_.DatabaseReady && table.IsOpen()) {
        if (!keepSearch_) {
            table.orderBy = kDefaultResultOrder;
            table.filter = "";
        }
        reader_ = std::make_unique<ResultListReader>(table);
        ReadRows(kFirstRows);
        if (list_->RowCount() > 0) list_->SelectRow(0);
    }
    if (!keepSearch_) {
        pids_.combo->setCurrentIndex(0);
        opids_.combo->setCurrentIndex(0);
    } else {
        keepSearch_ = false;
    }
    if (reader_) {
        // The rest comes in slices, each after the window has handled its events.
        const unsigned generation = fillGeneration_;
        QTimer::singleShot(0, this, [this, generation] { ContinueFill(generation); });
    }
}

void CHbA1c720AllDataListView::ContinueFill(unsigned generation) {
    if (generation != fillGeneration_ || !reader_) return;
    ReadRows(kSliceRows);
    if (reader_) QTimer::singleShot(0, this, [this, generation] { ContinueFill(generation); });
}

void CHbA1c720AllDataListView::FinishFill() {
    if (reader_) ReadRows(static_cast<size_t>(-1));
}

void CHbA1c720AllDataListView::StopFill() {
    reader_.reset();
    ++fillGeneration_;
}

void CHbA1c720AllDataListView::ReadRows(size_t limit) {
    if (!reader_) return;
    ListTextTable cells(kListColumns);
    cells.Reserve(std::min<size_t>(limit, kSliceRows), 64);
    ListRowView row;
    std::vector<std::string> texts(kListColumns);
    for (size_t n = 0; n < limit && reader_->Next(row); ++n) {
        const size_t i = rows_.Size();
        if (i == 0) newestDate_ = row.DATE;
        const DateTime taken = MakeResultDateTime(std::string(row.DATE), std::string(row.TIME));
        texts[0] = std::to_string(i + 1);
        texts[1] = FormatListDate(taken, settings_);
        texts[2] = FormatListTime(taken, settings_);
        texts[3] = FormatResult(std::string(row.HbA1c_VALUE), settings_);
        texts[4] = DisplayIdText(row.PID);
        texts[5] = DisplayIdText(row.OPID);
        texts[6] = row.EQ_TYPE;
        cells.AddRow(texts);
        pids_.Note(row.PID);
        opids_.Note(row.OPID);
        rows_.Append(row);
    }
    if (reader_->Finished()) reader_.reset();
    list_->AppendRows(cells);
    pids_.Flush();
    opids_.Flush();
}

void CHbA1c720AllDataListView::SetDefaultRange() {
    if (newestDate_.empty()) {
        const QDate today = today_();
        char text[16];
        std::snprintf(text, sizeof text, "%04d%02d%02d", today.year(), today.month(), today.day());
        newestDate_ = text;
    }
    const QString format = QString::fromStdString(PickerDisplayFormat(settings_.Date));
    for (QDateEdit* picker : {start_, end_}) picker->setDisplayFormat(format);
    const QDate newest = StoredDate(newestDate_);
    end_->setDate(newest);
    start_->setDate(newest.addDays(-7));
}

void CHbA1c720AllDataListView::ApplyPeriod() {
    const int k = period_->currentIndex();
    QDate end = today_();
    std::string endText;
    if (list_->RowCount() > 0) {
        const YearMonthDay newest = ParseListDate(list_->CellText(0, 1).toStdString(), settings_);
        end = QDate(newest.year, newest.month, newest.day);
        endText = std::to_string(newest.year) + TwoPlaces(newest.month) + TwoPlaces(newest.day);
    }
    if (k <= 0) {
        searchActive_ = 0;
        keepSearch_ = false;
    } else {
        const std::string startText = SearchDateText(end.addDays(-7 * k));
        ResultTable& table = database_.MainTable;
        table.filter = "DATE between " + SqlLiteral(startText) + " and " + SqlLiteral(endText);
        keepSearch_ = true;
        searchActive_ = 1;
    }
    FillResultList();
}

void CHbA1c720AllDataListView::SearchResults() {
    const QDate a = start_->date();
    const QDate b = end_->date();
    if (b < a) {
        prompts_.Inform(kSearchOrderText);
        return;
    }
    const qint64 days = a.daysTo(b);
    if (days > 366) {
        prompts_.Inform(kSearchSpanText);
        return;
    }
    const int p = pids_.combo->currentIndex();
    const int o = opids_.combo->currentIndex();
    const std::string range = "DATE between " + SqlLiteral(SearchDateText(b.addDays(-days))) +
                              " and " + SqlLiteral(SearchDateText(b));
    const std::string pid = "[PID]=" + SqlLiteral(pids_.combo->currentText().toStdString());
    const std::string opid = "[OPID]=" + SqlLiteral(opids_.combo->currentText().toStdString());
    std::string condition;
    if (p == 0 && o == 0)
        condition = range;
    else if (p > 0 && o == 0)
        condition = range + "and" + pid;
    else if (p == 0 && o > 0)
        condition = range + "and" + opid;
    else if (p > 0 && o > 0)
        condition = range + "and" + pid + "and" + opid;
    database_.MainTable.filter = condition;
    keepSearch_ = true;
    searchActive_ = 1;
    FillResultList();
}

int CHbA1c720AllDataListView::RowIndex(int row) const {
    if (row < 0 || row >= list_->RowCount()) return -1;
    const int index = std::atoi(list_->CellText(row, 0).toLatin1().constData()) - 1;
    return index >= 0 && static_cast<size_t>(index) < rows_.Size() ? index : -1;
}

void CHbA1c720AllDataListView::DeleteResult(int row) {
    if (searchActive_ == 1) return;
    const int i = RowIndex(row);
    if (i < 0 || !host_.AskYesNo(kAskDeleteText)) return;
    const ListRowView r = rows_.At(static_cast<size_t>(i));
    const std::string condition =
        "[DATE]=" + SqlLiteral(r.DATE) + "and " + "[TIME]=" + SqlLiteral(r.TIME) + "and " +
        "[HbA1c_VALUE]=" + SqlLiteral(r.HbA1c_VALUE) + "and " + "[PID]=" + SqlLiteral(r.PID) +
        "and " + "[OPID]=" + SqlLiteral(r.OPID);
    StopFill();
    ResultTable& table = database_.MainTable;
    table.filter = condition;
    if (!table.DeleteFiltered()) return;
    table.orderBy = kDefaultResultOrder;
    table.filter = "";
    FillResultList();
}

void CHbA1c720AllDataListView::SelectRecord(int row) {
    if (rows_.Empty() || searchActive_ == 1) return;
    const int i = RowIndex(row);
    if (i < 0) return;
    selected_ = MakeRecordSlot(rows_.At(static_cast<size_t>(i)), i);
}

QMenu* CHbA1c720AllDataListView::CreateRecordMenu(QWidget* parent) {
    if (rows_.Empty()) return nullptr;
    auto* menu = new QMenu(parent);
    menu->setProperty("controlId", alid::kRecordMenu);
    QAction* modify = menu->addAction(QStringLiteral("Modify Data"));
    modify->setData(alid::kModifyCommand);
    QAction* detail = menu->addAction(QStringLiteral("Detail view of the data"));
    detail->setData(alid::kDetailCommand);
    // Queued: the dialogs open once the menu has closed.
    connect(
        modify, &QAction::triggered, this, [this] { ModifyResult(); }, Qt::QueuedConnection);
    connect(
        detail, &QAction::triggered, this, [this] { ViewResult(); }, Qt::QueuedConnection);
    return menu;
}

void CHbA1c720AllDataListView::ViewResult() {
    CDataViewDlg dialog(selected_, settings_, prompts_, window());
    prompts_.RunDialog(dialog);
}

void CHbA1c720AllDataListView::ModifyResult() {
    {
        CDataModifyDlg dialog(selected_, settings_, prompts_, edit_, window());
        if (prompts_.RunDialog(dialog) != QDialog::Accepted) return;
    }
    StopFill();
    ResultTable& table = database_.MainTable;
    table.CancelAdd();
    // Load the edited row, so that the columns the dialog does not show are
    // written back as they are stored.
    table.filter = "ROWID = " + std::to_string(edit_.RowId);
    if (table.RequeryNonEmpty()) {
        table.DATE = edit_.DATE;
        table.TIME = edit_.TIME;
        table.HbA1c_VALUE = edit_.HbA1c_VALUE;
        table.PID = edit_.PID;
        table.OPID = edit_.OPID;
        table.p_NAME = edit_.p_NAME;
        table.p_DOB = MakeStoredDate(edit_.Birthday.year, edit_.Birthday.month, edit_.Birthday.day);
        table.P_DIAGNOSE = edit_.Type;
        table.Remark = edit_.Remark;
        // The three values name the result; the row id keeps the change to the
        // edited row when another result shares them.
        const std::string condition = "[DATE]=" + SqlLiteral(edit_.DATE) + "and " +
                                      "[TIME]=" + SqlLiteral(edit_.TIME) + "and " +
                                      "[HbA1c_VALUE]=" + SqlLiteral(edit_.HbA1c_VALUE) +
                                      "and ROWID = " + std::to_string(edit_.RowId);
        table.UpdateWhere(condition);
    }
    FillResultList();
}

void CHbA1c720AllDataListView::OnAutomatic() {
    LinkState& link = host_.Link();
    if (link.AutoMode != 0) return;
    if (!host_.AskYesNo(kAskAutomaticModeText)) return;
    link.AutoMode = 1;
    host_.SendLinkCommand(cmd::kStartAuto);
}

void CHbA1c720AllDataListView::SetAction(int id, std::function<void()>& slot,
                                         std::function<void()> action) {
    slot = std::move(action);
    if (QWidget* button = FindControl(this, id)) button->setEnabled(static_cast<bool>(slot));
}

void CHbA1c720AllDataListView::SetExportAction(std::function<void()> action) {
    SetAction(alid::kExport, exportAction_, std::move(action));
}

void CHbA1c720AllDataListView::SetPrintAction(std::function<void()> action) {
    SetAction(alid::kPrint, printAction_, std::move(action));
}

void CHbA1c720AllDataListView::SetSettingsAction(std::function<void()> action) {
    SetAction(alid::kSettings, settingsAction_, std::move(action));
}

bool CHbA1c720AllDataListView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (watched == list_->viewport() && mouse->button() == Qt::RightButton) {
            const QModelIndex index = list_->indexAt(mouse->position().toPoint());
            if (index.isValid()) SelectRecord(index.row());
        } else if (watched == list_->horizontalHeader()->viewport()) {
            // A header click sorts every row: list the rest first.
            FinishFill();
        }
    }
    return FrameView::eventFilter(watched, event);
}

void CHbA1c720AllDataListView::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = CreateRecordMenu(window());
    if (!menu) return;
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

void CHbA1c720AllDataListView::hideEvent(QHideEvent* event) {
    // Another view is showing: the rows not listed yet are not read (the next
    // activation lists everything again). A minimised window keeps filling, so
    // the list is whole when it is restored.
    if (!event->spontaneous()) StopFill();
    FrameView::hideEvent(event);
}

}  // namespace tav
