#include "protocol/record_decoder.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>

#include "link/link_state.h"
#include "store/sql_text.h"

namespace tav {
namespace {

// atoi of a piece of the record: digits up to the first non-digit.
int Number(std::string_view digits) {
    return std::atoi(std::string(digits).c_str());
}

bool IsLineEnd(char c) {
    return c == '\r' || c == '\n';
}

}  // namespace

bool RecordTerminatorOk(std::string_view record) {
    return record.size() >= kRecordLength && IsLineEnd(record[41]) && IsLineEnd(record[42]);
}

std::string TrimId(std::string_view field, int handshakeSeen, int digit) {
    field = field.substr(0, std::min<size_t>(field.size(), kIdFieldLength));
    std::string kept;
    std::string zeros;
    if (handshakeSeen == 0) {
        // Clamped before adding one, so that no setting can overflow.
        const size_t keep = static_cast<size_t>(std::clamp(digit, -1, kIdFieldLength - 1) + 1);
        kept = field.substr(0, std::min(keep, field.size()));
        zeros.assign(keep, '0');
    } else {
        const size_t blank = field.find(' ');
        kept = blank != std::string_view::npos && blank > 0 ? field.substr(0, blank + 1) : field;
        zeros.assign(kIdFieldLength, '0');
    }
    if (kept == zeros) std::replace(kept.begin(), kept.end(), '0', ' ');
    return kept;
}

DecodedRecord DecodeRecord(std::string_view record, int handshakeSeen, IdDigits digits) {
    std::array<char, kRecordLength> r{};
    std::copy_n(record.begin(), std::min<size_t>(record.size(), r.size()), r.begin());
    const std::string_view b(r.data(), r.size());

    DecodedRecord out;
    out.DATE = "20" + std::string(b.substr(0, 6));
    out.DATE_YEAR = Number("20" + std::string(b.substr(0, 2)));
    out.month = Number(b.substr(2, 2));
    out.day = Number(b.substr(4, 2));
    out.TIME = std::string(b.substr(6, 4));
    out.hour = Number(b.substr(6, 2));
    out.minute = Number(b.substr(8, 2));

    // The first result byte carries the tilt flag (0x80) or the plain flag (0x40).
    std::string result(b.substr(10, 3));
    const auto first = static_cast<unsigned char>(result[0]);
    if (first >= 0x80) {
        result[0] = static_cast<char>(first - 0x80);
        out.EQ_TYPE = kTiltedText;
    } else if (first >= 0x40) {
        result[0] = static_cast<char>(first - 0x40);
        out.EQ_TYPE = "";
    } else {
        out.EQ_TYPE = " ";
    }
    char value[16];
    std::snprintf(value, sizeof value, "%03d", Number(result));
    out.HbA1c_VALUE = value;

    out.PID = TrimId(b.substr(13, kIdFieldLength), handshakeSeen, digits.pid);
    out.OPID = TrimId(b.substr(27, kIdFieldLength), handshakeSeen, digits.opid);
    return out;
}

std::string DuplicateCondition(const DecodedRecord& record) {
    return "[DATE]=" + SqlLiteral(record.DATE) + "and [TIME]=" + SqlLiteral(record.TIME) +
           "and [HbA1c_VALUE]=" + SqlLiteral(record.HbA1c_VALUE) +
           "and [PID]=" + SqlLiteral(record.PID) + "and [OPID]=" + SqlLiteral(record.OPID) + " ";
}

}  // namespace tav
