// How code on the link worker (download processing, port scans) reports to the
// window thread. Every call may be made from any thread: implementations hand
// it to the window thread synchronously and return once it has been handled,
// so a command's pauses and effects are complete when the call returns.
#pragma once

#include <string>

namespace tav {

// Caption of every message box the link shows.
inline constexpr const char* kMessageCaption = "TAVRINA1c Expert";

class LinkChannel {
  public:
    virtual ~LinkChannel() = default;
    // Runs a controller command (the numeric codes of the download controller).
    virtual void SendLinkCommand(int code) = 0;
    // A message box with an OK button and the caption kMessageCaption.
    virtual void ShowMessage(const std::string& text) = 0;
    // Sets the progress dialog's text and shows the dialog if hidden.
    virtual void ShowProgress(const std::string& text) = 0;
    // Sets the progress dialog's bar to `done` of `total` results.
    virtual void ShowProgressCount(int /*done*/, int /*total*/) {}
};

}  // namespace tav
