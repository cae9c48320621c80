#include "controls/skin_resources.h"

#include <QFile>
#include <QString>
#include <mutex>

// The resources live in a static library: registering them by hand keeps the
// linker from dropping them.
static void RegisterSkinResources() {
    Q_INIT_RESOURCE(tavrina1c);
}

namespace tav {

QImage LoadResourceImage(int id, const char* type) {
    static std::once_flag registered;
    std::call_once(registered, RegisterSkinResources);
    const QString path = QStringLiteral(":/%1/%2").arg(QString::fromLatin1(type)).arg(id & 0xFFFF);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    QImage image;
    if (!image.loadFromData(file.readAll(), "PNG")) return {};
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

}  // namespace tav
