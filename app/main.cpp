// TAVRINA1c Expert: start-up and the application's lifetime.
#include <QApplication>
#include <QMessageBox>

#include "app/application.h"
#include "app/startup.h"

int main(int argc, char** argv) {
    QApplication qapp(argc, argv);
    tav::InstanceLock lock(tav::kInstanceLockName);
    if (!tav::AcquireSingleInstance(lock)) {
        QMessageBox::information(nullptr, "TAVRINA1cExpert",
                                 QString::fromLatin1(tav::kAlreadyRunningText));
        return 1;
    }
    tav::Application app;
    if (!app.Start()) return 1;
    return qapp.exec();
}
