// The INI functions on a file of any content: a write that succeeds reads
// back as written (line breaks as blanks, trimmed, one pair of quotes off),
// writing the same value again leaves the file byte for byte as it is, the
// write changed at most the one line of its key (or added its key, and its
// section, with a line end for a last line that had none) and left every
// other byte as it was, and another key reads the same before and after. A
// write that fails leaves the file untouched. Input fields, separated by
// 0x01: file, section, key, value, other section, other key.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/ini.h"
#include "tests/fuzz/fuzz_check.h"

namespace tav::fuzz {

constexpr size_t kBuffer = 1 << 16;  // larger than any input: nothing is cut

std::string Trim(const std::string& s) {
    const char* blanks = " \t\v\f\r";
    const size_t first = s.find_first_not_of(blanks);
    return first == std::string::npos ? ""
                                      : s.substr(first, s.find_last_not_of(blanks) - first + 1);
}

// What a read returns for a value written as `value`.
std::string ExpectedRead(std::string value) {
    for (char& c : value)
        if (c == '\r' || c == '\n' || c == '\0') c = ' ';
    value = Trim(value);
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
        value = value.substr(1, value.size() - 2);
    return value;
}

bool SameName(const std::string& a, const std::string& b) {
    const std::string x = Trim(a), y = Trim(b);
    return std::equal(x.begin(), x.end(), y.begin(), y.end(), [](unsigned char p, unsigned char q) {
        return std::tolower(p) == std::tolower(q);  // ASCII letters only: the C locale
    });
}

// The write replaced at most one line of `before` and put at most three in
// its place: the last line given its line end, a section header, the key line.
void CheckOneLineChanged(const std::string& before, const std::string& after) {
    auto lines = [](const std::string& s) {  // each with its line end
        std::vector<std::string> out;
        for (size_t at = 0, end; at < s.size(); at = end) {
            end = std::min(s.find('\n', at), s.size() - 1) + 1;
            out.push_back(s.substr(at, end - at));
        }
        return out;
    };
    const std::vector<std::string> b = lines(before), a = lines(after);
    size_t head = 0, tail = 0;
    while (head < b.size() && head < a.size() && b[head] == a[head]) ++head;
    while (tail < b.size() - head && tail < a.size() - head &&
           b[b.size() - 1 - tail] == a[a.size() - 1 - tail])
        ++tail;
    FUZZ_CHECK(b.size() - head - tail <= 1 && a.size() - head - tail <= 3);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto [file, section, key, value, otherSection, otherKey] = Fields<6>(data, size);

    static const std::string path = ScratchDir() + "/fuzz.ini";
    test::WriteWholeFile(path, file);
    const std::string otherBefore = ReadProfileString(otherSection, otherKey, "", path, kBuffer);

    const bool wrote = WriteProfileString(section, key, value, path);
    const std::string written = test::ReadWholeFile(path);
    FUZZ_CHECK(wrote || written == file);
    if (!wrote) return 0;
    FUZZ_CHECK(ReadProfileString(section, key, "\x01", path, kBuffer) == ExpectedRead(value));
    CheckOneLineChanged(file, written);
    FUZZ_CHECK((SameName(section, otherSection) && SameName(key, otherKey)) ||
               ReadProfileString(otherSection, otherKey, "", path, kBuffer) == otherBefore);
    // Writing it again changes nothing.
    FUZZ_CHECK(WriteProfileString(section, key, value, path) &&
               test::ReadWholeFile(path) == written);
    return 0;
}

}  // namespace tav::fuzz
