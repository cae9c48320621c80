// The program's image buttons: a face plate with a symbol and a caption,
// made from the PNG artwork in the resources, and the clickable logo picture.
#pragma once

#include <QAbstractButton>
#include <QImage>
#include <QString>
#include <vector>

#include "controls/image_button.h"

namespace tav {

enum class Art {
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

// The symbol of a view-switch command (1 home, 2 download, 3 list, 4 graph, 30 automatic).
Art ArtForCommand(int command);

// The resource id of a symbol's PNG image (white on transparent).
int SymbolResource(Art art);

// Draws a symbol into `rect` in `color`.
void PaintArt(QPainter& painter, Art art, const QRectF& rect, const QColor& color);

// A button face of `size`: the plate (the checked plate for the checked
// look), the symbol and the caption. A face 50 pixels high or more stacks the
// caption under the symbol; a lower one puts it beside.
QImage ArtFace(Art art, const QString& caption, const QSize& size, bool checked);

// One button of a row of view buttons.
struct ArtButtonEntry {
    int id;
    Art art;
    const char* caption;
};

// Lays out a row of 75 x 75 buttons on `parent` from (x, y), each carrying its
// control id.
void AddArtButtonRow(QWidget* parent, const std::vector<ArtButtonEntry>& buttons, int x, int y);

class ArtButton : public ImageButton {
    Q_OBJECT
  public:
    ArtButton(Art art, const QString& caption, QWidget* parent = nullptr);
    Art ArtKind() const { return art_; }
    QSize sizeHint() const override { return {75, 75}; }

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void DrawFaces();

    Art art_;
    QSize faceSize_;
};

// A picture that acts on a click (the logo of the home view).
class PictureControl : public QAbstractButton {
    Q_OBJECT
  public:
    explicit PictureControl(const QString& text, QWidget* parent = nullptr);

  protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace tav
