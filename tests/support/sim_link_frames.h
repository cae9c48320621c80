// Analyzer bytes for tests: result records and download frames.
#pragma once

#include <cstdio>
#include <string>

namespace tav::test {

// A 43-byte record: date/time digits, a 3-digit result, two ids, CR LF.
inline std::string MakeRecord(const std::string& yymmddhhmm, const std::string& value,
                              const std::string& pid = "00000000000000",
                              const std::string& opid = "12345         ") {
    std::string record = yymmddhhmm + value + pid + opid + "\r\n";
    record.resize(43, ' ');
    return record;
}

// A download frame: "S", one byte, the four count digits, two separators, records.
inline std::string MakeFrame(int count, const std::string& records) {
    char header[16];
    std::snprintf(header, sizeof header, "S:%04d,,", count);
    return header + records;
}

}  // namespace tav::test
