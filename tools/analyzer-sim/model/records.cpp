#include "tools/analyzer-sim/model/records.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <random>
#include <set>
#include <sstream>

namespace tav::sim {
namespace {

bool AllDigits(const std::string& s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c); });
}

int DaysInMonth(int year, int month) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2 && year % 4 == 0 && (year % 100 != 0 || year % 400 == 0)) return 29;
    return kDays[month - 1];
}

std::string FitId(const std::string& id) {
    std::string out = id.substr(0, kIdLength);
    out.resize(kIdLength, ' ');
    return out;
}

// A uniform pick in [0, n) from the engine; the engine is fixed by the
// standard, the distributions are not, so this keeps runs reproducible.
uint32_t Pick(std::mt19937& rng, uint32_t n) {
    return n == 0 ? 0 : rng() % n;
}

std::string DigitsId(std::mt19937& rng, int minLen, int maxLen) {
    int len = minLen + static_cast<int>(Pick(rng, maxLen - minLen + 1));
    std::string s(1, static_cast<char>('1' + Pick(rng, 9)));
    while (static_cast<int>(s.size()) < len) s += static_cast<char>('0' + Pick(rng, 10));
    return s;
}

void MakeIds(std::mt19937& rng, IdStyle style, std::string* pid, std::string* opid) {
    if (style == IdStyle::Mixed) {
        // Zero-filled text ids appear here too: "4711" then ten zeros.
        switch (Pick(rng, 4)) {
            case 0:
                style = IdStyle::Zeros;
                break;
            case 1:
                style = IdStyle::Blanks;
                break;
            case 2:
                style = IdStyle::Text;
                break;
            default: {
                *pid = DigitsId(rng, 3, 8);
                pid->resize(kIdLength, '0');
                *opid = std::string(kIdLength, '0');
                return;
            }
        }
    }
    switch (style) {
        case IdStyle::Zeros:
            *pid = *opid = std::string(kIdLength, '0');
            break;
        case IdStyle::Blanks:
            *pid = *opid = std::string(kIdLength, ' ');
            break;
        default:
            *pid = FitId(DigitsId(rng, 4, 10));
            *opid = FitId("OP" + std::to_string(1 + Pick(rng, 40)));
            break;
    }
}

std::vector<std::string> SplitFields(const std::string& line) {
    std::vector<std::string> out;
    std::istringstream in(line);
    std::string field;
    while (in >> field) out.push_back(field);
    return out;
}

std::optional<int> ParseTime(const std::string& text) {
    std::string digits = text;
    if (digits.size() == 5 && digits[2] == ':') digits.erase(2, 1);
    if (digits.size() != 4 || !AllDigits(digits)) return std::nullopt;
    int hour = std::stoi(digits.substr(0, 2));
    int minute = std::stoi(digits.substr(2, 2));
    if (hour > 23 || minute > 59) return std::nullopt;
    return hour * 60 + minute;
}

std::optional<int> ParseTenths(const std::string& text) {
    if (text.size() == 3 && AllDigits(text)) return std::stoi(text);
    size_t dot = text.find('.');
    if (dot == std::string::npos || dot == 0 || dot + 2 != text.size()) return std::nullopt;
    std::string whole = text.substr(0, dot);
    std::string tenth = text.substr(dot + 1);
    if (!AllDigits(whole) || !AllDigits(tenth) || whole.size() > 2) return std::nullopt;
    return std::stoi(whole) * 10 + std::stoi(tenth);
}

std::optional<std::string> ParseId(const std::string& text) {
    if (text == "-" || text == "blanks") return std::string(kIdLength, ' ');
    if (text == "zeros") return std::string(kIdLength, '0');
    if (text.size() > kIdLength) return std::nullopt;
    return FitId(text);
}

