// The views of the main window and what they need of it.
#pragma once

#include <QWidget>
#include <string>

#include "link/link_state.h"
#include "protocol/link_commands.h"

class QAbstractButton;

namespace tav {

// The main window as its views see it. Every call is made on the window thread.
class ViewHost {
  public:
    virtual ~ViewHost() = default;
    // Runs a controller command at once (view switches included).
    virtual void SendLinkCommand(int code) = 0;
    virtual bool AskYesNo(const std::string& text) = 0;
    // An information box with an OK button, owned by the main window.
    virtual void ShowMessage(const std::string& text) = 0;
    virtual void SignalWorker(int event) = 0;
    virtual void ShowProgress(const std::string& text) = 0;
    virtual void HideProgress() = 0;
    virtual bool ProgressVisible() const = 0;
    virtual LinkState& Link() = 0;
    // A pause between two commands, taken from the program's clock.
    virtual void PauseMs(int ms) = 0;
};

// A view of the main window. The window creates it hidden, runs its initial
// update once, and tells it when it becomes the active view.
class FrameView : public QWidget {
    Q_OBJECT
  public:
    explicit FrameView(QWidget* parent = nullptr) : QWidget(parent) {}
    virtual void OnInitialUpdate() {}
    // The view became the active one while another view was active.
    virtual void OnActivateView() {}
    // Command 12: show again what the view shows, in the current settings.
    virtual void OnRefresh() {}

  protected:
    void paintEvent(QPaintEvent* event) override;
};

// Finds a child control by its id.
QWidget* FindControl(const QWidget* parent, int controlId);

// Stands in for a view that is not built yet: a title and the view buttons.
class PlaceholderView : public FrameView {
    Q_OBJECT
  public:
    struct Button {
        int ControlId;
        int Command;
        const char* Label;
    };
    PlaceholderView(ViewHost& host, const QString& title, const std::vector<Button>& buttons,
                    QWidget* parent = nullptr);
};

}  // namespace tav
