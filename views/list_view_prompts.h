// What the all-data list needs of the main window besides the view host: the
// information box, the OK/Cancel question and running a dialog modally. The
// program shows real windows; tests answer from a script.
#pragma once

#include <string>

class QDialog;

namespace tav {

class ListViewPrompts {
  public:
    virtual ~ListViewPrompts() = default;
    // A box with an OK button and the program's caption.
    virtual void Inform(const std::string& text) = 0;
    // An OK/Cancel question with the program's caption; true on OK.
    virtual bool AskOkCancel(const std::string& text) = 0;
    // Runs `dialog` modally; its result code (QDialog::Accepted or Rejected).
    virtual int RunDialog(QDialog& dialog) = 0;
};

}  // namespace tav
