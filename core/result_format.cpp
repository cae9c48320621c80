#include "core/result_format.h"

#include <cstdio>
#include <vector>

namespace tav {
namespace {

bool IsLeapYear(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2 && IsLeapYear(year)) return 29;
    return kDays[month - 1];
}

// The characters [pos, pos + len) of `text`, fewer or none past its end.
int PieceAsInt(const std::string& text, size_t pos, size_t len) {
    if (pos >= text.size()) return 0;
    return TextToInt(std::string_view(text).substr(pos, len));
}

std::string Format3(const char* format, int a, int b, int c) {
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, format, a, b, c);
    return buffer;
}

std::string DatePart(const DateTime& dt, int dateSetting) {
    switch (dateSetting) {
        case 1:
            return Format3("%02d-%02d-%04d", dt.month, dt.day, dt.year);
        case 2:
            return Format3("%02d-%02d-%04d", dt.day, dt.month, dt.year);
        default:
            return Format3("%04d-%02d-%02d", dt.year, dt.month, dt.day);
    }
}

std::string TimePart(const DateTime& dt, int timeSetting) {
    char buffer[32];
    if (timeSetting == 0) {
        int hour12 = dt.hour % 12 == 0 ? 12 : dt.hour % 12;
        std::snprintf(buffer, sizeof buffer, "%02d:%02d %s", hour12, dt.minute,
                      dt.hour < 12 ? "AM" : "PM");
    } else {
        std::snprintf(buffer, sizeof buffer, "%02d:%02d", dt.hour, dt.minute);
    }
    return buffer;
}

}  // namespace

bool DateTime::IsValid() const {
    if (year < 100 || year > 9999 || month < 1 || month > 12) return false;
    if (day < 1 || day > DaysInMonth(year, month)) return false;
    return hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59 && second >= 0 && second <= 59;
}

float StoredToPercent(const std::string& storedValue) {
    return NarrowToFloat(TextToDouble(storedValue) * kStoredToPercent);
}

int PercentToMmol(float percent) {
    return static_cast<int>(static_cast<double>(percent) * kIfccSlope - kIfccOffset +
                            kRoundingAddend);
}

std::string FormatResult(const std::string& storedValue, int unit) {
    float v = StoredToPercent(storedValue);
    if (unit == 0) {
        if (v >= kUpperDisplayLimit) return "> 14 %";
        if (v <= kLowerDisplayLimit) return "< 4 %";
        return FormatOneDecimal(v) + " %";
    }
    if (v >= kUpperDisplayLimit) return "> 130 mmol/mol";
    if (v <= kLowerDisplayLimit) return "< 20 mmol/mol";
    // Inside the open range the result is bounded, so the conversion to int is safe.
    return std::to_string(PercentToMmol(v)) + " mmol/mol";
}

DateTime MakeResultDateTime(const std::string& date, const std::string& time) {
    std::string joined = (date + time).substr(0, 12);
    DateTime dt;
    dt.year = PieceAsInt(joined, 0, 4);
    dt.month = PieceAsInt(joined, 4, 2);
    dt.day = PieceAsInt(joined, 6, 2);
    dt.hour = PieceAsInt(joined, 8, 2);
    dt.minute = PieceAsInt(joined, 10, 2);
    dt.second = 0;
    return dt;
}

std::string FormatListDate(const DateTime& dt, int dateSetting) {
    if (!dt.IsValid()) return {};
    return DatePart(dt, dateSetting);
}

std::string FormatListTime(const DateTime& dt, int timeSetting) {
    if (!dt.IsValid()) return {};
    return TimePart(dt, timeSetting);
}

std::string FormatDialogDateTime(const DateTime& dt, int dateSetting, int timeSetting) {
    if (!dt.IsValid()) return {};
    return DatePart(dt, dateSetting) + " " + TimePart(dt, timeSetting);
}

YearMonthDay ParseListDate(const std::string& text, int dateSetting) {
    YearMonthDay d;
    switch (dateSetting) {
        case 1:
            d.month = PieceAsInt(text, 0, 2);
            d.day = PieceAsInt(text, 3, 2);
            d.year = PieceAsInt(text, 6, 4);
            break;
        case 2:
            d.day = PieceAsInt(text, 0, 2);
            d.month = PieceAsInt(text, 3, 2);
            d.year = PieceAsInt(text, 6, 4);
            break;
        default:
            d.year = PieceAsInt(text, 0, 4);
            d.month = PieceAsInt(text, 5, 2);
            d.day = PieceAsInt(text, 8, 2);
            break;
    }
    return d;
}

int ListDateKey(const std::string& text, int dateSetting) {
    const YearMonthDay d = ParseListDate(text, dateSetting);
    return d.year * 10000 + d.month * 100 + d.day;
}

