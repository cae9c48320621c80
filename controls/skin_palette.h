// The frame's colours, shared by the frame that draws its lines and the tool
// that draws its pictures, so that the two always meet without a seam.
#pragma once

#include <QColor>

namespace tav::palette {

inline const QColor kBody(230, 230, 230);
inline const QColor kBandEdge(11, 11, 12);
inline const QColor kInnerLine(161, 161, 161);
inline const QColor kRightShadow(196, 196, 196);
inline const QColor kBottomShadow(184, 184, 184);
inline const QColor kBandHighlight(149, 169, 214);

}  // namespace tav::palette
