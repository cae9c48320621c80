// INI files on POSIX systems, with the observable behaviour of the Windows
// private-profile functions (see ini.h). The file is kept as its lines, each
// with its own line end, so that a write can change one line and leave every
// other byte as it was.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/ini.h"

namespace tav {
namespace {

constexpr std::string_view kNewFileEol = "\r\n";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

struct Line {
    std::string text;  // without its line end
    std::string eol;   // "\r\n", "\n", or empty for a last line without one
};

std::vector<Line> SplitLines(const std::string& data) {
    std::vector<Line> lines;
    size_t pos = 0;
    while (pos < data.size()) {
        size_t nl = data.find('\n', pos);
        if (nl == std::string::npos) {
            lines.push_back({data.substr(pos), ""});
            break;
        }
        size_t end = nl;
        std::string eol = "\n";
        if (end > pos && data[end - 1] == '\r') {
            --end;
            eol = "\r\n";
        }
        lines.push_back({data.substr(pos, end - pos), eol});
        pos = nl + 1;
    }
    return lines;
}

std::string JoinLines(const std::vector<Line>& lines) {
    std::string out;
    for (const Line& l : lines) {
        out += l.text;
        out += l.eol;
    }
    return out;
}

enum class LineKind { Blank, Comment, Section, Key };

struct ParsedLine {
    LineKind kind = LineKind::Blank;
    std::string_view name;   // section or key name, trimmed
    std::string_view value;  // trimmed, quotes kept
    bool hasValue = false;   // the key line has an "="
    size_t nameEnd = 0;      // offset in the line just past the key name
};

ParsedLine Parse(std::string_view text, bool firstLine) {
    ParsedLine p;
    size_t start = 0;
    if (firstLine && text.starts_with(kUtf8Bom)) start = kUtf8Bom.size();
    while (start < text.size() && IsBlank(text[start])) ++start;
    std::string_view rest = text.substr(start);
    if (Trim(rest).empty()) return p;
    if (rest.front() == ';') {
        p.kind = LineKind::Comment;
        return p;
    }
    // A "[" line without any "]" is not a section header: it reads as a key
    // without a value in the section before it.
    if (rest.front() == '[') {
        size_t close = rest.rfind(']');
        if (close != std::string_view::npos) {
            p.kind = LineKind::Section;
            p.name = Trim(rest.substr(1, close - 1));
            return p;
        }
    }
    p.kind = LineKind::Key;
    size_t eq = rest.find('=');
    if (eq == std::string_view::npos) {
        p.name = Trim(rest);
    } else {
        p.name = Trim(rest.substr(0, eq));
        p.value = Trim(rest.substr(eq + 1));
        p.hasValue = true;
    }
    p.nameEnd = start + p.name.size();
    return p;
}

std::string_view StripQuotes(std::string_view v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        return v.substr(1, v.size() - 2);
    return v;
}

// Where a key of a section lies. Only the first section of a name counts,
// and within it the first key of a name. Lines before any section header
// form the section with the empty name, when they hold a key.
struct KeyLocation {
    bool sectionFound = false;
    size_t lastEntry = 0;  // the header or the last key line of the section
    std::optional<size_t> keyLine;
};

KeyLocation Locate(const std::vector<Line>& lines, std::string_view section, std::string_view key) {
    KeyLocation loc;
    bool inSection = section.empty();  // the lines before the first header
    bool implicitSection = inSection;
    for (size_t i = 0; i < lines.size(); ++i) {
        ParsedLine p = Parse(lines[i].text, i == 0);
        if (p.kind == LineKind::Section) {
            if (inSection && loc.sectionFound) break;
            inSection = SameName(p.name, section);
            implicitSection = false;
            if (inSection) {
                loc.sectionFound = true;
                loc.lastEntry = i;
            }
            continue;
        }
        if (!inSection || p.kind != LineKind::Key) continue;
        if (implicitSection) loc.sectionFound = true;
        loc.lastEntry = i;
        if (SameName(p.name, key)) {
            loc.keyLine = i;
            break;
        }
    }
    return loc;
}

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() { Close(); }
    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    bool Close() {
        if (fd_ < 0) return true;
        int rc = ::close(fd_);
        fd_ = -1;
        return rc == 0;
    }