int ListTimeKey(const std::string& text) {
    int hour = PieceAsInt(text, 0, 2);
    const int minute = PieceAsInt(text, 3, 2);
    // A 12-hour cell ends in its AM/PM designator.
    const size_t designator = text.find_first_of("AaPp", 5);
    if (designator != std::string::npos) {
        hour %= 12;
        if (text[designator] == 'P' || text[designator] == 'p') hour += 12;
    }
    return hour * 60 + minute;
}

double ResultKey(const std::string& text) {
    size_t pos = text.find_first_not_of(' ');
    if (pos == std::string::npos) return 0;
    const char bound = text[pos];
    if (bound == '<' || bound == '>') ++pos;
    const double value = TextToDouble(std::string_view(text).substr(pos));
    if (bound == '>') return value + 1e-6;
    if (bound == '<') return value - 1e-6;
    return value;
}

namespace {

// Decodes strict UTF-8 (no overlong forms, surrogates or values past
// U+10FFFF); false when `bytes` is not UTF-8.
bool DecodeUtf8(std::string_view bytes, std::vector<char32_t>& out) {
    out.clear();
    for (size_t i = 0; i < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        int extra = 0;
        char32_t cp = 0, min = 0;
        if (lead < 0x80) {
            cp = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            extra = 1, cp = lead & 0x1F, min = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2, cp = lead & 0x0F, min = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3, cp = lead & 0x07, min = 0x10000;
        } else {
            return false;
        }
        if (i + extra >= bytes.size() && extra > 0) return false;
        for (int k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (next & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        out.push_back(cp);
        i += extra + 1;
    }
    return true;
}

// Characters that draw nothing, look like a blank or change the direction of
// the text around them, and the escape's own opening bracket.
bool ShownAsNumber(char32_t cp) {
    struct Range {
        char32_t first, last;
    };
    static constexpr Range kRanges[] = {
        {0x0000, 0x001F}, {0x007F, 0x00A0}, {0x00AD, 0x00AD}, {0x034F, 0x034F},   {0x061C, 0x061C},
        {0x115F, 0x1160}, {0x17B4, 0x17B5}, {0x180B, 0x180F}, {0x2000, 0x200F},   {0x2028, 0x202F},
        {0x205F, 0x206F}, {0x27E8, 0x27E8}, {0x3000, 0x3000}, {0x3164, 0x3164},   {0xFE00, 0xFE0F},
        {0xFEFF, 0xFEFF}, {0xFFA0, 0xFFA0}, {0xFFF0, 0xFFFB}, {0xE0000, 0xE0FFF},
    };
    for (const Range& r : kRanges)
        if (cp >= r.first && cp <= r.last) return true;
    return false;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

}  // namespace

std::string DisplayIdText(std::string_view stored) {
    std::vector<char32_t> chars;
    if (!DecodeUtf8(stored, chars)) {
        chars.clear();
        for (char byte : stored) chars.push_back(static_cast<unsigned char>(byte));
    }
    std::string out;
    out.reserve(stored.size());
    for (char32_t cp : chars) {
        if (!ShownAsNumber(cp)) {
            AppendUtf8(out, cp);
            continue;
        }
        char number[16];
        std::snprintf(number, sizeof number, cp <= 0xFF ? "%02X" : "%04X",
                      static_cast<unsigned>(cp));
        AppendUtf8(out, 0x27E8);  // ⟨
        out += number;
        AppendUtf8(out, 0x27E9);  // ⟩
    }
    return out;
}

std::string MakeStoredDate(int year, int month, int day) {
    return Format3("%04d%02d%02d", year, month, day);
}

std::string PickerDateFormat(int dateSetting) {
    switch (dateSetting) {
        case 1:
            return "MM'/'dd'/'yyy";
        case 2:
            return "dd'/'MM'/'yyy";
        default:
            return "yyy'-'MM'-'dd";
    }
}

std::string PickerDisplayFormat(int dateSetting) {
    switch (dateSetting) {
        case 1:
            return "MM'/'dd'/'yyyy";
        case 2:
            return "dd'/'MM'/'yyyy";
        default:
            return "yyyy'-'MM'-'dd";
    }
}

std::string LimitToDisplay(float limitPercent, int unit) {
    if (unit == 1)
        return FormatOneDecimal(static_cast<double>(limitPercent) * kIfccSlope - kIfccOffset);
    return FormatOneDecimal(limitPercent);
}

float LimitFromDisplay(const std::string& text, int unit) {
    double value = TextToDouble(text);
    if (unit == 1) value = (value + kIfccOffset) * static_cast<double>(kInverseIfccSlope);
    return NarrowToFloat(TextToDouble(FormatOneDecimal(value)));
}

}  // namespace tav
