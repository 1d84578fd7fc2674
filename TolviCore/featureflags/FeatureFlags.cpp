#include "TolviCore/featureflags/FeatureFlags.h"

namespace tolvi {

namespace distributionchannel {

QString rawValue(TolviDistributionChannel channel)
{
    switch (channel) {
    case TolviDistributionChannel::development:
        return QStringLiteral("development");
    case TolviDistributionChannel::direct:
        return QStringLiteral("direct");
    case TolviDistributionChannel::appStore:
        return QStringLiteral("appStore");
    }
    return QStringLiteral("direct");
}

std::optional<TolviDistributionChannel> fromRawValue(QStringView raw)
{
    for (TolviDistributionChannel channel : allCases) {
        if (raw == rawValue(channel))
            return channel;
    }
    return std::nullopt;
}

} // namespace distributionchannel

FeatureFlags::FeatureFlags(TolviDistributionChannel distributionChannel, bool aiRewriteEnabled)
    : m_distributionChannel(distributionChannel)
    , m_aiRewriteEnabled(distributionChannel != TolviDistributionChannel::appStore && aiRewriteEnabled)
{
}

FeatureFlags FeatureFlags::resolved(TolviDistributionChannel distributionChannel,
                                    std::optional<bool> requestedAIRewriteEnabled)
{
    const bool enabled = requestedAIRewriteEnabled.value_or(distributionChannel == TolviDistributionChannel::development);
    return FeatureFlags(distributionChannel, enabled);
}

FeatureFlags FeatureFlags::fromBuildValues(const std::optional<QString>& distributionChannel,
                                           const std::optional<QString>& aiRewriteRequest)
{
    std::optional<TolviDistributionChannel> channel;
    if (distributionChannel)
        channel = distributionchannel::fromRawValue(*distributionChannel);
    std::optional<bool> request;
    if (aiRewriteRequest)
        request = lenientBoolean(*aiRewriteRequest);
    return resolved(channel.value_or(TolviDistributionChannel::direct), request);
}

std::optional<bool> lenientBoolean(const QString& text)
{
    const QString word = text.trimmed().toLower();
    if (word == QLatin1String("1") || word == QLatin1String("true") || word == QLatin1String("yes")
        || word == QLatin1String("enabled"))
        return true;
    if (word == QLatin1String("0") || word == QLatin1String("false") || word == QLatin1String("no")
        || word == QLatin1String("disabled"))
        return false;
    return std::nullopt;
}

} // namespace tolvi
