// analyzer-sim: plays the HbA1c analyzer on a pseudo-terminal registered as a
// Prolific USB serial port. See --help.
#include <cstdio>
#include <fstream>
#include <sstream>

#include "tools/analyzer-sim/model/records.h"
#include "tools/analyzer-sim/model/sim_options.h"
#include "tools/analyzer-sim/sim_runner.h"

int main(int argc, char** argv) {
    using namespace tav::sim;
    SimConfig config;
    std::string error;
    if (!ParseArgs(std::vector<std::string>(argv + 1, argv + argc), &config, &error)) {
        std::fprintf(stderr, "analyzer-sim: %s\n", error.c_str());
        return 2;
    }
    if (config.help) {
        std::fputs(UsageText().c_str(), stdout);
        return 0;
    }
    std::vector<std::string> records;
    if (!config.loadFile.empty()) {
        std::ifstream in(config.loadFile, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "analyzer-sim: cannot read %s\n", config.loadFile.c_str());
            return 2;
        }
        std::ostringstream text;
        text << in.rdbuf();
        if (!ParseMemoryText(text.str(), &records, &error)) {
            std::fprintf(stderr, "analyzer-sim: %s: %s\n", config.loadFile.c_str(), error.c_str());
            return 2;
        }
        if (records.size() > 9999) {
            std::fprintf(stderr, "analyzer-sim: %s holds more than 9999 results\n",
                         config.loadFile.c_str());
            return 2;
        }
    } else if (!config.empty) {
        records = GenerateRecords(config.generate);
    }
    return RunSimulator(config, std::move(records));
}
