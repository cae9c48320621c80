#include "views/frame_view.h"

#include <QLabel>
#include <QPainter>

#include "controls/art_button.h"

namespace tav {

void FrameView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QLinearGradient fill(0, 0, 0, height());
    fill.setColorAt(0.0, QColor(236, 242, 248));
    fill.setColorAt(1.0, QColor(200, 214, 230));
    painter.fillRect(rect(), fill);
}

QWidget* FindControl(const QWidget* parent, int controlId) {
    for (QWidget* child : parent->findChildren<QWidget*>()) {
        if (child->property("controlId").toInt() == controlId) return child;
    }
    return nullptr;
}

PlaceholderView::PlaceholderView(ViewHost& host, const QString& title,
                                 const std::vector<Button>& buttons, QWidget* parent)
    : FrameView(parent) {
    auto* label = new QLabel(title, this);
    QFont font = label->font();
    font.setPixelSize(28);
    font.setBold(true);
    label->setFont(font);
    label->setGeometry(40, 120, 900, 60);
    int x = 1024 - 20 - static_cast<int>(buttons.size()) * 75;
    for (const Button& b : buttons) {
        auto* button = new ArtButton(ArtForCommand(b.Command), QString::fromLatin1(b.Label), this);
        button->setProperty("controlId", b.ControlId);
        button->setGeometry(x, 10, 75, 75);
        x += 75;
        const int command = b.Command;
        connect(button, &QAbstractButton::clicked, this,
                [&host, command] { host.SendLinkCommand(command); });
    }
}

}  // namespace tav
