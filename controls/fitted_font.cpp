#include "controls/fitted_font.h"

#include <QFontMetricsF>
#include <algorithm>
#include <cmath>

namespace tav {

QFont FittedFont(const QString& family, int pixelHeight, int averageWidth, QFont::Weight weight,
                 QFont::StyleHint hint) {
    QFont font(family);
    font.setStyleHint(hint, QFont::PreferQuality);
    font.setPixelSize(pixelHeight);
    font.setWeight(weight);
    const double natural = QFontMetricsF(font).averageCharWidth();
    if (natural > 0) {
        const int stretch = static_cast<int>(std::lround(100.0 * averageWidth / natural));
        font.setStretch(std::clamp(stretch, 1, 4000));
    }
    return font;
}

QFont ResultListFont() {
    return FittedFont(QStringLiteral("DejaVu Sans Mono"), 19, 8, QFont::DemiBold, QFont::Monospace);
}

QFont PortSelectFont() {
    return FittedFont(QStringLiteral("DejaVu Sans"), 20, 8, QFont::DemiBold, QFont::SansSerif);
}

}  // namespace tav
