// Decoding of the analyzer's 43-byte result record:
//   0 yy  2 mm  4 dd  6 hh  8 mm  10 result (3 digits, flag bits in the first)
//   13 patient id (14)  27 operator id (14)  41 CR/LF  42 CR/LF
// Pure functions: no storage, no I/O.
#pragma once

#include <string>
#include <string_view>

namespace tav {

inline constexpr int kIdFieldLength = 14;
inline constexpr const char* kTiltedText = "Analyzer Tilted";

// Characters kept of each id when the analyzer did not answer the greeting:
// the setting plus one (the settings PID_Digit and OPID_Digit, 0 to 13).
struct IdDigits {
    int pid = 13;
    int opid = 13;
};

// One record as it is stored.
struct DecodedRecord {
    std::string DATE;         // "20" + yymmdd
    std::string TIME;         // hhmm
    std::string HbA1c_VALUE;  // three digits
    std::string PID;
    std::string OPID;
    std::string EQ_TYPE;  // "Analyzer Tilted", "" (bit 0x40) or " "
    int DATE_YEAR = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
};

// True when bytes 41 and 42 of the record are each CR or LF.
bool RecordTerminatorOk(std::string_view record);

// Trims a 14-character id field. With handshakeSeen 0 the first digit + 1
// characters are kept; otherwise the field up to and including its first
// blank (when that blank is not the first character). A kept text of zeros
// only (digit + 1 zeros, or 14 with a handshake) becomes blanks.
std::string TrimId(std::string_view field, int handshakeSeen, int digit);

// Decodes one record; bytes missing from a short record read as NUL.
DecodedRecord DecodeRecord(std::string_view record, int handshakeSeen, IdDigits digits);

// The condition that finds a stored copy of the record: its date, time,
// result and both ids, each as an SQL literal.
std::string DuplicateCondition(const DecodedRecord& record);

}  // namespace tav
