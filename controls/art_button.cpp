#include "controls/art_button.h"

#include <QEnterEvent>
#include <QPainter>
#include <QPainterPath>

namespace tav {

Art ArtForCommand(int command) {
    switch (command) {
        case 1:
            return Art::Home;
        case 2:
            return Art::Download;
        case 3:
            return Art::List;
        case 4:
            return Art::Graph;
        default:
            return Art::Automatic;
    }
}

void PaintArt(QPainter& p, Art art, const QRectF& r, const QColor& color) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    QPen pen(color, std::max(2.0, r.width() / 14));
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    const double w = r.width(), h = r.height(), x = r.x(), y = r.y();
    auto at = [&](double fx, double fy) { return QPointF(x + fx * w, y + fy * h); };
    switch (art) {
        case Art::Home: {
            QPolygonF roof{at(0.1, 0.5), at(0.5, 0.12), at(0.9, 0.5)};
            p.drawPolyline(roof);
            p.drawRect(QRectF(at(0.22, 0.45), at(0.78, 0.88)));
            p.drawRect(QRectF(at(0.43, 0.62), at(0.57, 0.88)));
            break;
        }
        case Art::Download: {
            p.drawLine(at(0.5, 0.1), at(0.5, 0.62));
            p.drawPolyline(QPolygonF{at(0.3, 0.45), at(0.5, 0.65), at(0.7, 0.45)});
            p.drawPolyline(
                QPolygonF{at(0.12, 0.65), at(0.12, 0.88), at(0.88, 0.88), at(0.88, 0.65)});
            break;
        }
        case Art::List: {
            for (int i = 0; i < 4; ++i) {
                const double fy = 0.2 + i * 0.2;
                p.drawPoint(at(0.15, fy));
                p.drawLine(at(0.3, fy), at(0.88, fy));
            }
            break;
        }
        case Art::Graph: {
            p.drawPolyline(QPolygonF{at(0.1, 0.1), at(0.1, 0.9), at(0.9, 0.9)});
            p.drawPolyline(QPolygonF{at(0.18, 0.72), at(0.4, 0.45), at(0.6, 0.6), at(0.86, 0.22)});
            break;
        }
        case Art::Automatic:
        case Art::Mode: {
            QRectF ring(at(0.18, 0.18), at(0.82, 0.82));
            p.drawArc(ring, 30 * 16, 150 * 16);
            p.drawArc(ring, 210 * 16, 150 * 16);
            p.drawPolyline(QPolygonF{at(0.1, 0.38), at(0.2, 0.5), at(0.32, 0.4)});
            p.drawPolyline(QPolygonF{at(0.9, 0.62), at(0.8, 0.5), at(0.68, 0.6)});
            if (art == Art::Automatic) {
                QFont f = p.font();
                f.setPixelSize(static_cast<int>(h * 0.3));
                f.setBold(true);
                p.setFont(f);
                p.drawText(r, Qt::AlignCenter, QStringLiteral("A"));
            }
            break;
        }
        case Art::Export: {
            p.drawRect(QRectF(at(0.2, 0.1), at(0.8, 0.9)));
            QFont f = p.font();
            f.setPixelSize(static_cast<int>(h * 0.24));
            f.setBold(true);
            p.setFont(f);
            p.drawText(r, Qt::AlignCenter, QStringLiteral("CSV"));
            break;
        }
        case Art::Settings: {
            QRectF hub(at(0.32, 0.32), at(0.68, 0.68));
            p.drawEllipse(hub);
            for (int i = 0; i < 8; ++i) {
                p.save();
                p.translate(r.center());
                p.rotate(i * 45.0);
                p.drawLine(QPointF(0, -h * 0.2), QPointF(0, -h * 0.36));
                p.restore();
            }
            break;
        }
        case Art::Search: {
            p.drawEllipse(QRectF(at(0.15, 0.15), at(0.62, 0.62)));
            p.drawLine(at(0.58, 0.58), at(0.86, 0.86));
            break;
        }
        case Art::Print: {
            p.drawRect(QRectF(at(0.12, 0.4), at(0.88, 0.72)));
            p.drawRect(QRectF(at(0.28, 0.12), at(0.72, 0.4)));
            p.drawRect(QRectF(at(0.28, 0.6), at(0.72, 0.9)));
            break;
        }
    }
    p.restore();
}

ArtButton::ArtButton(Art art, const QString& caption, QWidget* parent)
    : QAbstractButton(parent), art_(art) {
    setText(caption);
    setToolTip(caption);
    setCursor(Qt::PointingHandCursor);
    resize(75, 75);
}

void ArtButton::enterEvent(QEnterEvent* event) {
    hover_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void ArtButton::leaveEvent(QEvent* event) {
    hover_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void ArtButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QRectF face = QRectF(rect()).adjusted(2, 2, -2, -2);
    if (isDown()) face.translate(1, 1);
    QColor top = isEnabled() ? QColor(70, 130, 190) : QColor(160, 160, 160);
    QColor bottom = isEnabled() ? QColor(30, 80, 140) : QColor(120, 120, 120);
    if (hover_ && isEnabled()) {
        top = top.lighter(112);
        bottom = bottom.lighter(112);
    }
    QLinearGradient fill(face.topLeft(), face.bottomLeft());
    fill.setColorAt(0, top);
    fill.setColorAt(1, bottom);
    p.setPen(QPen(QColor(20, 50, 90), 1));
    p.setBrush(fill);
    p.drawRoundedRect(face, 10, 10);
    const QRectF symbol(face.center().x() - face.width() * 0.27, face.top() + face.height() * 0.1,
                        face.width() * 0.54, face.height() * 0.54);
    PaintArt(p, art_, symbol, Qt::white);
    QFont f = font();
    f.setPixelSize(11);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(
        QRectF(face.left(), face.top() + face.height() * 0.68, face.width(), face.height() * 0.3),
        Qt::AlignHCenter | Qt::AlignTop, text());
}

PictureControl::PictureControl(const QString& text, QWidget* parent) : QAbstractButton(parent) {
    setText(text);
    setCursor(Qt::PointingHandCursor);
}

void PictureControl::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QRectF box = QRectF(rect()).adjusted(1, 1, -1, -1);
    p.setPen(QPen(QColor(30, 80, 140), 2));
    p.setBrush(QColor(255, 255, 255, 210));
    p.drawRoundedRect(box, 12, 12);
    QFont f = font();
    f.setPixelSize(static_cast<int>(box.height() * 0.3));
    f.setBold(true);
    p.setFont(f);
    p.setPen(QColor(30, 80, 140));
    p.drawText(box, Qt::AlignCenter, text());
}

}  // namespace tav
