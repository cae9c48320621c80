#include "core/settings.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "platform/ini.h"
#include "platform/paths.h"

namespace tav {
namespace {

constexpr const char* kMissingText = "-1";

bool IsSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

std::string_view SkipSpace(std::string_view s) {
    while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
    return s;
}

// Reads one key as the program always has: default "-1", a zero-filled
// buffer of 100 characters.
std::string ReadKey(const ProfileFile& file, const char* key) {
    char buffer[kProfileBufferSize] = {};
    size_t n = file.Read(kSettingsSection, key, kMissingText, buffer, sizeof buffer);
    return std::string(buffer, n);
}

// A missing digit (-1) means the whole id. Others are held to 0..13 (1 to 14
// characters kept): 13 keeps the whole field as any larger value did, and
// the id trimming can add one without overflowing.
int32_t RepairDigit(int32_t digit) {
    return digit == -1 ? kMaxIdDigit : std::clamp(digit, 0, kMaxIdDigit);
}

}  // namespace

int32_t TextToInt(std::string_view text) {
    std::string_view s = SkipSpace(text);
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    int64_t value = 0;
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    for (char c : s) {
        if (c < '0' || c > '9') break;
        value = std::min(value * 10 + (c - '0'), kLimit);
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(value);
}

double TextToDouble(std::string_view text) {
    std::string_view s = SkipSpace(text);
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    // from_chars takes no sign of its own here, so "+-1" is no number.
    if (s.empty() || s.front() == '+' || s.front() == '-') return 0.0;
    double value = 0.0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec == std::errc::result_out_of_range) {
        // Too large gives infinity, too small zero, as atof does.
        std::string_view used(s.data(), static_cast<size_t>(end - s.data()));
        size_t e = used.find_first_of("eE");
        bool tiny = e != std::string_view::npos && e + 1 < used.size() && used[e + 1] == '-';
        value = tiny ? 0.0 : std::numeric_limits<double>::infinity();
    } else if (ec != std::errc()) {
        return 0.0;
    }
    if (std::isnan(value)) return 0.0;
    return negative ? -value : value;
}

float NarrowToFloat(double value) {
    constexpr double kMax = std::numeric_limits<float>::max();
    if (value > kMax) return std::numeric_limits<float>::infinity();
    if (value < -kMax) return -std::numeric_limits<float>::infinity();
    return static_cast<float>(value);
}

std::string FormatOneDecimal(double value) {
    // "%2.1f" never pads: one decimal already needs three characters.
    char buffer[400];
    auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 1);
    if (ec != std::errc()) return {};
    return std::string(buffer, end);
}

AppSettings DefaultSettings() {
    AppSettings s;
    s.unit = 0;
    s.Date = 0;
    s.time = 1;
    s.high = 2.4f;
    s.low = 2.4f;
    s.PID_Digit = kMaxIdDigit;
    s.OPID_Digit = kMaxIdDigit;
    s.lang = 0;
    return s;
}

std::string SettingsFilePath(const std::string& homeDir) {
    return JoinPath(homeDir, kSettingsFileName);
}

void LoadSettings(AppSettings& settings, const std::string& homeDir) {
    const std::string path = SettingsFilePath(homeDir);
    if (!IsReadable(path)) {
        settings = DefaultSettings();
        SaveSettings(settings, homeDir);
        return;
    }
    const ProfileFile file(path);
    settings.unit = TextToInt(ReadKey(file, "unit"));
    settings.Date = TextToInt(ReadKey(file, "Date"));
    settings.time = TextToInt(ReadKey(file, "time"));
    settings.high = NarrowToFloat(TextToDouble(ReadKey(file, "high")));
    settings.low = NarrowToFloat(TextToDouble(ReadKey(file, "low")));
    settings.PID_Digit = RepairDigit(TextToInt(ReadKey(file, "PID_Digit")));
    settings.OPID_Digit = RepairDigit(TextToInt(ReadKey(file, "OPID_Digit")));
    settings.lang = TextToInt(ReadKey(file, "lang"));
    settings.Name = ReadKey(file, "Name");
    settings.Hospital = ReadKey(file, "Hospital");
    settings.Email = ReadKey(file, "Email");
    settings.Command = ReadKey(file, "Command");
}

void SaveSettings(const AppSettings& settings, const std::string& homeDir) {
    const std::string path = SettingsFilePath(homeDir);
    auto put = [&](const char* key, const std::string& value) {
        WriteProfileString(kSettingsSection, key, value, path);
    };
    put("unit", std::to_string(settings.unit));
    put("Date", std::to_string(settings.Date));
    put("time", std::to_string(settings.time));
    put("high", FormatOneDecimal(settings.high));
    put("low", FormatOneDecimal(settings.low));
    put("PID_Digit", std::to_string(settings.PID_Digit));
    put("OPID_Digit", std::to_string(settings.OPID_Digit));
    put("lang", std::to_string(settings.lang));
    put("Name", settings.Name);
    put("Hospital", settings.Hospital);
    put("Email", settings.Email);
    put("Command", settings.Command);
}

}  // namespace tav
