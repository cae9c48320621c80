// Puts the simulator's protocol model on the line fake.
#pragma once

#include "tests/support/sim_link_fake.h"
#include "tools/analyzer-sim/model/analyzer_model.h"

namespace tav::test {

class ModelPeer final : public AnalyzerPeer {
  public:
    explicit ModelPeer(sim::ModelOptions options) : model(std::move(options)) {}

    void OnHostByte(uint8_t byte, int64_t nowMs) override { model.OnHostByte(byte, nowMs); }
    std::optional<int64_t> NextOutputTime() const override { return model.NextOutputTime(); }
    std::string TakeOutputDue(int64_t nowMs) override { return model.TakeOutputDue(nowMs); }
    bool LineClosed() const override { return model.LineClosed(); }

    // How many of `command` the analyzer has seen.
    int Seen(sim::HostCommand command) const {
        int n = 0;
        for (const auto& seen : model.Commands()) n += seen.command == command;
        return n;
    }

    sim::AnalyzerModel model;
};

}  // namespace tav::test
