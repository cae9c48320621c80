// Shared by the fuzz targets: a failed invariant stops the run with a
// message, so libFuzzer keeps the input that broke it.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <array>
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

// An input read as N fields: each takes the bytes up to the next 0x01, the
// last one the rest.
template <size_t N>
std::array<std::string, N> Fields(const uint8_t* data, size_t size) {
    std::array<std::string, N> fields;
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    for (size_t i = 0; i < N; ++i) {
        const size_t end = i + 1 == N ? rest.size() : std::min(rest.find('\x01'), rest.size());
        fields[i] = rest.substr(0, end);
        rest.remove_prefix(std::min(end + 1, rest.size()));
    }
    return fields;
}

// A folder of this process for targets that need files, removed at exit:
// /dev/shm when present (no disk writes), else the temporary folder.
inline const std::string& ScratchDir() {
    if (access("/dev/shm", W_OK) == 0) setenv("TAV_TEST_TMP", "/dev/shm", 0);
    static const test::TempDir dir;
    return dir.path();
}

}  // namespace tav::fuzz
