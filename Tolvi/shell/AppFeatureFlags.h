#pragma once

#include "TolviCore/featureflags/FeatureFlags.h"

namespace tolvi {

class BundleInfo;

namespace AppFeatureFlags {
// The flags of this build: the channel from "TolviDistributionChannel" (exact match, else
// direct) and the AI rewrite request from "TolviAIRewriteEnabled" (lenient Boolean text).
FeatureFlags current(const BundleInfo& bundle);
} // namespace AppFeatureFlags

} // namespace tolvi
