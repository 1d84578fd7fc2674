#pragma once

#include "Tolvi/ai/OpenAIEnvironment.h"
#include "Tolvi/ai/TolviAIBackendConfiguration.h"
#include "Tolvi/ai/TolviAIBackendProvider.h"
#include "TolviCore/ai/AIProvider.h"
#include "TolviCore/featureflags/FeatureFlags.h"

#include <QString>

#include <memory>

namespace tolvi {

namespace AIProviderFactory {

// Picks and builds the program's one AI provider. In the development channel with a non-blank OPENAI_API_KEY in `environment`, the public responses provider
// with its key and model read from `environment`; otherwise the rewrite-service provider with the
// configured endpoint and version and the host's access-token source. Each provider gets its own
// session with its own time limits.
std::unique_ptr<AIProvider> make(TolviDistributionChannel distributionChannel, const OpenAIEnvironment& environment,
                                 AccessTokenProvider accessTokenProvider,
                                 const TolviAIBackendConfiguration& backendConfiguration);

} // namespace AIProviderFactory

} // namespace tolvi
