#include "platform/ini.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "tests/support/temp_dir.h"

namespace tav {
namespace {

namespace fs = std::filesystem;

class IniFile : public ::testing::Test {
  protected:
    void Put(const std::string& bytes) { test::WriteWholeFile(path_, bytes); }
    std::string Get() const { return test::ReadWholeFile(path_); }
    std::string Read(const std::string& section, const std::string& key) const {
        return ReadProfileString(section, key, "-1", path_);
    }

    test::TempDir dir_;
    std::string path_ = dir_.File("test.ini");
};

const std::string kLong(150, 'L');

std::string AwkwardFile() {
    return "; comment line\r\n[SETTING VALUE]\r\nunit = 0 \r\nquoted=\"  hello  \"\r\n"
           "spaced=   a b   \r\nempty=\r\ndup=first\r\ndup=second\r\nlong=" +
           kLong + "\r\nsemi=a;b\r\nhalfquote=\"abc\r\n\r\n[Other]\r\nk=v\r\n";
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
        "single='q'\nx=2\n[]\nlate=1\n[a]\nsecond=1\n");
    const ReadCase cases[] = {
        {"line without = gives the default", "A", "nokey", "-1"},
        {"indented key", "A", "indented", "yes"},
        {"requested key with blanks", "A", "  indented", "yes"},
        {"tabs around the value", "A", "tab", "T"},
        {"key before any section is in the empty section", "", "orphan", "1"},
        {"a [ line without ] opens no section", "Unclosed", "u", "-1"},
        {"its keys stay in the section before", "A", "u", "2"},
        {"single quotes are removed too", "A", "single", "q"},
        {"the first of two equal keys wins", "A", "x", "1"},
        {"an empty header after keys before any section opens nothing", "", "late", "-1"},
        {"a second section of the same name is not read", "A", "second", "-1"},
    };
    for (const ReadCase& c : cases) EXPECT_EQ(Read(c.section, c.key), c.text) << c.what;
}

TEST_F(IniFile, AFileReadOnceKeepsWhatItReadAndOnlyItsFirstSectionOfAName) {
    Put("[S]\r\na=1\r\n[T]\r\nb=2\r\n[s]\r\nc=3\r\n");
    const ProfileFile file(path_);
    Put("[S]\r\na=changed\r\n");
    EXPECT_EQ(file.Read("s", "A", "-1"), "1");
    EXPECT_EQ(file.Read("T", "b", "-1"), "2");
    EXPECT_EQ(file.Read("S", "c", "-1"), "-1");
    EXPECT_EQ(file.Read("S", "a", "-1", 1), "") << "a one-byte buffer holds only the NUL";
    EXPECT_EQ(ProfileFile(dir_.File("absent.ini")).Read("S", "a", " d "), " d");
}

TEST_F(IniFile, SmallBuffersAndMissingFilesGiveCutTextOrTheDefault) {
    Put("\xEF\xBB\xBF[S]\nk=abcdef\n");
    char buffer[4];
    EXPECT_EQ(ReadProfileString("S", "k", "-1", buffer, sizeof buffer, path_), 3u);
    EXPECT_STREQ(buffer, "abc") << "a UTF-8 mark before the first section is ignored";
    // The default loses its trailing blanks, as the Windows reader strips them.
    EXPECT_EQ(ReadProfileString("S", "none", " d  ", path_), " d");
    EXPECT_EQ(ReadProfileString("S", "k", "-1", dir_.File("absent.ini")), "-1");
    EXPECT_EQ(ReadProfileString("S", "k", "-1", dir_.path()), "-1") << "a folder";
}

TEST_F(IniFile, WriteChangesOnlyItsLineAndKeepsEveryOtherByte) {
    Put(AwkwardFile());
    ASSERT_TRUE(WriteProfileString("SETTING VALUE", "unit", "1", path_));
    ASSERT_TRUE(WriteProfileString("setting value", "newkey", "v", path_));
    ASSERT_TRUE(WriteProfileString("New Section", "a", "b", path_));
    ASSERT_TRUE(WriteProfileString("SETTING VALUE", "Name", "", path_));
    ASSERT_TRUE(WriteProfileString("SETTING VALUE", "DUP", "changed", path_));
    EXPECT_EQ(Get(),
              "; comment line\r\n[SETTING VALUE]\r\nunit=1\r\nquoted=\"  hello  \"\r\n"
              "spaced=   a b   \r\nempty=\r\ndup=changed\r\ndup=second\r\nlong=" +
                  kLong +
                  "\r\nsemi=a;b\r\nhalfquote=\"abc\r\nnewkey=v\r\nName=\r\n\r\n"
                  "[Other]\r\nk=v\r\n[New Section]\r\na=b\r\n");
    EXPECT_EQ(Read("SETTING VALUE", "name"), "");
}

struct WriteCase {
    const char* what;
    std::string before;
    std::string after;
};

TEST_F(IniFile, WriteKeepsLineEndsAndPutsNewKeysAfterTheLastKeyOfTheirSection) {
    const WriteCase cases[] = {
        {"a new file is written with CR LF", "", "[A]\r\nx=10\r\ny=20\r\n[B]\r\nz=3\r\n"},
        {"LF ends kept, missing final newline mended", "# top\n[A]\n  x = 1\n\n[B]\ny=2",
         "# top\n[A]\n  x=10\ny=20\n\n[B]\ny=2\nz=3\n"},
        {"a new key goes before the next section's comment", "[A]\nx=1\n\n; about B\n[B]\n",
         "[A]\nx=10\ny=20\n\n; about B\n[B]\nz=3\n"},
        {"the UTF-8 mark stays", "\xEF\xBB\xBF[A]\r\nx=1\r\n",
         "\xEF\xBB\xBF[A]\r\nx=10\r\ny=20\r\n[B]\r\nz=3\r\n"},
    };
    for (const WriteCase& c : cases) {
        fs::remove(path_);
        if (!c.before.empty()) Put(c.before);
        EXPECT_TRUE(WriteProfileString("A", "x", "10", path_) &&
                    WriteProfileString("A", "y", "20", path_) &&
                    WriteProfileString("B", "z", "3", path_))
            << c.what;
        EXPECT_EQ(Get(), c.after) << c.what;
    }
}

TEST_F(IniFile, ValuesCannotAddLinesAndBadNamesAreRefused) {
    ASSERT_TRUE(WriteProfileString("S", "note", "line1\r\nline2", path_));
    EXPECT_EQ(Read("S", "note"), "line1  line2");
    for (auto [section, key] : {std::pair{"S", "a=b"}, std::pair{"S", "  "}, std::pair{"S", "[k]"},
                                std::pair{"S\n[T]", "k"}})
        EXPECT_FALSE(WriteProfileString(section, key, "1", path_)) << section << "/" << key;
    EXPECT_EQ(Get(), "[S]\r\nnote=line1  line2\r\n");
}

TEST_F(IniFile, FailedWriteLeavesNoFileAndAnUnreadableFileIsNeverReplaced) {
    EXPECT_FALSE(WriteProfileString("S", "k", "1", dir_.File("no/such/x.ini")));
    EXPECT_FALSE(WriteProfileString("S", "k", "1", dir_.path())) << "a folder is kept";
    EXPECT_TRUE(fs::is_empty(dir_.path()));

    Put("[S]\nk=1\n");
    chmod(path_.c_str(), 0200);
    if (access(path_.c_str(), R_OK) == 0) {
        chmod(path_.c_str(), 0600);
        GTEST_SKIP() << "running with rights over every file";
    }
    EXPECT_EQ(Read("S", "k"), "-1");
    EXPECT_FALSE(WriteProfileString("S", "k", "2", path_));
    chmod(path_.c_str(), 0600);
    EXPECT_EQ(Get(), "[S]\nk=1\n");
}

TEST_F(IniFile, RewriteKeepsModeAndSymbolicLinkAndLeavesNoTemporary) {
    const std::string real = dir_.File("real.ini");
    test::WriteWholeFile(real, "[S]\nk=1\n");
    chmod(real.c_str(), 0640);
    fs::create_symlink(real, path_);
    ASSERT_TRUE(WriteProfileString("S", "k", "2", path_));
    EXPECT_TRUE(fs::is_symlink(path_));
    EXPECT_EQ(ReadProfileString("S", "k", "-1", real), "2");
    struct stat st {};
    ASSERT_EQ(stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(dir_.List(), (std::vector<std::string>{"real.ini", "test.ini"}));
}

}  // namespace
}  // namespace tav
