#pragma once

#include <QString>
#include <QStringView>

#include <array>
#include <optional>

namespace tolvi {

// The channel a build is distributed through. The raw value is the case name.
enum class TolviDistributionChannel {
    development,
    direct,
    appStore,
};

namespace distributionchannel {
inline constexpr std::array<TolviDistributionChannel, 3> allCases = {
    TolviDistributionChannel::development,
    TolviDistributionChannel::direct,
    TolviDistributionChannel::appStore,
};
QString rawValue(TolviDistributionChannel channel);
// Exact, case-sensitive match against the raw values; anything else gives nothing.
std::optional<TolviDistributionChannel> fromRawValue(QStringView raw);
} // namespace distributionchannel

// Build-time switches, fixed for the life of the program. The AI rewrite switch is never on
// in the appStore channel, however the value is made.
class FeatureFlags {
public:
    FeatureFlags(TolviDistributionChannel distributionChannel, bool aiRewriteEnabled);

    // The switch is the explicit request when there is one, otherwise on only in the
    // development channel; always off in the appStore channel.
    static FeatureFlags resolved(TolviDistributionChannel distributionChannel,
                                 std::optional<bool> requestedAIRewriteEnabled);

    // Reads the two build values as they are written in the build's information table:
    // the channel text (absent or unknown: direct) and the AI rewrite request (see
    // lenientBoolean()).
    static FeatureFlags fromBuildValues(const std::optional<QString>& distributionChannel,
                                        const std::optional<QString>& aiRewriteRequest);

    TolviDistributionChannel distributionChannel() const { return m_distributionChannel; }
    bool aiRewriteEnabled() const { return m_aiRewriteEnabled; }
    bool publicAIEnabled() const { return m_aiRewriteEnabled; }
    bool shouldShowAIRewrite() const { return m_aiRewriteEnabled; }
    bool canRunAIRewrite() const { return m_aiRewriteEnabled; }

    friend bool operator==(const FeatureFlags&, const FeatureFlags&) = default;

private:
    TolviDistributionChannel m_distributionChannel;
    bool m_aiRewriteEnabled;
};

// A build switch written as text: trimmed and lower-cased, "1", "true", "yes" and "enabled"
// are true, "0", "false", "no" and "disabled" are false; any other text is no answer.
std::optional<bool> lenientBoolean(const QString& text);

} // namespace tolvi
