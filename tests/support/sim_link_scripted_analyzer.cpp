#include "tests/support/sim_link_scripted_analyzer.h"

#include <algorithm>
#include <cstdio>

namespace tav::test {

int ScriptedAnalyzer::Count(const std::string& command) const {
    return static_cast<int>(std::count(commands.begin(), commands.end(), command));
}

void ScriptedAnalyzer::SendAt(int64_t atMs, const std::string& bytes) {
    // Paced one byte per byteMs; bytes queued for later keep their time.
    int64_t t = atMs;
    for (char c : bytes) {
        auto at = std::upper_bound(out_.begin(), out_.end(), t, [](int64_t when, const auto& item) {
            return when < item.first;
        });
        out_.emplace(at, t, c);
        t += byteMs;
    }
}

void ScriptedAnalyzer::OnHostByte(uint8_t byte, int64_t nowMs) {
    if (byte == 0x03) {
        if (pending_.empty()) return;
    } else {
        pending_.push_back(static_cast<char>(byte));
        // The download request has no ETX.
        if (pending_ != "SH") return;
    }
    std::string command;
    command.swap(pending_);
    commands.push_back(command);
    if (reply) SendAt(nowMs + answerDelayMs, reply(command));
}

std::optional<int64_t> ScriptedAnalyzer::NextOutputTime() const {
    if (out_.empty()) return std::nullopt;
    return out_.front().first;
}

std::string ScriptedAnalyzer::TakeOutputDue(int64_t nowMs) {
    std::string due;
    while (!out_.empty() && out_.front().first <= nowMs) {
        due.push_back(out_.front().second);
        out_.pop_front();
    }
    return due;
}

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
