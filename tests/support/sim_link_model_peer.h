// Puts the simulator's protocol model on the line fake.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/sim_link_fake.h"
#include "tools/analyzer-sim/model/analyzer_model.h"

namespace tav::test {

// An analyzer holding `records`, with `faults`; a greeting starts a
// measurement of `measured` that ends `measurementDelayMs` later (-1: never).
inline sim::ModelOptions Analyzer(std::vector<std::string> records, sim::Faults faults = {},
                                  int measurementDelayMs = -1, std::string measured = {}) {
    sim::ModelOptions options;
    options.records = std::move(records);
    options.faults = faults;
    options.measurementDelayMs = measurementDelayMs;
    options.measurementRecord = std::move(measured);
    return options;
}

class ModelPeer final : public AnalyzerPeer {
  public:
    explicit ModelPeer(sim::ModelOptions options) : model(std::move(options)) {}

    void OnHostByte(uint8_t byte, int64_t nowMs) override { model.OnHostByte(byte, nowMs); }
    std::optional<int64_t> NextOutputTime() const override { return model.NextOutputTime(); }
    std::string TakeOutputDue(int64_t nowMs) override { return model.TakeOutputDue(nowMs); }
    bool LineClosed() const override { return model.LineClosed(); }

    // When the analyzer saw each `command`, and how many it saw.
    std::vector<int64_t> Times(sim::HostCommand command) const {
        std::vector<int64_t> out;
        for (const auto& seen : model.Commands())
            if (seen.command == command) out.push_back(seen.atMs);
        return out;
    }
    int Seen(sim::HostCommand command) const { return static_cast<int>(Times(command).size()); }

    sim::AnalyzerModel model;
};

}  // namespace tav::test
