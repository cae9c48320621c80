#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QTimer>
#include <filesystem>
#include <tuple>

#include "app/message_presenter.h"
#include "tests/support/export_fakes.h"
#include "tests/support/temp_dir.h"
#include "tests/views/list_texts.h"
#include "views/csv_export.h"
#include "views/list_ctrl_ext.h"

namespace tav {
namespace {

// A list with the seven result columns, exported the way the all-data view does.
class CsvExportTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // Untitled: the file's header line is fixed, whatever the list shows.
        for (int c = 0; c < 7; ++c) list_.InsertColumn(c, QString(), Qt::AlignCenter, 100);
        list_.SetColumnHideable(0, false);
        chooser_.answer = QString::fromStdString(dir_.File("out.csv"));
    }

    void Fill(const std::vector<test::Texts>& rows) { test::AppendTexts(list_, rows); }

    CsvExportOutcome Export(bool blocked = false) {
        CsvExportRequest request{QString::fromLatin1(kAskExportAllText),
                                 QString::fromStdString(dir_.path()), blocked};
        return exporter_.ExportListCsv(list_, request, nullptr);
    }

    std::string Written() { return test::ReadWholeFile(dir_.File("out.csv")); }

    test::TempDir dir_, profileDir_;
    QSettings profile_{QString::fromStdString(profileDir_.File("p.ini")), QSettings::IniFormat};
    CListCtrlExt list_{1001, profile_};
    ScriptedMessagePresenter boxes_;
    test::FakeSaveChooser chooser_;
    test::FakeLauncher launcher_;
    CsvExporter exporter_{"/home", "/data", [this]() -> MessagePresenter& { return boxes_; },
                          &chooser_, &launcher_};
};

TEST_F(CsvExportTest, WritesWhatTheListShowsInColumnIndexOrderAndOpensTheFile) {
    Fill({{"1", "2024-03-15", "09:30 AM", "6.5 %", "P1", "OP7", "Analyzer Tilted"},
          {"2", "2024-03-14", "09:05 PM", "< 4 %", "P2", "OP8", ""}});
    list_.SetColumnVisible(5, false);             // a hidden column is written too
    list_.SetColumnOrder({0, 2, 1, 3, 4, 6, 5});  // and the display order does not count
    boxes_.QueueAnswer(true);

    EXPECT_EQ(Export(), CsvExportOutcome::Launched);
    EXPECT_EQ(Written(),
              "No,Date,Time,Result,PID,OPID,Note\n"
              "1,2024-03-15,09:30 AM,6.5 %,P1,OP7,Analyzer Tilted,\n"
              "2,2024-03-14,09:05 PM,< 4 %,P2,OP8,,\n");
    ASSERT_EQ(boxes_.Boxes().size(), 1u);
    EXPECT_TRUE(boxes_.Boxes()[0].Question);
    EXPECT_EQ(boxes_.Boxes()[0].Text, "Do you want current-data expert?");
    EXPECT_EQ(launcher_.opened, std::vector<std::string>{dir_.File("out.csv")});
}

TEST_F(CsvExportTest, AFailedFileIsReportedAndTheNextDialogOpensInTheListsFolder) {
    const QString before = QDir::currentPath();
    Fill({{"1"}});
    boxes_.SetDefaultAnswer(true);
    chooser_.answer = QString::fromStdString(dir_.File("gone/out.csv"));
    EXPECT_EQ(Export(), CsvExportOutcome::Failed);  // still in the folder just chosen
    ASSERT_EQ(boxes_.Boxes().size(), 2u);
    EXPECT_TRUE(boxes_.Texts()[1].startsWith("The file could not be written:"));
    EXPECT_TRUE(boxes_.Texts()[1].contains(QString::fromStdString(dir_.File("gone/out.csv"))));
    EXPECT_TRUE(launcher_.opened.empty()) << "a file not written is not opened";
    chooser_.answer = QString::fromStdString(dir_.File("out.csv"));
    EXPECT_EQ(Export(), CsvExportOutcome::Launched);
    EXPECT_EQ(Export(), CsvExportOutcome::Launched);
    EXPECT_EQ(chooser_.folders, (std::vector<std::string>{"", dir_.File("gone"), dir_.path()}));
    EXPECT_EQ(QDir::currentPath(), before);
}

