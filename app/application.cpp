#include "app/application.h"

#include <QCloseEvent>
#include <QMainWindow>

namespace tav {

namespace {
// Until the main frame exists: a window that closes the tables when closed.
class PlaceholderFrame : public QMainWindow {
  public:
    explicit PlaceholderFrame(Application& app) : app_(app) {}

  protected:
    void closeEvent(QCloseEvent* event) override {
        app_.Shutdown();
        event->accept();
    }

  private:
    Application& app_;
};
}  // namespace

Application::Application() = default;

Application::~Application() {
    Shutdown();
}

bool Application::Start() {
    paths_ = PrepareAppPaths(clock_);
    auto window = std::make_unique<PlaceholderFrame>(*this);
    window->setWindowTitle(QString::fromLatin1(kWindowTitle));
    window->setFixedSize(1024, 768);
    window->show();
    window_ = std::move(window);
    // Deferred initialisation, once the window is visible.
    database_.InitResultDatabase(paths_.HomeDir);
    LoadSettings(settings_, paths_.HomeDir);
    return true;
}

void Application::Shutdown() {
    database_.MainDbPath.clear();
    database_.DatabaseReady = 0;
    database_.Close();
}

}  // namespace tav
