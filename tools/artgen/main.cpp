// tav-artgen: draws the program's own artwork and writes it as PNG files:
// the face plates and symbols of the image buttons, and the pieces of the
// skinned frame (caption tile, caption icon, caption buttons, lower corners).
// The PNGs are kept in res/png/ and compiled into the program through
// res/tavrina1c.qrc; run this after changing a drawing here.
//
//   tav-artgen OUT_DIR
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>
#include <functional>

#include "controls/skin_palette.h"

namespace {

// Colours the frame pieces share with the lines the frame draws itself.
using namespace tav::palette;

// The caption band's gradient, from its top row (y = 2 of the window) down.
QLinearGradient BandGradient(double top, double bottom) {
    QLinearGradient g(0, top, 0, bottom);
    g.setColorAt(0.0, QColor(74, 108, 176));
    g.setColorAt(0.45, QColor(38, 66, 128));
    g.setColorAt(1.0, QColor(20, 36, 78));
    return g;
}

using Draw = std::function<void(QPainter&, const QSize&)>;

bool Write(const QString& dir, const char* name, QSize size, const Draw& draw) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        draw(p, size);
    }
    const QString path = QDir(dir).filePath(QString::fromLatin1(name) + ".png");
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "tav-artgen: cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

// ---- Image button faces and symbols ----

void Plate(QPainter& p, const QSize& s, bool checked) {
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF face = QRectF(QPointF(0, 0), QSizeF(s)).adjusted(2.5, 2.5, -2.5, -2.5);
    QLinearGradient fill(face.topLeft(), face.bottomLeft());
    if (checked) {
        fill.setColorAt(0, QColor(22, 58, 108));
        fill.setColorAt(1, QColor(54, 112, 176));
    } else {
        fill.setColorAt(0, QColor(74, 136, 198));
        fill.setColorAt(1, QColor(28, 78, 140));
    }
    p.setPen(checked ? QPen(QColor(236, 184, 52), 2) : QPen(QColor(20, 50, 90), 1));
    p.setBrush(fill);
    p.drawRoundedRect(face, 10, 10);
    // A soft gloss over the upper half.
    QPainterPath gloss;
    const QRectF upper = face.adjusted(3, 3, -3, -face.height() * 0.52);
    gloss.addRoundedRect(upper, 8, 8);
    QLinearGradient shine(upper.topLeft(), upper.bottomLeft());
    shine.setColorAt(0, QColor(255, 255, 255, checked ? 28 : 70));
    shine.setColorAt(1, QColor(255, 255, 255, 0));
    p.fillPath(gloss, shine);
}

enum class Symbol {
    Home,
    Download,
    List,
    Graph,
    Automatic,
    Mode,
    Export,
    Settings,
    Search,
    Print,
    Ok,
    Cancel
};