TEST_F(CsvExportTest, NothingIsWrittenOrStartedUnlessTheUserGoesThrough) {
    const QString ask = "Do you want current-data expert?",
                  none = "There is no HbA1c data to expert.";
    // The case, the rows, automatic mode, the answer, whether a file is chosen, the outcome, the
    // messages and the save dialogs shown.
    using Boxes = std::vector<QString>;
    const std::tuple<const char*, int, bool, bool, bool, CsvExportOutcome, Boxes, size_t> cases[] =
        {
            {"blocked (automatic mode)", 2, true, true, true, CsvExportOutcome::Blocked, {}, 0},
            {"empty list", 0, false, true, true, CsvExportOutcome::Empty, {none}, 0},
            {"answered No", 2, false, false, true, CsvExportOutcome::Declined, {ask}, 0},
            {"dialog cancelled", 2, false, true, false, CsvExportOutcome::Cancelled, {ask}, 1},
        };
    for (const auto& [name, rows, blocked, yes, chosen, outcome, boxes, dialogs] : cases) {
        list_.DeleteAllRows();
        for (int i = 0; i < rows; ++i) Fill({{std::to_string(i + 1)}});
        boxes_ = ScriptedMessagePresenter();
        boxes_.QueueAnswer(yes);
        chooser_.folders.clear();
        chooser_.answer = chosen ? QString::fromStdString(dir_.File("x")) : QString();
        EXPECT_EQ(Export(blocked), outcome) << name;
        EXPECT_EQ(boxes_.Texts(), boxes) << name;
        EXPECT_EQ(chooser_.folders.size(), dialogs) << name;
    }
    EXPECT_TRUE(launcher_.opened.empty());
    EXPECT_TRUE(dir_.List().empty());
}

TEST_F(CsvExportTest, AListRefilledWhileALongExportRunsStopsItWithoutAFile) {
    std::vector<test::Texts> rows;
    for (size_t i = 0; i < 2 * kCsvProgressRows; ++i) rows.push_back({std::to_string(i + 1)});
    Fill(rows);
    boxes_.QueueAnswer(true);
    // Runs while the export lets the window serve events, as a download's refill would.
    QTimer::singleShot(0, &list_, [this] { list_.DeleteAllRows(); });
    EXPECT_EQ(Export(), CsvExportOutcome::Failed);
    EXPECT_EQ(boxes_.Texts().back(), QString::fromLatin1(kExportListChangedText));
    EXPECT_FALSE(std::filesystem::exists(dir_.File("out.csv")));
    EXPECT_TRUE(launcher_.opened.empty());
}

TEST(QtSaveFileChooserTest, OpensInTheFolderGivenAndAddsTheCsvExtension) {
    test::TempDir dir;
    QtSaveFileChooser chooser;
    QString shownFolder;
    auto answer = [&](const char* name) {
        QTimer::singleShot(0, [&, name] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog) return;
            shownFolder = dialog->directory().absolutePath();
            if (name) {
                dialog->selectFile(QString::fromLatin1(name));
                static_cast<QDialog*>(dialog)->accept();  // the OK button
            } else {
                dialog->reject();
            }
        });
    };
    answer("results");
    EXPECT_EQ(chooser.ChooseCsvFile(nullptr, QString::fromStdString(dir.path())).toStdString(),
              dir.File("results.csv"));
    EXPECT_EQ(shownFolder.toStdString(), dir.path());
    answer(nullptr);
    EXPECT_TRUE(chooser.ChooseCsvFile(nullptr, QString::fromStdString(dir.path())).isEmpty());
}

}  // namespace
}  // namespace tav
