// tav-screenshots: runs the real main window with the application's wiring
// against analyzer-sim and saves PNG pictures of it at four moments of a
// manual download: home.png, port-select.png, downloading.png and
// download-view.png; the settings dialog over the download view
// (settings.png); the downloaded results in the graph view (graph-view.png),
// the printed data list in the print preview (print-preview.png) and its
// first page as written to a PDF file and drawn by pdftoppm
// (printed-page.png); then the all-data list: list-view.png, list-search.png
// data-modify.png, data-view.png; the About box (about.png).
//
//   tav-screenshots --sim PATH --out DIR
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QDeadlineTimer>
#include <QDir>
#include <QLineEdit>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <functional>

#include "app/about_dialog.h"
#include "app/application.h"
#include "app/home_view.h"
#include "app/main_frame.h"
#include "app/message_presenter.h"
#include "app/process_dlg.h"
#include "core/result_format.h"
#include "core/settings.h"
#include "reports/graph_view.h"
#include "reports/print_data_list.h"
#include "views/all_data_list_view.h"
#include "views/download_view.h"

namespace {

using namespace tav;

template <typename W>
W* FindById(QWidget* root, int id) {
    for (W* w : root->findChildren<W*>())
        if (w->property("controlId").toInt() == id) return w;
    return nullptr;
}

// Serves events until `done` holds or `ms` have passed.
bool WaitFor(const std::function<bool()>& done, int ms) {
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        usleep(10'000);
    }
    return true;
}

void Settle(int ms) {
    WaitFor([] { return false; }, ms);
}

// The window as the screen shows it: outside its shape (the rounded
// corners) the picture is transparent.
QPixmap Shaped(QWidget& window) {
    QImage image = window.grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QRegion shape = window.mask();
    if (!shape.isEmpty()) {
        QPainter painter(&image);
        painter.setCompositionMode(QPainter::CompositionMode_Clear);
        painter.setClipRegion(QRegion(image.rect()).subtracted(shape));
        painter.fillRect(image.rect(), Qt::transparent);
    }
    return QPixmap::fromImage(image);
}

// The main window with the given dialogs drawn over it where they stand.
QPixmap Picture(QWidget& frame, std::initializer_list<QWidget*> dialogs) {
    QPixmap picture = Shaped(frame);
    QPainter painter(&picture);
    const QPoint origin = frame.mapToGlobal(QPoint(0, 0));
    for (QWidget* dialog : dialogs) {
        if (!dialog || !dialog->isVisible()) continue;
        painter.drawPixmap(dialog->mapToGlobal(QPoint(0, 0)) - origin, dialog->grab());
    }
    return picture;
}

bool Save(const QPixmap& picture, const QString& dir, const char* name) {
    const QString path = QDir(dir).filePath(QString::fromLatin1(name));
    if (!picture.save(path, "PNG")) {
        std::fprintf(stderr, "tav-screenshots: cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

// The rows the all-data list shows: every stored result, newest first.
void FillFromStore(Application& app, CListCtrlExt& list) {
    const char* titles[] = {"No.",         "Date",         "Time", "Result.",
                            "Patient ID.", "Operator ID.", "Note"};
    for (int c = 0; c < 7; ++c) list.InsertColumn(c, titles[c], Qt::AlignCenter, 100);
    ResultTable& table = app.Database().MainTable;
    LoadDefaultView(table);
    ListTextTable rows(7);
    for (table.MoveFirst(); !table.IsEOF(); table.MoveNext()) {
        const DateTime dt = MakeResultDateTime(table.DATE.str(), table.TIME.str());
        rows.AddRow({std::to_string(rows.Rows() + 1), FormatListDate(dt, app.Settings()),
                     FormatListTime(dt, app.Settings()),
                     FormatResult(table.HbA1c_VALUE.str(), app.Settings()), table.PID.str(),
                     table.OPID.str(), table.EQ_TYPE.str()});
    }
    list.AppendRows(rows);
}

// Answers the printout's questions for the pictures: the PDF goes to `file`.
struct PictureHost : PrintHost {
    void Inform(const QString& text) override {
        std::fprintf(stderr, "tav-screenshots: %s\n", qPrintable(text));
    }
    bool RunPrintDialog(QPrinter&) override { return false; }
    QString AskPdfFile() override { return file; }
    void RunPreview(QPrinter&, const std::function<void(QPrinter*)>&) override {}
    bool Progress(qsizetype, qsizetype) override { return true; }
    QString file;
};

int Fail(const char* what) {
    std::fprintf(stderr, "tav-screenshots: %s\n", what);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication qapp(argc, argv);
    QString sim, out;
    const QStringList args = QApplication::arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == "--sim") sim = args[i + 1];
        if (args[i] == "--out") out = args[i + 1];
    }
    if (sim.isEmpty() || out.isEmpty()) return Fail("usage: tav-screenshots --sim PATH --out DIR");
    QDir().mkpath(out);

    // Everything the program writes goes to a scratch folder.
    QTemporaryDir scratch;
    if (!scratch.isValid() || !QDir::setCurrent(scratch.path())) return Fail("no scratch folder");
    const QString home = scratch.filePath("TAVRINA1c Expert");

    // 60 results at 9600 baud take about three seconds: long enough to see.
    QProcess analyzer;
    analyzer.start(sim, {"--home", home, "--count", "60", "--tilted", "8"});
    if (!analyzer.waitForStarted(10'000) || !analyzer.waitForReadyRead(10'000))
        return Fail("analyzer-sim did not start");

    // The widest cells: mmol/mol and the 12-hour clock.
    AppSettings shown = DefaultSettings();
    shown.unit = 1;
    shown.time = 0;
    SaveSettings(shown, home.toStdString());

    ScriptedMessagePresenter boxes;
    boxes.SetDefaultAnswer(true);  // "COMn is connected. Do you want to download ...?"
    ApplicationOptions options;
    options.HomeDir = home.toStdString();
    options.Presenter = &boxes;
    options.ProfileFile = scratch.filePath("profile.ini");
    int status = 0;
    {
        Application app(options);
        if (!app.Start()) return Fail("the application did not start");
        CMainFrame& frame = *app.Frame();
        Settle(1000);
        if (!Save(Shaped(frame), out, "home.png")) status = 1;

        bool selected = false;
        QObject::connect(&frame, &CMainFrame::PortSelectOpened, &frame,
                         [&](PortSelectDialog* dialog) {
                             QTimer::singleShot(800, dialog, [&, dialog] {
                                 if (!Save(Picture(frame, {dialog}), out, "port-select.png"))
                                     status = 1;
                                 selected = true;
                                 dialog->accept();
                             });
                         });
        FindById<QAbstractButton>(frame.View(viewix::kHome), 1000)->click();
        if (!WaitFor([&] { return selected; }, 30'000)) return Fail("no port-select dialog");

        CProcessDlg* progress = frame.ProcessDialog();
        if (!WaitFor([&] { return progress->Message().startsWith("Receiving data from analyzer"); },
                     30'000))
            return Fail("the download did not start");
        Settle(1200);
        if (!Save(Picture(frame, {progress}), out, "downloading.png")) status = 1;

        CHbA1c720DownLoadView* view = frame.DownloadView();
        if (!WaitFor(
                [&] { return view->List().RowCount() == 60 && app.Link().DownloadState == -1; },
                60'000))
            return Fail("the download did not finish");
        // The user closes the completion notice.
        if (progress->isVisible()) FindById<QAbstractButton>(progress, kIdProcessButton)->click();
        Settle(500);
        if (!Save(Shaped(frame), out, "download-view.png")) status = 1;

        // The settings dialog as the list view's button opens it: modal.
        QTimer::singleShot(800, &frame, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            if (!dialog || !Save(Picture(frame, {dialog}), out, "settings.png")) status = 1;
            if (auto* close = dialog ? FindById<QAbstractButton>(dialog, 1170) : nullptr)
                close->click();
        });
        app.OpenSettingsDialog(&frame);
        Settle(300);

        // The graph of the downloaded results.
        FindById<QAbstractButton>(frame.View(viewix::kDownload), dlid::kGraph)->click();
        Settle(800);
        if (frame.ActiveViewIndex() != viewix::kGraph) return Fail("the graph view did not open");
        if (!Save(Shaped(frame), out, "graph-view.png")) status = 1;

        // The printed list, as the list's print button shows and writes it.
        QSettings listProfile(scratch.filePath("list.ini"), QSettings::IniFormat);
        CListCtrlExt list(1001, listProfile);
        FillFromStore(app, list);
        PictureHost printHost;
        QPrinter printer(QPrinter::HighResolution);
        QPrintPreviewDialog preview(&printer, &frame);
        preview.setWindowTitle(QStringLiteral("Print preview"));
        QObject::connect(&preview, &QPrintPreviewDialog::paintRequested, &preview,
                         [&](QPrinter* target) { DrawDataList(*target, list.Model(), printHost); });
        preview.resize(900, 700);
        preview.show();
        Settle(1500);
        if (!Save(preview.grab(), out, "print-preview.png")) status = 1;
        preview.close();

        printHost.file = scratch.filePath("data-list.pdf");
        if (PrintDataList(list, PrintOutput::Pdf, printHost) != PrintOutcome::Done)
            return Fail("the PDF was not written");
        const QString page = QDir(out).filePath(QStringLiteral("printed-page"));
        if (QProcess::execute(QStringLiteral("pdftoppm"), {"-png", "-r", "70", "-f", "1", "-l", "1",
                                                           "-singlefile", printHost.file, page}) !=
            0)
            status = Fail("pdftoppm could not draw the PDF (install poppler-utils)");
        else
            std::printf("%s.png\n", qPrintable(page));

        // The all-data list with every result, then one patient's results.
        FindById<QAbstractButton>(view, dlid::kAllData)->click();
        auto* listView = dynamic_cast<CHbA1c720AllDataListView*>(frame.View(viewix::kAllData));
        if (!listView || frame.ActiveViewIndex() != viewix::kAllData) return Fail("no list view");
        Settle(800);
        if (!Save(Shaped(frame), out, "list-view.png")) status = 1;

        auto* pids = FindById<QComboBox>(listView, alid::kPid);
        const QString patient = listView->List().CellText(0, 4);
        pids->setCurrentIndex(pids->findText(patient));
        auto* end = FindById<QDateEdit>(listView, alid::kEnd);
        FindById<QDateEdit>(listView, alid::kStart)->setDate(end->date().addDays(-180));
        FindById<QAbstractButton>(listView, alid::kSearch)->click();
        Settle(800);
        if (!Save(Shaped(frame), out, "list-search.png")) status = 1;

        // Data Modify over the list, for the newest result.
        auto* period = FindById<QComboBox>(listView, alid::kPeriod);
        period->setCurrentIndex(0);
        emit period->activated(0);
        Settle(300);
        listView->SelectRecord(0);
        QTimer::singleShot(800, &frame, [&] {
            const auto dialogs = frame.findChildren<CDataModifyDlg*>();
            if (dialogs.isEmpty()) return;
            dialogs[0]->NameEdit()->setText(QStringLiteral("Kim Minji"));
            QTimer::singleShot(300, dialogs[0], [&, dialog = dialogs[0]] {
                if (!Save(Picture(frame, {dialog}), out, "data-modify.png")) status = 1;
                dialog->reject();
            });
        });
        listView->ModifyResult();

        // Data View, read-only, for the same result.
        QTimer::singleShot(800, &frame, [&] {
            const auto dialogs = frame.findChildren<CDataViewDlg*>();
            if (dialogs.isEmpty()) return;
            if (!Save(Picture(frame, {dialogs[0]}), out, "data-view.png")) status = 1;
            dialogs[0]->reject();
        });
        listView->ViewResult();
        Settle(300);

        // The About box over the home view.
        FindById<QAbstractButton>(listView, alid::kHome)->click();
        Settle(300);
        FindById<QAbstractButton>(frame.View(viewix::kHome), homeid::kLogo)->click();
        Settle(800);
        if (auto* about = frame.HomeView()->About()) {
            if (!Save(Picture(frame, {static_cast<QWidget*>(about)}), out, "about.png")) status = 1;
            about->close();
        } else {
            status = Fail("the About box did not open");
        }
    }
    analyzer.terminate();
    analyzer.waitForFinished(10'000);
    return status;
}
