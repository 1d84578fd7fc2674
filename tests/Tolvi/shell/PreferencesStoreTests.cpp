#include "Tolvi/platform/settings/InMemoryKeyValueSettings.h"
#include "Tolvi/shell/PreferencesStore.h"

#include <gtest/gtest.h>

using namespace tolvi;

namespace {

using Store = PreferencesStore;

TEST(PreferencesStore, EmptySettingsGiveTheDefaults)
{
    InMemoryKeyValueSettings settings;
    Store store(settings);
    EXPECT_EQ(store.appearance(), TolviAppearance::light);
    EXPECT_TRUE(store.isClipboardMonitoringEnabled());
    EXPECT_TRUE(store.capturesText());
    EXPECT_TRUE(store.capturesImages());
    EXPECT_FALSE(store.hidesWindowsFromScreenCapture());
    EXPECT_EQ(store.historyLimit(), HistoryLimitPreference::unlimited);
    EXPECT_TRUE(store.isGlobalHotKeyEnabled());
    EXPECT_EQ(store.globalShortcut(), GlobalShortcutPreset::controlOptionV);
    EXPECT_FALSE(store.hasCompletedSetup());
    EXPECT_EQ(store.completedSetupVersion(), std::nullopt);
    EXPECT_EQ(store.lastSeenReleaseNotesVersion(), std::nullopt);
    EXPECT_EQ(store.globalHotKeyError(), std::nullopt);
    EXPECT_FALSE(store.isCapturePrivacyBlocked());
    EXPECT_EQ(store.captureStatusTitle(), QStringLiteral("Capture on"));
    EXPECT_EQ(store.captureStatusDetail(), QStringLiteral("On"));
    // Loading writes nothing when nothing was stored.
    EXPECT_TRUE(settings.keys().isEmpty());
}

TEST(PreferencesStore, StoredValuesLoadAndUnknownTextsFallBack)
{
    InMemoryKeyValueSettings settings;
    settings.setString(Store::appearanceKey, QStringLiteral("dark"));
    settings.setBoolean(Store::monitoringEnabledKey, false);
    settings.setBoolean(Store::hidesWindowsFromScreenCaptureKey, true);
    settings.setString(Store::historyLimitKey, QStringLiteral("fifty"));
    settings.setString(Store::globalShortcutKey, QStringLiteral("optionSpace"));
    settings.setBoolean(Store::hasCompletedSetupKey, true);
    {
        Store store(settings);
        EXPECT_EQ(store.appearance(), TolviAppearance::dark);
        EXPECT_FALSE(store.isClipboardMonitoringEnabled());
        EXPECT_TRUE(store.hidesWindowsFromScreenCapture());
        EXPECT_EQ(store.historyLimit(), HistoryLimitPreference::fifty);
        EXPECT_EQ(store.globalShortcut(), GlobalShortcutPreset::optionSpace);
        EXPECT_TRUE(store.hasCompletedSetup());
    }

    settings.setString(Store::appearanceKey, QStringLiteral("Dark"));
    settings.setString(Store::historyLimitKey, QStringLiteral("200"));
    settings.setString(Store::globalShortcutKey, QStringLiteral("Option + Space"));
    Store store(settings);
    EXPECT_EQ(store.appearance(), TolviAppearance::light);
    EXPECT_EQ(store.historyLimit(), HistoryLimitPreference::unlimited);
    EXPECT_EQ(store.globalShortcut(), GlobalShortcutPreset::controlOptionV);
}

TEST(PreferencesStore, PresentBooleansReadLenientlyInsteadOfFallingBack)
{
    InMemoryKeyValueSettings settings;
    // Present but not a Boolean: read with the settings' Boolean rules, not the default.
    settings.setString(Store::capturesTextKey, QStringLiteral("abc"));
    settings.setString(Store::capturesImagesKey, QStringLiteral("YES"));
    settings.setInteger(Store::hotKeyEnabledKey, 0);
    settings.setData(Store::monitoringEnabledKey, QByteArray("1"));
    settings.setString(Store::hidesWindowsFromScreenCaptureKey, QStringLiteral("2"));
    Store store(settings);
    EXPECT_FALSE(store.capturesText());
    EXPECT_TRUE(store.capturesImages());
    EXPECT_FALSE(store.isGlobalHotKeyEnabled());
    EXPECT_FALSE(store.isClipboardMonitoringEnabled());
    EXPECT_TRUE(store.hidesWindowsFromScreenCapture());
    EXPECT_EQ(store.captureStatusTitle(), QStringLiteral("Paused"));
    EXPECT_EQ(store.captureStatusDetail(), QStringLiteral("Paused"));
}

TEST(PreferencesStore, VersionsAreSavedBackAsTextAndNilRemovesTheKey)
{
    InMemoryKeyValueSettings settings;
    settings.setInteger(Store::completedSetupVersionKey, 3);
    settings.setString(Store::lastSeenReleaseNotesVersionKey, QStringLiteral("0.1.0"));
    Store store(settings);
    EXPECT_EQ(store.completedSetupVersion(), QStringLiteral("3"));
    EXPECT_EQ(settings.value(Store::completedSetupVersionKey), QVariant(QStringLiteral("3")));
    EXPECT_EQ(settings.writeCount(Store::lastSeenReleaseNotesVersionKey), 2);

    store.setLastSeenReleaseNotesVersion(std::nullopt);
    EXPECT_FALSE(settings.contains(Store::lastSeenReleaseNotesVersionKey));
    EXPECT_EQ(Store(settings).lastSeenReleaseNotesVersion(), std::nullopt);
}

TEST(PreferencesStore, EveryAssignmentSavesAndNotifiesEvenWhenUnchanged)
{
    InMemoryKeyValueSettings settings;
    Store store(settings);
    int announcements = 0;
    QList<bool> delivered;
    QObject::connect(&store, &Store::aboutToChange, [&] { ++announcements; });
    QObject::connect(&store, &Store::capturesTextChanged, [&](bool value) { delivered.append(value); });

    store.setCapturesText(true);
    store.setCapturesText(true);
    EXPECT_EQ(delivered, (QList<bool>{true, true}));
    EXPECT_EQ(announcements, 2);
    EXPECT_EQ(settings.writeCount(Store::capturesTextKey), 2);
    EXPECT_TRUE(settings.boolean(Store::capturesTextKey));

    store.setHistoryLimit(HistoryLimitPreference::oneThousand);
    store.setGlobalShortcut(GlobalShortcutPreset::commandShiftV);
    store.setAppearance(TolviAppearance::dark);
    EXPECT_EQ(settings.string(Store::historyLimitKey), QStringLiteral("oneThousand"));
    EXPECT_EQ(settings.string(Store::globalShortcutKey), QStringLiteral("commandShiftV"));
    EXPECT_EQ(settings.string(Store::appearanceKey), QStringLiteral("dark"));

    // The two run-time flags are never saved.
    const int writesBefore = settings.totalWriteCount();
    store.setGlobalHotKeyError(QStringLiteral("Ctrl + Alt + V is taken"));
    store.setCapturePrivacyBlocked(true);
    EXPECT_EQ(settings.totalWriteCount(), writesBefore);
    EXPECT_EQ(store.globalHotKeyError(), QStringLiteral("Ctrl + Alt + V is taken"));

    // A new store on the same settings reads what was saved.
    Store reloaded(settings);
    EXPECT_EQ(reloaded.historyLimit(), HistoryLimitPreference::oneThousand);
    EXPECT_EQ(reloaded.globalShortcut(), GlobalShortcutPreset::commandShiftV);
    EXPECT_EQ(reloaded.appearance(), TolviAppearance::dark);
    EXPECT_FALSE(reloaded.isCapturePrivacyBlocked());
}

TEST(PreferencesStore, SwitchesTurnedAwayFromTheirDefaultsStaySoAtTheNextStart)
{
    struct Switch {
        const char* name;
        void (Store::*set)(bool);
        bool (Store::*get)() const;
        bool byDefault;
    };
    const Switch switches[] = {
        {"capture images", &Store::setCapturesImages, &Store::capturesImages, true},
        {"hide windows from screen capture", &Store::setHidesWindowsFromScreenCapture,
         &Store::hidesWindowsFromScreenCapture, false},
        {"global hot key", &Store::setGlobalHotKeyEnabled, &Store::isGlobalHotKeyEnabled, true},
    };
    for (const Switch& each : switches) {
        SCOPED_TRACE(each.name);
        InMemoryKeyValueSettings settings;
        (Store(settings).*each.set)(!each.byDefault);
        Store restarted(settings);
        EXPECT_EQ((restarted.*each.get)(), !each.byDefault);
        (restarted.*each.set)(each.byDefault);
        EXPECT_EQ((Store(settings).*each.get)(), each.byDefault);
    }
}

TEST(PreferencesStore, ChangeIsAnnouncedBeforeTheValueIsStored)
{
    InMemoryKeyValueSettings settings;
    Store store(settings);
    bool storedDuringSignal = true;
    bool savedDuringSignal = true;
    bool argument = true;
    QObject::connect(&store, &Store::clipboardMonitoringEnabledChanged, [&](bool value) {
        argument = value;
        storedDuringSignal = store.isClipboardMonitoringEnabled();
        savedDuringSignal = settings.contains(Store::monitoringEnabledKey);
    });
    store.setClipboardMonitoringEnabled(false);
    EXPECT_FALSE(argument);
    EXPECT_TRUE(storedDuringSignal);  // still the old value
    EXPECT_FALSE(savedDuringSignal);
    EXPECT_FALSE(store.isClipboardMonitoringEnabled());
    EXPECT_FALSE(settings.boolean(Store::monitoringEnabledKey));
}

TEST(PreferencesStore, CaptureBlockedWinsOverMonitoring)
{
    InMemoryKeyValueSettings settings;
    Store store(settings);
    store.setClipboardMonitoringEnabled(false);
    store.setCapturePrivacyBlocked(true);
    EXPECT_EQ(store.captureStatusTitle(), QStringLiteral("Capture blocked"));
    EXPECT_EQ(store.captureStatusDetail(),
              QStringLiteral("Blocked because app exclusions could not be read. Open Settings, Exclusions to recover."));
}

TEST(PreferencesStore, ReleaseNotesShowOnlyAfterSetupAndOncePerVersion)
{
    InMemoryKeyValueSettings settings;
    Store store(settings);
    EXPECT_FALSE(store.shouldShowReleaseNotes(QStringLiteral("0.1.0")));
    store.setHasCompletedSetup(true);
    EXPECT_TRUE(store.shouldShowReleaseNotes(QStringLiteral("0.1.0")));
    store.setLastSeenReleaseNotesVersion(QStringLiteral("0.1.0"));
    EXPECT_FALSE(store.shouldShowReleaseNotes(QStringLiteral("0.1.0")));
    EXPECT_TRUE(store.shouldShowReleaseNotes(QStringLiteral("0.1.1")));
}

TEST(PreferenceValues, RawValuesLimitsAndNames)
{
    for (auto value : historylimit::allCases)
        EXPECT_EQ(historylimit::fromRawValue(historylimit::rawValue(value)), value);
    for (auto value : globalshortcut::allCases)
        EXPECT_EQ(globalshortcut::fromRawValue(globalshortcut::rawValue(value)), value);
    EXPECT_EQ(historylimit::itemLimit(HistoryLimitPreference::twentyFive), 25);
    EXPECT_EQ(historylimit::itemLimit(HistoryLimitPreference::oneThousand), 1000);
    EXPECT_EQ(historylimit::itemLimit(HistoryLimitPreference::unlimited), std::nullopt);
    EXPECT_EQ(historylimit::title(HistoryLimitPreference::oneThousand), QStringLiteral("1,000 recent items"));
    EXPECT_EQ(globalshortcut::displayName(GlobalShortcutPreset::commandShiftV), QStringLiteral("Super + Shift + V"));
    EXPECT_EQ(appearance::fromRawValue(u"light"), TolviAppearance::light);
    EXPECT_EQ(appearance::fromRawValue(u"Light"), std::nullopt);
}

} // namespace
