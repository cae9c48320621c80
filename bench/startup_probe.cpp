// The program's own start-up, as main() runs it, on the home folder given:
// the application object, the main window shown and its deferred start-up
// (both tables opened, the views made, the settings read), then the event
// loop until the home view is visible. It then prints one line and ends as
// the user's closing would: the CPU time of the process so far, then the CPU
// and wall time of the application's own part (from the application object
// to the home view shown, after Qt's own start), in milliseconds. The
// clinic-scale table starts it as a child process and takes the wall time
// from before the start to that line and the peak resident memory.
//
//   tav_startup_probe HOME
// The program's DATA folder is made in HOME; the application profile is
// HOME/startup-probe.ini, so the user's own is left alone. Message boxes are
// recorded, not shown; a box means the start-up failed (exit status 1).
#include <unistd.h>

#include <QApplication>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>

#include "app/application.h"
#include "app/home_view.h"
#include "app/main_frame.h"
#include "app/message_presenter.h"

namespace {
double CpuMs() {
    timespec cpu{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
    return cpu.tv_sec * 1e3 + cpu.tv_nsec / 1e6;
}
double WallMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}
}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tav_startup_probe HOME\n");
        return 2;
    }
    const std::string home = argv[1];
    if (chdir(home.c_str()) != 0) return 2;
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qapp(argc, argv);

    const double cpu0 = CpuMs(), wall0 = WallMs();
    tav::ScriptedMessagePresenter boxes;
    tav::ApplicationOptions options;
    options.HomeDir = home;
    options.Presenter = &boxes;
    options.ProfileFile = QString::fromStdString(home + "/startup-probe.ini");
    tav::Application app(options);
    if (!app.Start()) return 1;
    tav::CMainFrame* frame = app.Frame();
    while (!frame->HomeView() || !frame->HomeView()->isVisible())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QCoreApplication::processEvents();  // the first paint of the home view

    const double cpu = CpuMs(), wall = WallMs();
    std::printf("%.3f %.3f %.3f\n", cpu, cpu - cpu0, wall - wall0);
    std::fflush(stdout);
    const bool quiet = boxes.Boxes().empty();
    app.Shutdown();
    return quiet ? 0 : 1;
}
