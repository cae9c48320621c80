// What the graph plots: one point per stored result, with the rules that turn
// the stored date, time and value texts into the chart's argument and value,
// and the patient-id list with its prefix rule. No window code.
#pragma once

#include <deque>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace tav {

struct ChartPoint {
    std::string DateText;  // by the date setting: 2012-03-05, 03/05/2012, 05/03/2012
    std::string TimeText;  // 09:30
    float Value = 0;       // in the display unit, clamped
};
// A deque: a list of a million points grows in slices without moving the
// points already read (a vector's regrowth stalls the window for tens of ms).
using ChartPointList = std::deque<ChartPoint>;

// Stored yyyymmdd by the date setting: 0 "yyyy-mm-dd", 1 "mm/dd/yyyy",
// 2 "dd/mm/yyyy" (other values as 0). Characters missing from a short text
// show as blanks; characters past the eighth are ignored.
std::string ChartDateText(std::string_view storedDate, int dateSetting);
// Stored hhmm as "hh:mm", missing characters as blanks.
std::string ChartTimeText(std::string_view storedTime);
// The stored value text (tenths of a percent, any length) as plotted: percent
// (unit 0) clamped to 4.0 .. 14.0; mmol/mol (any other unit) 20 at or below
// 4.0 %, 130 at or above 14.0 %, otherwise v * 10.929 - 23.5 + 0.5 truncated.
float ChartValue(std::string_view storedValue, int unit);
// The argument of a point on the x axis: date text, a blank, time text.
std::string ChartArgument(const ChartPoint& point);

// The patient ids offered by the graph: "ALL Data" first, then each id that
// no listed item begins with (letters compared without case), in the order
// offered. Looks up a prefix in logarithmic time, so a million rows load fast.
class PidList {
  public:
    PidList() { Reset(); }
    // Back to "ALL Data" alone.
    void Reset();
    // Adds `pid` unless an item begins with it; true when added.
    bool Offer(std::string_view pid);
    const std::vector<std::string>& Items() const { return items_; }

  private:
    std::vector<std::string> items_;
    std::set<std::string, std::less<>> folded_;  // items in lower case
};

inline constexpr const char* kAllDataItem = "ALL Data";

}  // namespace tav
