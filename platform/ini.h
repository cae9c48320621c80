// INI files with the observable behaviour of the Windows private-profile
// functions: sections and keys compared without case, the first of two equal
// keys wins, values trimmed and unquoted, the file created on first write and
// rewritten in place keeping everything else.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tav {

// Copies the value of `key` in `section` of the file at `path` (or
// `defaultText` when there is none) into `buffer`, truncated to
// bufferSize - 1 characters and NUL-terminated; returns the length copied.
size_t ReadProfileString(std::string_view section, std::string_view key,
                         std::string_view defaultText, char* buffer, size_t bufferSize,
                         const std::string& path);

// Sets `key` in `section` to `value`, creating the section or the file when
// missing. False when the file could not be written.
bool WriteProfileString(std::string_view section, std::string_view key, std::string_view value,
                        const std::string& path);

}  // namespace tav
