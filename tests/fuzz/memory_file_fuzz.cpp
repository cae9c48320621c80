// The simulator's memory-file loader. A file it takes gives one 43-byte
// record per record line, each with the terminators the PC checks; the same
// records written back as raw lines load as the same records. A file it
// refuses names a record line, and every line before that one loads.
#include <algorithm>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "protocol/record_decoder.h"
#include "tests/fuzz/fuzz_check.h"
#include "tools/analyzer-sim/model/records.h"

namespace tav::fuzz {

bool IsRecordLine(std::string line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t first = line.find_first_not_of(" \t");
    return first != std::string::npos && line[first] != '#';
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    const size_t recordLines = std::count_if(lines.begin(), lines.end(), IsRecordLine);

    std::vector<std::string> records;
    std::string error;
    if (!sim::ParseMemoryText(text, &records, &error)) {
        // "line N: ..." for a record line N; the lines before it load.
        FUZZ_CHECK(error.rfind("line ", 0) == 0);
        const size_t n = std::stoul(error.substr(5));
        FUZZ_CHECK(n >= 1 && n <= lines.size() && IsRecordLine(lines[n - 1]));
        std::string before;
        for (size_t i = 0; i + 1 < n; ++i) before += lines[i] + "\n";
        FUZZ_CHECK(sim::ParseMemoryText(before, &records, &error));
        return 0;
    }
    FUZZ_CHECK(records.size() == recordLines);
    std::string raw;
    bool rawSafe = true;
    for (const std::string& r : records) {
        FUZZ_CHECK(r.size() == sim::kRecordLength && RecordTerminatorOk(r) &&
                   r.compare(41, 2, "\r\n") == 0 && r.find_first_not_of("0123456789") >= 10);
        // A raw line cannot hold a line end of its own.
        const std::string body = r.substr(0, 41);
        rawSafe = rawSafe && body.find('\n') == std::string::npos && body.back() != '\r';
        raw += body + "\n";
    }
    if (rawSafe) {
        std::vector<std::string> again;
        FUZZ_CHECK(sim::ParseMemoryText(raw, &again, &error));
        FUZZ_CHECK(again == records);
    }
    FUZZ_CHECK(
        std::ranges::all_of(sim::Printable(text), [](char c) { return c >= ' ' && c <= '~'; }));
    return 0;
}

}  // namespace tav::fuzz
