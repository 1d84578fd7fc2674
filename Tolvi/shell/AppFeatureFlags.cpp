#include "Tolvi/shell/AppFeatureFlags.h"

#include "Tolvi/platform/shell/BundleInfo.h"

namespace tolvi::AppFeatureFlags {

FeatureFlags current(const BundleInfo& bundle)
{
    return FeatureFlags::fromBuildValues(bundle.value(QString::fromLatin1(bundlekey::distributionChannel)),
                                         bundle.value(QString::fromLatin1(bundlekey::aiRewriteEnabled)));
}

} // namespace tolvi::AppFeatureFlags
