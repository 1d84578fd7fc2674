#include "Tolvi/ai/AIProviderFactory.h"

#include "Tolvi/ai/OpenAIProvider.h"

#include <utility>

namespace tolvi {

std::unique_ptr<AIProvider> AIProviderFactory::make(TolviDistributionChannel distributionChannel,
                                                    const OpenAIEnvironment& environment,
                                                    AccessTokenProvider accessTokenProvider,
                                                    const TolviAIBackendConfiguration& backendConfiguration)
{
    if (distributionChannel == TolviDistributionChannel::development
        && environment.value(QStringLiteral("OPENAI_API_KEY")).has_value())
        return std::make_unique<OpenAIProvider>(OpenAIProvider::defaultOptions(environment));

    TolviAIBackendProvider::Options options;
    options.endpoint = backendConfiguration.endpoint();
    options.appVersion = backendConfiguration.appVersion();
    options.accessTokenProvider = std::move(accessTokenProvider);
    return std::make_unique<TolviAIBackendProvider>(std::move(options));
}

} // namespace tolvi
