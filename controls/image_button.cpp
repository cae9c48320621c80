#include "controls/image_button.h"

#include <QCursor>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <algorithm>

#include "controls/skin_resources.h"

namespace tav {

const ColourMatrix kBrightenMatrix = {{{1.05f, 0, 0, 0, 0},
                                       {0, 1.05f, 0, 0, 0},
                                       {0, 0, 1.05f, 0, 0},
                                       {0, 0, 0, 1, 0},
                                       {0.05f, 0.05f, 0.05f, 0, 1}}};

const ColourMatrix kGreyMatrix = {{{0.3f, 0.3f, 0.3f, 0, 0},
                                   {0.59f, 0.59f, 0.59f, 0, 0},
                                   {0.11f, 0.11f, 0.11f, 0, 0},
                                   {0, 0, 0, 1, 0},
                                   {0, 0, 0, 0, 1}}};

QImage ApplyColourMatrix(const QImage& image, const ColourMatrix& m) {
    QImage out = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            const QRgb px = line[x];
            const float in[5] = {qRed(px) / 255.f, qGreen(px) / 255.f, qBlue(px) / 255.f,
                                 qAlpha(px) / 255.f, 1.f};
            int channel[4];
            for (int j = 0; j < 4; ++j) {
                float sum = 0;
                for (int i = 0; i < 5; ++i) sum += in[i] * m[i][j];
                channel[j] = static_cast<int>(std::clamp(sum, 0.f, 1.f) * 255.f + 0.5f);
            }
            line[x] = qRgba(channel[0], channel[1], channel[2], channel[3]);
        }
    }
    return out.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

ImageButton::ImageButton(QWidget* parent) : QPushButton(parent) {
    // Enter in a dialog presses only the button made its default on purpose.
    setAutoDefault(false);
    tooltipTimer_.setSingleShot(true);
    tooltipTimer_.setInterval(kTooltipDelayMs);
    connect(&tooltipTimer_, &QTimer::timeout, this, &ImageButton::ShowTooltip);
    WatchParent();
}

bool ImageButton::LoadImage(int id, const char* type) {
    SetImage(LoadResourceImage(id, type));
    return HasImage();
}

bool ImageButton::LoadCheckedImage(int id, const char* type) {
    SetCheckedImage(LoadResourceImage(id, type));
    return !checkedImage_.isNull();
}

void ImageButton::SetImage(const QImage& image) {
    first_ = image.isNull() ? QImage() : image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    Invalidate();
}

void ImageButton::SetCheckedImage(const QImage& image) {
    checkedImage_ =
        image.isNull() ? QImage() : image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    Invalidate();
}

void ImageButton::Invalidate() {
    composed_ = false;
    for (QImage& state : states_) state = QImage();
    update();
}

void ImageButton::CaptureBackground() {
    QImage copy(size(), QImage::Format_ARGB32_Premultiplied);
    copy.fill(Qt::transparent);
    if (QWidget* parent = parentWidget(); parent && !size().isEmpty())
        parent->render(&copy, QPoint(), QRegion(geometry()), QWidget::DrawWindowBackground);
    background_ = copy;
    Invalidate();
}

void ImageButton::Compose() {
    if (composed_ || first_.isNull()) return;
    if (background_.size() != size()) CaptureBackground();
    // Without a checked look of its own, a checked button keeps the normal one.
    const QImage& second = checkedImage_.isNull() ? first_ : checkedImage_;
    auto over = [this](const QImage& image, QPoint at) {
        QImage state = background_.copy();
        QPainter painter(&state);
        painter.drawImage(at, image);
        return state;
    };
    states_[kNormal] = over(first_, {0, 0});
    states_[kPressed] = over(first_, {1, 1});
    states_[kHover] = over(ApplyColourMatrix(first_, kBrightenMatrix), {0, 0});
    states_[kDisabled] = over(ApplyColourMatrix(first_, kGreyMatrix), {0, 0});
    states_[kChecked] = over(second, {0, 0});
    states_[kCheckedPressed] = over(second, {1, 1});
    states_[kCheckedHover] = over(ApplyColourMatrix(second, kBrightenMatrix), {0, 0});
    composed_ = true;
}

ImageButton::State ImageButton::CurrentState() const {
    if (!isEnabled()) return kDisabled;
    bool checkedLook = isChecked();
    if (isDown()) {
        // A toggle shows the look it is about to take while it is held down.
        if (isCheckable()) checkedLook = !checkedLook;
        return checkedLook ? kCheckedPressed : kPressed;
    }
    if (hover_) return checkedLook ? kCheckedHover : kHover;
    return checkedLook ? kChecked : kNormal;
}

QImage ImageButton::StateImage(State state) {
    Compose();
    return composed_ ? states_[state] : background_;
}

void ImageButton::paintEvent(QPaintEvent*) {
    Compose();
    if (!composed_ && background_.size() != size()) CaptureBackground();
    QPainter painter(this);
    painter.drawImage(0, 0, composed_ ? states_[CurrentState()] : background_);
}

void ImageButton::SetTooltip(const QString& text, bool activate) {
    setToolTip(text);
    tooltipActive_ = activate;
    if (!activate) {
        tooltipTimer_.stop();
        QToolTip::hideText();
    }
}

void ImageButton::ShowTooltip() {
    if (hover_ && tooltipActive_ && !toolTip().isEmpty())
        QToolTip::showText(QCursor::pos(), toolTip(), this, rect());
}

void ImageButton::enterEvent(QEnterEvent* event) {
    hover_ = true;
    update();
    if (tooltipActive_ && !toolTip().isEmpty()) tooltipTimer_.start();
    QPushButton::enterEvent(event);
}

void ImageButton::leaveEvent(QEvent* event) {
    hover_ = false;
    tooltipTimer_.stop();
    update();
    QPushButton::leaveEvent(event);
}

void ImageButton::mouseDoubleClickEvent(QMouseEvent* event) {
    // A quick second click is a second press, not something else.
    mousePressEvent(event);
}

void ImageButton::moveEvent(QMoveEvent* event) {
    background_ = QImage();
    Invalidate();
    QPushButton::moveEvent(event);
}

void ImageButton::resizeEvent(QResizeEvent* event) {
    background_ = QImage();
    Invalidate();
    QPushButton::resizeEvent(event);
}

void ImageButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) {
        if (!isEnabled()) tooltipTimer_.stop();
        update();
    }
    QPushButton::changeEvent(event);
}

bool ImageButton::event(QEvent* event) {
    switch (event->type()) {
        case QEvent::ToolTip:
            // The tooltip comes from the button's own, longer delay.
            return true;
        case QEvent::ParentChange:
            WatchParent();
            background_ = QImage();
            Invalidate();
            break;
        default:
            break;
    }
    return QPushButton::event(event);
}

void ImageButton::WatchParent() {
    if (watchedParent_) watchedParent_->removeEventFilter(this);
    watchedParent_ = parentWidget();
    if (watchedParent_) watchedParent_->installEventFilter(this);
}

bool ImageButton::eventFilter(QObject* watched, QEvent* event) {
    // The parent's background may be drawn to its size: take a new copy.
    if (watched == watchedParent_ && event->type() == QEvent::Resize) {
        background_ = QImage();
        Invalidate();
    }
    return QPushButton::eventFilter(watched, event);
}

}  // namespace tav