void DrawSymbol(QPainter& p, Symbol symbol, const QSize& s) {
    p.setRenderHint(QPainter::Antialiasing);
    const double w = s.width(), h = s.height();
    QPen pen(Qt::white, std::max(2.0, w / 14));
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    auto at = [&](double fx, double fy) { return QPointF(fx * w, fy * h); };
    auto letters = [&](const QString& text, double size) {
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setPixelSize(static_cast<int>(h * size));
        f.setBold(true);
        p.setFont(f);
        p.drawText(QRectF(0, 0, w, h), Qt::AlignCenter, text);
    };
    switch (symbol) {
        case Symbol::Home:
            p.drawPolyline(QPolygonF{at(0.1, 0.5), at(0.5, 0.12), at(0.9, 0.5)});
            p.drawRect(QRectF(at(0.22, 0.45), at(0.78, 0.88)));
            p.drawRect(QRectF(at(0.43, 0.62), at(0.57, 0.88)));
            break;
        case Symbol::Download:
            p.drawLine(at(0.5, 0.1), at(0.5, 0.62));
            p.drawPolyline(QPolygonF{at(0.3, 0.45), at(0.5, 0.65), at(0.7, 0.45)});
            p.drawPolyline(
                QPolygonF{at(0.12, 0.65), at(0.12, 0.88), at(0.88, 0.88), at(0.88, 0.65)});
            break;
        case Symbol::List:
            for (int i = 0; i < 4; ++i) {
                const double fy = 0.2 + i * 0.2;
                p.drawPoint(at(0.15, fy));
                p.drawLine(at(0.3, fy), at(0.88, fy));
            }
            break;
        case Symbol::Graph:
            p.drawPolyline(QPolygonF{at(0.1, 0.1), at(0.1, 0.9), at(0.9, 0.9)});
            p.drawPolyline(QPolygonF{at(0.18, 0.72), at(0.4, 0.45), at(0.6, 0.6), at(0.86, 0.22)});
            break;
        case Symbol::Automatic:
        case Symbol::Mode: {
            QRectF ring(at(0.18, 0.18), at(0.82, 0.82));
            p.drawArc(ring, 30 * 16, 150 * 16);
            p.drawArc(ring, 210 * 16, 150 * 16);
            p.drawPolyline(QPolygonF{at(0.1, 0.38), at(0.2, 0.5), at(0.32, 0.4)});
            p.drawPolyline(QPolygonF{at(0.9, 0.62), at(0.8, 0.5), at(0.68, 0.6)});
            if (symbol == Symbol::Automatic) letters(QStringLiteral("A"), 0.3);
            break;
        }
        case Symbol::Export:
            p.drawRect(QRectF(at(0.2, 0.1), at(0.8, 0.9)));
            letters(QStringLiteral("CSV"), 0.24);
            break;
        case Symbol::Settings: {
            p.drawEllipse(QRectF(at(0.32, 0.32), at(0.68, 0.68)));
            for (int i = 0; i < 8; ++i) {
                p.save();
                p.translate(w / 2, h / 2);
                p.rotate(i * 45.0);
                p.drawLine(QPointF(0, -h * 0.2), QPointF(0, -h * 0.36));
                p.restore();
            }
            break;
        }
        case Symbol::Search:
            p.drawEllipse(QRectF(at(0.15, 0.15), at(0.62, 0.62)));
            p.drawLine(at(0.58, 0.58), at(0.86, 0.86));
            break;
        case Symbol::Print:
            p.drawRect(QRectF(at(0.12, 0.4), at(0.88, 0.72)));
            p.drawRect(QRectF(at(0.28, 0.12), at(0.72, 0.4)));
            p.drawRect(QRectF(at(0.28, 0.6), at(0.72, 0.9)));
            break;
        case Symbol::Ok:
            p.drawPolyline(QPolygonF{at(0.14, 0.52), at(0.4, 0.78), at(0.86, 0.24)});
            break;
        case Symbol::Cancel:
            p.drawLine(at(0.22, 0.22), at(0.78, 0.78));
            p.drawLine(at(0.78, 0.22), at(0.22, 0.78));
            break;
    }
}

// ---- Frame pieces ----

// The caption band behind a 19-row piece drawn at y = 1 of the window: the
// highlight row, the gradient rows of the tile, the band's dark lower edge.
void BandRows(QPainter& p, const QSize& s) {
    p.fillRect(QRect(0, 1, s.width(), 17), BandGradient(1, 18));
    p.fillRect(QRect(0, 0, s.width(), 1), kBandHighlight);
    p.fillRect(QRect(0, 18, s.width(), 1), kBandEdge);
}

enum class Glyph { Close, Maximize, Minimize };

