// The program's artwork, compiled in from res/tavrina1c.qrc and looked up by
// resource id and type: "PNG" for the image buttons' faces and symbols,
// "BITMAP" for the pieces of the skinned frame.
#pragma once

#include <QImage>

namespace tav {

namespace resid {
// Button symbols (white on transparent, 48 x 48).
inline constexpr int kSymbolDownload = 214;
inline constexpr int kSymbolList = 215;
inline constexpr int kSymbolGraph = 217;
inline constexpr int kSymbolAutomatic = 219;
inline constexpr int kSymbolSettings = 221;
inline constexpr int kSymbolHome = 223;
inline constexpr int kSymbolMode = 225;
inline constexpr int kSymbolExport = 227;
inline constexpr int kSymbolSearch = 229;
inline constexpr int kSymbolPrint = 231;
inline constexpr int kSymbolOk = 233;
inline constexpr int kSymbolCancel = 235;
// Button face plates, 75 x 75: normal and checked.
inline constexpr int kPlate = 241;
inline constexpr int kPlateChecked = 242;
// Frame pieces.
inline constexpr int kCornerLowerLeft = 131;   // 21 x 21
inline constexpr int kCornerLowerRight = 132;  // 21 x 21
inline constexpr int kCaptionTile = 133;       // 30 x 17
inline constexpr int kClose = 134;             // caption buttons: 21 x 19
inline constexpr int kClosePressed = 135;
inline constexpr int kMaximize = 136;
inline constexpr int kMaximizePressed = 137;
inline constexpr int kCaptionIcon = 138;  // 21 x 21
inline constexpr int kMinimize = 139;
inline constexpr int kMinimizePressed = 140;
}  // namespace resid

// The image of resource `id` (its low 16 bits) of `type`, decoded; a null
// image when there is no such resource or it cannot be decoded.
QImage LoadResourceImage(int id, const char* type);

}  // namespace tav
