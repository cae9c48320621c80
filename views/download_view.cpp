#include "views/download_view.h"

#include <QHeaderView>

#include "controls/art_button.h"
#include "views/result_list_columns.h"

namespace tav {

namespace {
constexpr int kListColumns = listcol::kCount;
}

CHbA1c720DownLoadView::CHbA1c720DownLoadView(ViewHost& host, ResultRowSource& rows,
                                             const ResultCellFormatter& formatter,
                                             QSettings& profile, CsvExporter& exporter,
                                             QWidget* parent)
    : FrameView(parent), host_(host), rows_(rows), formatter_(formatter), exporter_(exporter) {
    setProperty("controlId", 132);
    const std::vector<ArtButtonEntry> entries = {
        {dlid::kHome, Art::Home, "Home"},        {dlid::kDownload, Art::Download, "Download"},
        {dlid::kAllData, Art::List, "List"},     {dlid::kGraph, Art::Graph, "Graph"},
        {dlid::kMode, Art::Mode, "Auto/Manual"}, {dlid::kExport, Art::Export, "Export"},
    };
    AddArtButtonRow(this, entries, 1024 - 20 - static_cast<int>(entries.size()) * 75, 10);
    auto button = [this](int id) { return static_cast<QAbstractButton*>(FindControl(this, id)); };
    connect(button(dlid::kHome), &QAbstractButton::clicked, this, [this] { OnHome(); });
    connect(button(dlid::kDownload), &QAbstractButton::clicked, this, [this] { OnNewDownload(); });
    connect(button(dlid::kAllData), &QAbstractButton::clicked, this,
            [this] { OnOtherView(cmd::kShowList); });
    connect(button(dlid::kGraph), &QAbstractButton::clicked, this,
            [this] { OnOtherView(cmd::kShowGraph); });
    connect(button(dlid::kMode), &QAbstractButton::clicked, this, [this] { OnModeButton(); });
    connect(button(dlid::kExport), &QAbstractButton::clicked, this, [this] { OnExport(); });

    list_ = new CListCtrlExt(dlid::kList, profile, this);
    list_->setGeometry(20, 100, 984, 560);
    list_->ApplyResultListStyle();
}

CHbA1c720DownLoadView::~CHbA1c720DownLoadView() {
    if (list_->ColumnCount() > 0) list_->SaveColumnState();
}

void CHbA1c720DownLoadView::OnInitialUpdate() {
    if (list_->ColumnCount() > 0) return;
    SetUpResultColumns(*list_,
                       {{"No.", 60},
                        {"Date", 120},
                        {"Time", 100},
                        {"Result.", 120},
                        {"PID", 130},
                        {"OPID", 130},
                        {"Note", 130}},
                       formatter_);
}

void CHbA1c720DownLoadView::OnActivateView() {
    ClearList();
    if (host_.Link().AutoMode == 1)
        host_.SendLinkCommand(cmd::kStartAuto);
    else
        host_.SignalWorker(ev::kScanAll);
}

void CHbA1c720DownLoadView::ClearList() {
    if (list_->RowCount() > 0) list_->DeleteAllRows();
}

void CHbA1c720DownLoadView::FillDownloadList() {
    const bool automatic = host_.Link().AutoMode != 0;
    if (!automatic) list_->DeleteAllRows();
    const size_t first = automatic ? static_cast<size_t>(list_->RowCount()) : 0;
    ListTextTable table(kListColumns);
    rows_.VisitRows([&](const ResultRowTexts& row) {
        const std::string& date = row[rescol::kDate];
        const std::string& time = row[rescol::kTime];
        table.AddRow({std::to_string(first + table.Rows() + 1), formatter_.ListDate(date, time),
                      formatter_.ListTime(date, time), formatter_.Result(row[rescol::kValue]),
                      DisplayIdText(row[rescol::kPid]), DisplayIdText(row[rescol::kOpid]),
                      row[rescol::kEqType]});
        return true;
    });
    list_->AppendRows(table);
    WidenCutColumns();
    if (first + table.Rows() != 0) list_->SelectRow(0);
    host_.ShowProgress(kDownloadCompletedText);
}

void CHbA1c720DownLoadView::WidenCutColumns() {
    // The list's font may be wider than the one its column widths were chosen
    // for: a date or id must not show cut, so a column only ever grows here.
    for (int c = 0; c < kListColumns; ++c) {
        const int width = list_->ColumnWidth(c);
        if (width == 0) continue;  // hidden
        list_->AutoSizeColumn(c);
        if (list_->ColumnWidth(c) < width) list_->horizontalHeader()->resizeSection(c, width);
    }
}

bool CHbA1c720DownLoadView::CanLeaveDownload() const {
    const LinkState& link = host_.Link();
    return link.AutoMode == 0 && link.DownloadState < 0 && !host_.ProgressVisible();
}

void CHbA1c720DownLoadView::OnHome() {
    if (CanLeaveDownload()) host_.SendLinkCommand(cmd::kShowHome);
}

void CHbA1c720DownLoadView::OnNewDownload() {
    if (!CanLeaveDownload()) return;
    list_->DeleteAllRows();
    host_.SendLinkCommand(cmd::kShowDownload);
}

void CHbA1c720DownLoadView::OnOtherView(int command) {
    if (host_.Link().AutoMode != 1 && CanLeaveDownload()) host_.SendLinkCommand(command);
}

void CHbA1c720DownLoadView::OnModeButton() {
    LinkState& link = host_.Link();
    if (link.AutoMode == 1) {
        if (link.AutoStep > 25) return;  // a transfer or the cartridge steps are running
        if (!host_.AskYesNo(kAskManualText)) return;
        ClearList();
        if (host_.ProgressVisible()) host_.HideProgress();
        link.AutoMode = 0;
        link.DownloadState = 0;
        host_.SendLinkCommand(cmd::kEnd);
        host_.PauseMs(50);
        host_.SendLinkCommand(cmd::kManualMode);
        return;
    }
    if (!host_.AskYesNo(kAskAutomaticText)) return;
    ClearList();
    if (host_.ProgressVisible()) host_.HideProgress();
    link.AutoMode = 1;
    host_.SendLinkCommand(cmd::kStartAuto);
}

void CHbA1c720DownLoadView::OnExport() {
    CsvExportRequest request;
    request.Question = QString::fromLatin1(kAskExportDownloadText);
    request.FolderAfter = QString::fromStdString(exporter_.DataDir());
    request.Blocked = host_.Link().AutoMode == 1;
    exporter_.ExportListCsv(*list_, request, this);
}

}  // namespace tav
