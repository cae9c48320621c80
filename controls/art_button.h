// The program's own button artwork, drawn with QPainter: square image buttons
// with a symbol and a caption, and the clickable logo picture.
#pragma once

#include <QAbstractButton>
#include <QString>

namespace tav {

enum class Art { Home, Download, List, Graph, Automatic, Mode, Export, Settings, Search, Print };

// The symbol of a view-switch command (1 home, 2 download, 3 list, 4 graph, 30 automatic).
Art ArtForCommand(int command);

// Draws a symbol into `rect`.
void PaintArt(QPainter& painter, Art art, const QRectF& rect, const QColor& color);

class ArtButton : public QAbstractButton {
    Q_OBJECT
  public:
    ArtButton(Art art, const QString& caption, QWidget* parent = nullptr);
    Art ArtKind() const { return art_; }
    QSize sizeHint() const override { return {75, 75}; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    Art art_;
    bool hover_ = false;
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
