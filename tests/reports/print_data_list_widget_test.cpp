#include <gtest/gtest.h>

#include <QFile>
#include <QFontMetrics>
#include <QPrinter>
#include <QProcess>
#include <QTemporaryDir>
#include <memory>

#include "reports/print_data_list.h"
#include "views/list_ctrl_ext.h"

namespace tav {
namespace {

// The text of each page of a PDF file, as pdftotext (poppler-utils) lays it out.
QStringList PdfPages(const QString& file) {
    QProcess process;
    process.start(QStringLiteral("pdftotext"),
                  {QStringLiteral("-layout"), file, QStringLiteral("-")});
    EXPECT_TRUE(process.waitForFinished(60'000) && process.exitCode() == 0)
        << "pdftotext (poppler-utils) failed: " << process.readAllStandardError().toStdString();
    QStringList pages = QString::fromUtf8(process.readAllStandardOutput()).split('\f');
    pages.removeLast();  // what follows the last page's form feed (or all of nothing)
    return pages;
}

// Each piece occurs in `text`, in this order.
void ExpectInOrder(const QString& text, const QStringList& pieces) {
    qsizetype at = 0;
    for (const QString& piece : pieces) {
        const qsizetype found = text.indexOf(piece, at);
        ASSERT_GE(found, 0) << "missing or out of order: " << piece.toStdString();
        at = found + piece.size();
    }
}

// Answers the dialogs: the print dialog turns the printer into a PDF file.
struct ScriptedPrintHost : PrintHost {
    void Inform(const QString& text) override { messages << text; }
    bool RunPrintDialog(QPrinter& printer) override {
        ++dialogs;
        return accept && ToPdf(printer);
    }
    QString AskPdfFile() override { return accept ? file : QString(); }
    // The preview draws its pages as often as it needs them.
    void RunPreview(QPrinter& printer, const std::function<void(QPrinter*)>& draw) override {
        ToPdf(printer);
        draw(&printer);
        ++previews;
    }
    bool ToPdf(QPrinter& printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(file);
        return true;
    }
    bool Progress(qsizetype done, qsizetype total) override {
        lastProgress = done;
        progressTotal = total;
        return stopAt < 0 || done < stopAt;
    }

    QString file;
    bool accept = true;
    qsizetype stopAt = -1;
    qsizetype lastProgress = -1;
    qsizetype progressTotal = 0;
    int dialogs = 0;
    int previews = 0;
    QStringList messages;
};

class PrintDataListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        profile = std::make_unique<QSettings>(dir.filePath("profile.ini"), QSettings::IniFormat);
        list = std::make_unique<CListCtrlExt>(1001, *profile);
        const char* titles[] = {"No.",         "Date",         "Time", "Result.",
                                "Patient ID.", "Operator ID.", "Note"};
        for (int c = 0; c < 7; ++c) list->InsertColumn(c, titles[c], Qt::AlignCenter, 100);
        host.file = dir.filePath("list.pdf");
    }

    void Fill(int rows, const std::string& note = "Analyzer Tilted") {
        ListTextTable table(7);
        for (int i = 1; i <= rows; ++i)
            table.AddRow({std::to_string(i), "2024-03-15", "09:30 AM", "6.5 %",
                          "PID" + std::to_string(1000 + i), "OP" + std::to_string(i), note});
        list->AppendRows(table);
    }

    QTemporaryDir dir;
    std::unique_ptr<QSettings> profile;
    std::unique_ptr<CListCtrlExt> list;
    ScriptedPrintHost host;
};

TEST_F(PrintDataListTest, ALongListBreaksWithTheFrameOnEveryPageAndEachRowWhole) {
    Fill(150);
    ASSERT_EQ(PrintDataList(*list, PrintOutput::Printer, host), PrintOutcome::Done);
    EXPECT_TRUE(host.messages.isEmpty());
    const QStringList pages = PdfPages(host.file);
    ASSERT_GE(pages.size(), 2);
    ExpectInOrder(pages[0],
                  QString("HbA1c data reports|VAVERIV1e Dire HbA1c Data List|No|Date|Time|"
                          "Result|Patent ID|Operator ID|Note|2024-03-15|09:30 AM|6.5 %|"
                          "PID1001|OP1|Analyzer Tilted")
                      .split('|'));
    for (int page = 0; page < pages.size(); ++page) {
        EXPECT_TRUE(pages[page].trimmed().startsWith("HbA1c data reports")) << page;
        EXPECT_EQ(pages[page].count("HbA1c data reports"), 1) << page;
        EXPECT_EQ(pages[page].contains(kDataListTitle), page == 0) << page;
        EXPECT_FALSE(pages[page].contains("Page", Qt::CaseInsensitive)) << page;
    }
    // Every row once, in list order, across the pages.
    const QString all = pages.join(QString());
    QStringList pids;
    for (int i = 1; i <= 150; ++i) {
        pids << QStringLiteral("PID%1 ").arg(1000 + i);
        EXPECT_EQ(all.count(pids.last()), 1) << i;
    }
    ExpectInOrder(all, pids);
    EXPECT_EQ(host.progressTotal, 150);
    EXPECT_EQ(host.lastProgress, 150);
}

TEST_F(PrintDataListTest, PreviewAndPdfDrawTheSamePages) {
    Fill(3);
    ASSERT_EQ(PrintDataList(*list, PrintOutput::Pdf, host), PrintOutcome::Done);
    const QStringList pdf = PdfPages(host.file);
    EXPECT_EQ(host.dialogs, 0);
    QFile::remove(host.file);
    ASSERT_EQ(PrintDataList(*list, PrintOutput::Preview, host), PrintOutcome::Done);
    EXPECT_EQ(host.previews, 1);
    EXPECT_EQ(PdfPages(host.file), pdf);
    ASSERT_EQ(pdf.size(), 1);
    EXPECT_TRUE(pdf[0].contains("PID1003"));
}

TEST_F(PrintDataListTest, NothingIsPrintedWithoutRowsCancelledStoppedOrUnwritable) {
    EXPECT_EQ(PrintDataList(*list, PrintOutput::Printer, host), PrintOutcome::NoRows);
    EXPECT_EQ(host.messages, QStringList{kNoDataToPrintText});
    EXPECT_EQ(host.dialogs, 0);

    Fill(1000);
    host.messages.clear();
    host.accept = false;
    EXPECT_EQ(PrintDataList(*list, PrintOutput::Printer, host), PrintOutcome::Cancelled);
    EXPECT_EQ(PrintDataList(*list, PrintOutput::Pdf, host), PrintOutcome::Cancelled);
    // A long PDF stopped part way leaves no part file.
    host.accept = true;
    host.stopAt = 400;
    EXPECT_EQ(PrintDataList(*list, PrintOutput::Pdf, host), PrintOutcome::Cancelled);
    EXPECT_TRUE(host.messages.isEmpty());
    EXPECT_FALSE(QFile::exists(host.file));

    host.stopAt = -1;
    host.file = dir.filePath("no-such-folder/list.pdf");
    EXPECT_NE(PrintDataList(*list, PrintOutput::Pdf, host), PrintOutcome::Done);
    EXPECT_EQ(host.messages, QStringList{kPdfFailedText});
}

// The engine on its own, on a PDF printer of a chosen resolution.
class ReportPrinterTest : public ::testing::Test {
  protected:
    void Begin(int resolution) {
        printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(dir.filePath("engine.pdf"));
        printer->setPageSize(QPageSize(QPageSize::A4));
        printer->setFullPage(true);
        printer->setResolution(resolution);
        ASSERT_EQ(report.AttachPrinter(printer.get()), 0);
        ASSERT_TRUE(report.StartDocument("test"));
        report.AddFontSet("New Gulim", 8, 8);
        report.SetMargins(50, 50, 50, 50);
        report.SetLineGap(5);
        report.StartPage();
    }
    std::vector<int> Widths() const {
        std::vector<int> out;
        for (const auto& c : report.Columns()) out.push_back(c.Width);
        return out;
    }
    const std::vector<ReportPrinter::Column> kReportColumns{{180, 0}, {320, 0}, {220, 0}, {260, 0},
                                                            {400, 0}, {400, 0}, {400, 0}};

