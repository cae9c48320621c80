// The all-data list view as the program builds it: its prompts go through the
// main window's message presenter, its dialogs run modally over the window.
#pragma once

#include "views/list_view_prompts.h"

namespace tav {

class CMainFrame;

class FrameListPrompts final : public ListViewPrompts {
  public:
    explicit FrameListPrompts(CMainFrame& frame) : frame_(frame) {}
    void Inform(const std::string& text) override;
    bool AskOkCancel(const std::string& text) override;
    int RunDialog(QDialog& dialog) override;

  private:
    CMainFrame& frame_;
};

}  // namespace tav
