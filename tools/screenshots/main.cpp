// tav-screenshots: runs the real main window with the application's wiring
// against analyzer-sim and saves PNG pictures of it at four moments of a
// manual download: home.png, port-select.png, downloading.png and
// download-view.png.
//
//   tav-screenshots --sim PATH --out DIR
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <functional>

#include "app/application.h"
#include "app/main_frame.h"
#include "app/message_presenter.h"
#include "app/process_dlg.h"
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
    analyzer.start(sim, {"--home", home, "--count", "60"});
    if (!analyzer.waitForStarted(10'000) || !analyzer.waitForReadyRead(10'000))
        return Fail("analyzer-sim did not start");

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
    }
    analyzer.terminate();
    analyzer.waitForFinished(10'000);
    return status;
}
