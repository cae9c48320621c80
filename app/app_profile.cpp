#include "app/app_profile.h"

namespace tav {

std::unique_ptr<QSettings> OpenApplicationProfile() {
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                       QString::fromLatin1(kProfileOrganization),
                                       QString::fromLatin1(kProfileApplication));
}

}  // namespace tav
