#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <functional>
#include <tuple>

#include "controls/art_button.h"
#include "controls/image_button.h"
#include "controls/skin_resources.h"
#include "controls/skinned_frame.h"

namespace tav {
namespace {

// ---- Image button ----

const QColor kParentColour(40, 80, 120);
const QColor kFaceColour(100, 150, 200);
const QColor kCheckedColour(200, 60, 60);
const QColor kCornerColour(250, 10, 10);

// A 20 x 20 image: an opaque left half of `colour` with a marked top-left
// pixel, and a transparent right half.
QImage HalfImage(const QColor& colour) {
    QImage image(20, 20, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter(&image).fillRect(0, 0, 10, 20, colour);
    image.setPixelColor(0, 0, kCornerColour);
    return image;
}

QColor Brightened(const QColor& c) {
    const auto channel = [](int v) {
        return std::min(255, static_cast<int>(v * 1.05 + 0.05 * 255 + 0.5));
    };
    return QColor(channel(c.red()), channel(c.green()), channel(c.blue()));
}

// Gives `widget` a plain background of `colour`.
void SetBackground(QWidget& widget, const QColor& colour) {
    widget.setAutoFillBackground(true);
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Window, colour);
    widget.setPalette(palette);
}

void ExpectColour(const QColor& got, const QColor& want, const std::string& what) {
    for (const auto channel : {&QColor::red, &QColor::green, &QColor::blue})
        EXPECT_NEAR((got.*channel)(), (want.*channel)(), 1) << what;
}

class ImageButtonTest : public ::testing::Test {
  protected:
    void SetUp() override {
        parent_.resize(100, 100);
        SetBackground(parent_, kParentColour);
        button_ = new ImageButton(&parent_);
        button_->setGeometry(10, 10, 20, 20);
        button_->SetImage(HalfImage(kFaceColour));
        button_->SetCheckedImage(HalfImage(kCheckedColour));
        parent_.show();
    }
    QImage Painted() { return button_->grab().toImage(); }
    QColor At(int x, int y) { return Painted().pixelColor(x, y); }
    void Send(QEvent&& event) { QApplication::sendEvent(button_, &event); }
    void Enter() { Send(QEnterEvent(QPointF(5, 5), QPointF(15, 15), QPointF(15, 15))); }
    void Leave() { Send(QEvent(QEvent::Leave)); }
    void Mouse(std::initializer_list<QEvent::Type> types) {
        for (const QEvent::Type type : types)
            Send(QMouseEvent(type, QPointF(5, 5), button_->mapToGlobal(QPointF(5, 5)),
                             Qt::LeftButton,
                             type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                             Qt::NoModifier));
    }

