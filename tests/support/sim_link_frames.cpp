#include "tests/support/sim_link_frames.h"

#include <cstdio>

namespace tav::test {

std::string MakeRecord(const std::string& yymmddhhmm, const std::string& value,
                       const std::string& pid, const std::string& opid) {
    std::string record = yymmddhhmm + value + pid + opid + "\r\n";
    record.resize(43, ' ');
    return record;
}

std::string MakeFrame(int count, const std::string& records) {
    char header[16];
    std::snprintf(header, sizeof header, "S:%04d,,", count);
    return header + records;
}

}  // namespace tav::test