bool ParseTextLine(const std::string& line, std::string* record, std::string* why) {
    std::vector<std::string> f = SplitFields(line);
    if (f.size() < 3 || f.size() > 6) {
        *why = "expected DATE TIME VALUE [PID [OPID [FLAG]]]";
        return false;
    }
    ResultFields r;
    auto date = ParseDate(f[0]);
    if (!date) {
        *why = "bad date \"" + f[0] + "\"";
        return false;
    }
    r.date = *date;
    auto time = ParseTime(f[1]);
    if (!time) {
        *why = "bad time \"" + f[1] + "\"";
        return false;
    }
    r.hour = *time / 60;
    r.minute = *time % 60;
    auto tenths = ParseTenths(f[2]);
    if (!tenths) {
        *why = "bad value \"" + f[2] + "\"";
        return false;
    }
    r.tenths = *tenths;
    r.pid = r.opid = std::string(kIdLength, ' ');
    for (size_t i = 3; i < 5 && i < f.size(); ++i) {
        auto id = ParseId(f[i]);
        if (!id) {
            *why = "id longer than 14 characters \"" + f[i] + "\"";
            return false;
        }
        (i == 3 ? r.pid : r.opid) = *id;
    }
    if (f.size() == 6) {
        if (f[5] == "plain") {
            r.flag = ResultFlag::Plain;
        } else if (f[5] == "tilted") {
            r.flag = ResultFlag::Tilted;
        } else if (f[5] == "flagged") {
            r.flag = ResultFlag::Flagged;
        } else {
            *why = "bad flag \"" + f[5] + "\"";
            return false;
        }
    }
    *record = MakeRecord(r);
    return true;
}

}  // namespace

std::optional<Date> ParseDate(const std::string& text) {
    std::string digits = text;
    if (digits.size() == 10 && digits[4] == '-' && digits[7] == '-') {
        digits.erase(7, 1);
        digits.erase(4, 1);
    }
    if (digits.size() != 8 || !AllDigits(digits)) return std::nullopt;
    Date d{std::stoi(digits.substr(0, 4)), std::stoi(digits.substr(4, 2)),
           std::stoi(digits.substr(6, 2))};
    if (d.year < 2000 || d.year > 2099 || d.month < 1 || d.month > 12 || d.day < 1 ||
        d.day > DaysInMonth(d.year, d.month)) {
        return std::nullopt;
    }
    return d;
}

int DayNumber(const Date& date) {
    int days = 0;
    for (int y = 2000; y < date.year; ++y) days += DaysInMonth(y, 2) == 29 ? 366 : 365;
    for (int m = 1; m < date.month; ++m) days += DaysInMonth(date.year, m);
    return days + date.day - 1;
}

Date DateFromDayNumber(int days) {
    Date d{2000, 1, 1};
    for (;;) {
        int len = DaysInMonth(d.year, 2) == 29 ? 366 : 365;
        if (days < len) break;
        days -= len;
        ++d.year;
    }
    while (days >= DaysInMonth(d.year, d.month)) {
        days -= DaysInMonth(d.year, d.month);
        ++d.month;
    }
    d.day = days + 1;
    return d;
}

std::string MakeRecord(const ResultFields& r) {
    auto two = [](int v) { return std::clamp(v, 0, 99); };
    char head[48];
    std::snprintf(head, sizeof head, "%02d%02d%02d%02d%02d%03d", two(r.date.year % 100),
                  two(r.date.month), two(r.date.day), two(r.hour), two(r.minute),
                  std::clamp(r.tenths, 0, 999));
    std::string out(head, 13);
    if (r.flag == ResultFlag::Tilted) out[10] = static_cast<char>(out[10] + 0x80);
    if (r.flag == ResultFlag::Flagged) out[10] = static_cast<char>(out[10] + 0x40);
    out += FitId(r.pid);
    out += FitId(r.opid);
    out += "\r\n";
    return out;
}

std::optional<IdStyle> ParseIdStyle(const std::string& text) {
    if (text == "zeros") return IdStyle::Zeros;
    if (text == "blanks") return IdStyle::Blanks;
    if (text == "text") return IdStyle::Text;
    if (text == "mixed") return IdStyle::Mixed;
    return std::nullopt;
}

