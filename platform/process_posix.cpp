#include <signal.h>

#include <cerrno>

#include "platform/process.h"

namespace tav {

bool ProcessExists(int pid) {
    if (pid <= 0) return false;
    // Signal 0 only tests whether the process could be signalled.
    return kill(pid, 0) == 0 || errno == EPERM;
}

}  // namespace tav
