// A push button painted from one or two images (normal and checked look),
// drawn over a copy of its parent's background so that transparent parts of
// the image show the parent's skin. The seven state images are composed once
// and each paint only copies the one that fits: hover brightens the image,
// a press shifts it one pixel right and down, a disabled button is grey.
#pragma once

#include <QImage>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <array>

namespace tav {

// A 5 x 5 colour matrix applied to a row vector (r, g, b, a, 1) of channels
// in 0..1: out[j] = sum(in[i] * m[i][j]).
using ColourMatrix = std::array<std::array<float, 5>, 5>;

// Red, green and blue times 1.05 plus 0.05; alpha unchanged.
extern const ColourMatrix kBrightenMatrix;
// Every colour channel 0.3 red + 0.59 green + 0.11 blue; alpha unchanged.
extern const ColourMatrix kGreyMatrix;

// `image` with every pixel passed through `matrix` (on straight, not
// premultiplied, channels; results clamped to 0..1).
QImage ApplyColourMatrix(const QImage& image, const ColourMatrix& matrix);

class ImageButton : public QPushButton {
    Q_OBJECT
  public:
    enum State {
        kNormal,
        kPressed,
        kHover,
        kChecked,
        kCheckedPressed,
        kCheckedHover,
        kDisabled,
        kStateCount
    };
    static constexpr int kTooltipDelayMs = 2000;

    explicit ImageButton(QWidget* parent = nullptr);

    // The normal (first) and checked (second) look from the program's
    // resources; false leaves that look empty.
    bool LoadImage(int id, const char* type = "PNG");
    bool LoadCheckedImage(int id, const char* type = "PNG");
    // The same from an image the caller made.
    void SetImage(const QImage& image);
    void SetCheckedImage(const QImage& image);
    bool HasImage() const { return !first_.isNull(); }

    // Copies the parent's own pixels under the button (what transparent parts
    // of the image show). The button does this itself before its first paint
    // and whenever it or its parent is moved or resized.
    void CaptureBackground();

    // Stores the tooltip text; an active tooltip shows after the mouse has
    // rested on the button for kTooltipDelayMs.
    void SetTooltip(const QString& text, bool activate = true);
    // A toggle button flips its checked look on every press.
    void SetToggle(bool toggle) { setCheckable(toggle); }
    bool Toggle() const { return isCheckable(); }

    bool Hovering() const { return hover_; }
    bool TooltipPending() const { return tooltipTimer_.isActive(); }
    // The state the next paint shows, and its image (composed on first use).
    State CurrentState() const;
    QImage StateImage(State state);

  protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void Compose();
    void Invalidate();
    void WatchParent();
    void ShowTooltip();

    bool composed_ = false;
    bool hover_ = false;
    bool tooltipActive_ = true;
    QImage checkedImage_;
    QImage first_;
    QImage background_;
    std::array<QImage, kStateCount> states_;
    QTimer tooltipTimer_;
    QPointer<QWidget> watchedParent_;
};

}  // namespace tav