    QWidget parent_;
    ImageButton* button_ = nullptr;
};

TEST_F(ImageButtonTest, EachStatePaintsItsImageOverTheParentsBackground) {
    const int g = static_cast<int>(0.3 * kFaceColour.red() + 0.59 * kFaceColour.green() +
                                   0.11 * kFaceColour.blue() + 0.5);
    // The state (checked, disabled, the mouse 1: entered, 2: entered and left) and its face.
    const std::tuple<const char*, bool, bool, int, QColor> cases[] = {
        {"normal", false, false, 0, kFaceColour},
        {"hover is brightened by the matrix", false, false, 1, Brightened(kFaceColour)},
        {"leaving restores the plain look", false, false, 2, kFaceColour},
        {"disabled is grey", false, true, 0, QColor(g, g, g)},
        {"disabled stays grey under the mouse", false, true, 1, QColor(g, g, g)},
        {"checked", true, false, 0, kCheckedColour},
        {"checked under the mouse", true, false, 1, Brightened(kCheckedColour)},
    };
    button_->SetToggle(true);
    for (const auto& [name, checked, disabled, mouse, face] : cases) {
        Leave();
        button_->setChecked(checked);
        button_->setEnabled(!disabled);
        if (mouse > 0) Enter();
        if (mouse > 1) Leave();
        const QImage painted = Painted();
        ExpectColour(painted.pixelColor(5, 5), face, name);
        // The transparent half shows the parent, in every state.
        ExpectColour(painted.pixelColor(15, 5), kParentColour, name);
    }
}

TEST_F(ImageButtonTest, APressShiftsTheImageAndAToggleFlipsItsLookOnEveryPress) {
    const QImage normal = Painted();
    button_->setDown(true);
    const QImage pressed = Painted();
    EXPECT_EQ(pressed.copy(1, 1, 19, 19), normal.copy(0, 0, 19, 19)) << "one pixel right and down";
    ExpectColour(pressed.pixelColor(0, 5), kParentColour, "the first column shows the parent");
    button_->setDown(false);
    EXPECT_EQ(Painted(), normal);

    button_->SetToggle(true);
    // Held down, an unchecked toggle already shows the checked look, shifted.
    button_->setDown(true);
    ExpectColour(At(6, 6), kCheckedColour, "held down");
    button_->setDown(false);
    ExpectColour(At(5, 5), kFaceColour, "let go elsewhere: unchanged");

    QSignalSpy clicks(button_, &QAbstractButton::clicked);
    Mouse({QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick,
           QEvent::MouseButtonRelease});
    EXPECT_EQ(clicks.count(), 2);
    EXPECT_FALSE(button_->isChecked()) << "two presses flip twice";
    Mouse({QEvent::MouseButtonPress, QEvent::MouseButtonRelease});
    EXPECT_TRUE(button_->isChecked());
    ExpectColour(At(5, 5), kCheckedColour, "checked by a press");
}

TEST_F(ImageButtonTest, TheTooltipWaitsWhileTheMouseRestsAndAMissingImageShowsTheParent) {
    for (const bool active : {true, false}) {
        button_->SetTooltip(QStringLiteral("Download"), active);
        Enter();
        EXPECT_EQ(button_->TooltipPending(), active) << "an inactive tooltip does not show";
        Leave();
        EXPECT_FALSE(button_->TooltipPending());
    }
    EXPECT_FALSE(button_->LoadImage(9999));
    ExpectColour(At(5, 5), kParentColour, "without an image only the parent shows");
}

TEST(ArtButton, EveryPieceIsInTheResourcesAndFacesFillTheButtonAtEverySize) {
    for (int art = 0; art <= static_cast<int>(Art::Cancel); ++art)
        EXPECT_EQ(LoadResourceImage(SymbolResource(Art(art)), "PNG").size(), QSize(48, 48)) << art;
    for (int id = resid::kCornerLowerLeft; id <= resid::kMinimizePressed; ++id)
        EXPECT_FALSE(LoadResourceImage(id, "BITMAP").isNull()) << id;
    QWidget parent;
    parent.resize(300, 200);
    for (const QSize size : {QSize(75, 75), QSize(100, 36)}) {
        ArtButton button(Art::Ok, QStringLiteral("Auto/Manual"), &parent);
        button.resize(size);
        const QImage normal = button.StateImage(ImageButton::kNormal);
        ASSERT_EQ(normal.size(), size);
        EXPECT_EQ(qAlpha(normal.pixel(size.width() / 2, size.height() / 2)), 255) << size.width();
        EXPECT_NE(button.StateImage(ImageButton::kChecked), normal) << size.width();
        EXPECT_FALSE(button.autoDefault()) << "Enter presses only a dialog's chosen default";
    }
}

// ---- Skinned frame ----

class TestFrame : public VOvoziRurud {
  public:
    int moves = 0, closes = 0;

