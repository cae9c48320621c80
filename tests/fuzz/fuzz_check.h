// Shared by the fuzz targets: a failed invariant stops the run with a
// message, so libFuzzer keeps the input that broke it.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tests/support/temp_dir.h"

namespace tav::fuzz {

[[noreturn]] inline void Fail(const char* what, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: invariant failed: %s\n", file, line, what);
    std::abort();
}

#define FUZZ_CHECK(condition) \
    ((condition) ? (void)0 : ::tav::fuzz::Fail(#condition, __FILE__, __LINE__))

// Reads an input as a few fields: each takes bytes up to the next separator.
class FieldReader {
  public:
    FieldReader(const uint8_t* data, size_t size)
        : rest_(reinterpret_cast<const char*>(data), size) {}

    std::string Next(char separator = '\x01') {
        size_t end = rest_.find(separator);
        std::string field(rest_.substr(0, end));
        rest_ = end == std::string_view::npos ? std::string_view() : rest_.substr(end + 1);
        return field;
    }
    std::string Rest() const { return std::string(rest_); }

  private:
    std::string_view rest_;
};

// A folder of this process for targets that need files, removed at exit:
// /dev/shm when present (no disk writes), else the temporary folder.
inline const std::string& ScratchDir() {
    if (access("/dev/shm", W_OK) == 0) setenv("TAV_TEST_TMP", "/dev/shm", 0);
    static const test::TempDir dir;
    return dir.path();
}

}  // namespace tav::fuzz