std::vector<std::string> GenerateRecords(const GenerateOptions& o) {
    std::mt19937 rng(o.seed);
    const int count = std::max(0, o.count);
    const int firstDay = DayNumber(o.from);
    const int days = std::max(1, DayNumber(o.to) - firstDay + 1);
    const int64_t slotsPerDay = 10 * 60;  // 08:00 to 17:59
    const int64_t slots = days * slotsPerDay;

    // Distinct minutes while there are enough of them, so that no two
    // generated results look like duplicates to the program.
    std::vector<int64_t> picked;
    std::set<int64_t> used;
    while (static_cast<int>(picked.size()) < count) {
        int64_t slot = static_cast<int64_t>(rng()) % slots;
        if (static_cast<int64_t>(used.size()) < slots && !used.insert(slot).second) continue;
        picked.push_back(slot);
    }
    std::sort(picked.begin(), picked.end());

    std::vector<ResultFlag> flags(count, ResultFlag::Plain);
    std::vector<int> order(count);
    for (int i = 0; i < count; ++i) order[i] = i;
    for (int i = count - 1; i > 0; --i) std::swap(order[i], order[Pick(rng, i + 1)]);
    const int tilted = std::clamp(o.tilted, 0, count);
    const int flagged = std::clamp(o.flagged, 0, count - tilted);
    for (int i = 0; i < tilted; ++i) flags[order[i]] = ResultFlag::Tilted;
    for (int i = tilted; i < tilted + flagged; ++i) flags[order[i]] = ResultFlag::Flagged;

    std::vector<std::string> out;
    out.reserve(count);
    for (int i = 0; i < count; ++i) {
        ResultFields r;
        r.date = DateFromDayNumber(firstDay + static_cast<int>(picked[i] / slotsPerDay));
        int minuteOfDay = 8 * 60 + static_cast<int>(picked[i] % slotsPerDay);
        r.hour = minuteOfDay / 60;
        r.minute = minuteOfDay % 60;
        // Mostly 4.5 to 9.4 %, now and then up to 14.0 %.
        r.tenths = Pick(rng, 8) == 0 ? 95 + Pick(rng, 46) : 45 + Pick(rng, 50);
        if (Pick(rng, 20) == 0) r.tenths = 40 + Pick(rng, 5);
        r.flag = flags[i];
        MakeIds(rng, o.ids, &r.pid, &r.opid);
        out.push_back(MakeRecord(r));
    }
    return out;
}

std::string MakeMeasurementRecord(const Date& date, int hour, int minute, uint32_t serial) {
    ResultFields r;
    r.date = date;
    r.hour = hour;
    r.minute = minute;
    r.tenths = 50 + static_cast<int>((serial * 7) % 60);
    r.pid = std::to_string(90001 + serial);
    r.opid = "OP1";
    return MakeRecord(r);
}

bool ParseMemoryText(const std::string& text, std::vector<std::string>* records,
                     std::string* error) {
    records->clear();
    std::istringstream in(text);
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::string trimmed = line;
        trimmed.erase(0, trimmed.find_first_not_of(" \t"));
        if (trimmed.empty() || trimmed[0] == '#') continue;
        if (line.size() >= 10 && AllDigits(line.substr(0, 10))) {  // text dates have 8 digits
            if (line.size() != kRecordLength - 2) {
                *error = "line " + std::to_string(lineNo) +
                         ": a raw record has 41 bytes before the line end, not " +
                         std::to_string(line.size());
                return false;
            }
            records->push_back(line + "\r\n");
            continue;
        }
        std::string record, why;
        if (!ParseTextLine(line, &record, &why)) {
            *error = "line " + std::to_string(lineNo) + ": " + why;
            return false;
        }
        records->push_back(record);
    }
    return true;
}

std::string Printable(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7f) {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "<%02X>", c);
            out += hex;
        }
    }
    return out;
}

}  // namespace tav::sim
