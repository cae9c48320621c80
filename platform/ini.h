// INI files read and written the way the Windows private-profile functions do:
// section and key names match without regard to case or surrounding blanks,
// values are trimmed and lose one pair of matching quotes, the first of two
// equal keys wins, and a write changes only the line of its key (adding the
// key at the end of its section, the section at the end of the file, the
// file itself when missing) while every other byte of the file stays as it
// was. CR LF and LF line ends are both read; lines added follow the file's
// own line ends (CR LF for a new file).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tav {

// The buffer size the program reads its INI values into (99 characters kept).
inline constexpr size_t kProfileBufferSize = 100;

// Copies the value of `key` in `section` of the file at `path`, or
// `defaultText` (without its trailing blanks) when the file, the section or
// the key is missing or the key line has no "=". At most bufferSize - 1
// characters are copied, always followed by a NUL. Returns the number of
// characters copied (0 and nothing written when bufferSize is 0).
size_t ReadProfileString(const std::string& section, const std::string& key,
                         const std::string& defaultText, char* buffer, size_t bufferSize,
                         const std::string& path);

// The same, returning the text (cut to bufferSize - 1 characters).
std::string ReadProfileString(const std::string& section, const std::string& key,
                              const std::string& defaultText, const std::string& path,
                              size_t bufferSize = kProfileBufferSize);

// An INI file read and indexed once, for loaders that read many keys: each
// Read gives what ReadProfileString gives for the file as it was when read.
class ProfileFile {
  public:
    explicit ProfileFile(const std::string& path);
    // The index points into the file's text it holds.
    ProfileFile(const ProfileFile&) = delete;
    ProfileFile& operator=(const ProfileFile&) = delete;

    size_t Read(const std::string& section, const std::string& key, const std::string& defaultText,
                char* buffer, size_t bufferSize) const;
    std::string Read(const std::string& section, const std::string& key,
                     const std::string& defaultText, size_t bufferSize = kProfileBufferSize) const;

  private:
    // Names match without regard to ASCII case.
    struct NameHash {
        size_t operator()(std::string_view name) const;
    };
    struct NameEqual {
        bool operator()(std::string_view a, std::string_view b) const;
    };
    // A key line without "=" has no value and reads as the default.
    struct Value {
        std::string_view text;
        bool present = false;
    };
    using Keys = std::unordered_map<std::string_view, Value, NameHash, NameEqual>;

    std::string data_;
    std::unordered_map<std::string_view, Keys, NameHash, NameEqual> sections_;
};

// Sets `key` in `section` to `value` (line breaks in the value become
// blanks, so a value can never add lines). The file is replaced whole via a
// temporary file in the same folder, so a failed write leaves the old file.
// False when the file exists but cannot be read, the names could not be read
// back from an INI line (an empty key, "=" in the key, a key beginning with
// "[" or ";", a line break in either name) or the new file could not be
// written.
bool WriteProfileString(const std::string& section, const std::string& key,
                        const std::string& value, const std::string& path);

}  // namespace tav
