// A LinkChannel that records every call in order, with the virtual time it
// was made at, and lets a test react to each one.
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
    enum class Kind { Command, Message, Progress, Count };
    struct Call {
        Kind kind;
        int code = 0;      // Command; Count: done
        std::string text;  // Message, Progress
        int64_t atMs = 0;
        int total = 0;  // Count
    };

    explicit RecordingLinkChannel(const Clock& clock) : clock_(clock) {}

    void SendLinkCommand(int code) override { Record({Kind::Command, code, {}, clock_.NowMs()}); }
    void ShowMessage(const std::string& text) override {
        Record({Kind::Message, 0, text, clock_.NowMs()});
    }
    void ShowProgress(const std::string& text) override {
        Record({Kind::Progress, 0, text, clock_.NowMs()});
    }
    void ShowProgressCount(int done, int total) override {
        Record({Kind::Count, done, {}, clock_.NowMs(), total});
    }

    std::vector<int> Commands() const {
        return Collect<int>(Kind::Command, [](const Call& c) { return c.code; });
    }
    // Time of each command, in order.
    std::vector<int64_t> CommandTimes() const {
        return Collect<int64_t>(Kind::Command, [](const Call& c) { return c.atMs; });
    }
    std::vector<std::string> Texts(Kind kind) const {
        return Collect<std::string>(kind, [](const Call& c) { return c.text; });
    }
    // Every count as "n of N", in order.
    std::vector<std::string> Counts() const {
        return Collect<std::string>(Kind::Count, [](const Call& c) {
            return std::to_string(c.code) + " of " + std::to_string(c.total);
        });
    }
    void Clear() { calls.clear(); }

    std::vector<Call> calls;
    // Called after each call is recorded.
    std::function<void(const Call&)> onCall;

  private:
    template <typename T, typename Field>
    std::vector<T> Collect(Kind kind, Field field) const {
        std::vector<T> out;
        for (const Call& c : calls)
            if (c.kind == kind) out.push_back(field(c));
        return out;
    }
    void Record(Call call) {
        calls.push_back(call);
        if (onCall) onCall(calls.back());
    }

    const Clock& clock_;
};

}  // namespace tav::test
