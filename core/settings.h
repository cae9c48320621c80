// The user's display and barcode settings and their file set_info.ini in the
// home folder (one section "SETTING VALUE").
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tav {

inline constexpr const char* kSettingsFileName = "set_info.ini";
inline constexpr const char* kSettingsSection = "SETTING VALUE";
// The largest barcode digit setting: 14 characters, the whole id field.
inline constexpr int32_t kMaxIdDigit = 13;

// Members are named after their keys. All zero and empty until the first
// LoadSettings.
struct AppSettings {
    int32_t unit = 0;        // 0 = percent, otherwise mmol/mol
    int32_t Date = 0;        // 0 = year-month-day, 1 = month-day-year, 2 = day-month-year
    int32_t time = 0;        // 0 = 12-hour clock with AM/PM, 1 = 24-hour clock
    float high = 0;          // "High" limit in percent
    float low = 0;           // "Low" limit in percent
    int32_t PID_Digit = 0;   // patient barcode length minus one
    int32_t OPID_Digit = 0;  // operator barcode length minus one
    int32_t lang = 0;        // language number, only stored and written back
    std::string Name;        // physician's name
    std::string Hospital;    // physician's hospital
    std::string Email;       // physician's e-mail address
    std::string Command;     // the note text
};

// The values used when the file is missing.
AppSettings DefaultSettings();

// homeDir joined with set_info.ini.
std::string SettingsFilePath(const std::string& homeDir);

// Fills `settings` from the file. A missing or unreadable file gives the
// defaults and a new file (a failure to write it is silent). A key missing
// from the file reads as -1, -1.0 or the text "-1"; a barcode digit of -1
// becomes 13 and any other is held to 0..13. The file is read once. Values
// longer than 99 characters are cut.
void LoadSettings(AppSettings& settings, const std::string& homeDir);

// Writes every key, in the order of the struct. Failures are silent.
void SaveSettings(const AppSettings& settings, const std::string& homeDir);

// Number conversions of the settings file and the result texts. They behave
// as atoi, atof and "%2.1f" in the "C" locale whatever locale the program
// runs in (the toolkit switches to the user's, where the decimal point may
// be a comma). TextToInt saturates at the 32-bit bounds; TextToDouble gives
// 0 for text that is not a number, NaN included. NarrowToFloat holds a
// double as a 32-bit float, infinite beyond the float range.
int32_t TextToInt(std::string_view text);
double TextToDouble(std::string_view text);
float NarrowToFloat(double value);
std::string FormatOneDecimal(double value);

}  // namespace tav
