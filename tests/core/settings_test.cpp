#include "core/settings.h"

#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>
#include <limits>
#include <sstream>
#include <tuple>

#include "tests/support/temp_dir.h"

namespace tav {
namespace {

// The values as "unit Date time high low PID_Digit OPID_Digit lang|Name|Hospital".
std::string Values(const AppSettings& s) {
    std::ostringstream o;
    o << s.unit << ' ' << s.Date << ' ' << s.time << ' ' << s.high << ' ' << s.low << ' '
      << s.PID_Digit << ' ' << s.OPID_Digit << ' ' << s.lang << '|' << s.Name << '|' << s.Hospital;
    return o.str();
}

class SettingsFile : public ::testing::Test {
  protected:
    void Put(const std::string& bytes) { test::WriteWholeFile(path_, bytes); }
    std::string Get() const { return test::ReadWholeFile(path_); }
    AppSettings Load(const std::string& home) {
        AppSettings s;
        s.Name = "stale";
        LoadSettings(s, home);
        return s;
    }
    AppSettings Load() { return Load(home_.path()); }

    test::TempDir home_;
    std::string path_ = SettingsFilePath(home_.path());
};

TEST_F(SettingsFile, MissingFileGivesTheDefaultsAndIsCreatedWhereTheHomeCanHoldIt) {
    const std::string missing = home_.File("no/home");
    EXPECT_EQ(Values(Load(missing)), "0 0 1 2.4 2.4 13 13 0||");
    EXPECT_FALSE(std::filesystem::exists(missing));
    EXPECT_EQ(Values(Load()), "0 0 1 2.4 2.4 13 13 0||");
    EXPECT_EQ(Get(),
              "[SETTING VALUE]\r\nunit=0\r\nDate=0\r\ntime=1\r\nhigh=2.4\r\nlow=2.4\r\n"
              "PID_Digit=13\r\nOPID_Digit=13\r\nlang=0\r\nName=\r\nHospital=\r\nEmail=\r\n"
              "Command=\r\n");
}

TEST_F(SettingsFile, MissingKeysReadAsMinusOneAndOnlyTheBarcodeDigitsAreRepaired) {
    const std::string file =
        "[SETTING VALUE]\nunit=-1\nDate=7\nPID_Digit=20\nOPID_Digit=-1\n"
        "lang=abc\nlow= 3.75 \nName=-1\n";
    Put(file);
    // More than the whole id is the whole id; a language that is no number is 0.
    EXPECT_EQ(Values(Load()), "-1 7 -1 -1 3.75 13 13 0|-1|-1");
    EXPECT_EQ(Get(), file) << "loading never writes";

    // Digits the id trimming could not add one to, or that would keep nothing.
    const std::pair<const char*, int32_t> digits[] = {
        {"2147483647", 13}, {"99999999999", 13}, {"-2", 0}, {"-2147483648", 0}, {"7", 7}};
    for (const auto& [text, digit] : digits) {
        Put(std::string("[SETTING VALUE]\nPID_Digit=") + text + "\nOPID_Digit=" + text + "\n");
        const AppSettings s = Load();
        EXPECT_EQ(std::make_pair(s.PID_Digit, s.OPID_Digit), std::make_pair(digit, digit)) << text;
    }
}

TEST_F(SettingsFile, SaveWritesEveryKeyInPlaceAndLoadReadsThemBack) {
    Put("; clinic settings\n[SETTING VALUE]\nunit=0\nextra=kept\n");
    // In the order of the keys: unit Date time high low PID_Digit OPID_Digit lang Name ...
    const AppSettings s{1,       2,           1,  7.06f,
                        3.95f,   7,           13, 0,
                        "Dr. A", "  St. B  ", "", "Fasting;\"quoted\"" + std::string(150, 'n')};
    SaveSettings(s, home_.path());
    EXPECT_EQ(Get(),
              "; clinic settings\n[SETTING VALUE]\nunit=1\nextra=kept\nDate=2\ntime=1\n"
              "high=7.1\nlow=4.0\nPID_Digit=7\nOPID_Digit=13\nlang=0\nName=Dr. A\n"
              "Hospital=  St. B  \nEmail=\nCommand=" +
                  s.Command + "\n");

    // Blanks around values do not survive the file.
    EXPECT_EQ(Values(Load()), "1 2 1 7.1 4 7 13 0|Dr. A|St. B");
    EXPECT_EQ(Load().Command, s.Command.substr(0, 99));
}

TEST(SettingsNumbers, ConvertAndFormatAsTheCRuntimeDoes) {
    const std::tuple<const char*, int32_t, double> cases[] = {
        {"  -7  ", -7, -7.0},
        {"2.4", 2, 2.4},
        {"12abc", 12, 12.0},
        {"abc", 0, 0.0},
        {"99999999999", 2147483647, 99999999999.0},
        {"-99999999999", -2147483647 - 1, -99999999999.0},
        {"1e999", 1, std::numeric_limits<double>::infinity()},
        {"nan", 0, 0.0},
    };
    for (const auto& [text, asInt, asDouble] : cases) {
        EXPECT_EQ(TextToInt(text), asInt) << text;
        EXPECT_EQ(TextToDouble(text), asDouble) << text;
    }
    // One decimal rounds like printf.
    const std::pair<double, const char*> rounded[] = {
        {2.4f, "2.4"}, {-0.04, "-0.0"}, {0.25, "0.2"}, {0.35, "0.3"}, {7.06f, "7.1"},
    };
    for (const auto& [value, text] : rounded) EXPECT_EQ(FormatOneDecimal(value), text) << value;
}

TEST(SettingsNumbers, IgnoreALocaleWithADecimalComma) {
    const char* old = std::setlocale(LC_NUMERIC, nullptr);
    std::string saved = old ? old : "C";
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && !std::setlocale(LC_NUMERIC, "de_DE"))
        GTEST_SKIP() << "no locale with a decimal comma installed";
    EXPECT_EQ(TextToDouble("2.4"), 2.4);
    EXPECT_EQ(FormatOneDecimal(2.4), "2.4");
    std::setlocale(LC_NUMERIC, saved.c_str());
}

}  // namespace
}  // namespace tav