void CaptionButton(QPainter& p, const QSize& s, Glyph glyph, bool pressed) {
    BandRows(p, s);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF pill = QRectF(1.5, 2.5, 17, 14).translated(pressed ? 1 : 0, pressed ? 1 : 0);
    QLinearGradient fill(pill.topLeft(), pill.bottomLeft());
    const bool close = glyph == Glyph::Close;
    QColor top = close ? QColor(226, 104, 84) : QColor(112, 146, 206);
    QColor bottom = close ? QColor(170, 40, 28) : QColor(44, 76, 142);
    if (pressed) {
        std::swap(top, bottom);
        top = top.darker(115);
        bottom = bottom.darker(115);
    }
    fill.setColorAt(0, top);
    fill.setColorAt(1, bottom);
    p.setPen(QPen(QColor(10, 18, 40), 1));
    p.setBrush(fill);
    p.drawRoundedRect(pill, 3.5, 3.5);
    QPen pen(Qt::white, 1.8);
    pen.setCapStyle(Qt::RoundCap);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    const QPointF c = pill.center();
    switch (glyph) {
        case Glyph::Close:
            p.drawLine(c + QPointF(-3.5, -3.5), c + QPointF(3.5, 3.5));
            p.drawLine(c + QPointF(3.5, -3.5), c + QPointF(-3.5, 3.5));
            break;
        case Glyph::Maximize:
            p.setPen(QPen(Qt::white, 1.4));
            p.drawRect(QRectF(c.x() - 4, c.y() - 3.5, 8, 7));
            p.fillRect(QRectF(c.x() - 4, c.y() - 3.5, 8, 2), Qt::white);
            break;
        case Glyph::Minimize:
            p.drawLine(c + QPointF(-4, 3), c + QPointF(4, 3));
            break;
    }
}

// The program's emblem: a drop of blood on the caption band.
void CaptionIcon(QPainter& p, const QSize& s) {
    p.fillRect(QRect(QPoint(0, 0), s), BandGradient(0, s.height()));
    p.fillRect(QRect(0, 0, s.width(), 1), kBandHighlight);
    p.fillRect(QRect(0, s.height() - 1, s.width(), 1), kBandEdge);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath drop;
    drop.moveTo(10.5, 2.5);
    drop.cubicTo(12.5, 7.0, 16.5, 10.0, 16.5, 13.5);
    drop.cubicTo(16.5, 17.0, 13.8, 19.0, 10.5, 19.0);
    drop.cubicTo(7.2, 19.0, 4.5, 17.0, 4.5, 13.5);
    drop.cubicTo(4.5, 10.0, 8.5, 7.0, 10.5, 2.5);
    QLinearGradient red(4, 4, 16, 19);
    red.setColorAt(0, QColor(240, 86, 80));
    red.setColorAt(1, QColor(150, 14, 22));
    p.setPen(QPen(QColor(255, 255, 255, 200), 1));
    p.setBrush(red);
    p.drawPath(drop);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 170));
    p.drawEllipse(QRectF(7.0, 11.5, 2.6, 3.6));
}

