#include "controls/art_button.h"

#include <QApplication>
#include <QPainter>

#include "controls/skin_resources.h"

namespace tav {

namespace {

// The plate's rounded corners: kept unscaled when a face is stretched.
constexpr int kPlateCorner = 14;

// Draws `image` stretched to `target`, keeping its corners of `corner` pixels
// as they are and stretching only its edges and middle.
void DrawStretched(QPainter& p, const QImage& image, const QRect& target, int corner) {
    if (target.size() == image.size()) {
        p.drawImage(target.topLeft(), image);
        return;
    }
    const int c = std::min({corner, target.width() / 2, target.height() / 2});
    const int sw = image.width(), sh = image.height();
    const int xs[4] = {0, c, sw - c, sw}, ys[4] = {0, c, sh - c, sh};
    const int xt[4] = {target.left(), target.left() + c, target.right() + 1 - c,
                       target.right() + 1};
    const int yt[4] = {target.top(), target.top() + c, target.bottom() + 1 - c,
                       target.bottom() + 1};
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col)
            p.drawImage(QRect(QPoint(xt[col], yt[row]), QPoint(xt[col + 1] - 1, yt[row + 1] - 1)),
                        image,
                        QRect(QPoint(xs[col], ys[row]), QPoint(xs[col + 1] - 1, ys[row + 1] - 1)));
}

}  // namespace

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

int SymbolResource(Art art) {
    switch (art) {
        case Art::Home:
            return resid::kSymbolHome;
        case Art::Download:
            return resid::kSymbolDownload;
        case Art::List:
            return resid::kSymbolList;
        case Art::Graph:
            return resid::kSymbolGraph;
        case Art::Automatic:
            return resid::kSymbolAutomatic;
        case Art::Mode:
            return resid::kSymbolMode;
        case Art::Export:
            return resid::kSymbolExport;
        case Art::Settings:
            return resid::kSymbolSettings;
        case Art::Search:
            return resid::kSymbolSearch;
        case Art::Print:
            return resid::kSymbolPrint;
        case Art::Ok:
            return resid::kSymbolOk;
        case Art::Cancel:
            return resid::kSymbolCancel;
    }
    return resid::kSymbolHome;
}

void PaintArt(QPainter& p, Art art, const QRectF& rect, const QColor& color) {
    QImage symbol = LoadResourceImage(SymbolResource(art), "PNG");
    if (symbol.isNull()) return;
    if (color != Qt::white) {
        QPainter tint(&symbol);
        tint.setCompositionMode(QPainter::CompositionMode_SourceIn);
        tint.fillRect(symbol.rect(), color);
    }
    p.save();
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(rect, symbol);
    p.restore();
}

QImage ArtFace(Art art, const QString& caption, const QSize& size, bool checked) {
    QImage face(size, QImage::Format_ARGB32_Premultiplied);
    face.fill(Qt::transparent);
    if (size.isEmpty()) return face;
    QPainter p(&face);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.setRenderHint(QPainter::TextAntialiasing);
    const QImage plate = LoadResourceImage(checked ? resid::kPlateChecked : resid::kPlate, "PNG");
    if (!plate.isNull()) DrawStretched(p, plate, face.rect(), kPlateCorner);

    const QRectF inner = QRectF(face.rect()).adjusted(2, 2, -2, -2);
    const bool stacked = size.height() >= 50;
    QRectF symbol, text;
    if (stacked) {
        const double side = std::min(inner.width(), inner.height()) * 0.54;
        symbol =
            QRectF(inner.center().x() - side / 2, inner.top() + inner.height() * 0.1, side, side);
        text = QRectF(inner.left() + 1, inner.top() + inner.height() * 0.68, inner.width() - 2,
                      inner.height() * 0.3);
    } else {
        const double side = std::max(8.0, inner.height() - 10);
        symbol = QRectF(inner.left() + 6, inner.center().y() - side / 2, side, side);
        text = QRectF(symbol.right() + 4, inner.top(), inner.right() - 6 - symbol.right() - 4,
                      inner.height());
    }
    PaintArt(p, art, symbol, Qt::white);

    // The caption shrinks until it fits rather than being cut.
    QFont font = QApplication::font();
    int pixels = stacked ? 11 : 13;
    font.setPixelSize(pixels);
    while (pixels > 7 && QFontMetricsF(font).horizontalAdvance(caption) > text.width()) {
        font.setPixelSize(--pixels);
    }
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(text, (stacked ? Qt::AlignTop : Qt::AlignVCenter) | Qt::AlignHCenter, caption);
    return face;
}

ArtButton::ArtButton(Art art, const QString& caption, QWidget* parent)
    : ImageButton(parent), art_(art) {
    setText(caption);
    SetTooltip(caption);
    setCursor(Qt::PointingHandCursor);
    resize(75, 75);
    DrawFaces();
}

void ArtButton::DrawFaces() {
    faceSize_ = size();
    SetImage(ArtFace(art_, text(), faceSize_, false));
    SetCheckedImage(ArtFace(art_, text(), faceSize_, true));
}

void ArtButton::resizeEvent(QResizeEvent* event) {
    // The faces are drawn to the button's size.
    if (size() != faceSize_) DrawFaces();
    ImageButton::resizeEvent(event);
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

void AddArtButtonRow(QWidget* parent, const std::vector<ArtButtonEntry>& buttons, int x, int y) {
    for (const ArtButtonEntry& entry : buttons) {
        auto* button = new ArtButton(entry.art, QString::fromLatin1(entry.caption), parent);
        button->setProperty("controlId", entry.id);
        button->setGeometry(x, y, 75, 75);
        x += 75;
    }
}

}  // namespace tav
