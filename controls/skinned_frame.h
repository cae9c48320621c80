// The skinned main-window frame: no system caption or border, but a drawn
// 20-pixel caption band (tile, icon, white title, minimize, maximize/restore
// and close buttons), bevelled border lines, and a window shape with rounded
// corners. The caption buttons act through the ordinary window commands, so
// closing runs the window's own close handling; a press elsewhere in the band
// moves the window through the window system's own move.
#pragma once

#include <QFont>
#include <QImage>
#include <QMainWindow>
#include <QMargins>
#include <QRegion>
#include <array>

namespace tav {

// The window shape: the rectangle of `size` with corner ellipses of
// `ellipse` x `ellipse` pixels; a pixel belongs to it when its centre lies
// inside.
QRegion RoundedRegion(const QSize& size, int ellipse);

class VOvoziRurud : public QMainWindow {
    Q_OBJECT
  public:
    enum CaptionButton {
        kNoButton = 0,
        kMinimizeButton = 1,
        kMaximizeButton = 2,
        kCloseButton = 3
    };
    static constexpr int kCaptionHeight = 20;
    static constexpr int kCornerEllipse = 11;
    // Where the client area (central widget and status bar) sits inside the
    // drawn frame: inside the border lines and under the caption band.
    static constexpr QMargins kClientInsets{6, 20, 7, 7};

    explicit VOvoziRurud(QWidget* parent = nullptr);

    // Fixes the window to a client area of `client` plus the drawn frame.
    void SetFixedClientSize(const QSize& client);

    // The caption button under a point in screen coordinates (0 when none).
    int CaptionButtonAt(const QPoint& screenPoint) const;
    int PressedButton() const { return pressed_; }

  protected:
    // Hands the window to the window system's interactive move; false where
    // the platform has none. Tests replace it.
    virtual bool StartSystemMove();

    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    enum Piece {
        kCornerLeft,
        kCornerRight,
        kIcon,
        kTile,
        kClose,
        kMaximize,
        kMinimize,
        kClosePressed,
        kMaximizePressed,
        kMinimizePressed,
        kPieceCount
    };
    void PaintFrame(QPainter& painter) const;
    void ReleasePress();

    std::array<QImage, kPieceCount> pieces_;
    QFont captionFont_;
    int pressed_ = kNoButton;
};

}  // namespace tav
