// A small scripted analyzer for the line fake: it splits what the PC sends
// into commands ("ST", "SH", "HC", "SC", "SE") and answers each with what the
// test's reply function returns, paced one byte per byteMs after a short
// think time. Spontaneous output (the finished-measurement letters) is queued
// with SendAt.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/sim_link_fake.h"

namespace tav::test {

class ScriptedAnalyzer final : public AnalyzerPeer {
  public:
    std::function<std::string(const std::string& command)> reply;
    int answerDelayMs = 20;
    int byteMs = 1;
    std::vector<std::string> commands;  // in the order received

    int Count(const std::string& command) const;
    // Queues bytes to go out from `atMs` on.
    void SendAt(int64_t atMs, const std::string& bytes);

    void OnHostByte(uint8_t byte, int64_t nowMs) override;
    std::optional<int64_t> NextOutputTime() const override;
    std::string TakeOutputDue(int64_t nowMs) override;

  private:
    std::string pending_;
    std::deque<std::pair<int64_t, char>> out_;
};

// A 43-byte record: date/time digits, a 3-digit result, two ids, CR LF.
std::string MakeRecord(const std::string& yymmddhhmm, const std::string& value,
                       const std::string& pid = "00000000000000",
                       const std::string& opid = "12345         ");
// A download frame: "S", one byte, the four count digits, two separators, records.
std::string MakeFrame(int count, const std::string& records);

}  // namespace tav::test
