#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/ini.h"

namespace tav {
namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

bool SameName(std::string_view a, std::string_view b) {
    a = Trim(a);
    b = Trim(b);
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::vector<std::string> ReadLines(const std::string& path, bool& exists) {
    std::vector<std::string> lines;
    std::ifstream in(path, std::ios::binary);
    exists = static_cast<bool>(in);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// Section name of a "[name]" line; false for any other line.
bool SectionOf(std::string_view line, std::string_view& name) {
    line = Trim(line);
    if (line.size() < 2 || line.front() != '[') return false;
    size_t close = line.find(']');
    if (close == std::string_view::npos) return false;
    name = line.substr(1, close - 1);
    return true;
}

bool KeyOf(std::string_view line, std::string_view& key, std::string_view& value) {
    size_t eq = line.find('=');
    if (eq == std::string_view::npos) return false;
    key = Trim(line.substr(0, eq));
    value = Trim(line.substr(eq + 1));
    return true;
}

}  // namespace

size_t ReadProfileString(std::string_view section, std::string_view key,
                         std::string_view defaultText, char* buffer, size_t bufferSize,
                         const std::string& path) {
    if (!buffer || bufferSize == 0) return 0;
    bool exists = false;
    std::string_view found = defaultText;
    std::vector<std::string> lines = ReadLines(path, exists);
    // Lines before the first section belong to the section with the empty name.
    bool inSection = Trim(section).empty();
    for (const std::string& line : lines) {
        std::string_view name, k, v;
        if (SectionOf(line, name)) {
            inSection = SameName(name, section);
        } else if (inSection && KeyOf(line, k, v) && SameName(k, key)) {
            if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
                v = v.substr(1, v.size() - 2);
            found = v;
            break;
        }
    }
    size_t n = std::min(found.size(), bufferSize - 1);
    std::memcpy(buffer, found.data(), n);
    buffer[n] = '\0';
    return n;
}

bool WriteProfileString(std::string_view section, std::string_view key, std::string_view value,
                        const std::string& path) {
    bool exists = false;
    std::vector<std::string> lines = ReadLines(path, exists);
    std::string entry = std::string(Trim(key)) + "=" + std::string(value);
    bool inSection = false, done = false;
    size_t sectionEnd = std::string::npos;
    for (size_t i = 0; i < lines.size() && !done; ++i) {
        std::string_view name, k, v;
        if (SectionOf(lines[i], name)) {
            if (inSection) break;
            inSection = SameName(name, section);
            if (inSection) sectionEnd = i + 1;
        } else if (inSection) {
            if (KeyOf(lines[i], k, v) && SameName(k, key)) {
                lines[i] = entry;
                done = true;
            } else if (!Trim(lines[i]).empty()) {
                sectionEnd = i + 1;
            }
        }
    }
    if (!done) {
        if (sectionEnd == std::string::npos) {
            lines.push_back("[" + std::string(Trim(section)) + "]");
            lines.push_back(entry);
        } else {
            lines.insert(lines.begin() + static_cast<long>(sectionEnd), entry);
        }
    }
    std::ostringstream out;
    for (const std::string& line : lines) out << line << "\r\n";
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) return false;
    file << out.str();
    return static_cast<bool>(file);
}

}  // namespace tav
