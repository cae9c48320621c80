// The About box of the home view's logo.
#pragma once

#include <QDialog>

namespace tav {

inline constexpr const char* kAboutTitle = "About TAVRINA1cExpert";

class AboutDialog : public QDialog {
    Q_OBJECT
  public:
    explicit AboutDialog(QWidget* parent = nullptr);
};

}  // namespace tav
