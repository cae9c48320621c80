#include "core/result_format.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace tav {
namespace {

// In ascending order of the stored value: the shown texts sort the same way.
TEST(FormatResult, ShowsBothUnitsWithBoundsAndRoundingAndSortsByValue) {
    // Stored, in %, in mmol/mol.
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"-65", "< 4 %", "< 20 mmol/mol"},   {"", "< 4 %", "< 20 mmol/mol"},
        {"abc", "< 4 %", "< 20 mmol/mol"},   {"nan", "< 4 %", "< 20 mmol/mol"},
        {"039", "< 4 %", "< 20 mmol/mol"},   {"040", "< 4 %", "< 20 mmol/mol"},
        {"041", "4.1 %", "21 mmol/mol"},  // held as 4.0999999
        {"050", "5.0 %", "31 mmol/mol"},  // 31.15 rounds down
        {"065", "6.5 %", "48 mmol/mol"},  // 47.54 rounds up
        {"069", "6.9 %", "52 mmol/mol"},     {"100", "10.0 %", "86 mmol/mol"},
        {"139", "13.9 %", "128 mmol/mol"},   {"140", "> 14 %", "> 130 mmol/mol"},
        {"200", "> 14 %", "> 130 mmol/mol"}, {"1e999", "> 14 %", "> 130 mmol/mol"}};
    std::string before[2];
    for (const auto& [stored, percent, mmol] : cases) {
        for (int unit : {0, 1, 2, -1}) {  // any unit but 0 is mmol/mol
            const std::string shown = FormatResult(stored, unit);
            EXPECT_EQ(shown, unit ? mmol : percent) << stored << " unit " << unit;
            std::string& last = before[unit == 0 ? 0 : 1];
            EXPECT_TRUE(last.empty() || last == shown || ResultKey(last) < ResultKey(shown))
                << last << " sorts after " << shown;
            last = shown;
        }
    }
}

TEST(ResultDateTime, BuiltFromTheFirstTwelveCharactersAndShownOnlyWhenValid) {
    const DateTime dt = MakeResultDateTime("20240315", "210599");
    EXPECT_EQ(dt, (DateTime{2024, 3, 15, 21, 5, 0}));
    AppSettings s;
    s.Date = 2;  // day first, and time 0: the 12-hour clock
    EXPECT_EQ(FormatDialogDateTime(dt, s), "15-03-2024 09:05 PM");
    EXPECT_EQ(FormatDialogDateTime(dt, 0, 1), "2024-03-15 21:05");
    EXPECT_EQ(MakeResultDateTime("20240315", ""), (DateTime{2024, 3, 15, 0, 0, 0}));
    // A short DATE shifts the pieces: the result is no valid date.
    EXPECT_FALSE(MakeResultDateTime("2024315", "2105").IsValid());
    const DateTime invalid = MakeResultDateTime("20241345", "2599");
    EXPECT_EQ(FormatListDate(invalid, 0) + FormatListTime(invalid, 1) +
                  FormatDialogDateTime(invalid, 0, 0),
              "");
    EXPECT_TRUE((DateTime{2024, 2, 29, 23, 59, 0}.IsValid()));
    for (const DateTime& day :
         {DateTime{2023, 2, 29}, DateTime{1900, 2, 29}, DateTime{2024, 4, 31}})
        EXPECT_FALSE(day.IsValid()) << day.year;
    EXPECT_EQ(MakeStoredDate(987, 12, 31), "09871231");
}

TEST(ListDate, ThreeOrdersAndTheirPickerFormats) {
    const DateTime dt{2024, 3, 5, 9, 30, 0};
    // The setting, the list's date, the picker's format and Qt's.
    const std::tuple<int, const char*, const char*, const char*> cases[] = {
        {0, "2024-03-05", "yyy'-'MM'-'dd", "yyyy'-'MM'-'dd"},
        {1, "03-05-2024", "MM'/'dd'/'yyy", "MM'/'dd'/'yyyy"},
        {2, "05-03-2024", "dd'/'MM'/'yyy", "dd'/'MM'/'yyyy"},
        {3, "2024-03-05", "yyy'-'MM'-'dd", "yyyy'-'MM'-'dd"},   // out of range: year first
        {-1, "2024-03-05", "yyy'-'MM'-'dd", "yyyy'-'MM'-'dd"},  // key missing from the file
    };
    for (const auto& [setting, listDate, pickerFormat, qtFormat] : cases) {
        EXPECT_EQ(FormatListDate(dt, setting), listDate) << setting;
        EXPECT_EQ(ParseListDate(listDate, setting), (YearMonthDay{2024, 3, 5})) << setting;
        EXPECT_EQ(ListDateKey(listDate, setting), 20240305) << setting;
        EXPECT_EQ(PickerDateFormat(setting), pickerFormat) << setting;
        EXPECT_EQ(PickerDisplayFormat(setting), qtFormat) << setting;
    }
}

