#include "reports/print_data_list.h"

#include <QFile>
#include <QFileDialog>
#include <QMenu>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProgressDialog>
#include <QStandardPaths>

#include "views/list_ctrl_ext.h"
#include "views/list_model.h"

namespace tav {
namespace {

constexpr const char* kDocumentName = "TAVRINA1c Expert";
const QColor kFrameYellow(230, 200, 20);
// Progress is reported (and a cancel noticed) every so many rows.
constexpr qsizetype kProgressStep = 200;

}  // namespace

void PrintPageFrame(ReportPrinter& printer, int /*page*/, int pageStart) {
    const int set = printer.CurrentFontSet();
    const QColor colour = printer.TextColour();
    printer.SetCurrentFontSet(0);
    printer.SetTextColour(Qt::black);
    if (pageStart) {
        printer.SkipLines(0, 1);
        printer.DrawRule(Qt::SolidLine);
        printer.PrintText(0, QString::fromLatin1(kPageFrameText), ReportPrinter::kCentre, true);
        printer.DrawColouredRule(Qt::SolidLine, 5, kFrameYellow);
        printer.SkipLines(0, 1);
    } else {
        printer.DrawColouredRule(Qt::SolidLine, 5, kFrameYellow);
        printer.SkipLines(0, 1);
    }
    printer.SetCurrentFontSet(set);
    printer.SetTextColour(colour);
}

PrintOutcome DrawDataList(QPrinter& printer, const ListModel& rows, PrintHost& host) {
    ReportPrinter report;
    if (report.AttachPrinter(&printer) < 0) return PrintOutcome::Failed;
    if (!report.StartDocument(QString::fromLatin1(kDocumentName))) {
        host.Inform(QString::fromLatin1(
            printer.outputFormat() == QPrinter::PdfFormat ? kPdfFailedText : kPrinterFailedText));
        return PrintOutcome::PrinterFailed;
    }
    const QString face = QString::fromLatin1(kPrintFace);
    report.AddFontSet(face, 8, 8);
    report.AddFontSet(face, 8, 12);
    report.AddFontSet(face, 20, 20);
    report.SetMargins(50, 50, 50, 50);
    report.SetLineGap(5);
    report.StartPage();
    report.SetPageCallback(PrintPageFrame);

    report.SkipLines(1, 1);
    report.PrintText(1, QString::fromLatin1(kDataListTitle), ReportPrinter::kCentre, true);
    report.SkipLines(report.CurrentFontSet(), 1);

    report.SetColumns({{180, ReportPrinter::kCentre},
                       {320, ReportPrinter::kCentre},
                       {220, ReportPrinter::kCentre},
                       {260, ReportPrinter::kCentre},
                       {400, ReportPrinter::kCentre},
                       {400, ReportPrinter::kCentre},
                       {400, ReportPrinter::kCentre}},
                      true);
    report.SetRowRules(true);
    report.SetCellBorders(true);
    report.SetCellInset(40);
    report.SetGridPenWidth(6);

    report.SelectFont(0, 1);
    report.PrintRow(1, QString::fromLatin1(kDataListHeader));
    report.SelectFont(0, 0);

    const int columns = rows.Columns();
    const qsizetype total = rows.Rows();
    QStringList cells;
    cells.reserve(columns);
    for (int row = 0; row < total; ++row) {
        if (row % kProgressStep == 0 && !host.Progress(row, total)) {
            report.AbortDocument();
            host.EndProgress();
            return PrintOutcome::Cancelled;
        }
        cells.clear();
        for (int c = 0; c < columns; ++c) {
            const std::string_view cell = rows.Cell(row, c);
            cells.append(QString::fromUtf8(cell.data(), static_cast<qsizetype>(cell.size())));
        }
        report.PrintRowCells(0, cells);
    }
    host.Progress(total, total);
    report.DrawRule(Qt::SolidLine);
    report.EndPage();
    const bool written = report.EndDocument();
    host.EndProgress();
    if (!written) {
        host.Inform(QString::fromLatin1(
            printer.outputFormat() == QPrinter::PdfFormat ? kPdfFailedText : kPrinterFailedText));
        return PrintOutcome::Failed;
    }
    return PrintOutcome::Done;
}

PrintOutcome PrintDataList(const ListModel& rows, PrintOutput output, PrintHost& host) {
    if (rows.Rows() == 0) {
        host.Inform(QString::fromLatin1(kNoDataToPrintText));
        return PrintOutcome::NoRows;
    }
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(QString::fromLatin1(kDocumentName));
    switch (output) {
        case PrintOutput::Printer:
            if (!host.RunPrintDialog(printer)) return PrintOutcome::Cancelled;
            if (!printer.isValid()) {
                host.Inform(QString::fromLatin1(kPrinterFailedText));
                return PrintOutcome::PrinterFailed;
            }
            return DrawDataList(printer, rows, host);
        case PrintOutput::Pdf: {
            const QString file = host.AskPdfFile();
            if (file.isEmpty()) return PrintOutcome::Cancelled;
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(file);
            const PrintOutcome outcome = DrawDataList(printer, rows, host);
            // A stopped PDF is only part of the list: it is not left behind.
            if (outcome == PrintOutcome::Cancelled) QFile::remove(file);
            return outcome;
        }
        case PrintOutput::Preview: {
            PrintOutcome outcome = PrintOutcome::Done;
            host.RunPreview(printer,
                            [&](QPrinter* target) { outcome = DrawDataList(*target, rows, host); });
            return outcome;
        }
    }
    return PrintOutcome::Failed;
}

PrintOutcome PrintDataList(const CListCtrlExt& list, PrintOutput output, PrintHost& host) {
    return PrintDataList(list.Model(), output, host);
}

QtPrintHost::QtPrintHost(QWidget* parent, std::function<void(const QString&)> inform)
    : parent_(parent), inform_(std::move(inform)) {}

QtPrintHost::~QtPrintHost() {
    delete progress_;
}

bool QtPrintHost::RunPrintDialog(QPrinter& printer) {
    QPrintDialog dialog(&printer, parent_);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintToFile, false);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
    return dialog.exec() == QDialog::Accepted;
}

