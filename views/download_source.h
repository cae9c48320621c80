// What the download view reads: the rows of the staging table and the rules
// that turn stored texts into cell texts. The application implements both
// over the result store and the display settings.
#pragma once

#include <array>
#include <functional>
#include <string>

#include "core/result_format.h"

namespace tav {

// One stored result: the 13 column texts of the result table, in table order.
using ResultRowTexts = std::array<std::string, 13>;
namespace rescol {
inline constexpr int kDate = 0;
inline constexpr int kTime = 1;
inline constexpr int kValue = 2;
inline constexpr int kPid = 3;
inline constexpr int kOpid = 4;
inline constexpr int kEqType = 5;
}  // namespace rescol

class ResultRowSource {
  public:
    virtual ~ResultRowSource() = default;
    // Walks the staging table newest first ([DATE] DESC, [TIME] DESC,
    // [HbA1c_VALUE] DESC, no filter), calling `visit` for each row until it
    // returns false. Returns false, visiting nothing, while the database is not
    // ready or the table is not open.
    virtual bool VisitRows(const std::function<bool(const ResultRowTexts&)>& visit) = 0;
};

class ResultCellFormatter {
  public:
    virtual ~ResultCellFormatter() = default;
    // The result in the unit of the settings (FormatResult).
    virtual std::string Result(const std::string& storedValue) const = 0;
    // The date and time cells of a stored DATE and TIME (FormatListDate and
    // FormatListTime of MakeResultDateTime).
    virtual std::string ListDate(const std::string& date, const std::string& time) const = 0;
    virtual std::string ListTime(const std::string& date, const std::string& time) const = 0;
    // A date cell of ListDate as a number that sorts by date (yyyymmdd). The
    // default reads year-month-day cells.
    virtual int DateKey(const std::string& cell) const { return ListDateKey(cell, 0); }
};

}  // namespace tav
