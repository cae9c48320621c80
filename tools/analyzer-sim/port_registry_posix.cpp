#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>

#include "platform/paths.h"
#include "tools/analyzer-sim/port_registry.h"

namespace tav::sim {
namespace {

// Runs `edit` on the file's text under an exclusive lock of the folder and
// writes the result back with a rename (or removes the file when it is empty).
bool EditLocked(const std::string& home, const std::function<std::string(const std::string&)>& edit,
                std::string* error) {
    int dir = open(home.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) {
        *error = "cannot open " + home + ": " + std::strerror(errno);
        return false;
    }
    struct Unlock {
        int fd;
        ~Unlock() { close(fd); }  // closing drops the lock
    } unlock{dir};
    if (flock(dir, LOCK_EX) != 0) {
        *error = "cannot lock " + home + ": " + std::strerror(errno);
        return false;
    }
    const std::string path = JoinPath(home, kVirtualPortsFile);
    std::string text;
    if (std::ifstream in{path, std::ios::binary}) {
        std::ostringstream s;
        s << in.rdbuf();
        text = s.str();
    }
    std::string updated = edit(text);
    if (updated == text) return true;
    if (updated.empty()) {
        if (unlink(path.c_str()) != 0 && errno != ENOENT) {
            *error = "cannot remove " + path + ": " + std::strerror(errno);
            return false;
        }
        return true;
    }
    const std::string temp = path + ".tmp" + std::to_string(getpid());
    {
        std::ofstream out{temp, std::ios::binary | std::ios::trunc};
        out << updated;
        if (!out.flush()) {
            *error = "cannot write " + temp;
            unlink(temp.c_str());
            return false;
        }
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        *error = "cannot replace " + path + ": " + std::strerror(errno);
        unlink(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace

PortRegistration::PortRegistration(std::string home, VirtualPort port)
    : home_(std::move(home)), port_(std::move(port)) {
    ok_ = EditLocked(
        home_, [&](const std::string& text) { return WithPortLine(text, port_, &replaced_); },
        &error_);
    registered_ = ok_;
}

PortRegistration::~PortRegistration() {
    Remove();
}

void PortRegistration::Remove() {
    if (!registered_) return;
    registered_ = false;
    std::string error;
    EditLocked(
        home_, [&](const std::string& text) { return WithoutPortLine(text, port_, nullptr); },
        &error);
}

}  // namespace tav::sim
