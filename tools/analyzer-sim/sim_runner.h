// Runs the analyzer model on the pseudo-terminal in real time until a signal
// ends it or a fault closes the line.
#pragma once

#include <string>
#include <vector>

#include "tools/analyzer-sim/model/sim_options.h"

namespace tav::sim {

// Opens the terminal, registers it, prints the start-up line and serves.
// Returns the process exit code (0 after SIGINT/SIGTERM/SIGHUP or a closed
// line, 1 when the terminal or the port file cannot be set up).
int RunSimulator(const SimConfig& config, std::vector<std::string> records);

}  // namespace tav::sim