  private:
    int fd_;
};

enum class ReadResult { Ok, Missing, Failed };

ReadResult ReadWholeFile(const std::string& path, std::string& out) {
    out.clear();
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.Valid()) return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    struct stat st {};
    if (fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return ReadResult::Failed;
    out.reserve(static_cast<size_t>(st.st_size));
    char chunk[8192];
    for (;;) {
        ssize_t n = ::read(fd.Get(), chunk, sizeof chunk);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            return ReadResult::Failed;
        }
        out.append(chunk, static_cast<size_t>(n));
    }
    return ReadResult::Ok;
}

bool WriteAll(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

std::string ParentDir(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Replaces the file with `data`: written to a temporary file beside it,
// flushed, then renamed over it, so readers see the old or the new file and
// never a part of one. A symbolic link is followed and its target replaced.
bool ReplaceFile(const std::string& path, const std::string& data) {
    std::string target = path;
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = realpath(path.c_str(), nullptr)) {
            target = real;
            std::free(real);
        }
    }
    std::optional<mode_t> keepMode;
    if (stat(target.c_str(), &st) == 0) keepMode = st.st_mode & 07777;

    static std::atomic<unsigned> counter{0};
    std::string temp;
    int raw = -1;
    for (int attempt = 0; attempt < 100 && raw < 0; ++attempt) {
        temp = target + ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
        raw = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (raw < 0 && errno != EEXIST) return false;
    }
    if (raw < 0) return false;
    FileDescriptor fd(raw);

    bool ok = WriteAll(fd.Get(), data);
    if (ok && keepMode) ok = fchmod(fd.Get(), *keepMode) == 0;
    if (ok) ok = fsync(fd.Get()) == 0;
    ok = fd.Close() && ok;
    if (ok) ok = ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    FileDescriptor dir(::open(ParentDir(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Valid()) fsync(dir.Get());
    return true;
}

bool HasLineBreak(std::string_view s) {
    return s.find_first_of("\r\n") != std::string_view::npos;
}

}  // namespace

size_t ProfileFile::NameHash::operator()(std::string_view name) const {
    size_t h = 14695981039346656037ull;
    for (char c : name) h = (h ^ static_cast<unsigned char>(LowerAscii(c))) * 1099511628211ull;
    return h;
}

bool ProfileFile::NameEqual::operator()(std::string_view a, std::string_view b) const {
    return SameName(a, b);
}

ProfileFile::ProfileFile(const std::string& path) {
    if (ReadWholeFile(path, data_) != ReadResult::Ok) {
        data_.clear();
        return;
    }
    // One pass with the rules of Locate: only the first section of a name
    // counts, and in it the first line of a key; the keys before any header
    // form the section with the empty name.
    const std::string_view data(data_);
    Keys* current = nullptr;
    bool beforeFirstHeader = true;
    size_t pos = 0;
    for (bool first = true; pos < data.size(); first = false) {
        const size_t nl = data.find('\n', pos);
        size_t end = nl == std::string_view::npos ? data.size() : nl;
        if (nl != std::string_view::npos && end > pos && data[end - 1] == '\r') --end;
        const ParsedLine p = Parse(data.substr(pos, end - pos), first);
        pos = nl == std::string_view::npos ? data.size() : nl + 1;
        if (p.kind == LineKind::Section) {
            beforeFirstHeader = false;
            auto [it, isNew] = sections_.try_emplace(p.name);
            current = isNew ? &it->second : nullptr;
        } else if (p.kind == LineKind::Key) {
            if (beforeFirstHeader) current = &sections_[std::string_view()];
            if (current) current->try_emplace(p.name, Value{p.value, p.hasValue});
        }
    }
}

size_t ProfileFile::Read(const std::string& section, const std::string& key,
                         const std::string& defaultText, char* buffer, size_t bufferSize) const {
    if (buffer == nullptr || bufferSize == 0) return 0;
    std::string_view found;
    bool haveValue = false;
    if (auto s = sections_.find(Trim(section)); s != sections_.end()) {
        if (auto k = s->second.find(Trim(key)); k != s->second.end() && k->second.present) {
            found = StripQuotes(k->second.text);
            haveValue = true;
        }
    }
    if (!haveValue) {
        found = defaultText;
        while (!found.empty() && IsBlank(found.back())) found.remove_suffix(1);
    }
    // The text is cut at the buffer size and, like a C string, at a NUL.
    size_t n = std::min(found.size(), bufferSize - 1);
    size_t nul = found.substr(0, n).find('\0');
    if (nul != std::string_view::npos) n = nul;
    std::memcpy(buffer, found.data(), n);
    buffer[n] = '\0';
    return n;
}

std::string ProfileFile::Read(const std::string& section, const std::string& key,
                              const std::string& defaultText, size_t bufferSize) const {
    if (bufferSize == 0) return {};
    std::vector<char> buffer(bufferSize, '\0');
    size_t n = Read(section, key, defaultText, buffer.data(), bufferSize);
    return std::string(buffer.data(), n);
}

size_t ReadProfileString(const std::string& section, const std::string& key,
                         const std::string& defaultText, char* buffer, size_t bufferSize,
                         const std::string& path) {
    if (buffer == nullptr || bufferSize == 0) return 0;
    return ProfileFile(path).Read(section, key, defaultText, buffer, bufferSize);
}

std::string ReadProfileString(const std::string& section, const std::string& key,
                              const std::string& defaultText, const std::string& path,
                              size_t bufferSize) {
    if (bufferSize == 0) return {};
    return ProfileFile(path).Read(section, key, defaultText, bufferSize);
}

bool WriteProfileString(const std::string& section, const std::string& key,
                        const std::string& value, const std::string& path) {
    std::string_view sectionName = Trim(section);
    std::string_view keyName = Trim(key);
    if (keyName.empty() || keyName.find('=') != std::string_view::npos || keyName.front() == '[' ||
        keyName.front() == ';' || HasLineBreak(keyName) || HasLineBreak(sectionName))
        return false;

    std::string data;
    ReadResult read = ReadWholeFile(path, data);
    if (read == ReadResult::Failed) return false;
    std::vector<Line> lines = SplitLines(data);

    std::string eol(kNewFileEol);
    for (const Line& l : lines) {
        if (!l.eol.empty()) {
            eol = l.eol;
            break;
        }
    }
    std::string cleanValue = value;
    for (char& c : cleanValue)
        if (c == '\r' || c == '\n' || c == '\0') c = ' ';

    KeyLocation loc = Locate(lines, sectionName, keyName);
    if (loc.keyLine) {
        // Keep the line's own indentation and spelling of the key.
        Line& line = lines[*loc.keyLine];
        ParsedLine p = Parse(line.text, *loc.keyLine == 0);
        line.text = line.text.substr(0, p.nameEnd) + "=" + cleanValue;
    } else {
        std::string entry = std::string(keyName) + "=" + cleanValue;
        if (loc.sectionFound) {
            Line& after = lines[loc.lastEntry];
            if (after.eol.empty()) after.eol = eol;
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(loc.lastEntry) + 1,
                         Line{entry, eol});
        } else {
            if (!lines.empty() && lines.back().eol.empty()) lines.back().eol = eol;
            lines.push_back({"[" + std::string(sectionName) + "]", eol});
            lines.push_back({entry, eol});
        }
    }
    std::string updated = JoinLines(lines);
    if (read == ReadResult::Ok && updated == data) return true;
    return ReplaceFile(path, updated);
}

}  // namespace tav
