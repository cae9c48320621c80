// Result records as the analyzer keeps them: 43 bytes each, "yyMMddhhmm",
// a 3-digit result in tenths of a percent whose first byte may carry a flag
// bit (0x80 tilted, 0x40 flagged), a 14-byte patient id, a 14-byte operator
// id and CR LF. Builders, a seeded generator and a loader for memory files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tav::sim {

constexpr size_t kRecordLength = 43;
constexpr size_t kIdLength = 14;

struct Date {
    int year = 2024;  // 2000..2099
    int month = 1;
    int day = 1;
    friend bool operator==(const Date&, const Date&) = default;
};

// "YYYY-MM-DD" or "YYYYMMDD", years 2000 to 2099; nullopt when not a real day.
std::optional<Date> ParseDate(const std::string& text);
// Days since 2000-01-01 and back.
int DayNumber(const Date& date);
Date DateFromDayNumber(int days);

enum class ResultFlag { Plain, Tilted, Flagged };

struct ResultFields {
    Date date;
    int hour = 0;
    int minute = 0;
    int tenths = 65;  // 0..999: 65 is 6.5 %
    ResultFlag flag = ResultFlag::Plain;
    std::string pid;   // cut or blank-padded to 14 bytes
    std::string opid;  // same
};

// The 43 record bytes, CR LF included.
std::string MakeRecord(const ResultFields& fields);

enum class IdStyle { Zeros, Blanks, Text, Mixed };
std::optional<IdStyle> ParseIdStyle(const std::string& text);

struct GenerateOptions {
    int count = 20;
    uint32_t seed = 1;
    Date from{2024, 1, 1};
    Date to{2024, 6, 30};
    int tilted = 0;   // this many records carry 0x80 (clipped to count)
    int flagged = 0;  // this many other records carry 0x40
    IdStyle ids = IdStyle::Text;
};

// Records in time order, the same for the same options. Times fall between
// 08:00 and 17:59, results between 4.0 % and 14.0 %.
std::vector<std::string> GenerateRecords(const GenerateOptions& options);

// One record for a measurement finished at the given local date and time;
// `serial` varies the result and ids.
std::string MakeMeasurementRecord(const Date& date, int hour, int minute, uint32_t serial);

// Reads a memory file's text. Each line that is not blank and does not start
// with '#' is one record, either
//  - raw: the first 41 record bytes (CR LF is added), recognised by ten
//    leading digits, or
//  - text: DATE TIME VALUE [PID [OPID [FLAG]]] separated by blanks or tabs,
//    DATE "YYYY-MM-DD" or "YYYYMMDD", TIME "HH:MM" or "HHMM", VALUE "6.5" or
//    "065", ids up to 14 characters (blank-padded; "-" or "blanks" for 14
//    blanks, "zeros" for 14 zeros), FLAG "plain", "tilted" or "flagged".
// Returns false with a message naming the line on the first bad line.
bool ParseMemoryText(const std::string& text, std::vector<std::string>* records,
                     std::string* error);

// Bytes as text for logs: control and other bytes as <XX>.
std::string Printable(const std::string& bytes);

}  // namespace tav::sim
