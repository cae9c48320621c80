// Fonts given by a pixel height and an average character width, as the
// program's windows lay out their texts: the face is stretched horizontally
// until its average character has the asked width.
#pragma once

#include <QFont>

namespace tav {

// `family` at `pixelHeight` with `weight`, stretched so that its average
// character is `averageWidth` pixels wide.
QFont FittedFont(const QString& family, int pixelHeight, int averageWidth, QFont::Weight weight,
                 QFont::StyleHint hint = QFont::AnyStyle);

// The font of both result lists and their headers: 19 pixels high, 8 wide,
// semi-bold. A monospaced face, so that every character is 8 pixels and a
// 14-character id, whatever its characters, fits its column.
QFont ResultListFont();
// The port-select dialog's label and list: 20 pixels high, 8 wide, semi-bold.
QFont PortSelectFont();

}  // namespace tav
