// Analyzer bytes for tests: result records and download frames.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace tav::test {

// An id field: `id` padded with blanks to 14 bytes.
inline std::string Pad(std::string id) {
    id.resize(14, ' ');
    return id;
}

// A 43-byte record: date/time digits, a 3-digit result, both ids padded,
// CR LF (or `end`).
inline std::string MakeRecord(const std::string& yymmddhhmm, const std::string& value,
                              const std::string& pid = std::string(14, '0'),
                              const std::string& opid = "12345", const std::string& end = "\r\n") {
    return yymmddhhmm + value + Pad(pid) + Pad(opid) + end;
}

// Three results of a memory.
inline const std::vector<std::string> kThree = {MakeRecord("2403150930", "065"),
                                                MakeRecord("2403151000", "071"),
                                                MakeRecord("2403151100", "102")};

// A download frame: "S", one byte, the four count digits, two separators, records.
inline std::string MakeFrame(int count, const std::string& records) {
    char header[16];
    std::snprintf(header, sizeof header, "S:%04d,,", count);
    return header + records;
}

}  // namespace tav::test
