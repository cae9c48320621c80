// What the main window needs of the objects the application wires into it.
#pragma once

class QWidget;

namespace tav {

// The download controller as the main window drives it.
class FrameController {
  public:
    virtual ~FrameController() = default;
    // Every command code other than the view switches 1 to 4 and the view
    // refresh 12, which the window handles itself.
    virtual void OnLinkCommand(int code) = 0;
    // A tick of a timer the controller started through the window.
    virtual void OnTimer(int id) = 0;
};

// The steps of the window's start and end that belong to other layers, in
// the order the window calls them.
class FrameServices {
  public:
    virtual ~FrameServices() = default;
    // Deferred initialisation: opens the result store (first) and loads the
    // settings (after the views exist).
    virtual void OpenStore() = 0;
    virtual void LoadSettings() = 0;
    // Close command: empties the database path, clears the ready flag and
    // closes both result tables; then, after the link flag is cleared, closes
    // the serial port if it is open.
    virtual void CloseStore() = 0;
    virtual void ClosePort() = 0;
    // Wakes the link worker (1 decode, 2 scan all ports, 3 scan analyzer ports).
    virtual void SignalWorker(int event) = 0;
    // Window destruction: stops the worker and waits for it to end.
    virtual void StopWorker() = 0;
    // The settings dialog over `parent`; false when there is none to open.
    virtual bool OpenSettings(QWidget* parent) {
        (void)parent;
        return false;
    }
};

}  // namespace tav
