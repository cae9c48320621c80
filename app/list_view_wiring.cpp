#include "app/list_view_wiring.h"

#include <QDialog>

#include "app/main_frame.h"
#include "link/link_channel.h"

namespace tav {

void FrameListPrompts::Inform(const std::string& text) {
    frame_.Presenter().Inform(&frame_, QString::fromLatin1(kMessageCaption),
                              QString::fromStdString(text));
}

bool FrameListPrompts::AskOkCancel(const std::string& text) {
    return frame_.Presenter().AskOkCancel(&frame_, QString::fromLatin1(kMessageCaption),
                                          QString::fromStdString(text));
}

int FrameListPrompts::RunDialog(QDialog& dialog) {
    return dialog.exec();
}

}  // namespace tav
