#include "Tolvi/platform/settings/InMemoryKeyValueSettings.h"
#include "Tolvi/platform/settings/QtKeyValueSettings.h"
#include "Tolvi/platform/shell/Clock.h"
#include "Tolvi/shell/UsageMetricsStore.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <limits>

using namespace tolvi;

namespace {

using Event = UsageMetricEvent;
constexpr qint64 kMax = std::numeric_limits<qint64>::max();

const QDateTime kStart = QDateTime::fromMSecsSinceEpoch(1'772'357'400'250, Qt::UTC);  // 2026-03-01T09:30:00.25Z

class UsageMetricsStoreTest : public ::testing::Test {
protected:
    InMemoryKeyValueSettings settings;
    FakeClock clock{kStart};
};

TEST_F(UsageMetricsStoreTest, LoadingKeepsOnlyPositiveCountsAndListsEveryEvent)
{
    settings.setInteger(UsageMetricsStore::countKey(Event::pastePerformed), 4);
    settings.setInteger(UsageMetricsStore::countKey(Event::copyPerformed), 0);
    settings.setInteger(UsageMetricsStore::countKey(Event::snippetCreated), -3);
    settings.setString(UsageMetricsStore::countKey(Event::feedbackOpened), QStringLiteral("2"));
    settings.setDouble(UsageMetricsStore::lastRecordedAtKey, 0.0);
    settings.setDouble(UsageMetricsStore::lastResetAtKey, -5.0);

    UsageMetricsStore store(settings, clock);
    EXPECT_EQ(store.counts().size(), 2);
    EXPECT_EQ(store.count(Event::pastePerformed), 4);
    EXPECT_EQ(store.count(Event::feedbackOpened), 2);
    EXPECT_FALSE(store.counts().contains(Event::copyPerformed));
    EXPECT_EQ(store.totalCount(), 6);
    EXPECT_EQ(store.lastRecordedAt(), std::nullopt);
    EXPECT_EQ(store.lastResetAt(), std::nullopt);

    const QList<UsageMetricCounter> counters = store.counters();
    ASSERT_EQ(counters.size(), 19);
    for (qsizetype i = 0; i < counters.size(); ++i)
        EXPECT_EQ(counters[i].event, usagemetric::allCases[static_cast<std::size_t>(i)]);
    EXPECT_EQ(counters[1].count, 0);
    EXPECT_EQ(counters[2], (UsageMetricCounter{Event::pastePerformed, 4}));
    EXPECT_EQ(counters[2].id(), QStringLiteral("pastePerformed"));
}

TEST_F(UsageMetricsStoreTest, RecordingCountsSavesAndNotesTheTime)
{
    UsageMetricsStore store(settings, clock);
    int countChanges = 0;
    QObject::connect(&store, &UsageMetricsStore::countsChanged, [&] { ++countChanges; });
    store.record(Event::pastePerformed);
    clock.advance(1500);
    store.record(Event::pastePerformed);
    EXPECT_EQ(countChanges, 2);
    EXPECT_EQ(settings.integer(QStringLiteral("tolvi.usage.count.pastePerformed")), 2);
    EXPECT_EQ(store.lastRecordedAt(), kStart.addMSecs(1500));
    EXPECT_DOUBLE_EQ(settings.doubleValue(QStringLiteral("tolvi.usage.lastRecordedAt")), 1772357401.75);

    UsageMetricsStore reloaded(settings, clock);
    EXPECT_EQ(reloaded.count(Event::pastePerformed), 2);
    EXPECT_EQ(reloaded.lastRecordedAt(), kStart.addMSecs(1500));
}

TEST_F(UsageMetricsStoreTest, ResetClearsCountsAndSurvivesARestart)
{
    UsageMetricsStore store(settings, clock);
    store.record(Event::copyPerformed);
    store.record(Event::diagnosticsExported);
    clock.advance(60'000);
    store.reset();
    EXPECT_EQ(store.totalCount(), 0);
    EXPECT_TRUE(store.counts().isEmpty());
    EXPECT_EQ(store.lastRecordedAt(), std::nullopt);
    EXPECT_EQ(store.lastResetAt(), kStart.addMSecs(60'000));
    EXPECT_FALSE(settings.contains(UsageMetricsStore::countKey(Event::copyPerformed)));
    EXPECT_FALSE(settings.contains(UsageMetricsStore::lastRecordedAtKey));

    UsageMetricsStore reloaded(settings, clock);
    EXPECT_EQ(reloaded.totalCount(), 0);
    EXPECT_EQ(reloaded.lastRecordedAt(), std::nullopt);
    EXPECT_EQ(reloaded.lastResetAt(), kStart.addMSecs(60'000));
}

TEST_F(UsageMetricsStoreTest, MilestonesReachOneOnceUntilTheNextReset)
{
    UsageMetricsStore store(settings, clock);
    store.recordWithMilestone(Event::pastePerformed);
    store.recordWithMilestone(Event::pastePerformed);
    store.recordWithMilestone(Event::pastePerformed);
    EXPECT_EQ(store.count(Event::pastePerformed), 3);
    EXPECT_EQ(store.count(Event::firstPasteCompleted), 1);

    store.recordWithMilestone(Event::copyPerformed);  // no milestone of its own
    EXPECT_EQ(store.totalCount(), 5);

    store.reset();
    store.recordWithMilestone(Event::pastePerformed);
    EXPECT_EQ(store.count(Event::firstPasteCompleted), 1);

    EXPECT_EQ(usagemetric::milestone(Event::compactModeOpened), Event::firstCompactModeOpened);
    EXPECT_EQ(usagemetric::milestone(Event::richPreviewOpened), Event::firstPreviewOpened);
    EXPECT_EQ(usagemetric::milestone(Event::snippetCreated), Event::firstSnippetCreated);
    EXPECT_EQ(usagemetric::milestone(Event::firstPasteCompleted), std::nullopt);
}

TEST_F(UsageMetricsStoreTest, HugeStoredCountsStopAtTheLargestValue)
{
    settings.setInteger(UsageMetricsStore::countKey(Event::pastePerformed), kMax);
    settings.setInteger(UsageMetricsStore::countKey(Event::copyPerformed), kMax - 1);
    UsageMetricsStore store(settings, clock);
    EXPECT_EQ(store.totalCount(), kMax);

    store.record(Event::pastePerformed);
    store.record(Event::copyPerformed);
    store.record(Event::copyPerformed);
    EXPECT_EQ(store.count(Event::pastePerformed), kMax);
    EXPECT_EQ(store.count(Event::copyPerformed), kMax);
    EXPECT_EQ(settings.integer(UsageMetricsStore::countKey(Event::pastePerformed)), kMax);
    EXPECT_EQ(store.totalCount(), kMax);
}

TEST(UsageMetricsFile, HandEditedCountsBeyondTheRangeStillCountSafely)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("settings.conf"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[General]\n"
               "tolvi.usage.count.pastePerformed=999999999999999999999999999\n"
               "tolvi.usage.count.copyPerformed=many\n"
               "tolvi.usage.lastRecordedAt=1e300\n");
    file.close();

    QtKeyValueSettings settings(path);
    FakeClock clock(kStart);
    UsageMetricsStore store(settings, clock);
    EXPECT_EQ(store.count(Event::pastePerformed), kMax);
    EXPECT_EQ(store.count(Event::copyPerformed), 0);
    EXPECT_EQ(store.lastRecordedAt(), std::nullopt);
    store.record(Event::pastePerformed);
    EXPECT_EQ(store.count(Event::pastePerformed), kMax);
}

TEST(UsageMetricEvent, TitlesSymbolsAndRawValues)
{
    EXPECT_EQ(usagemetric::allCases.size(), 19u);
    for (Event event : usagemetric::allCases)
        EXPECT_EQ(usagemetric::fromRawValue(usagemetric::rawValue(event)), event);
    EXPECT_EQ(usagemetric::title(Event::fullHistoryOpened), QStringLiteral("Full window opened"));
    EXPECT_EQ(usagemetric::systemImage(Event::fullHistoryOpened), QStringLiteral("rectangle.split.2x1"));
    EXPECT_EQ(usagemetric::title(Event::firstPasteCompleted), QStringLiteral("First paste"));
    EXPECT_EQ(usagemetric::systemImage(Event::diagnosticsExported), QStringLiteral("stethoscope"));
    EXPECT_EQ(UsageMetricsStore::countKey(Event::boardAssignmentChanged),
              QStringLiteral("tolvi.usage.count.boardAssignmentChanged"));
    EXPECT_EQ(usagemetric::fromRawValue(u"PastePerformed"), std::nullopt);
}

} // namespace
