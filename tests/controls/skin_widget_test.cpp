#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <functional>

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

int Brightened(int channel) {
    return std::min(255, static_cast<int>(channel * 1.05 + 0.05 * 255 + 0.5));
}

void ExpectColour(const QColor& got, const QColor& want, const std::string& what) {
    EXPECT_NEAR(got.red(), want.red(), 1) << what;
    EXPECT_NEAR(got.green(), want.green(), 1) << what;
    EXPECT_NEAR(got.blue(), want.blue(), 1) << what;
}

class ImageButtonTest : public ::testing::Test {
  protected:
    void SetUp() override {
        parent_.resize(100, 100);
        parent_.setAutoFillBackground(true);
        QPalette palette = parent_.palette();
        palette.setColor(QPalette::Window, kParentColour);
        parent_.setPalette(palette);
        button_ = new ImageButton(&parent_);
        button_->setGeometry(10, 10, 20, 20);
        button_->SetImage(HalfImage(kFaceColour));
        button_->SetCheckedImage(HalfImage(kCheckedColour));
        parent_.show();
    }
    QImage Painted() { return button_->grab().toImage(); }
    QColor At(int x, int y) { return Painted().pixelColor(x, y); }
    void Enter() {
        QEnterEvent enter(QPointF(5, 5), QPointF(15, 15), QPointF(15, 15));
        QApplication::sendEvent(button_, &enter);
    }
    void Leave() {
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(button_, &leave);
    }
    void Mouse(QEvent::Type type) {
        QMouseEvent event(type, QPointF(5, 5), button_->mapToGlobal(QPointF(5, 5)), Qt::LeftButton,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                          Qt::NoModifier);
        QApplication::sendEvent(button_, &event);
    }

    QWidget parent_;
    ImageButton* button_ = nullptr;
};

TEST_F(ImageButtonTest, EachStatePaintsItsImageOverTheParentsBackground) {
    const QColor grey = [] {
        const int g = static_cast<int>(0.3 * kFaceColour.red() + 0.59 * kFaceColour.green() +
                                       0.11 * kFaceColour.blue() + 0.5);
        return QColor(g, g, g);
    }();
    const QColor bright(Brightened(kFaceColour.red()), Brightened(kFaceColour.green()),
                        Brightened(kFaceColour.blue()));
    const struct {
        const char* name;
        std::function<void()> set;
        QPoint face;  // a pixel inside the image's opaque half
        QColor faceColour;
    } cases[] = {
        {"normal", [] {}, {5, 5}, kFaceColour},
        {"hover is brightened by the matrix", [this] { Enter(); }, {5, 5}, bright},
        {"leaving restores the plain look",
         [this] {
             Enter();
             Leave();
         },
         {5, 5},
         kFaceColour},
        {"disabled is grey", [this] { button_->setEnabled(false); }, {5, 5}, grey},
        {"disabled stays grey under the mouse",
         [this] {
             button_->setEnabled(false);
             Enter();
         },
         {5, 5},
         grey},
    };
    for (const auto& c : cases) {
        button_->setEnabled(true);
        Leave();
        c.set();
        const QImage painted = Painted();
        ExpectColour(painted.pixelColor(c.face), c.faceColour, c.name);
        // The transparent half shows the parent, in every state.
        ExpectColour(painted.pixelColor(15, 5), kParentColour, c.name);
    }
}

TEST_F(ImageButtonTest, APressShiftsTheImageOnePixelRightAndDown) {
    const QImage normal = Painted();
    button_->setDown(true);
    const QImage pressed = Painted();
    ExpectColour(pressed.pixelColor(1, 1), kCornerColour, "the corner pixel moved to (1, 1)");
    ExpectColour(pressed.pixelColor(0, 5), kParentColour, "the first column shows the parent");
    ExpectColour(pressed.pixelColor(10, 5), kFaceColour, "the opaque half reaches one further");
    EXPECT_EQ(pressed.copy(1, 1, 19, 19), normal.copy(0, 0, 19, 19));
    button_->setDown(false);
    EXPECT_EQ(Painted(), normal);
}

TEST_F(ImageButtonTest, AToggleFlipsItsCheckedLookOnEveryPressAndADoubleClickIsTwoPresses) {
    button_->SetToggle(true);
    QSignalSpy clicks(button_, &QAbstractButton::clicked);
    // Held down, an unchecked toggle already shows the checked look, shifted.
    button_->setDown(true);
    ExpectColour(At(6, 6), kCheckedColour, "held down");
    button_->setDown(false);
    ExpectColour(At(5, 5), kFaceColour, "let go elsewhere: unchanged");

    button_->click();
    EXPECT_TRUE(button_->isChecked());
    ExpectColour(At(5, 5), kCheckedColour, "checked");
    Enter();
    ExpectColour(At(5, 5),
                 QColor(Brightened(kCheckedColour.red()), Brightened(kCheckedColour.green()),
                        Brightened(kCheckedColour.blue())),
                 "checked under the mouse");
    Leave();

    clicks.clear();
    Mouse(QEvent::MouseButtonPress);
    Mouse(QEvent::MouseButtonRelease);
    Mouse(QEvent::MouseButtonDblClick);
    Mouse(QEvent::MouseButtonRelease);
    EXPECT_EQ(clicks.count(), 2);
    EXPECT_TRUE(button_->isChecked()) << "two presses flip twice";
    ExpectColour(At(5, 5), kCheckedColour, "after the double click");
}

