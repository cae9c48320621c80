#include "app/home_view.h"

#include <QPointer>

#include "app/about_dialog.h"
#include "controls/art_button.h"

namespace tav {

CHbA1c720MainView::CHbA1c720MainView(ViewHost& host, std::function<void()> openSettings,
                                     QWidget* parent)
    : FrameView(parent), host_(host) {
    setProperty("controlId", 131);
    resize(1024, 768);
    const struct {
        int id;
        Art art;
        const char* caption;
        int x;
    } buttons[] = {
        {homeid::kDownload, Art::Download, "Download", 638},
        {homeid::kAllData, Art::List, "List", 713},
        {homeid::kGraph, Art::Graph, "Graph", 788},
        {homeid::kAutomatic, Art::Automatic, "Automatic", 863},
        {homeid::kSettings, Art::Settings, "Settings", 938},
    };
    for (const auto& entry : buttons) {
        auto* button = new ArtButton(entry.art, QString::fromLatin1(entry.caption), this);
        button->setProperty("controlId", entry.id);
        button->setGeometry(entry.x, 644, 75, 75);
        switch (entry.id) {
            case homeid::kDownload:
                connect(button, &QAbstractButton::clicked, this,
                        [this] { host_.SendLinkCommand(cmd::kShowDownload); });
                break;
            case homeid::kAllData:
                connect(button, &QAbstractButton::clicked, this,
                        [this] { host_.SendLinkCommand(cmd::kShowList); });
                break;
            case homeid::kGraph:
                connect(button, &QAbstractButton::clicked, this,
                        [this] { host_.SendLinkCommand(cmd::kShowGraph); });
                break;
            case homeid::kAutomatic:
                connect(button, &QAbstractButton::clicked, this, [this] { OnAutomatic(); });
                break;
            case homeid::kSettings:
                // The same settings dialog as the list view's Settings button.
                button->setEnabled(static_cast<bool>(openSettings));
                if (openSettings) connect(button, &QAbstractButton::clicked, this, openSettings);
                break;
            default:
                break;
        }
    }
    auto* logo = new PictureControl(QStringLiteral("TAVRINA1c Expert"), this);
    logo->setProperty("controlId", homeid::kLogo);
    logo->setGeometry(31, 648, 233, 68);
    connect(logo, &QAbstractButton::clicked, this, [this] { OpenAbout(); });
}

void CHbA1c720MainView::OnAutomatic() {
    LinkState& link = host_.Link();
    if (link.AutoMode != 0) return;
    if (!host_.AskYesNo("Do you want to switch to automatic mode?")) return;
    link.AutoMode = 1;
    host_.SendLinkCommand(cmd::kStartAuto);
}

void CHbA1c720MainView::OpenAbout() {
    if (AboutDialog* open = About()) {
        open->raise();
        return;
    }
    // Modal without a nested event loop: the box blocks the window until OK.
    auto* about = new AboutDialog(this);
    about->setAttribute(Qt::WA_DeleteOnClose);
    about->setWindowModality(Qt::ApplicationModal);
    about->show();
}

AboutDialog* CHbA1c720MainView::About() const {
    const auto dialogs = findChildren<AboutDialog*>(QString(), Qt::FindDirectChildrenOnly);
    for (AboutDialog* dialog : dialogs)
        if (dialog->isVisible()) return dialog;
    return nullptr;
}

}  // namespace tav