QString QtPrintHost::AskPdfFile() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return QFileDialog::getSaveFileName(parent_, QStringLiteral("Save as PDF"),
                                        folder + QStringLiteral("/HbA1c data list.pdf"),
                                        QStringLiteral("PDF files (*.pdf)"));
}

void QtPrintHost::RunPreview(QPrinter& printer, const std::function<void(QPrinter*)>& draw) {
    QPrintPreviewDialog dialog(&printer, parent_);
    dialog.setWindowTitle(QStringLiteral("Print preview"));
    dialog.resize(900, 700);
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog, draw);
    dialog.exec();
}

bool QtPrintHost::Progress(qsizetype done, qsizetype total) {
    if (!progress_) {
        progress_ = new QProgressDialog(QStringLiteral("Printing the HbA1c data list..."),
                                        QStringLiteral("Cancel"), 0, 0, parent_);
        progress_->setWindowModality(Qt::WindowModal);
        progress_->setMinimumDuration(500);
    }
    progress_->setMaximum(static_cast<int>(total));
    progress_->setValue(static_cast<int>(done));
    return !progress_->wasCanceled();
}

void QtPrintHost::EndProgress() {
    delete progress_;
    progress_ = nullptr;
}

std::optional<PrintOutput> ChoosePrintOutput(QWidget* button) {
    QMenu menu(button);
    QAction* print = menu.addAction(QStringLiteral("Print..."));
    QAction* preview = menu.addAction(QStringLiteral("Print preview..."));
    QAction* pdf = menu.addAction(QStringLiteral("Save as PDF..."));
    QAction* chosen =
        menu.exec(button ? button->mapToGlobal(QPoint(0, button->height())) : QCursor::pos());
    if (chosen == print) return PrintOutput::Printer;
    if (chosen == preview) return PrintOutput::Preview;
    if (chosen == pdf) return PrintOutput::Pdf;
    return std::nullopt;
}

void RunDataListPrint(const CListCtrlExt& list, QWidget* button,
                      const std::function<void(const QString&)>& inform) {
    const std::optional<PrintOutput> output = ChoosePrintOutput(button);
    if (!output) return;
    QtPrintHost host(button ? button->window() : nullptr, inform);
    PrintDataList(list, *output, host);
}

}  // namespace tav
