#include "app/application.h"

#include <QMainWindow>

namespace tav {

Application::Application() = default;
Application::~Application() = default;

bool Application::Start() {
    paths_ = PrepareAppPaths(clock_);
    window_ = std::make_unique<QMainWindow>();
    window_->setWindowTitle(QString::fromLatin1(kWindowTitle));
    window_->setFixedSize(1024, 768);
    window_->show();
    return true;
}

}  // namespace tav
