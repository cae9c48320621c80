// The INI functions on a file of any content: a write that succeeds reads
// back as written (line breaks as blanks, trimmed, one pair of quotes off),
// writing the same value again leaves the file byte for byte as it is, the
// write changed at most the one line of its key (or added its key, and its
// section, with a line end for a last line that had none) and left every
// other byte as it was, and another key reads the same before and after. A
// write that fails leaves the file untouched. Input fields, separated by
// 0x01: file, section, key, value, other section, other key.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "platform/ini.h"
#include "tests/fuzz/fuzz_check.h"

namespace tav::fuzz {
namespace {

constexpr size_t kBuffer = 1 << 16;  // larger than any input: nothing is cut

std::string Trim(const std::string& s) {
    const char* blanks = " \t\v\f\r";
    const size_t first = s.find_first_not_of(blanks);
    return first == std::string::npos ? ""
                                      : s.substr(first, s.find_last_not_of(blanks) - first + 1);
}

// What a read returns for a value written as `value`.
std::string ExpectedRead(std::string value) {
    std::replace_if(
        value.begin(), value.end(), [](char c) { return c == '\r' || c == '\n' || c == '\0'; },
        ' ');
    value = Trim(value);
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
        value = value.substr(1, value.size() - 2);
    return value;
}

bool SameName(const std::string& a, const std::string& b) {
    std::string x = Trim(a), y = Trim(b);
    return x.size() == y.size() && std::equal(x.begin(), x.end(), y.begin(), [](char p, char q) {
               auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
               return lower(p) == lower(q);
           });
}

// The write replaced at most one whole line of `before` (the text between
// two line starts holding one line end at most) and put at most three line
// ends in its place: a line end for a last line without one, a section
// header, the key line.
void CheckOneLineChanged(const std::string& before, const std::string& after) {
    size_t prefix = 0;
    while (prefix < before.size() && prefix < after.size() && before[prefix] == after[prefix])
        ++prefix;
    size_t suffix = 0;
    while (suffix < before.size() - prefix && suffix < after.size() - prefix &&
           before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix])
        ++suffix;
    // Widen the changed part of `before` to whole lines.
    size_t from = before.rfind('\n', prefix == 0 ? std::string::npos : prefix - 1);
    from = (prefix == 0 || from == std::string::npos) ? 0 : from + 1;
    size_t to = before.size() - suffix;
    if (to > from && before[to - 1] != '\n') {
        size_t nl = before.find('\n', to);
        to = nl == std::string::npos ? before.size() : nl + 1;
    }
    const std::string oldPart = before.substr(from, to - from);
    FUZZ_CHECK(std::count(oldPart.begin(), oldPart.end(), '\n') <= 1);
    FUZZ_CHECK(after.compare(0, from, before, 0, from) == 0);
    const size_t tail = before.size() - to;
    FUZZ_CHECK(after.size() >= from + tail);
    FUZZ_CHECK(after.compare(after.size() - tail, tail, before, to, tail) == 0);
    const std::string newPart = after.substr(from, after.size() - tail - from);
    FUZZ_CHECK(std::count(newPart.begin(), newPart.end(), '\n') <= 3);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FieldReader in(data, size);
    const std::string file = in.Next(), section = in.Next(), key = in.Next(), value = in.Next(),
                      otherSection = in.Next(), otherKey = in.Next();

    static const std::string path = ScratchDir() + "/fuzz.ini";
    test::WriteWholeFile(path, file);
    const std::string otherBefore = ReadProfileString(otherSection, otherKey, "", path, kBuffer);

    if (!WriteProfileString(section, key, value, path)) {
        FUZZ_CHECK(test::ReadWholeFile(path) == file);
        unlink(path.c_str());
        return 0;
    }
    const std::string written = test::ReadWholeFile(path);
    FUZZ_CHECK(ReadProfileString(section, key, "\x01", path, kBuffer) == ExpectedRead(value));
    CheckOneLineChanged(file, written);
    if (!(SameName(section, otherSection) && SameName(key, otherKey))) {
        FUZZ_CHECK(ReadProfileString(otherSection, otherKey, "", path, kBuffer) == otherBefore);
    }
    // Writing it again changes nothing.
    FUZZ_CHECK(WriteProfileString(section, key, value, path));
    FUZZ_CHECK(test::ReadWholeFile(path) == written);
    unlink(path.c_str());
    return 0;
}

}  // namespace tav::fuzz