TEST_F(ImageButtonTest, TheTooltipWaitsWhileTheMouseRestsAndNotAfterItLeaves) {
    button_->SetTooltip(QStringLiteral("Download"));
    Enter();
    EXPECT_TRUE(button_->Hovering());
    EXPECT_TRUE(button_->TooltipPending());
    Leave();
    EXPECT_FALSE(button_->TooltipPending());

    button_->SetTooltip(QStringLiteral("Download"), false);
    Enter();
    EXPECT_FALSE(button_->TooltipPending()) << "an inactive tooltip does not show";
}

TEST_F(ImageButtonTest, WithoutAnImageOnlyTheParentsBackgroundShows) {
    EXPECT_FALSE(button_->LoadImage(9999));
    EXPECT_FALSE(button_->HasImage());
    ExpectColour(At(5, 5), kParentColour, "missing resource");
    EXPECT_TRUE(button_->LoadImage(resid::kSymbolDownload));
    EXPECT_EQ(button_->StateImage(ImageButton::kNormal).size(), QSize(20, 20));
}

TEST(SkinArtwork, EverySymbolAndFramePieceIsInTheResourcesAtItsSize) {
    for (int art = static_cast<int>(Art::Home); art <= static_cast<int>(Art::Cancel); ++art)
        EXPECT_EQ(LoadResourceImage(SymbolResource(static_cast<Art>(art)), "PNG").size(),
                  QSize(48, 48))
            << art;
    const struct {
        int id;
        QSize size;
    } pieces[] = {{131, {21, 21}}, {132, {21, 21}}, {133, {30, 17}}, {134, {21, 19}},
                  {135, {21, 19}}, {136, {21, 19}}, {137, {21, 19}}, {138, {21, 21}},
                  {139, {21, 19}}, {140, {21, 19}}, {241, {75, 75}}, {242, {75, 75}}};
    for (const auto& piece : pieces) {
        const char* type = piece.id < 200 ? "BITMAP" : "PNG";
        EXPECT_EQ(LoadResourceImage(piece.id, type).size(), piece.size) << piece.id;
    }
}

TEST(ArtButton, FacesFillTheButtonAtEverySizeAndKeepItsCaption) {
    QWidget parent;
    parent.resize(300, 200);
    for (const QSize size : {QSize(75, 75), QSize(100, 36)}) {
        ArtButton button(Art::Ok, QStringLiteral("Auto/Manual"), &parent);
        button.resize(size);
        const QImage normal = button.StateImage(ImageButton::kNormal);
        ASSERT_EQ(normal.size(), size);
        EXPECT_EQ(qAlpha(normal.pixel(size.width() / 2, size.height() / 2)), 255) << size.width();
        EXPECT_NE(button.StateImage(ImageButton::kChecked), normal) << size.width();
        EXPECT_EQ(button.text(), "Auto/Manual");
        EXPECT_FALSE(button.autoDefault()) << "Enter presses only a dialog's chosen default";
    }
}

// ---- Skinned frame ----

class TestFrame : public VOvoziRurud {
  public:
    int moves = 0;
    int closes = 0;

  protected:
    bool StartSystemMove() override {
        ++moves;
        return true;
    }
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
        client->setAutoFillBackground(true);
        QPalette palette = client->palette();
        palette.setColor(QPalette::Window, kClientColour);
        client->setPalette(palette);
        frame_.setCentralWidget(client);
        frame_.setWindowTitle(QStringLiteral("Frame"));
        frame_.SetFixedClientSize(QSize(400, 300));
        frame_.move(100, 50);
        frame_.show();
    }
    QPoint Screen(int x, int y) { return frame_.mapToGlobal(QPoint(x, y)); }
    void Press(int x, int y) { QTest::mousePress(&frame_, Qt::LeftButton, {}, QPoint(x, y)); }
    void Release(int x, int y) { QTest::mouseRelease(&frame_, Qt::LeftButton, {}, QPoint(x, y)); }
    QImage Painted() {
        return frame_.grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
    QImage Piece(int id) {
        return LoadResourceImage(id, "BITMAP").convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }

    TestFrame frame_;
};

TEST_F(SkinnedFrameTest, TheClientAreaSitsInsideTheDrawnFrame) {
    EXPECT_EQ(frame_.centralWidget()->geometry(), QRect(6, 20, 400, 300));
    EXPECT_EQ(frame_.size(), QSize(413, 327));
}