  protected:
    bool StartSystemMove() override { return ++moves > 0; }
    void closeEvent(QCloseEvent* event) override {
        ++closes;
        VOvoziRurud::closeEvent(event);
    }
};

const QColor kClientColour(10, 200, 30);

class SkinnedFrameTest : public ::testing::Test {
  protected:
    void SetUp() override {
        auto* client = new QWidget;
        SetBackground(*client, kClientColour);
        frame_.setCentralWidget(client);
        frame_.setWindowTitle(QStringLiteral("Frame"));
        frame_.SetFixedClientSize(QSize(400, 300));
        frame_.move(100, 50);
        frame_.show();
    }
    void Press(int x, int y) { QTest::mousePress(&frame_, Qt::LeftButton, {}, QPoint(x, y)); }
    void Release(int x, int y) { QTest::mouseRelease(&frame_, Qt::LeftButton, {}, QPoint(x, y)); }
    void Click(int x, int y) { QTest::mouseClick(&frame_, Qt::LeftButton, {}, QPoint(x, y)); }
    QImage Painted() {
        return frame_.grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
    QImage Piece(int id) {
        return LoadResourceImage(id, "BITMAP").convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }

    TestFrame frame_;
};

TEST_F(SkinnedFrameTest, CaptionButtonsAreHitAtTheirBoundaries) {
    const int right = frame_.width();  // window-relative; the test goes through screen points
    const std::tuple<int, int, int> cases[] = {
        // x, y, the button hit
        {right - 1, 0, 3},   {right - 22, 10, 3}, {right - 23, 10, 2},
        {right - 43, 10, 2}, {right - 44, 10, 1}, {right - 64, 19, 1},
        {right - 65, 10, 0}, {right - 10, 20, 0}, {200, 5, 0},
    };
    for (const auto& [x, y, button] : cases)
        EXPECT_EQ(frame_.CaptionButtonAt(frame_.mapToGlobal(QPoint(x, y))), button)
            << x << "," << y;
}

TEST_F(SkinnedFrameTest, AButtonActsOnlyWhenReleasedWhereItWasPressedElsewhereTheBandMoves) {
    const int w = frame_.width();
    const QImage normalClose = Piece(resid::kClose);
    EXPECT_EQ(Painted().copy(w - 23, 1, 21, 19), normalClose);

    Press(w - 10, 8);
    EXPECT_EQ(frame_.PressedButton(), VOvoziRurud::kCloseButton);
    EXPECT_EQ(Painted().copy(w - 23, 1, 21, 19), Piece(resid::kClosePressed));
    Release(w - 50, 8);  // moved onto maximize
    EXPECT_EQ(frame_.PressedButton(), VOvoziRurud::kNoButton);
    EXPECT_EQ(frame_.closes, 0);
    EXPECT_FALSE(frame_.isMaximized());
    EXPECT_EQ(Painted().copy(w - 23, 1, 21, 19), normalClose);

    Click(w - 30, 8);
    EXPECT_TRUE(frame_.isMaximized());
    Click(w - 30, 8);
    EXPECT_FALSE(frame_.isMaximized()) << "the middle button restores a maximized window";
    EXPECT_EQ(frame_.moves, 0);

    Click(200, 10);  // in the band, off the buttons
    Click(200, 25);  // below the band: the client's
    EXPECT_EQ(frame_.moves, 1);
    EXPECT_EQ(frame_.PressedButton(), VOvoziRurud::kNoButton);
    EXPECT_TRUE(frame_.isVisible());

    Click(w - 10, 8);
    EXPECT_EQ(frame_.closes, 1);
    EXPECT_FALSE(frame_.isVisible());
}

TEST_F(SkinnedFrameTest, BorderLinesHaveTheirColoursAroundTheClientArea) {
    EXPECT_EQ(frame_.centralWidget()->geometry(), QRect(6, 20, 400, 300));
    EXPECT_EQ(frame_.size(), QSize(413, 327));
    const QImage painted = Painted();
    const int w = painted.width(), h = painted.height();
    // x, y and the colour there; 0x0AC81E is the client's.
    const std::tuple<int, int, QRgb> cases[] = {
        {200, 19, 0x0B0B0C},    {200, 1, 0x95A9D6},     {1, 100, 0xFFFFFF},
        {5, 100, 0xA1A1A1},     {w - 3, 100, 0xC4C4C4}, {w - 6, 100, 0xFFFFFF},
        {w - 7, 100, 0xA1A1A1}, {200, h - 3, 0xB8B8B8}, {200, h - 6, 0xFFFFFF},
        {200, h - 7, 0xA1A1A1}, {6, 20, 0x0AC81E},      {w - 8, h - 8, 0x0AC81E},
        {3, 100, 0xE6E6E6},     {0, 100, 0x000000}};
    for (const auto& [x, y, colour] : cases)
        EXPECT_EQ(painted.pixelColor(x, y), QColor(colour)) << x << "," << y;
}

TEST_F(SkinnedFrameTest, ALongTitleIsCutBeforeTheCaptionButtons) {
    const int w = frame_.width();
    const QImage before = Painted().copy(w - 65, 1, 63, 19);
    frame_.setWindowTitle(QString(200, QChar('W')));
    const QImage painted = Painted();
    EXPECT_EQ(painted.copy(w - 65, 1, 63, 19), before);
    int white = 0;
    for (int x = 30; x < w - 70; ++x)
        for (int y = 2; y < 18; ++y) white += painted.pixelColor(x, y) == Qt::white;
    EXPECT_GT(white, 100) << "the title is drawn in white";
}

TEST_F(SkinnedFrameTest, TheCornersAreRoundedAfterEverySizeChange) {
    // The top-left corner; the other three are its mirror images.
    const std::tuple<int, int, bool> corner[] = {{0, 0, false}, {2, 0, false}, {3, 0, true},
                                                 {0, 2, false}, {1, 2, true},  {0, 3, true}};
    for (const QSize size : {QSize(413, 327), QSize(300, 200), QSize(640, 480)}) {
        frame_.setFixedSize(size);
        const QRegion mask = frame_.mask();
        const int w = size.width(), h = size.height();
        EXPECT_TRUE(mask.contains(QPoint(w / 2, h / 2)));
        for (const auto& [x, y, inside] : corner)
            for (const QPoint at : {QPoint(x, y), QPoint(w - 1 - x, y), QPoint(x, h - 1 - y),
                                    QPoint(w - 1 - x, h - 1 - y)})
                EXPECT_EQ(mask.contains(at), inside)
                    << w << "x" << h << " at " << at.x() << "," << at.y();
    }
}

}  // namespace
}  // namespace tav
