// Analyzer bytes for tests: result records and download frames.
#pragma once

#include <string>

namespace tav::test {

// A 43-byte record: date/time digits, a 3-digit result, two ids, CR LF.
std::string MakeRecord(const std::string& yymmddhhmm, const std::string& value,
                       const std::string& pid = "00000000000000",
                       const std::string& opid = "12345         ");
// A download frame: "S", one byte, the four count digits, two separators, records.
std::string MakeFrame(int count, const std::string& records);

}  // namespace tav::test
