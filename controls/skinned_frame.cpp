#include "controls/skinned_frame.h"

#include <QFontDatabase>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>
#include <cmath>

#include "controls/skin_palette.h"
#include "controls/skin_resources.h"

namespace tav {

namespace {

using namespace palette;

constexpr int kButtonWidth = 21;
constexpr int kButtonHeight = 19;

}  // namespace

QRegion RoundedRegion(const QSize& size, int ellipse) {
    const int w = size.width(), h = size.height();
    if (w <= 0 || h <= 0) return {};
    const double r = std::min({ellipse / 2.0, w / 2.0, h / 2.0});
    const int rows = static_cast<int>(std::ceil(r));
    QRegion region(0, rows, w, std::max(0, h - 2 * rows));
    for (int y = 0; y < rows; ++y) {
        // The first pixel whose centre lies inside the corner ellipse.
        const double dy = r - (y + 0.5);
        const double dx = std::sqrt(std::max(0.0, r * r - dy * dy));
        const int inset = static_cast<int>(std::ceil(r - dx - 0.5));
        const int width = w - 2 * inset;
        if (width <= 0) continue;
        region += QRect(inset, y, width, 1);
        region += QRect(inset, h - 1 - y, width, 1);
    }
    return region;
}

VOvoziRurud::VOvoziRurud(QWidget* parent) : QMainWindow(parent) {
    // No system caption and no sizing border: the frame draws its own.
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    setContentsMargins(kClientInsets);
    setAttribute(Qt::WA_OpaquePaintEvent);
    const struct {
        Piece piece;
        int id;
    } pieces[] = {{kCornerLeft, resid::kCornerLowerLeft},
                  {kCornerRight, resid::kCornerLowerRight},
                  {kIcon, resid::kCaptionIcon},
                  {kTile, resid::kCaptionTile},
                  {kClose, resid::kClose},
                  {kMaximize, resid::kMaximize},
                  {kMinimize, resid::kMinimize},
                  {kClosePressed, resid::kClosePressed},
                  {kMaximizePressed, resid::kMaximizePressed},
                  {kMinimizePressed, resid::kMinimizePressed}};
    for (const auto& entry : pieces) pieces_[entry.piece] = LoadResourceImage(entry.id, "BITMAP");
    captionFont_ = QFontDatabase::systemFont(QFontDatabase::TitleFont);
    captionFont_.setPixelSize(12);
    captionFont_.setBold(true);
}

void VOvoziRurud::SetFixedClientSize(const QSize& client) {
    setFixedSize(client.grownBy(kClientInsets));
}

int VOvoziRurud::CaptionButtonAt(const QPoint& screenPoint) const {
    const QPoint origin = mapToGlobal(QPoint(0, 0));
    const int right = origin.x() + width();  // one past the last column
    if (screenPoint.y() >= origin.y() + kCaptionHeight) return kNoButton;
    if (screenPoint.x() > right - 23) return kCloseButton;
    if (screenPoint.x() > right - 44) return kMaximizeButton;
    if (screenPoint.x() > right - 65) return kMinimizeButton;
    return kNoButton;
}

bool VOvoziRurud::StartSystemMove() {
    QWindow* window = windowHandle();
    return window && window->startSystemMove();
}

void VOvoziRurud::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && event->position().y() < kCaptionHeight) {
        const int button = CaptionButtonAt(event->globalPosition().toPoint());
        if (button != kNoButton) {
            pressed_ = button;
            update(0, 0, width(), kCaptionHeight);
        } else {
            StartSystemMove();
        }
        event->accept();
        return;
    }
    QMainWindow::mousePressEvent(event);
}

void VOvoziRurud::mouseDoubleClickEvent(QMouseEvent* event) {
    // A quick second click on a caption button is a second press.
    if (event->button() == Qt::LeftButton && event->position().y() < kCaptionHeight) {
        mousePressEvent(event);
        return;
    }
    QMainWindow::mouseDoubleClickEvent(event);
}

