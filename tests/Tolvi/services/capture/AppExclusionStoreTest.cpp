#include "Tolvi/services/capture/AppExclusionStore.h"

#include "Tolvi/platform/settings/InMemoryKeyValueSettings.h"

#include <QJsonDocument>

#include <gtest/gtest.h>

using namespace tolvi;

namespace {
const QString key = QStringLiteral("tolvi.appExclusions.v1");
}

TEST(AppExclusionStore, NoStoredValueIsEmptyReadableAndWritesNothing)
{
    InMemoryKeyValueSettings settings;
    AppExclusionStore store(settings);
    EXPECT_FALSE(store.loadIssue().has_value());
    EXPECT_TRUE(store.excludedApps().isEmpty());
    EXPECT_EQ(settings.totalWriteCount(), 0);
}

TEST(AppExclusionStore, AddsSortedCaseInsensitivelyAndStoresJson)
{
    InMemoryKeyValueSettings settings;
    AppExclusionStore store(settings);
    store.add(QStringLiteral("org.zeta"), QStringLiteral("Zeta"));
    store.add(QStringLiteral("org.alpha"), QStringLiteral("alpha"));
    store.add(QStringLiteral("org.alpha"), QStringLiteral("duplicate"));
    store.add(QStringLiteral("ORG.ALPHA"), QStringLiteral("Other case"));
    store.add(QStringLiteral("has space"), QStringLiteral("Invalid"));
    store.add(QString(), QStringLiteral("Empty"));
    ASSERT_EQ(store.excludedApps().size(), 3);
    EXPECT_EQ(store.excludedApps().at(0).name, QStringLiteral("alpha"));
    EXPECT_EQ(store.excludedApps().at(1).name, QStringLiteral("Other case"));
    EXPECT_EQ(store.excludedApps().at(2).name, QStringLiteral("Zeta"));
    EXPECT_TRUE(store.contains(QStringLiteral("ORG.ALPHA")));
    EXPECT_FALSE(store.contains(QStringLiteral("org.Alpha")));
    EXPECT_FALSE(store.contains(std::nullopt));

    // A second store reads back the same list in the same order.
    AppExclusionStore reloaded(settings);
    EXPECT_EQ(reloaded.excludedApps(), store.excludedApps());
    EXPECT_TRUE(QJsonDocument::fromJson(*settings.data(key)).isArray());
}

TEST(AppExclusionStore, LoadsStoredListAsStoredWithDuplicates)
{
    InMemoryKeyValueSettings settings;
    settings.setData(key, R"([{"bundleIdentifier":"b","name":"B"},{"bundleIdentifier":"a","name":"A","x":1},)"
                          R"({"bundleIdentifier":"b","name":"B2"}])");
    AppExclusionStore store(settings);
    EXPECT_FALSE(store.loadIssue().has_value());
    ASSERT_EQ(store.excludedApps().size(), 3);
    EXPECT_EQ(store.excludedApps().at(0).bundleIdentifier, QStringLiteral("b"));
    EXPECT_EQ(store.excludedApps().at(2).name, QStringLiteral("B2"));
}

TEST(AppExclusionStore, UnreadableValueFailsClosedUntilReset)
{
    const QList<QVariant> unreadable{
        QVariant(QStringLiteral("a string, not data")),
        QVariant(QByteArray("{not json")),
        QVariant(QByteArray(R"({"bundleIdentifier":"a","name":"A"})")),
        QVariant(QByteArray(R"([{"bundleIdentifier":"ends.with.blank ","name":"A"}])")),
        QVariant(QByteArray(R"([{"bundleIdentifier":"a"}])")),
    };
    for (const QVariant& stored : unreadable) {
        InMemoryKeyValueSettings settings;
        settings.setValue(key, stored);
        AppExclusionStore store(settings);
        EXPECT_EQ(store.loadIssue(), AppExclusionStore::LoadIssue::unreadableSettings) << stored.toString().toStdString();

        // Nothing is added and the stored value is never overwritten.
        store.add(QStringLiteral("org.new"), QStringLiteral("New"));
        EXPECT_TRUE(store.excludedApps().isEmpty());
        store.setExcludedApps({ExcludedApp{QStringLiteral("org.x"), QStringLiteral("X")}});
        EXPECT_EQ(store.excludedApps().size(), 1);
        EXPECT_EQ(settings.value(key), stored);

        store.resetUnreadableSettings();
        EXPECT_FALSE(store.loadIssue().has_value());
        EXPECT_TRUE(store.excludedApps().isEmpty());
        EXPECT_FALSE(settings.contains(key));
        store.add(QStringLiteral("org.new"), QStringLiteral("New"));
        EXPECT_TRUE(settings.contains(key));
    }
}

TEST(AppExclusionStore, IdentifierValidity)
{
    EXPECT_TRUE(AppExclusionStore::isValidBundleIdentifier(QStringLiteral("Firefox")));
    EXPECT_TRUE(AppExclusionStore::isValidBundleIdentifier(QStringLiteral("org.kde.dolphin")));
    EXPECT_FALSE(AppExclusionStore::isValidBundleIdentifier(QString()));
    EXPECT_FALSE(AppExclusionStore::isValidBundleIdentifier(QStringLiteral("a\tb")));
    EXPECT_FALSE(AppExclusionStore::isValidBundleIdentifier(QStringLiteral("a\u00a0b")));
    EXPECT_FALSE(AppExclusionStore::isValidBundleIdentifier(QStringLiteral("a\u0007b")));
    EXPECT_FALSE(AppExclusionStore::isValidBundleIdentifier(QStringLiteral("a\u2028b")));
}
