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

// Runs a poppler tool and returns what it printed.
QString Tool(const QString& program, const QStringList& args) {
    QProcess process;
    process.start(program, args);
    if (!process.waitForStarted(10'000)) {
        ADD_FAILURE() << program.toStdString() << " is missing: install poppler-utils";
        return {};
    }
    if (!process.waitForFinished(60'000) || process.exitCode() != 0) {
        ADD_FAILURE() << program.toStdString()
                      << " failed: " << process.readAllStandardError().toStdString();
        return {};
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

QString PdfText(const QString& file, int page = 0) {
    QStringList args{QStringLiteral("-layout")};
    if (page > 0) args << "-f" << QString::number(page) << "-l" << QString::number(page);
    return Tool(QStringLiteral("pdftotext"), args << file << QStringLiteral("-"));
}

int PdfPages(const QString& file) {
    for (const QString& line : Tool(QStringLiteral("pdfinfo"), {file}).split('\n'))
        if (line.startsWith("Pages:")) return line.mid(6).trimmed().toInt();
    return -1;
}

// Answers the dialogs: the print dialog turns the printer into a PDF file.
struct ScriptedPrintHost : PrintHost {
    void Inform(const QString& text) override { messages << text; }
    bool RunPrintDialog(QPrinter& printer) override {
        ++dialogs;
        if (!accept) return false;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(file);
        return true;
    }
    QString AskPdfFile() override { return accept ? file : QString(); }
    void RunPreview(QPrinter& printer, const std::function<void(QPrinter*)>& draw) override {
        // The preview draws its pages as often as it needs them.
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(file);
        draw(&printer);
        ++previews;
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
        ASSERT_TRUE(dir.isValid());
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

TEST_F(PrintDataListTest, OneRowPrintsFrameTitleHeaderAndRowOnOnePage) {
    Fill(1);
    ASSERT_EQ(PrintDataList(*list, PrintOutput::Printer, host), PrintOutcome::Done);
    EXPECT_TRUE(host.messages.isEmpty());
    EXPECT_EQ(PdfPages(host.file), 1);
    const QString text = PdfText(host.file);
    const QStringList expected =
        QString(
            "HbA1c data reports|VAVERIV1e Dire HbA1c Data List|No|Date|Time|Result|Patent ID|"
            "Operator ID|Note|2024-03-15|09:30 AM|6.5 %|PID1001|OP1|Analyzer Tilted")
            .split('|');
    qsizetype at = 0;
    for (const QString& piece : expected) {
        const qsizetype found = text.indexOf(piece, at);
        EXPECT_GE(found, 0) << "missing or out of order: " << piece.toStdString();
        if (found >= 0) at = found + piece.size();
    }
    EXPECT_EQ(text.count("HbA1c data reports"), 1);
    EXPECT_FALSE(text.contains("Page", Qt::CaseInsensitive));
}

TEST_F(PrintDataListTest, LongListBreaksWithTheFrameOnEveryPage) {
    Fill(150);
    ASSERT_EQ(PrintDataList(*list, PrintOutput::Printer, host), PrintOutcome::Done);
    const int pages = PdfPages(host.file);
    ASSERT_GE(pages, 2);
    for (int page = 1; page <= pages; ++page) {
        const QString text = PdfText(host.file, page).trimmed();
        EXPECT_TRUE(text.startsWith("HbA1c data reports")) << page;
        EXPECT_EQ(text.contains(kDataListTitle), page == 1) << page;
    }
    // Every row once, in list order, across the pages.
    const QString all = PdfText(host.file);
    qsizetype at = 0;
    for (int i = 1; i <= 150; ++i) {
        const QString pid = QStringLiteral("PID%1 ").arg(1000 + i);
        EXPECT_EQ(all.count(pid), 1) << i;
        const qsizetype found = all.indexOf(pid, at);
        ASSERT_GE(found, at) << i;
        at = found;
    }
    EXPECT_EQ(host.progressTotal, 150);
    EXPECT_EQ(host.lastProgress, 150);
}

TEST_F(PrintDataListTest, PreviewAndPdfDrawTheSamePages) {
    Fill(3);
    ASSERT_EQ(PrintDataList(*list, PrintOutput::Pdf, host), PrintOutcome::Done);
    const QString pdf = PdfText(host.file);
    EXPECT_EQ(host.dialogs, 0);
    QFile::remove(host.file);
    ASSERT_EQ(PrintDataList(*list, PrintOutput::Preview, host), PrintOutcome::Done);
    EXPECT_EQ(host.previews, 1);
    EXPECT_EQ(PdfText(host.file), pdf);
    EXPECT_TRUE(pdf.contains("PID1003"));
}

TEST_F(PrintDataListTest, NothingIsPrintedWithoutRowsOrWhenCancelled) {
    EXPECT_EQ(PrintDataList(*list, PrintOutput::Printer, host), PrintOutcome::NoRows);
    EXPECT_EQ(host.messages, QStringList{kNoDataToPrintText});
    EXPECT_EQ(host.dialogs, 0);

    Fill(1);
    host.messages.clear();
    host.accept = false;
    EXPECT_EQ(PrintDataList(*list, PrintOutput::Printer, host), PrintOutcome::Cancelled);
    EXPECT_EQ(PrintDataList(*list, PrintOutput::Pdf, host), PrintOutcome::Cancelled);
    EXPECT_TRUE(host.messages.isEmpty());
    EXPECT_FALSE(QFile::exists(host.file));
}

TEST_F(PrintDataListTest, StoppingALongPdfLeavesNoPartFile) {
    Fill(1000);
    host.stopAt = 400;
    EXPECT_EQ(PrintDataList(*list, PrintOutput::Pdf, host), PrintOutcome::Cancelled);
    EXPECT_FALSE(QFile::exists(host.file));
}

TEST_F(PrintDataListTest, UnwritablePdfIsReported) {
    Fill(1);
    host.file = dir.filePath("no-such-folder/list.pdf");
    EXPECT_NE(PrintDataList(*list, PrintOutput::Pdf, host), PrintOutcome::Done);
    EXPECT_EQ(host.messages, QStringList{kPdfFailedText});
}

// The engine on its own, on a PDF printer of a chosen resolution.
class ReportPrinterTest : public ::testing::Test {
  protected:
    void Begin(int resolution) {
        ASSERT_TRUE(dir.isValid());
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
    Begin(600);  // A4 at 600 dpi: 4961 units wide, 4861 printable
    ASSERT_GE(report.PrintableWidth(), 4360);
    ASSERT_LE(report.PrintableWidth(), 6539);
    report.SetColumns(kReportColumns, true);
    EXPECT_EQ(Widths(), (std::vector<int>{360, 640, 440, 520, 800, 800, 800}));
    report.EndDocument();
}

TEST_F(ReportPrinterTest, NarrowPagesScaleTheTableToFit) {
    Begin(72);
    ASSERT_LT(report.PrintableWidth(), 2180);
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
    report.EndDocument();
}

TEST_F(ReportPrinterTest, EmptyCellKeepsTheRowHeight) {
    Begin(300);
    report.SetColumns(kReportColumns, true);
    report.SetRowRules(true);
    int y = report.CurrentY();
    report.PrintRow(0, "1|2|3|4|5|6|7");
    const int full = report.CurrentY() - y;
    y = report.CurrentY();
    report.PrintRow(0, "||||||");
    EXPECT_EQ(report.CurrentY() - y, full);
    EXPECT_EQ(full, 2 * report.LineGap() + QFontMetrics(report.Font(0, 0), printer.get()).height());
    report.EndDocument();
}

TEST_F(ReportPrinterTest, LongTextWrapsAtABlankNearTheEndOrAtTheWidth) {
    Begin(72);
    const QFontMetrics metrics(report.Font(0, 0), printer.get());
    int fit = 0;  // characters that fit the printable width
    while (metrics.horizontalAdvance(QString(fit + 1, 'c')) <= report.PrintableWidth()) ++fit;
    ASSERT_GT(fit, 40);
    const QString nearBlank = QString(fit - 5, 'a') + ' ' + QString(30, 'b');
    const QString farBlank = QString(fit - 30, 'c') + ' ' + QString(60, 'd');
    report.PrintText(0, nearBlank, ReportPrinter::kLeft, true);
    report.PrintText(0, farBlank, ReportPrinter::kLeft, true);
    report.EndDocument();
    QStringList lines;
    for (const QString& line : PdfText(dir.filePath("engine.pdf")).split('\n'))
        if (!line.trimmed().isEmpty()) lines << line.trimmed();
    ASSERT_EQ(lines.size(), 4) << lines.join('\n').toStdString();
    EXPECT_EQ(lines[0], QString(fit - 5, 'a'));
    EXPECT_EQ(lines[1], QString(30, 'b'));
    EXPECT_EQ(lines[2], QString(fit - 30, 'c') + ' ' + QString(29, 'd'));
    EXPECT_EQ(lines[3], QString(31, 'd'));
}

}  // namespace
}  // namespace tav
