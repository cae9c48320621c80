// A view's host for widget tests: logs each call the view makes, in order,
// and answers questions with `answer`.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "views/frame_view.h"

namespace tav::test {

struct LoggingViewHost : ViewHost {
    void SendLinkCommand(int code) override {
        log.push_back("cmd " + std::to_string(code));
        if (onCommand) onCommand(code);
    }
    bool AskYesNo(const std::string& text) override {
        log.push_back("ask " + text);
        return answer;
    }
    void ShowMessage(const std::string& text) override { log.push_back("message " + text); }
    void SignalWorker(int event) override { log.push_back("signal " + std::to_string(event)); }
    void ShowProgress(const std::string& text) override {
        progressText = text;
        progressVisible = true;
    }
    void HideProgress() override {
        log.push_back("hide progress");
        progressVisible = false;
    }
    bool ProgressVisible() const override { return progressVisible; }
    LinkState& Link() override { return link; }
    void PauseMs(int ms) override { log.push_back("pause " + std::to_string(ms)); }

    LinkState link;
    std::function<void(int)> onCommand;
    std::vector<std::string> log;
    bool answer = false;
    std::string progressText;
    bool progressVisible = false;
};

}  // namespace tav::test
