// A LinkChannel that records the commands (with the virtual time each was
// sent at), the messages and the counts, and lets a test react to each
// progress text.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "link/link_channel.h"
#include "platform/clock.h"

namespace tav::test {

class RecordingLinkChannel : public LinkChannel {
  public:
    explicit RecordingLinkChannel(const Clock& clock) : clock_(clock) {}

    void SendLinkCommand(int code) override {
        commands.push_back(code);
        commandTimes.push_back(clock_.NowMs());
    }
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    void ShowProgress(const std::string& text) override {
        if (onProgress) onProgress(text);
    }
    // Every count as "n of N".
    void ShowProgressCount(int done, int total) override {
        counts.push_back(std::to_string(done) + " of " + std::to_string(total));
    }

    const std::vector<int>& Commands() const { return commands; }
    void Clear() {
        commands.clear();
        commandTimes.clear();
        messages.clear();
        counts.clear();
    }

    std::vector<int> commands;
    std::vector<int64_t> commandTimes;
    std::vector<std::string> messages;
    std::vector<std::string> counts;
    std::function<void(const std::string&)> onProgress;

  private:
    const Clock& clock_;
};

}  // namespace tav::test
