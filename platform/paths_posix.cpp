#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "platform/paths.h"

namespace tav {

char PathSeparator() {
    return '/';
}

std::string JoinPath(const std::string& a, const std::string& b) {
    if (a.empty()) return b;
    if (b.empty()) return a;
    std::string out = a;
    while (out.size() > 1 && out.back() == '/') out.pop_back();
    size_t start = 0;
    while (start < b.size() && b[start] == '/') ++start;
    if (out != "/") out += '/';
    return out + b.substr(start);
}

std::string DefaultHomeDir() {
    const char* env = std::getenv("TAVRINA1C_HOME");
    if (env && *env) return env;
    const char* home = std::getenv("HOME");
    return JoinPath(home && *home ? home : "/tmp", "TAVRINA1c Expert");
}

std::string PrepareHomeDir(const std::string& path) {
    // Walk the path one component at a time; the root is never created.
    std::string prefix;
    size_t pos = 0;
    if (!path.empty() && path[0] == '/') {
        prefix = "/";
        pos = 1;
    }
    while (pos <= path.size()) {
        size_t next = path.find('/', pos);
        if (next == std::string::npos) next = path.size();
        if (next > pos) {
            prefix += path.substr(pos, next - pos);
            if (!IsDirectory(prefix)) MakeDir(prefix);
            if (next < path.size()) prefix += '/';
        }
        pos = next + 1;
    }
    while (prefix.size() > 1 && prefix.back() == '/') prefix.pop_back();
    return prefix;
}

std::string CurrentDir() {
    std::vector<char> buf(4096);
    if (!getcwd(buf.data(), buf.size())) return ".";
    return buf.data();
}

std::string PrepareDataDir() {
    std::string dir = JoinPath(CurrentDir(), "DATA");
    if (!IsDirectory(dir)) MakeDir(dir);
    return dir;
}

bool PathExists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsReadable(const std::string& path) {
    return access(path.c_str(), R_OK) == 0;
}
std::optional<uint64_t> FileSize(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return static_cast<uint64_t>(st.st_size);
}

bool IsWritable(const std::string& path) {
    return access(path.c_str(), W_OK) == 0;
}
bool MakeDir(const std::string& path) {
    return mkdir(path.c_str(), 0777) == 0;
}
bool RemoveFile(const std::string& path) {
    return unlink(path.c_str()) == 0;
}

}  // namespace tav
