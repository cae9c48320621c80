// TAVRINA1c Expert: start-up and the application's lifetime.
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QMessageBox>
#include <QSocketNotifier>
#include <cstdio>
#include <cstdlib>

#include "app/application.h"
#include "core/startup.h"

namespace {
int signalPipe[2] = {-1, -1};

void OnTerminate(int) {
    char c = 1;
    (void)!write(signalPipe[1], &c, 1);
}

// SIGTERM and SIGINT close the main window as the user would, so the tables
// are closed and the link ends in order.
void CloseOnTerminate(QApplication& qapp) {
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) return;
    struct sigaction sa {};
    sa.sa_handler = OnTerminate;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &qapp);
    QObject::connect(notifier, &QSocketNotifier::activated, &qapp, [] {
        char c;
        (void)!read(signalPipe[0], &c, 1);
        QApplication::closeAllWindows();
        QApplication::quit();
    });
}

// Without a display Qt would abort with advice to reinstall; say what is missing.
bool HasDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value && *value) return true;
    }
    return false;
}

constexpr const char* kNoDisplayText =
    "TAVRINA1c Expert needs a desktop session: no display was found (DISPLAY and "
    "WAYLAND_DISPLAY are not set).\nStart it from the desktop of this computer.";
}  // namespace

int main(int argc, char** argv) {
    if (!HasDisplay()) {
        std::fprintf(stderr, "%s\n", kNoDisplayText);
        return 1;
    }
    QApplication qapp(argc, argv);
    tav::InstanceLock lock(tav::kInstanceLockName);
    if (!tav::AcquireSingleInstance(lock)) {
        std::fprintf(stderr, "%s\n", tav::kAlreadyRunningText);
        QMessageBox::information(nullptr, "TAVRINA1cExpert",
                                 QString::fromLatin1(tav::kAlreadyRunningText));
        return 1;
    }
    CloseOnTerminate(qapp);
    tav::Application app;
    if (!app.Start()) return 1;
    return qapp.exec();
}
