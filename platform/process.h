// Other processes of this machine, as far as the program needs to know them.
#pragma once

namespace tav {

// True while a process with this id exists (also one owned by another user).
bool ProcessExists(int pid);

}  // namespace tav
