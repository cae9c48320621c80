// The home view shown after start-up: five image buttons in a row at the
// bottom right and the logo that opens the About box.
#pragma once

#include <functional>

#include "views/frame_view.h"

namespace tav {

namespace homeid {
inline constexpr int kDownload = 1000;
inline constexpr int kAllData = 1001;
inline constexpr int kGraph = 1002;
inline constexpr int kAutomatic = 1005;
inline constexpr int kSettings = 1006;
inline constexpr int kLogo = 1208;
}  // namespace homeid

class AboutDialog;

class CHbA1c720MainView : public FrameView {
    Q_OBJECT
  public:
    // `openSettings` runs the settings dialog; without it the Settings button
    // is disabled.
    explicit CHbA1c720MainView(ViewHost& host, std::function<void()> openSettings = {},
                               QWidget* parent = nullptr);
    // The About box while it is open, else null.
    AboutDialog* About() const;

  private:
    void OnAutomatic();
    void OpenAbout();

    ViewHost& host_;
};

}  // namespace tav
