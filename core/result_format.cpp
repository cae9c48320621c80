#include "core/result_format.h"

#include <cstdio>

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
