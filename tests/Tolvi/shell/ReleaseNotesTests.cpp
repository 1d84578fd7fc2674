#include "Tolvi/platform/shell/BundleInfo.h"
#include "Tolvi/shell/AppFeatureFlags.h"
#include "Tolvi/shell/TolviReleaseNotes.h"

#include <gtest/gtest.h>

using namespace tolvi;

namespace {

TEST(TolviReleaseNotes, FallsBackWithoutVersionOrBuild)
{
    const InMemoryBundleInfo bundle;
    const TolviReleaseNotes notes = TolviReleaseNotes::current(bundle);
    EXPECT_EQ(notes.version, QStringLiteral("0.1.8"));
    EXPECT_EQ(notes.build, QStringLiteral("9"));
    EXPECT_EQ(notes.title, QStringLiteral("Tolvi 0.1.8"));
    EXPECT_EQ(notes.subtitle, QStringLiteral("Two glass themes, safer paste queues, and a more resilient local clipboard."));
}

TEST(TolviReleaseNotes, UsesTheBuildValuesAndAlwaysTheSameThreeHighlights)
{
    InMemoryBundleInfo bundle;
    bundle.set(QString::fromLatin1(bundlekey::shortVersion), QStringLiteral("0.2.0"));
    bundle.set(QString::fromLatin1(bundlekey::buildNumber), QStringLiteral("31"));
    const TolviReleaseNotes notes = TolviReleaseNotes::current(bundle);
    EXPECT_EQ(notes.version, QStringLiteral("0.2.0"));
    EXPECT_EQ(notes.build, QStringLiteral("31"));
    EXPECT_EQ(notes.title, QStringLiteral("Tolvi 0.2.0"));
    ASSERT_EQ(notes.highlights.size(), 3);
    EXPECT_EQ(notes.highlights[0].systemImage, QStringLiteral("circle.lefthalf.filled"));
    EXPECT_EQ(notes.highlights[0].title, QStringLiteral("Light Glass and Dark Glass"));
    EXPECT_EQ(notes.highlights[1].title, QStringLiteral("A queue you control"));
    EXPECT_EQ(notes.highlights[1].detail,
              QStringLiteral("Mixed text, images, and files use a paste queue. Each step checks the destination app "
                             "and pauses when it reports a blocking dialog. Cancel stops the remaining steps."));
    EXPECT_EQ(notes.highlights[2].systemImage, QStringLiteral("arrow.up.arrow.down.doc"));
    EXPECT_EQ(notes.highlights[2].detail,
              QStringLiteral("Export and restore clips, original formats, and boards in Privacy settings. Archives "
                             "are unencrypted; keep them private."));
}

TEST(TolviReleaseNotes, EveryBuildHasFreshHighlightIds)
{
    const InMemoryBundleInfo bundle;
    const TolviReleaseNotes first = TolviReleaseNotes::current(bundle);
    const TolviReleaseNotes second = TolviReleaseNotes::current(bundle);
    EXPECT_NE(first, second);
    EXPECT_EQ(first.version, second.version);
    EXPECT_NE(first.highlights[0].id, second.highlights[0].id);
    EXPECT_NE(first.highlights[0].id, first.highlights[1].id);
    EXPECT_FALSE(first.highlights[0].id.isNull());
}

TEST(TolviLinks, FourPagesOnOneSecureHost)
{
    const QList<QUrl> links = {TolviLinks::privacy(), TolviLinks::support(), TolviLinks::changelog(), TolviLinks::terms()};
    const QStringList paths = {QStringLiteral("/privacy"), QStringLiteral("/support"), QStringLiteral("/changelog"),
                               QStringLiteral("/terms")};
    for (qsizetype i = 0; i < links.size(); ++i) {
        EXPECT_TRUE(links[i].isValid());
        EXPECT_EQ(links[i].scheme(), QStringLiteral("https"));
        EXPECT_EQ(links[i].host(), links[0].host());
        EXPECT_EQ(links[i].path(), paths[i]);
    }
}

TEST(AppFeatureFlags, ReadsTheBuildValues)
{
    InMemoryBundleInfo bundle;
    EXPECT_EQ(AppFeatureFlags::current(bundle), FeatureFlags(TolviDistributionChannel::direct, false));
    bundle.set(QString::fromLatin1(bundlekey::distributionChannel), QStringLiteral("appStore"));
    bundle.set(QString::fromLatin1(bundlekey::aiRewriteEnabled), QStringLiteral("yes"));
    EXPECT_EQ(AppFeatureFlags::current(bundle), FeatureFlags(TolviDistributionChannel::appStore, false));
    bundle.set(QString::fromLatin1(bundlekey::distributionChannel), QStringLiteral("direct"));
    EXPECT_EQ(AppFeatureFlags::current(bundle), FeatureFlags(TolviDistributionChannel::direct, true));
    // This build's own table resolves too.
    const FeatureFlags built = AppFeatureFlags::current(CompiledBundleInfo());
    EXPECT_EQ(distributionchannel::fromRawValue(distributionchannel::rawValue(built.distributionChannel())),
              built.distributionChannel());
}

} // namespace
