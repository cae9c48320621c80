// Turns stored result texts into display text and back: the result value in
// percent or mmol/mol, the three date orders, the 12/24-hour clock, the
// date-picker formats and the stored date form. No window code.
//
// Stored forms: DATE "yyyymmdd", TIME "hhmm" (24-hour), HbA1c_VALUE the
// result in tenths of a percent ("065" is 6.5 %).
#pragma once

#include <string>
#include <string_view>

#include "core/settings.h"

namespace tav {

inline constexpr double kStoredToPercent = 0.1;
inline constexpr float kUpperDisplayLimit = 14.0f;  // at or above: shown as "> 14"
inline constexpr float kLowerDisplayLimit = 4.0f;   // at or below: shown as "< 4"
inline constexpr double kIfccSlope = 10.929;        // percent -> mmol/mol
inline constexpr double kIfccOffset = 23.5;
inline constexpr double kRoundingAddend = 0.5;
inline constexpr float kInverseIfccSlope = 0.0914996788f;  // mmol/mol -> percent

// A calendar date-time as built from the stored texts. Fields are taken as
// given; IsValid tells whether they name a real moment (years 100 to 9999).
struct DateTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    bool IsValid() const;
    bool operator==(const DateTime&) const = default;
};

struct YearMonthDay {
    int year = 0;
    int month = 0;
    int day = 0;
    bool operator==(const YearMonthDay&) const = default;
};

// The stored value in percent: atof of the text times 0.1, held as a 32-bit
// float ("041" gives 4.0999999).
float StoredToPercent(const std::string& storedValue);
// Percent to mmol/mol: v * 10.929 - 23.5 + 0.5 in double, truncated.
int PercentToMmol(float percent);

// "6.5 %", "> 14 %", "< 4 %" when unit is 0; otherwise "48 mmol/mol",
// "> 130 mmol/mol", "< 20 mmol/mol". The upper bound is tested first.
std::string FormatResult(const std::string& storedValue, int unit);

// Joins DATE and TIME and reads year, month, day, hour and minute from the
// first 12 characters (each piece as atoi; a missing piece is 0); seconds 0.
DateTime MakeResultDateTime(const std::string& date, const std::string& time);

// List cells and the export: Date 1 "mm-dd-yyyy", Date 2 "dd-mm-yyyy", any
// other value "yyyy-mm-dd". An invalid date-time gives an empty text.
std::string FormatListDate(const DateTime& dt, int dateSetting);
// time 0 "hh:mm AM" / "hh:mm PM" (01 to 12), any other value "HH:MM".
std::string FormatListTime(const DateTime& dt, int timeSetting);
// The record dialogs: the list date, one blank, the list time.
std::string FormatDialogDateTime(const DateTime& dt, int dateSetting, int timeSetting);

// Reads back a text of FormatListDate by character positions (each piece as
// atoi; pieces beyond the text are 0). Date settings outside 1-2 read
// year-month-day.
YearMonthDay ParseListDate(const std::string& text, int dateSetting);

// Sort keys of list cells, for ordering cells whose leading numbers are
// equal: a FormatListDate text as year * 10000 + month * 100 + day; a
// FormatListTime text (either clock) as minutes after midnight; a FormatResult
// text as its number, a bound ("> 14", "< 20") just beyond its limit.
int ListDateKey(const std::string& text, int dateSetting);
int ListTimeKey(const std::string& text);
double ResultKey(const std::string& text);

// An id as received (bytes) turned into list text (UTF-8): valid UTF-8 shows
// as it is, any other id byte by byte as Latin-1; control characters,
// invisible and direction-changing characters show as their hex number in
// angle brackets ("\x1B" shows as "⟨1B⟩", U+202E as "⟨202E⟩"), so ids that
// differ never look alike and no id reorders the text around it.
std::string DisplayIdText(std::string_view stored);

// "%04d%02d%02d": the stored form of a date.
std::string MakeStoredDate(int year, int month, int day);

// The birthday picker's custom format as the Windows date picker spells it:
// "yyy'-'MM'-'dd", "MM'/'dd'/'yyy", "dd'/'MM'/'yyy" (Date 0, 1, 2; other
// values as 0).
std::string PickerDateFormat(int dateSetting);
// The same display for a Qt date edit (QDateTimeEdit::setDisplayFormat):
// "yyyy'-'MM'-'dd", "MM'/'dd'/'yyyy", "dd'/'MM'/'yyyy".
std::string PickerDisplayFormat(int dateSetting);

// Limits of the settings dialog, held in percent. unit 1 shows
// "%2.1f" of limit * 10.929 - 23.5 (no rounding addend: 2.4 shows 2.7);
// any other unit "%2.1f" of the limit.
std::string LimitToDisplay(float limitPercent, int unit);
// An edit text back to a limit in percent with one decimal: for unit 1 the
// text is mmol/mol, (atof + 23.5) * 0.0914996788 ("2.7" gives 2.4); any
// other unit reads percent.
float LimitFromDisplay(const std::string& text, int unit);

// The same operations with the current settings.
inline std::string FormatResult(const std::string& storedValue, const AppSettings& s) {
    return FormatResult(storedValue, s.unit);
}
inline std::string FormatListDate(const DateTime& dt, const AppSettings& s) {
    return FormatListDate(dt, s.Date);
}
inline std::string FormatListTime(const DateTime& dt, const AppSettings& s) {
    return FormatListTime(dt, s.time);
}
inline std::string FormatDialogDateTime(const DateTime& dt, const AppSettings& s) {
    return FormatDialogDateTime(dt, s.Date, s.time);
}
inline YearMonthDay ParseListDate(const std::string& text, const AppSettings& s) {
    return ParseListDate(text, s.Date);
}

}  // namespace tav