// A lower corner of the frame: joins the border lines of the side and of the
// bottom edge with rounded turns. `right` mirrors it for the lower-right one.
void Corner(QPainter& p, const QSize& s, bool right) {
    if (right) {
        p.translate(s.width(), 0);
        p.scale(-1, 1);
    }
    // Local coordinates of the left corner: the window's x = 1 + cx and
    // y = height - 23 + cy.
    p.fillRect(QRect(QPoint(0, 0), s), kBody);
    p.setRenderHint(QPainter::Antialiasing);
    // The outline of the window's rounded body and what lies outside it.
    QPainterPath outside;
    outside.addRect(QRectF(-1, 0, 23, 22));
    QPainterPath body;
    body.addRoundedRect(QRectF(-0.5, -14.5, 40, 35), 7, 7);
    p.fillPath(outside.subtracted(body), Qt::black);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(body);
    // The outer light line turning into the bottom's light line.
    QPainterPath light;
    light.moveTo(right ? 1.5 : 0.5, 0);
    light.lineTo(right ? 1.5 : 0.5, 11.5);
    light.quadTo(right ? 1.5 : 0.5, 17.5, 6.5, 17.5);
    light.lineTo(21, 17.5);
    p.setPen(QPen(right ? kRightShadow : Qt::white, 1));
    if (right) {
        // On the right the outer line is the shadow, and the light line runs inside.
        QPainterPath shadow;
        shadow.moveTo(1.5, 0);
        shadow.lineTo(1.5, 14.5);
        shadow.quadTo(1.5, 20.5, 7.5, 20.5);
        shadow.lineTo(21, 20.5);
        p.drawPath(shadow);
        p.setPen(QPen(Qt::white, 1));
        QPainterPath inner;
        inner.moveTo(4.5, 0);
        inner.lineTo(4.5, 12.5);
        inner.quadTo(4.5, 17.5, 9.5, 17.5);
        inner.lineTo(21, 17.5);
        p.drawPath(inner);
    } else {
        p.drawPath(light);
        QPainterPath shadow;
        shadow.moveTo(6.5, 20.5);
        shadow.lineTo(21, 20.5);
        p.setPen(QPen(kBottomShadow, 1));
        p.drawPath(shadow);
    }
    // The client area's frame line: a square corner.
    p.setRenderHint(QPainter::Antialiasing, false);
    const int inner = right ? 5 : 4;
    p.fillRect(QRect(inner, 0, 1, 17), kInnerLine);
    p.fillRect(QRect(inner, 16, 21 - inner, 1), kInnerLine);
    // Under the client area: nothing of this shows; keep it the body colour.
    p.fillRect(QRect(inner + 1, 0, 21 - inner - 1, 16), kBody);
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: tav-artgen OUT_DIR\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    bool ok = true;
    auto write = [&](const char* name, QSize size, const Draw& draw) {
        ok = Write(out, name, size, draw) && ok;
    };

    write("plate", {75, 75}, [](QPainter& p, const QSize& s) { Plate(p, s, false); });
    write("plate-checked", {75, 75}, [](QPainter& p, const QSize& s) { Plate(p, s, true); });
    const struct {
        const char* name;
        Symbol symbol;
    } symbols[] = {{"home", Symbol::Home},
                   {"download", Symbol::Download},
                   {"list", Symbol::List},
                   {"graph", Symbol::Graph},
                   {"automatic", Symbol::Automatic},
                   {"mode", Symbol::Mode},
                   {"export", Symbol::Export},
                   {"settings", Symbol::Settings},
                   {"search", Symbol::Search},
                   {"print", Symbol::Print},
                   {"ok", Symbol::Ok},
                   {"cancel", Symbol::Cancel}};
    for (const auto& entry : symbols) {
        const Symbol symbol = entry.symbol;
        write((std::string("symbol-") + entry.name).c_str(), {48, 48},
              [symbol](QPainter& p, const QSize& s) { DrawSymbol(p, symbol, s); });
    }

    write("frame-corner-left", {21, 21}, [](QPainter& p, const QSize& s) { Corner(p, s, false); });
    write("frame-corner-right", {21, 21}, [](QPainter& p, const QSize& s) { Corner(p, s, true); });
    write("caption-icon", {21, 21}, CaptionIcon);
    write("caption-tile", {30, 17}, [](QPainter& p, const QSize& s) {
        p.fillRect(QRect(QPoint(0, 0), s), BandGradient(0, s.height()));
    });
    const struct {
        const char* name;
        Glyph glyph;
        bool pressed;
    } buttons[] = {{"caption-close", Glyph::Close, false},
                   {"caption-close-pressed", Glyph::Close, true},
                   {"caption-maximize", Glyph::Maximize, false},
                   {"caption-maximize-pressed", Glyph::Maximize, true},
                   {"caption-minimize", Glyph::Minimize, false},
                   {"caption-minimize-pressed", Glyph::Minimize, true}};
    for (const auto& entry : buttons) {
        const Glyph glyph = entry.glyph;
        const bool pressed = entry.pressed;
        write(entry.name, {21, 19}, [glyph, pressed](QPainter& p, const QSize& s) {
            CaptionButton(p, s, glyph, pressed);
        });
    }
    return ok ? 0 : 1;
}
