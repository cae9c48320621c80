#include "reports/graph_data.h"

#include <cctype>

#include "core/result_format.h"

namespace tav {
namespace {

char At(std::string_view text, size_t i) {
    return i < text.size() && text[i] != '\0' ? text[i] : ' ';
}

std::string Pick(std::string_view text, std::initializer_list<int> picks) {
    std::string out;
    out.reserve(picks.size());
    for (int i : picks) out += i < 0 ? (i == -1 ? '-' : i == -2 ? '/' : ':') : At(text, size_t(i));
    return out;
}

std::string Fold(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

std::string ChartDateText(std::string_view d, int dateSetting) {
    // -1 a hyphen, -2 a slash.
    switch (dateSetting) {
        case 1:
            return Pick(d, {4, 5, -2, 6, 7, -2, 0, 1, 2, 3});
        case 2:
            return Pick(d, {6, 7, -2, 4, 5, -2, 0, 1, 2, 3});
        default:
            return Pick(d, {0, 1, 2, 3, -1, 4, 5, -1, 6, 7});
    }
}

std::string ChartTimeText(std::string_view t) {
    return Pick(t, {0, 1, -3, 2, 3});
}

float ChartValue(std::string_view storedValue, int unit) {
    // The same conversion and bounds as the list's result text.
    const float v = StoredToPercent(std::string(storedValue));
    if (unit == 0) {
        if (v >= kUpperDisplayLimit) return 14.0f;
        if (v <= kLowerDisplayLimit) return 4.0f;
        return v;
    }
    if (v >= kUpperDisplayLimit) return 130.0f;
    if (v <= kLowerDisplayLimit) return 20.0f;
    return static_cast<float>(PercentToMmol(v));
}

std::string ChartArgument(const ChartPoint& point) {
    return point.DateText + " " + point.TimeText;
}

void PidList::Reset() {
    items_.assign(1, kAllDataItem);
    folded_.clear();
    folded_.insert(Fold(kAllDataItem));
}

bool PidList::Offer(std::string_view pid) {
    const std::string key = Fold(pid);
    // The first folded item not below the key is the only one that can begin with it.
    auto it = folded_.lower_bound(key);
    if (it != folded_.end() && it->compare(0, key.size(), key) == 0) return false;
    folded_.insert(it, key);
    items_.emplace_back(pid);
    return true;
}

}  // namespace tav
