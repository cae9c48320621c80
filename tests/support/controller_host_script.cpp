#include "tests/support/controller_host_script.h"

#include <algorithm>

namespace tav::test {

bool RecordingHost::Shown(const std::string& text) const {
    return std::find(progressLog.begin(), progressLog.end(), text) != progressLog.end();
}

bool RecordingHost::AskYesNo(const std::string& text) {
    questions.push_back(text);
    if (answers.empty()) return defaultAnswer;
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

void ScriptedHost::StartTimer(int id, int intervalMs) {
    KillTimer(id);
    const uint64_t generation = nextGeneration_++;
    const int64_t due = clock_.NowMs() + intervalMs;
    auto task = clock_.ScheduleAt(due, [this, id, generation, due] { Tick(id, generation, due); });
    timers_[id] = Timer{generation, intervalMs, task};
}

void ScriptedHost::KillTimer(int id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    clock_.Cancel(it->second.task);
    timers_.erase(it);
}

// Ticks keep their period; ticks missed while a handler paused collapse into
// one, as queued timer messages do.
void ScriptedHost::Tick(int id, uint64_t generation, int64_t due) {
    auto it = timers_.find(id);
    if (it == timers_.end() || it->second.generation != generation) return;
    if (onTimer) onTimer(id);
    it = timers_.find(id);
    if (it == timers_.end() || it->second.generation != generation) return;
    const int64_t next = std::max(due + it->second.intervalMs, clock_.NowMs());
    it->second.task =
        clock_.ScheduleAt(next, [this, id, generation, next] { Tick(id, generation, next); });
}

bool RecordingHost::RunPortSelect(std::string& selectedLabel) {
    if (!portChoices.empty()) {
        const auto choice = portChoices.front();
        portChoices.pop_front();
        if (!choice) return false;
        selectedLabel = *choice;
    }
    return onPortSelect && onPortSelect(selectedLabel);
}

void ScriptedHost::SignalWorker(int event) {
    signals.push_back(event);
    if (onWorker) clock_.ScheduleAt(clock_.NowMs(), [this, event] { onWorker(event); });
}

}  // namespace tav::test
