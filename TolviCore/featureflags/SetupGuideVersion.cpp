#include "TolviCore/featureflags/SetupGuideVersion.h"

namespace tolvi::SetupGuideVersion {

QString current()
{
    return QStringLiteral("0.1.3-polished-tour");
}

bool needsCurrentSetup(const std::optional<QString>& completedVersion)
{
    return !completedVersion || *completedVersion != current();
}

} // namespace tolvi::SetupGuideVersion
