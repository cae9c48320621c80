#include "app/settings.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

namespace tav {
namespace {

namespace fs = std::filesystem;

class SettingsFile : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* base = std::getenv("TAV_TEST_TMP");
        fs::path root = base && *base ? fs::path(base) : fs::temp_directory_path();
        fs::create_directories(root);
        std::string tmpl = (root / "settings-XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        home_ = tmpl;
        path_ = SettingsFilePath(home_);
    }
    void TearDown() override { fs::remove_all(home_); }

    void Put(const std::string& bytes) { std::ofstream(path_, std::ios::binary) << bytes; }
    std::string Get() const {
        std::ifstream in(path_, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    AppSettings Load() {
        AppSettings s;
        LoadSettings(s, home_);
        return s;
    }

    std::string home_;
    std::string path_;
};

const char* const kNewFile =
    "[SETTING VALUE]\r\n"
    "unit=0\r\n"
    "Date=0\r\n"
    "time=1\r\n"
    "high=2.4\r\n"
    "low=2.4\r\n"
    "PID_Digit=13\r\n"
    "OPID_Digit=13\r\n"
    "lang=0\r\n"
    "Name=\r\n"
    "Hospital=\r\n"
    "Email=\r\n"
    "Command=\r\n";

TEST_F(SettingsFile, MissingFileGivesTheDefaultsAndIsCreated) {
    AppSettings s;
    s.Name = "stale";
    LoadSettings(s, home_);
    EXPECT_EQ(s.unit, 0);
    EXPECT_EQ(s.Date, 0);
    EXPECT_EQ(s.time, 1);
    EXPECT_EQ(s.high, 2.4f);
    EXPECT_EQ(s.low, 2.4f);
    EXPECT_EQ(s.PID_Digit, 13);
    EXPECT_EQ(s.OPID_Digit, 13);
    EXPECT_EQ(s.lang, 0);
    EXPECT_EQ(s.Name, "");
    EXPECT_EQ(s.Hospital, "");
    EXPECT_EQ(s.Email, "");
    EXPECT_EQ(s.Command, "");
    EXPECT_EQ(Get(), kNewFile);
}

TEST_F(SettingsFile, KeysMissingFromAFileReadAsMinusOne) {
    Put("[SETTING VALUE]\r\nunit=1\r\nName=Dr. Who\r\n");
    AppSettings s = Load();
    EXPECT_EQ(s.unit, 1);
    EXPECT_EQ(s.Date, -1);
    EXPECT_EQ(s.time, -1);
    EXPECT_EQ(s.lang, -1);
    EXPECT_EQ(s.high, -1.0f);
    EXPECT_EQ(s.low, -1.0f);
    EXPECT_EQ(s.PID_Digit, 13);
    EXPECT_EQ(s.OPID_Digit, 13);
    EXPECT_EQ(s.Name, "Dr. Who");
    EXPECT_EQ(s.Hospital, "-1");
    EXPECT_EQ(s.Email, "-1");
    EXPECT_EQ(s.Command, "-1");
    EXPECT_EQ(Get(), "[SETTING VALUE]\r\nunit=1\r\nName=Dr. Who\r\n");  // loading never writes
}

TEST_F(SettingsFile, OnlyTheBarcodeDigitsAreRepaired) {
    Put("[SETTING VALUE]\nunit=-1\nDate=7\ntime=-1\nhigh=-1\nPID_Digit=-1\nOPID_Digit=20\n"
        "lang=abc\nlow= 3.75 \nName=-1\n");
    AppSettings s = Load();
    EXPECT_EQ(s.unit, -1);
    EXPECT_EQ(s.Date, 7);
    EXPECT_EQ(s.time, -1);
    EXPECT_EQ(s.high, -1.0f);
    EXPECT_EQ(s.PID_Digit, 13);
    EXPECT_EQ(s.OPID_Digit, 20);  // no clamping
    EXPECT_EQ(s.lang, 0);         // not a number
    EXPECT_EQ(s.low, 3.75f);
    EXPECT_EQ(s.Name, "-1");
}

TEST_F(SettingsFile, SaveWritesEveryKeyInPlaceAndLoadReadsThemBack) {
    Put("; clinic settings\n[SETTING VALUE]\nunit=0\nextra=kept\n");
    AppSettings s = DefaultSettings();
    s.unit = 1;
    s.Date = 2;
    s.time = 0;
    s.high = 7.06f;
    s.low = 3.95f;
    s.PID_Digit = 7;
    s.Name = "Dr. A";
    s.Hospital = "  St. B  ";
    s.Email = "a@b.example";
    s.Command = "Fasting;\"quoted\"";
    s.Command.append(150, 'n');
    SaveSettings(s, home_);
    EXPECT_EQ(Get(),
              "; clinic settings\n[SETTING VALUE]\nunit=1\nextra=kept\nDate=2\ntime=0\n"
              "high=7.1\nlow=4.0\nPID_Digit=7\nOPID_Digit=13\nlang=0\nName=Dr. A\n"
              "Hospital=  St. B  \nEmail=a@b.example\nCommand=" +
                  s.Command + "\n");

    AppSettings r = Load();
    EXPECT_EQ(r.unit, 1);
    EXPECT_EQ(r.Date, 2);
    EXPECT_EQ(r.time, 0);
    EXPECT_EQ(r.high, 7.1f);
    EXPECT_EQ(r.low, 4.0f);
    EXPECT_EQ(r.PID_Digit, 7);
    EXPECT_EQ(r.OPID_Digit, 13);
    EXPECT_EQ(r.Name, "Dr. A");
    EXPECT_EQ(r.Hospital, "St. B");  // blanks around values do not survive the file
    EXPECT_EQ(r.Email, "a@b.example");
    EXPECT_EQ(r.Command, s.Command.substr(0, 99));
}

TEST_F(SettingsFile, UnwritableHomeLeavesTheDefaultsInMemory) {
    std::string missing = (fs::path(home_) / "no" / "home").string();
    AppSettings s;
    LoadSettings(s, missing);
    EXPECT_EQ(s.time, 1);
    EXPECT_EQ(s.PID_Digit, 13);
    EXPECT_FALSE(fs::exists(missing));
}

struct NumberCase {
    const char* text;
    int32_t asInt;
    double asDouble;
};

TEST(SettingsNumbers, ConvertAsTheCRuntimeDoes) {
    const double inf = std::numeric_limits<double>::infinity();
    const NumberCase cases[] = {
        {"13", 13, 13.0},
        {"  -7  ", -7, -7.0},
        {"+4", 4, 4.0},
        {"2.4", 2, 2.4},
        {"12abc", 12, 12.0},
        {"abc", 0, 0.0},
        {"", 0, 0.0},
        {"--1", 0, 0.0},
        {"99999999999", 2147483647, 99999999999.0},
        {"-99999999999", -2147483647 - 1, -99999999999.0},
        {"1e3", 1, 1000.0},
        {"1e999", 1, inf},
        {"1e-999", 1, 0.0},
        {"nan", 0, 0.0},
    };
    for (const NumberCase& c : cases) {
        EXPECT_EQ(TextToInt(c.text), c.asInt) << c.text;
        EXPECT_EQ(TextToDouble(c.text), c.asDouble) << c.text;
    }
}

TEST(SettingsNumbers, OneDecimalFormatRoundsLikePrintf) {
    const std::pair<double, const char*> cases[] = {
        {2.4f, "2.4"}, {2.0, "2.0"},  {0.04, "0.0"},  {-0.04, "-0.0"},
        {0.25, "0.2"}, {0.35, "0.3"}, {7.06f, "7.1"}, {123.45, "123.5"},
    };
    for (const auto& [value, text] : cases) {
        char expected[64];
        std::snprintf(expected, sizeof expected, "%2.1f", value);
        EXPECT_EQ(FormatOneDecimal(value), expected) << value;
        EXPECT_EQ(FormatOneDecimal(value), text) << value;
    }
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