TEST_F(SkinnedFrameTest, CaptionButtonsAreHitAtTheirBoundaries) {
    const int right = frame_.width();  // window-relative; the test goes through screen points
    const struct {
        int x, y, button;
    } cases[] = {
        {right - 1, 0, 3},   {right - 22, 10, 3}, {right - 23, 10, 2},
        {right - 43, 10, 2}, {right - 44, 10, 1}, {right - 64, 19, 1},
        {right - 65, 10, 0}, {right - 10, 20, 0}, {200, 5, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(frame_.CaptionButtonAt(Screen(c.x, c.y)), c.button) << c.x << "," << c.y;
}

TEST_F(SkinnedFrameTest, AButtonActsOnlyWhenReleasedWhereItWasPressedAndShowsItsPressedLook) {
    const int w = frame_.width();
    const QImage normalClose = Piece(resid::kClose);
    const QImage pressedClose = Piece(resid::kClosePressed);
    EXPECT_EQ(Painted().copy(w - 23, 1, 21, 19), normalClose);

    Press(w - 10, 8);
    EXPECT_EQ(frame_.PressedButton(), VOvoziRurud::kCloseButton);
    EXPECT_EQ(Painted().copy(w - 23, 1, 21, 19), pressedClose);
    Release(w - 50, 8);  // moved onto maximize
    EXPECT_EQ(frame_.PressedButton(), VOvoziRurud::kNoButton);
    EXPECT_EQ(frame_.closes, 0);
    EXPECT_TRUE(frame_.isVisible());
    EXPECT_FALSE(frame_.isMaximized());
    EXPECT_EQ(Painted().copy(w - 23, 1, 21, 19), normalClose);

    Press(w - 30, 8);
    Release(w - 30, 8);
    EXPECT_TRUE(frame_.isMaximized());
    Press(w - 30, 8);
    Release(w - 30, 8);
    EXPECT_FALSE(frame_.isMaximized()) << "the middle button restores a maximized window";
    EXPECT_EQ(frame_.moves, 0);

    Press(w - 10, 8);
    Release(w - 10, 8);
    EXPECT_EQ(frame_.closes, 1);
    EXPECT_FALSE(frame_.isVisible());
}

TEST_F(SkinnedFrameTest, APressElsewhereInTheBandMovesTheWindow) {
    Press(200, 10);
    Release(200, 10);
    Press(200, 25);  // below the band: the client's
    Release(200, 25);
    EXPECT_EQ(frame_.moves, 1);
    EXPECT_EQ(frame_.PressedButton(), VOvoziRurud::kNoButton);
    EXPECT_TRUE(frame_.isVisible());
}

TEST_F(SkinnedFrameTest, BorderLinesHaveTheirColoursAroundTheClientArea) {
    const QImage painted = Painted();
    const int w = painted.width(), h = painted.height();
    const struct {
        int x, y;
        QColor colour;
    } cases[] = {
        {200, 19, QColor(11, 11, 12)},
        {200, 1, QColor(149, 169, 214)},
        {1, 100, Qt::white},
        {5, 100, QColor(161, 161, 161)},
        {w - 3, 100, QColor(196, 196, 196)},
        {w - 6, 100, Qt::white},
        {w - 7, 100, QColor(161, 161, 161)},
        {200, h - 3, QColor(184, 184, 184)},
        {200, h - 6, Qt::white},
        {200, h - 7, QColor(161, 161, 161)},
        {6, 20, kClientColour},
        {w - 8, h - 8, kClientColour},
        {3, 100, QColor(230, 230, 230)},
        {0, 100, Qt::black},
    };
    for (const auto& c : cases)
        EXPECT_EQ(painted.pixelColor(c.x, c.y), c.colour) << c.x << "," << c.y;
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
    for (const QSize size : {QSize(413, 327), QSize(300, 200), QSize(640, 480)}) {
        frame_.setFixedSize(size);
        const QRegion mask = frame_.mask();
        const int w = size.width(), h = size.height();
        const struct {
            int x, y;
            bool inside;
        } cases[] = {{0, 0, false},        {2, 0, false},        {3, 0, true},
                     {0, 2, false},        {1, 2, true},         {0, 3, true},
                     {w - 1, 0, false},    {w - 4, 0, true},     {w - 3, 0, false},
                     {0, h - 1, false},    {3, h - 1, true},     {w - 1, h - 1, false},
                     {w - 4, h - 1, true}, {w - 1, h - 4, true}, {w - 1, h - 3, false},
                     {w / 2, h / 2, true}};
        for (const auto& c : cases)
            EXPECT_EQ(mask.contains(QPoint(c.x, c.y)), c.inside)
                << w << "x" << h << " at " << c.x << "," << c.y;
    }
}

}  // namespace
}  // namespace tav
