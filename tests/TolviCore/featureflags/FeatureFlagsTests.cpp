#include "TolviCore/featureflags/FeatureFlags.h"
#include "TolviCore/featureflags/SetupGuideVersion.h"

#include <gtest/gtest.h>

using namespace tolvi;

namespace {

using Channel = TolviDistributionChannel;

TEST(DistributionChannel, RawValuesMatchExactly)
{
    EXPECT_EQ(distributionchannel::rawValue(Channel::development), QStringLiteral("development"));
    EXPECT_EQ(distributionchannel::rawValue(Channel::direct), QStringLiteral("direct"));
    EXPECT_EQ(distributionchannel::rawValue(Channel::appStore), QStringLiteral("appStore"));
    for (Channel channel : distributionchannel::allCases)
        EXPECT_EQ(distributionchannel::fromRawValue(distributionchannel::rawValue(channel)), channel);
    for (const char* other : {" direct", "Development", "appstore", "AppStore", "", "direct "})
        EXPECT_EQ(distributionchannel::fromRawValue(QString::fromLatin1(other)), std::nullopt) << other;
}

TEST(FeatureFlags, ResolvedFollowsTheFlagTable)
{
    struct Row {
        Channel channel;
        std::optional<bool> request;
        bool expected;
    };
    const Row rows[] = {
        {Channel::development, std::nullopt, true},
        {Channel::direct, std::nullopt, false},
        {Channel::appStore, std::nullopt, false},
        {Channel::appStore, true, false},
        {Channel::appStore, false, false},
        {Channel::development, true, true},
        {Channel::direct, true, true},
        {Channel::development, false, false},
        {Channel::direct, false, false},
    };
    for (const Row& row : rows) {
        const FeatureFlags flags = FeatureFlags::resolved(row.channel, row.request);
        EXPECT_EQ(flags.distributionChannel(), row.channel);
        EXPECT_EQ(flags.aiRewriteEnabled(), row.expected)
            << distributionchannel::rawValue(row.channel).toStdString() << " request "
            << (row.request ? (*row.request ? "true" : "false") : "none");
        EXPECT_EQ(flags.publicAIEnabled(), row.expected);
        EXPECT_EQ(flags.shouldShowAIRewrite(), row.expected);
        EXPECT_EQ(flags.canRunAIRewrite(), row.expected);
    }
}

TEST(FeatureFlags, AppStoreNeverEnablesRewriteEvenWhenBuiltDirectly)
{
    EXPECT_FALSE(FeatureFlags(Channel::appStore, true).aiRewriteEnabled());
    EXPECT_TRUE(FeatureFlags(Channel::direct, true).aiRewriteEnabled());
    EXPECT_EQ(FeatureFlags(Channel::appStore, true), FeatureFlags(Channel::appStore, false));
    EXPECT_NE(FeatureFlags(Channel::direct, true), FeatureFlags(Channel::direct, false));
    EXPECT_NE(FeatureFlags(Channel::direct, false), FeatureFlags(Channel::development, false));
}

TEST(FeatureFlags, LenientBooleanReading)
{
    for (const char* yes : {"1", "true", "yes", "enabled", " YES ", "\tTrue\n", "Enabled"})
        EXPECT_EQ(lenientBoolean(QString::fromLatin1(yes)), true) << yes;
    for (const char* no : {"0", "false", "no", "disabled", " NO", "FALSE\n"})
        EXPECT_EQ(lenientBoolean(QString::fromLatin1(no)), false) << no;
    for (const char* none : {"on", "off", "", "2", "y", "yes please"})
        EXPECT_EQ(lenientBoolean(QString::fromLatin1(none)), std::nullopt) << none;
}

TEST(FeatureFlags, BuildValuesResolveChannelAndRequest)
{
    const auto flags = [](std::optional<QString> channel, std::optional<QString> request) {
        return FeatureFlags::fromBuildValues(channel, request);
    };
    EXPECT_EQ(flags(std::nullopt, std::nullopt), FeatureFlags(Channel::direct, false));
    EXPECT_EQ(flags(QStringLiteral("development"), std::nullopt), FeatureFlags(Channel::development, true));
    // An unknown channel text reads as direct; the request still applies.
    EXPECT_EQ(flags(QStringLiteral("Development"), QStringLiteral(" YES ")), FeatureFlags(Channel::direct, true));
    EXPECT_EQ(flags(QStringLiteral("appstore"), std::nullopt), FeatureFlags(Channel::direct, false));
    // "on" is no request: the channel decides.
    EXPECT_EQ(flags(QStringLiteral("development"), QStringLiteral("on")), FeatureFlags(Channel::development, true));
    EXPECT_EQ(flags(QStringLiteral("development"), QStringLiteral("disabled")), FeatureFlags(Channel::development, false));
    EXPECT_EQ(flags(QStringLiteral("appStore"), QStringLiteral("true")), FeatureFlags(Channel::appStore, false));
}

TEST(SetupGuideVersion, OnlyTheCurrentTagSkipsTheTour)
{
    EXPECT_EQ(SetupGuideVersion::current(), QStringLiteral("0.1.3-polished-tour"));
    EXPECT_FALSE(SetupGuideVersion::needsCurrentSetup(QStringLiteral("0.1.3-polished-tour")));
    EXPECT_TRUE(SetupGuideVersion::needsCurrentSetup(std::nullopt));
    EXPECT_TRUE(SetupGuideVersion::needsCurrentSetup(QString()));
    EXPECT_TRUE(SetupGuideVersion::needsCurrentSetup(QStringLiteral("0.1.2-tour")));
    EXPECT_TRUE(SetupGuideVersion::needsCurrentSetup(QStringLiteral("0.1.3-polished-tour ")));
}

} // namespace