void VOvoziRurud::mouseReleaseEvent(QMouseEvent* event) {
    if (pressed_ == kNoButton || event->button() != Qt::LeftButton) {
        QMainWindow::mouseReleaseEvent(event);
        return;
    }
    const int button = pressed_;
    ReleasePress();
    event->accept();
    // Only a release on the button that was pressed acts.
    if (CaptionButtonAt(event->globalPosition().toPoint()) != button) return;
    switch (button) {
        case kMinimizeButton:
            showMinimized();
            break;
        case kMaximizeButton:
            if (isMaximized())
                showNormal();
            else
                showMaximized();
            break;
        case kCloseButton:
            close();
            break;
        default:
            break;
    }
}

void VOvoziRurud::ReleasePress() {
    pressed_ = kNoButton;
    update(0, 0, width(), kCaptionHeight);
}

bool VOvoziRurud::event(QEvent* event) {
    // A press that loses the mouse (another window took it) ends unreleased.
    if (pressed_ != kNoButton &&
        (event->type() == QEvent::WindowDeactivate || event->type() == QEvent::Hide))
        ReleasePress();
    return QMainWindow::event(event);
}

void VOvoziRurud::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    setMask(RoundedRegion(size(), kCornerEllipse));
}

void VOvoziRurud::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    PaintFrame(painter);
}

void VOvoziRurud::PaintFrame(QPainter& p) const {
    const int w = width(), h = height();
    auto line = [&p](int x, int y, int width, int height, const QColor& colour) {
        if (width > 0 && height > 0) p.fillRect(x, y, width, height, colour);
    };
    // The corners outside the rounded body lie outside the window's shape.
    p.fillRect(rect(), Qt::black);
    p.setPen(Qt::black);
    p.setBrush(kBody);
    p.drawRoundedRect(QRect(0, 0, w - 2, h - 2), 7, 7);

    line(0, 19, w, 1, kBandEdge);
    const int sideLength = h - 26;
    line(1, 20, 1, sideLength, Qt::white);
    line(5, 20, 1, sideLength, kInnerLine);
    line(w - 3, 20, 1, sideLength, kRightShadow);
    line(w - 6, 20, 1, sideLength, Qt::white);
    line(w - 7, 20, 1, sideLength, kInnerLine);
    const int bottomLength = w - 11;
    line(5, h - 3, bottomLength, 1, kBottomShadow);
    line(5, h - 6, bottomLength, 1, Qt::white);
    line(5, h - 7, bottomLength, 1, kInnerLine);
    line(10, 1, w - 20, 1, kBandHighlight);

    const QImage& tile = pieces_[kTile];
    if (!tile.isNull())
        for (int x = 23; x < w - 33; x += 30) p.drawImage(QRect(x, 2, 30, 17), tile);

    auto piece = [&p, this](Piece which, const QRect& where) {
        if (!pieces_[which].isNull()) p.drawImage(where, pieces_[which]);
    };
    piece(kCornerLeft, QRect(1, h - 23, 21, 21));
    piece(kCornerRight, QRect(w - 23, h - 23, 21, 21));
    piece(kIcon, QRect(1, 1, 22, 19));

    piece(pressed_ == kCloseButton ? kClosePressed : kClose,
          QRect(w - 23, 1, kButtonWidth, kButtonHeight));
    piece(pressed_ == kMaximizeButton ? kMaximizePressed : kMaximize,
          QRect(w - 44, 1, kButtonWidth, kButtonHeight));
    piece(pressed_ == kMinimizeButton ? kMinimizePressed : kMinimize,
          QRect(w - 65, 1, kButtonWidth, kButtonHeight));

    const QRect titleRect(30, 0, w - 100, kCaptionHeight);
    p.setFont(captionFont_);
    p.setPen(Qt::white);
    const QString title =
        QFontMetrics(captionFont_).elidedText(windowTitle(), Qt::ElideRight, titleRect.width());
    p.drawText(titleRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextDontClip,
               title);
}

}  // namespace tav
