#include "platform/ini.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <tuple>

#include "tests/support/temp_dir.h"

namespace tav {
namespace {

namespace fs = std::filesystem;

class IniFile : public ::testing::Test {
  protected:
    void Put(const std::string& bytes) { test::WriteWholeFile(path_, bytes); }
    std::string Get() const { return test::ReadWholeFile(path_); }

    test::TempDir dir_;
    std::string path_ = dir_.File("test.ini");
};

const std::string kLong(150, 'L');

// The two files of the reference reading: awkward values with CR LF, odd lines with LF.
const std::string kFiles[] = {
    "; comment line\r\n[SETTING VALUE]\r\nunit = 0 \r\nquoted=\"  hello  \"\r\nspaced=   a b   \r\n"
    "empty=\r\ndup=first\r\ndup=second\r\nlong=" +
        kLong + "\r\nsemi=a;b\r\nhalfquote=\"abc\r\n\r\n[Other]\r\nk=v\r\n",
    "orphan=1\n[A]\nnokey\n   indented = yes\ntab=\tT\t\nx=1\n[Unclosed\nu=2\nsingle='q'\nx=2\n[]\n"
    "late=1\n[a]\nsecond=1\n"};

TEST_F(IniFile, ReadsBothReferenceFilesAsWindowsDoes) {
    // The file, what the case shows, the section and key asked for, the text read.
    const std::tuple<int, const char*, const char*, const char*, std::string> cases[] = {
        {0, "plain value with a trailing blank", "SETTING VALUE", "unit", "0"},
        {0, "names differ in case", "setting value", "UNIT", "0"},
        {0, "section name with blanks around", "  SETTING VALUE  ", "unit", "0"},
        {0, "quotes removed, inner blanks kept", "SETTING VALUE", "quoted", "  hello  "},
        {0, "blanks around the value trimmed", "SETTING VALUE", "spaced", "a b"},
        {0, "empty value is not the default", "SETTING VALUE", "empty", ""},
        {0, "first of two equal keys wins", "SETTING VALUE", "dup", "first"},
        {0, "long value cut to 99 characters", "SETTING VALUE", "long", kLong.substr(0, 99)},
        {0, "semicolon inside a value kept", "SETTING VALUE", "semi", "a;b"},
        {0, "unmatched quote stays", "SETTING VALUE", "halfquote", "\"abc"},
        {0, "key of a later section", "Other", "k", "v"},
        {0, "missing section gives the default", "Missing", "k", "-1"},
        {0, "missing key gives the default", "Other", "unit", "-1"},
        {0, "comment line is no key", "", "; comment line", "-1"},
        {1, "line without = gives the default", "A", "nokey", "-1"},
        {1, "indented key", "A", "indented", "yes"},
        {1, "requested key with blanks", "A", "  indented", "yes"},
        {1, "tabs around the value", "A", "tab", "T"},
        {1, "key before any section is in the empty section", "", "orphan", "1"},
        {1, "a [ line without ] opens no section", "Unclosed", "u", "-1"},
        {1, "its keys stay in the section before", "A", "u", "2"},
        {1, "single quotes are removed too", "A", "single", "q"},
        {1, "the first of two equal keys wins", "A", "x", "1"},
        {1, "an empty header after keys before any section opens nothing", "", "late", "-1"},
        {1, "a second section of the same name is not read", "A", "second", "-1"},
    };
    for (const auto& [file, what, section, key, text] : cases) {
        Put(kFiles[file]);
        char buffer[100];
        std::memset(buffer, 'x', sizeof buffer);
        size_t n = ReadProfileString(section, key, "-1", buffer, sizeof buffer, path_);
        EXPECT_EQ(std::string(buffer), text) << what;
        EXPECT_EQ(n, text.size()) << what;
    }
}

TEST_F(IniFile, AFileReadOnceKeepsWhatItReadAndSmallBuffersCutTheText) {
    Put("\xEF\xBB\xBF[S]\r\na=abcdef\r\n");
    const ProfileFile file(path_);
    Put("[S]\r\na=changed\r\n");
    EXPECT_EQ(file.Read("s", "A", "-1"), "abcdef") << "the UTF-8 mark before [S] is ignored";
    EXPECT_EQ(file.Read("S", "a", "-1", 4), "abc");
    EXPECT_EQ(file.Read("S", "a", "-1", 1), "") << "a one-byte buffer holds only the NUL";
    // The default loses its trailing blanks, as the Windows reader strips them.
    EXPECT_EQ(ProfileFile(dir_.File("absent.ini")).Read("S", "a", " d  "), " d");
    EXPECT_EQ(ReadProfileString("S", "k", "-1", dir_.path()), "-1") << "a folder";
}

// Each file gets A x=10, then a y= (empty, the section named in other case), then B z=3.
TEST_F(IniFile, WriteChangesOnlyItsLinesAndPutsNewKeysAfterTheLastKeyOfTheirSection) {
    // What the case shows, the file before and after.
    const std::tuple<const char*, std::string, std::string> cases[] = {
        {"a new file is written with CR LF", "", "[A]\r\nx=10\r\ny=\r\n[B]\r\nz=3\r\n"},
        {"the first of two equal keys is replaced in place, every other byte kept",
         "; c\r\n[A]\r\nx = 0 \r\nq=\"  hi  \"\r\nx=second\r\nsemi=a;b\r\n\r\n[Other]\r\nk=v\r\n",
         "; c\r\n[A]\r\nx=10\r\nq=\"  hi  "
         "\"\r\nx=second\r\nsemi=a;b\r\ny=\r\n\r\n[Other]\r\nk=v\r\n"
         "[B]\r\nz=3\r\n"},
        {"LF ends kept, missing final newline mended", "# top\n[A]\n  x = 1\n\n[B]\ny=2",
         "# top\n[A]\n  x=10\ny=\n\n[B]\ny=2\nz=3\n"},
        {"a new key goes before the next section's comment", "[A]\nx=1\n\n; about B\n[B]\n",
         "[A]\nx=10\ny=\n\n; about B\n[B]\nz=3\n"},
        {"the UTF-8 mark stays", "\xEF\xBB\xBF[A]\r\nx=1\r\n",
         "\xEF\xBB\xBF[A]\r\nx=10\r\ny=\r\n[B]\r\nz=3\r\n"},
    };
    for (const auto& [what, before, after] : cases) {
        fs::remove(path_);
        if (!before.empty()) Put(before);
        EXPECT_TRUE(WriteProfileString("A", "x", "10", path_) &&
                    WriteProfileString("a", "y", "", path_) &&
                    WriteProfileString("B", "z", "3", path_))
            << what;
        EXPECT_EQ(Get(), after) << what;
    }
}

TEST_F(IniFile, ValuesCannotAddLinesAndBadNamesAreRefused) {
    ASSERT_TRUE(WriteProfileString("S", "note", "line1\r\nline2", path_));
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
    EXPECT_EQ(ReadProfileString("S", "k", "-1", path_), "-1");
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
    EXPECT_EQ(fs::status(real).permissions(), fs::perms(0640));
    EXPECT_EQ(dir_.List(), (std::vector<std::string>{"real.ini", "test.ini"}));
}

}  // namespace
}  // namespace tav
