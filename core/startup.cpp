#include "core/startup.h"

#include "platform/paths.h"

namespace tav {

bool AcquireSingleInstance(InstanceLock& lock) {
    return lock.Acquire() != InstanceLock::Result::AlreadyRunning;
}

std::string StartupFailureText(const std::string& file, const std::string& reason) {
    return "TAVRINA1c Expert cannot open its results and will close.\r\n\r\nFile: " + file +
           "\r\nReason: " + reason +
           "\r\n\r\nNothing in the file was changed. Close any other program that uses it, or "
           "have the file repaired or restored from a backup, then start TAVRINA1c Expert again.";
}

std::string DefaultHomeDirPath() {
    return DefaultHomeDir();
}

AppPaths PrepareAppPaths(const Clock& clock, const std::string& homeDir) {
    AppPaths paths;
    paths.TicksPerMs = clock.TicksPerMs();
    paths.DataDir = PrepareDataDir();
    paths.HomeDir = PrepareHomeDir(homeDir);
    return paths;
}

}  // namespace tav
