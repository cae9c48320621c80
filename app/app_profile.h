// The application profile: the per-user store of the list column layouts.
#pragma once

#include <QSettings>
#include <memory>

namespace tav {

inline constexpr const char* kProfileOrganization = "Local AppWizard-Generated Applications";
inline constexpr const char* kProfileApplication = "TAVRINA1cExpert";

// The profile in the system's native format for the current user.
std::unique_ptr<QSettings> OpenApplicationProfile();

}  // namespace tav
