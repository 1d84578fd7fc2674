#pragma once

#include <QString>

#include <optional>

namespace tolvi {

// The tag of the onboarding tour this build shows. A user who completed a tour with another
// tag (or none) sees the tour again at start-up.
namespace SetupGuideVersion {

QString current();
// True unless the completed version is exactly the current tag.
bool needsCurrentSetup(const std::optional<QString>& completedVersion);

} // namespace SetupGuideVersion
} // namespace tolvi
