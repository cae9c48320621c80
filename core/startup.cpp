#include "core/startup.h"

#include "platform/paths.h"

namespace tav {

bool AcquireSingleInstance(InstanceLock& lock) {
    return lock.Acquire() != InstanceLock::Result::AlreadyRunning;
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
