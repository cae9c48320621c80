// The application object: owns every application-wide object (clock, paths,
// settings, result database, link) and hands them to the windows it creates.
#pragma once

#include <memory>

#include "app/settings.h"
#include "app/startup.h"
#include "platform/clock.h"
#include "store/result_database.h"

class QMainWindow;

namespace tav {

class Application {
  public:
    Application();
    ~Application();
    // Prepares the folders, shows the main window and runs its deferred
    // initialisation. False when the program must end.
    bool Start();
    // Closes the result tables (the first step of the shutdown).
    void Shutdown();

    const AppPaths& Paths() const { return paths_; }

  private:
    SystemClock clock_;
    AppPaths paths_;
    AppSettings settings_;
    ResultDatabase database_{clock_};
    std::unique_ptr<QMainWindow> window_;
};

}  // namespace tav
