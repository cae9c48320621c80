#include "tests/fuzz/fuzz_check.h"

#include <sys/stat.h>
#include <unistd.h>

namespace tav::fuzz {
namespace {
std::string scratch;
void RemoveScratch() {
    if (!scratch.empty()) rmdir(scratch.c_str());
}
}  // namespace

std::string ScratchDir() {
    static const std::string dir = [] {
        struct stat st {};
        std::string base = stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) ? "/dev/shm" : "/tmp";
        if (const char* tmp = std::getenv("TMPDIR"); tmp && *tmp && base == "/tmp") base = tmp;
        std::string d = base + "/tav-fuzz-" + std::to_string(getpid());
        mkdir(d.c_str(), 0700);
        scratch = d;
        std::atexit(RemoveScratch);  // the targets remove their files after each input
        return d;
    }();
    return dir;
}

}  // namespace tav::fuzz