TEST(ListTime, TwelveAndTwentyFourHourClocks) {
    const std::tuple<int, int, const char*, const char*> cases[] = {
        {0, 0, "12:00 AM", "00:00"},   {9, 30, "09:30 AM", "09:30"}, {11, 59, "11:59 AM", "11:59"},
        {12, 0, "12:00 PM", "12:00"},  {13, 1, "01:01 PM", "13:01"}, {21, 5, "09:05 PM", "21:05"},
        {23, 59, "11:59 PM", "23:59"},
    };
    for (const auto& [hour, minute, twelve, twentyFour] : cases) {
        DateTime dt{2024, 1, 1, hour, minute, 0};
        EXPECT_EQ(FormatListTime(dt, 0), twelve) << hour;
        for (int setting : {1, 2, -1})  // 2 is out of range, -1 the key missing from the file
            EXPECT_EQ(FormatListTime(dt, setting), twentyFour) << hour << " " << setting;
        for (const char* shown : {twelve, twentyFour})
            EXPECT_EQ(ListTimeKey(shown), hour * 60 + minute) << shown;
    }
}

TEST(Limits, ShowAndReadBackInBothUnits) {
    EXPECT_EQ(LimitToDisplay(2.4f, 1), "2.7");   // no rounding addend
    EXPECT_EQ(LimitToDisplay(2.4f, -1), "2.4");  // only unit 1 shows mmol/mol here
    EXPECT_EQ(LimitToDisplay(6.5f, 1), "47.5");
    EXPECT_EQ(LimitFromDisplay("47.5", 1), 6.5f);
    EXPECT_EQ(LimitFromDisplay(" 7 ", 0), 7.0f);
    EXPECT_EQ(LimitFromDisplay("x", 1), 2.2f);  // (0 + 23.5) * 0.0915 = 2.15
    for (float limit : {2.4f, 4.0f, 6.5f, 9.9f, 14.0f})
        EXPECT_EQ(LimitFromDisplay(LimitToDisplay(limit, 0), 0), limit) << limit;
}

// UTF-8 as it is (also four bytes for one character); bytes that are not UTF-8 (Latin-1,
// an overlong NUL, a cut sequence, a surrogate) byte by byte as Latin-1; control characters,
// the no-break space, the right-to-left override and the byte order mark as their code, and
// an escape typed as an id with its bracket escaped.
TEST(DisplayIdText, ShowsEveryStoredByteAndNoInvisibleCharacter) {
    const std::pair<std::string, const char*> cases[] = {{"33197161234567", "33197161234567"},
                                                         {"", ""},
                                                         {"Jos\303\251", "José"},
                                                         {"\360\237\230\200", "😀"},
                                                         {"Jos\351", "José"},
                                                         {"A\300\200", "AÀ⟨80⟩"},
                                                         {"A\342\202", "Aâ⟨82⟩"},
                                                         {"\355\240\200", "í⟨A0⟩⟨80⟩"},
                                                         {"P\0331\177", "P⟨1B⟩1⟨7F⟩"},
                                                         {"P\302\2401", "P⟨A0⟩1"},
                                                         {"AB\342\200\256DC", "AB⟨202E⟩DC"},
                                                         {"\357\273\277A", "⟨FEFF⟩A"},
                                                         {"⟨1B⟩", "⟨27E8⟩1B⟩"},
                                                         {{"P\0001", 3}, "P⟨00⟩1"}};
    for (const auto& [stored, shown] : cases) EXPECT_EQ(DisplayIdText(stored), shown) << stored;
}

}  // namespace
}  // namespace tav
