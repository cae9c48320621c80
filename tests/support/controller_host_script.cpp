#include "tests/support/controller_host_script.h"

#include <algorithm>

namespace tav::test {

bool RecordingHost::AskYesNo(const std::string& text) {
    questions.push_back(text);
    if (answers.empty()) return true;
    bool answer = answers.front();
    answers.pop_front();
    return answer;
}

void RecordingHost::ShowProgress(const std::string& text) {
    // The dialog repaints only a changed text; record the same.
    if (text != progressText || progressLog.empty()) progressLog.push_back(text);
    progressText = text;
    progressVisible = true;
}

void RecordingHost::ShowProgressCount(int done, int total) {
    const std::string shown =
        total < 1 ? "hidden" : std::to_string(done) + " of " + std::to_string(total);
    if (countLog.empty() || countLog.back() != shown) countLog.push_back(shown);
}

void RecordingHost::ShowChecking(const std::string& text) {
    checkingText = text;
    checkingVisible = true;
}

void RecordingHost::StartTimer(int id, int intervalMs) {
    const int64_t due = clock_.NowMs() + intervalMs;
    timers_[id] = Timer{nextGeneration_++, intervalMs, due};
    WakeAt(due);
}

// Ticks keep their period; ticks missed while a handler paused collapse into
// one, as queued timer messages do. A handler may kill or restart any timer.
int64_t RecordingHost::FireDueTimers() {
    std::vector<std::pair<int, uint64_t>> due;
    const int64_t now = clock_.NowMs();
    for (const auto& [id, t] : timers_)
        if (t.dueMs <= now) due.emplace_back(id, t.generation);
    for (const auto& [id, generation] : due) {
        auto it = timers_.find(id);
        if (it == timers_.end() || it->second.generation != generation) continue;
        if (onTimer) onTimer(id);
        it = timers_.find(id);
        if (it == timers_.end() || it->second.generation != generation) continue;
        it->second.dueMs = std::max(it->second.dueMs + it->second.intervalMs, clock_.NowMs());
        WakeAt(it->second.dueMs);
    }
    int64_t wait = 1000;
    const int64_t after = clock_.NowMs();
    for (const auto& [id, t] : timers_)
        wait = std::min(wait, std::max<int64_t>(0, t.dueMs - after));
    return wait;
}

void ScriptedHost::SignalWorker(int event) {
    signals.push_back(event);
    if (onWorker) virtual_.ScheduleAt(virtual_.NowMs(), [this, event] { onWorker(event); });
}

}  // namespace tav::test
