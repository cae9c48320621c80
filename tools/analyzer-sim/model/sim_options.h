// Command line of the analyzer-sim program.
#pragma once

#include <string>
#include <vector>

#include "tools/analyzer-sim/model/analyzer_model.h"
#include "tools/analyzer-sim/model/records.h"

namespace tav::sim {

struct SimConfig {
    std::string home;  // empty: $TAVRINA1C_HOME, else the default home folder
    int com = 7;
    GenerateOptions generate;
    std::string loadFile;  // memory file instead of generated results
    bool empty = false;    // no results at all: the frame says 0000
    bool fast = false;
    int answerDelayMs = 20;
    int measureAfterMs = -1;
    Faults faults;
    bool printPath = false;
    bool verbose = false;
    bool help = false;
};

// Parses argv[1..]; "--name value" and "--name=value" both work. On failure
// returns false with a message for the user.
bool ParseArgs(const std::vector<std::string>& args, SimConfig* config, std::string* error);
std::string UsageText();

// The model options for a parsed command line and its memory.
ModelOptions MakeModelOptions(const SimConfig& config, std::vector<std::string> records);

}  // namespace tav::sim