    QTemporaryDir dir;
    std::unique_ptr<QPrinter> printer;
    ReportPrinter report;
};

TEST_F(ReportPrinterTest, ColumnsScaleByTheWholeFactorOnWidePages) {
    Begin(600);  // A4 at 600 dpi: 4961 units wide, 4861 printable: a factor of 2
    report.SetColumns(kReportColumns, true);
    EXPECT_EQ(Widths(), (std::vector<int>{360, 640, 440, 520, 800, 800, 800}));
}

TEST_F(ReportPrinterTest, NarrowPagesScaleTheTableToFitAndAnEmptyRowKeepsItsHeight) {
    Begin(72);
    report.SetColumns(kReportColumns, true);
    report.SetCellInset(40);
    // The columns and the insets around them (10 before the first, 40
    // between two, 20 after the last) fill the printable width.
    int total = 10 + 6 * 40 + 20;
    for (int w : Widths()) {
        EXPECT_GT(w, 0);
        total += w;
    }
    EXPECT_LE(total, report.PrintableWidth());
    EXPECT_GE(total, report.PrintableWidth() - 7);

    report.SetRowRules(true);
    int y = report.CurrentY();
    report.PrintRow(0, "1|2|3|4|5|6|7");
    const int full = report.CurrentY() - y;
    y = report.CurrentY();
    report.PrintRow(0, "||||||");
    EXPECT_EQ(report.CurrentY() - y, full);
    EXPECT_EQ(full, 2 * report.LineGap() + QFontMetrics(report.Font(0, 0), printer.get()).height());
}

TEST_F(ReportPrinterTest, LongTextWrapsAtABlankNearTheEndOrAtTheWidth) {
    Begin(72);
    const QFontMetrics metrics(report.Font(0, 0), printer.get());
    int fit = 0;  // characters that fit the printable width
    while (metrics.horizontalAdvance(QString(fit + 1, 'c')) <= report.PrintableWidth()) ++fit;
    const QString nearBlank = QString(fit - 5, 'a') + ' ' + QString(30, 'b');
    const QString farBlank = QString(fit - 30, 'c') + ' ' + QString(60, 'd');
    report.PrintText(0, nearBlank, ReportPrinter::kLeft, true);
    report.PrintText(0, farBlank, ReportPrinter::kLeft, true);
    report.EndDocument();
    QStringList lines = PdfPages(dir.filePath("engine.pdf")).join(QString()).split('\n');
    for (QString& line : lines) line = line.trimmed();
    lines.removeAll(QString());
    EXPECT_EQ(lines,
              (QStringList{QString(fit - 5, 'a'), QString(30, 'b'),
                           QString(fit - 30, 'c') + ' ' + QString(29, 'd'), QString(31, 'd')}));
}

}  // namespace
}  // namespace tav
