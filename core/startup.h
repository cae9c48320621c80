// Start-up steps that need no window: the single-instance guard and the two
// fixed folders. The application object runs them in this order.
#pragma once

#include <memory>
#include <string>

#include "platform/clock.h"
#include "platform/instance_lock.h"

namespace tav {

inline constexpr const char* kInstanceLockName = "HbA1c720";
inline constexpr const char* kAlreadyRunningText =
    "HbA1c is already running..\r\n Will automatically terminate the program.";
inline constexpr const char* kWindowTitle = "TAVRINAlc Expert Management Software 1.00.00";

// What the user is told when the results cannot be opened at start: the
// file, the reason and what to do; the program then ends.
std::string StartupFailureText(const std::string& file, const std::string& reason);

// Application-wide paths and values, created by the application and handed on.
struct AppPaths {
    std::string HomeDir;
    std::string DataDir;
    double TicksPerMs = 0;
};

// Takes the single-instance lock; false when another copy holds it (a lock
// that cannot be made at all lets the program start as the first copy).
bool AcquireSingleInstance(InstanceLock& lock);

// Prepares DataDir and HomeDir (HomeDir level by level) and reads TicksPerMs.
std::string DefaultHomeDirPath();
AppPaths PrepareAppPaths(const Clock& clock, const std::string& homeDir = DefaultHomeDirPath());

}  // namespace tav
