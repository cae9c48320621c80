#include "platform/ini.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace tav {
namespace {

namespace fs = std::filesystem;

class IniFile : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* base = std::getenv("TAV_TEST_TMP");
        fs::path root = base && *base ? fs::path(base) : fs::temp_directory_path();
        fs::create_directories(root);
        std::string tmpl = (root / "ini-XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        dir_ = tmpl;
        path_ = (dir_ / "test.ini").string();
    }
    void TearDown() override { fs::remove_all(dir_); }

    void Put(const std::string& bytes) { std::ofstream(path_, std::ios::binary) << bytes; }
    std::string Get() const {
        std::ifstream in(path_, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    std::string Read(const std::string& section, const std::string& key) const {
        return ReadProfileString(section, key, "-1", path_);
    }

    fs::path dir_;
    std::string path_;
};

const std::string kLong(150, 'L');

std::string AwkwardFile() {
    return "; comment line\r\n"
           "[SETTING VALUE]\r\n"
           "unit = 0 \r\n"
           "quoted=\"  hello  \"\r\n"
           "spaced=   a b   \r\n"
           "empty=\r\n"
           "dup=first\r\n"
           "dup=second\r\n"
           "long=" +
           kLong +
           "\r\n"
           "semi=a;b\r\n"
           "halfquote=\"abc\r\n"
           "\r\n"
           "[Other]\r\n"
           "k=v\r\n";
}

struct ReadCase {
    const char* what;
    const char* section;
    const char* key;
    std::string text;
};

TEST_F(IniFile, ReadsTheAwkwardFileAsWindowsDoes) {
    Put(AwkwardFile());
    const ReadCase cases[] = {
        {"plain value with a trailing blank", "SETTING VALUE", "unit", "0"},
        {"names differ in case", "setting value", "UNIT", "0"},
        {"section name with blanks around", "  SETTING VALUE  ", "unit", "0"},
        {"quotes removed, inner blanks kept", "SETTING VALUE", "quoted", "  hello  "},
        {"blanks around the value trimmed", "SETTING VALUE", "spaced", "a b"},
        {"empty value is not the default", "SETTING VALUE", "empty", ""},
        {"first of two equal keys wins", "SETTING VALUE", "dup", "first"},
        {"long value cut to 99 characters", "SETTING VALUE", "long", kLong.substr(0, 99)},
        {"semicolon inside a value kept", "SETTING VALUE", "semi", "a;b"},
        {"unmatched quote stays", "SETTING VALUE", "halfquote", "\"abc"},
        {"key of a later section", "Other", "k", "v"},
        {"missing section gives the default", "Missing", "k", "-1"},
        {"missing key gives the default", "Other", "unit", "-1"},
        {"comment line is no key", "", "; comment line", "-1"},
    };
    for (const ReadCase& c : cases) {
        char buffer[100];
        std::memset(buffer, 'x', sizeof buffer);
        size_t n = ReadProfileString(c.section, c.key, "-1", buffer, sizeof buffer, path_);
        EXPECT_EQ(std::string(buffer), c.text) << c.what;
        EXPECT_EQ(n, c.text.size()) << c.what;
    }
}

TEST_F(IniFile, ReadsOddLinesOfAnLfFile) {
    Put("orphan=1\n[A]\nnokey\n   indented = yes\ntab=\tT\t\nx=1\n[Unclosed\nu=2\n"
        "single='q'\n");
    const ReadCase cases[] = {
        {"line without = gives the default", "A", "nokey", "-1"},
        {"indented key", "A", "indented", "yes"},
        {"requested key with blanks", "A", "  indented", "yes"},
        {"tabs around the value", "A", "tab", "T"},
        {"key before any section is in the empty section", "", "orphan", "1"},
        {"a [ line without ] opens no section", "Unclosed", "u", "-1"},
        {"its keys stay in the section before", "A", "u", "2"},
        {"single quotes are removed too", "A", "single", "q"},
    };
    for (const ReadCase& c : cases) EXPECT_EQ(Read(c.section, c.key), c.text) << c.what;
}

TEST_F(IniFile, BufferLimitsAndDefaults) {
    Put("[S]\nk=abcdef\nbom=1\n");
    char buffer[4];
    EXPECT_EQ(ReadProfileString("S", "k", "-1", buffer, sizeof buffer, path_), 3u);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(ReadProfileString("S", "k", "-1", buffer, 1, path_), 0u);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(ReadProfileString("S", "k", "-1", buffer, 0, path_), 0u);
    // The default loses its trailing blanks, as the Windows reader strips them.
    EXPECT_EQ(ReadProfileString("S", "none", " d  ", path_), " d");
    EXPECT_EQ(ReadProfileString("S", "none", "-1", (dir_ / "absent.ini").string()), "-1");
    EXPECT_EQ(ReadProfileString("S", "none", "-1", dir_.string()), "-1");  // a folder
}

TEST_F(IniFile, Utf8MarkBeforeTheFirstSectionIsIgnored) {
    Put("\xEF\xBB\xBF[S]\r\nk=1\r\n");
    EXPECT_EQ(Read("S", "k"), "1");
    ASSERT_TRUE(WriteProfileString("S", "k", "2", path_));
    EXPECT_EQ(Get(), "\xEF\xBB\xBF[S]\r\nk=2\r\n");
}

TEST_F(IniFile, WriteChangesOnlyItsLineAndKeepsEveryOtherByte) {
    Put(AwkwardFile());
    ASSERT_TRUE(WriteProfileString("SETTING VALUE", "unit", "1", path_));
    ASSERT_TRUE(WriteProfileString("setting value", "newkey", "v", path_));
    ASSERT_TRUE(WriteProfileString("New Section", "a", "b", path_));
    ASSERT_TRUE(WriteProfileString("SETTING VALUE", "Name", "", path_));
    ASSERT_TRUE(WriteProfileString("SETTING VALUE", "DUP", "changed", path_));
    EXPECT_EQ(Get(),
              "; comment line\r\n"
              "[SETTING VALUE]\r\n"
              "unit=1\r\n"
              "quoted=\"  hello  \"\r\n"
              "spaced=   a b   \r\n"
              "empty=\r\n"
              "dup=changed\r\n"
              "dup=second\r\n"
              "long=" +
                  kLong +
                  "\r\n"
                  "semi=a;b\r\n"
                  "halfquote=\"abc\r\n"
                  "newkey=v\r\n"
                  "Name=\r\n"
                  "\r\n"
                  "[Other]\r\n"
                  "k=v\r\n"
                  "[New Section]\r\n"
                  "a=b\r\n");
    EXPECT_EQ(Read("SETTING VALUE", "name"), "");
    EXPECT_EQ(Read("New Section", "a"), "b");
}

TEST_F(IniFile, WriteKeepsLfEndsAndHandlesAMissingFinalNewline) {
    Put("# top\n[A]\n  x = 1\n\n[B]\ny=2");
    ASSERT_TRUE(WriteProfileString("A", "x", "10", path_));
    ASSERT_TRUE(WriteProfileString("B", "y", "20", path_));
    EXPECT_EQ(Get(), "# top\n[A]\n  x=10\n\n[B]\ny=20");
    ASSERT_TRUE(WriteProfileString("B", "z", "3", path_));
    ASSERT_TRUE(WriteProfileString("C", "w", "4", path_));
    EXPECT_EQ(Get(), "# top\n[A]\n  x=10\n\n[B]\ny=20\nz=3\n[C]\nw=4\n");
}

TEST_F(IniFile, NewFileIsWrittenKeyByKeyWithCrLf) {
    ASSERT_TRUE(WriteProfileString("Fresh", "x", "1", path_));
    ASSERT_TRUE(WriteProfileString("Fresh", "y", "2", path_));
    ASSERT_TRUE(WriteProfileString("Second", "z", "3", path_));
    EXPECT_EQ(Get(), "[Fresh]\r\nx=1\r\ny=2\r\n[Second]\r\nz=3\r\n");
}

TEST_F(IniFile, NewKeyGoesAfterTheLastKeyBeforeTheNextSectionsComment) {
    Put("[A]\nx=1\n\n; about B\n[B]\n");
    ASSERT_TRUE(WriteProfileString("A", "y", "2", path_));
    ASSERT_TRUE(WriteProfileString("B", "z", "3", path_));
    EXPECT_EQ(Get(), "[A]\nx=1\ny=2\n\n; about B\n[B]\nz=3\n");
}

TEST_F(IniFile, ValuesCannotAddLinesAndBadNamesAreRefused) {
    ASSERT_TRUE(WriteProfileString("S", "note", "line1\r\nline2", path_));
    EXPECT_EQ(Read("S", "note"), "line1  line2");
    EXPECT_FALSE(WriteProfileString("S", "a=b", "1", path_));
    EXPECT_FALSE(WriteProfileString("S", "  ", "1", path_));
    EXPECT_FALSE(WriteProfileString("S", "[k]", "1", path_));
    EXPECT_FALSE(WriteProfileString("S\n[T]", "k", "1", path_));
    EXPECT_EQ(Get(), "[S]\r\nnote=line1  line2\r\n");
}

TEST_F(IniFile, FailedWriteLeavesNoFileAndNoTemporary) {
    EXPECT_FALSE(WriteProfileString("S", "k", "1", (dir_ / "no" / "such" / "x.ini").string()));
    EXPECT_FALSE(WriteProfileString("S", "k", "1", dir_.string()));  // a folder is kept
    EXPECT_TRUE(fs::is_empty(dir_));

    fs::path locked = dir_ / "locked";
    fs::create_directory(locked);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
    bool canWrite = access(locked.c_str(), W_OK) == 0;
    if (!canWrite) {
        EXPECT_FALSE(WriteProfileString("S", "k", "1", (locked / "x.ini").string()));
        EXPECT_TRUE(fs::is_empty(locked));
    }
    fs::permissions(locked, fs::perms::owner_all);
    if (canWrite) GTEST_SKIP() << "running with rights over every folder";
}

TEST_F(IniFile, UnreadableFileIsNeverReplaced) {
    Put("[S]\nk=1\n");
    chmod(path_.c_str(), 0200);
    bool readable = access(path_.c_str(), R_OK) == 0;
    if (!readable) {
        EXPECT_EQ(Read("S", "k"), "-1");
        EXPECT_FALSE(WriteProfileString("S", "k", "2", path_));
    }
    chmod(path_.c_str(), 0600);
    if (readable) GTEST_SKIP() << "running with rights over every file";
    EXPECT_EQ(Get(), "[S]\nk=1\n");
}

TEST_F(IniFile, RewriteKeepsTheFileModeAndLeavesNoTemporary) {
    Put("[S]\nk=1\n");
    chmod(path_.c_str(), 0640);
    ASSERT_TRUE(WriteProfileString("S", "k", "2", path_));
    struct stat st {};
    ASSERT_EQ(stat(path_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    int entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir_)) ++entries;
    EXPECT_EQ(entries, 1);
}

TEST_F(IniFile, WriteThroughASymbolicLinkReplacesItsTarget) {
    std::string real = (dir_ / "real.ini").string();
    std::ofstream(real, std::ios::binary) << "[S]\nk=1\n";
    fs::create_symlink(real, path_);
    ASSERT_TRUE(WriteProfileString("S", "k", "2", path_));
    EXPECT_TRUE(fs::is_symlink(path_));
    EXPECT_EQ(ReadProfileString("S", "k", "-1", real), "2");
}

}  // namespace
}  // namespace tav
