#include "Tolvi/platform/shell/BundleInfo.h"

#include <gtest/gtest.h>

namespace tolvi {
const QList<std::pair<QString, QString>>& sampleBundleTable();
}

using namespace tolvi;

namespace {

TEST(CompiledBundleInfo, BuildTableCarriesTheConfiguredValues)
{
    const CompiledBundleInfo bundle;
    EXPECT_EQ(bundle.value(QString::fromLatin1(bundlekey::shortVersion)), QStringLiteral(TOLVI_TEST_PROJECT_VERSION));
    EXPECT_EQ(bundle.value(QString::fromLatin1(bundlekey::buildNumber)), QStringLiteral(TOLVI_TEST_BUILD_NUMBER));
    EXPECT_EQ(bundle.value(QString::fromLatin1(bundlekey::distributionChannel)), QStringLiteral(TOLVI_TEST_CHANNEL));
    EXPECT_EQ(bundle.bundleIdentifier(), QStringLiteral("Tolvi"));
}

TEST(CompiledBundleInfo, GeneratedTableKeepsValuesVerbatimAndEmptyDistinctFromAbsent)
{
    const CompiledBundleInfo bundle(sampleBundleTable());
    EXPECT_EQ(bundle.value(QStringLiteral("Quoted")), QStringLiteral("say \"hi\" \\ done"));
    EXPECT_EQ(bundle.value(QStringLiteral("Empty")), QString());
    EXPECT_TRUE(bundle.contains(QStringLiteral("Empty")));
    EXPECT_FALSE(bundle.contains(QStringLiteral("Left out")));
    EXPECT_EQ(bundle.value(QStringLiteral("List")), QStringLiteral("a;b"));
    EXPECT_EQ(bundle.value(QStringLiteral("Unicode")), QString::fromUtf8("Välkommen"));
    EXPECT_EQ(bundle.value(QStringLiteral("Left out"), QStringLiteral("fallback")), QStringLiteral("fallback"));
    EXPECT_EQ(bundle.value(QStringLiteral("Empty"), QStringLiteral("fallback")), QString());
}

} // namespace
