// The application object: owns every application-wide object (clock, paths,
// settings, result database, link) and hands them to the windows it creates.
#pragma once

#include <memory>

#include "app/startup.h"
#include "platform/clock.h"

class QMainWindow;

namespace tav {

class Application {
  public:
    Application();
    ~Application();
    // Prepares the folders, shows the main window and runs its deferred
    // initialisation. False when the program must end.
    bool Start();

  private:
    SystemClock clock_;
    AppPaths paths_;
    std::unique_ptr<QMainWindow> window_;
};

}  // namespace tav
