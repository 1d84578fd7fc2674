#include "Tolvi/platform/settings/InMemoryKeyValueSettings.h"
#include "Tolvi/shell/PreferencesRuntimeBinding.h"
#include "Tolvi/shell/PreferencesStore.h"

#include <gtest/gtest.h>

#include <memory>
#include <utility>

using namespace tolvi;

namespace {

struct Calls {
    QList<bool> monitoring;
    QList<bool> screenCapture;
    QList<std::pair<bool, GlobalShortcutPreset>> hotKeys;
};

class PreferencesRuntimeBindingTest : public ::testing::Test {
protected:
    std::unique_ptr<PreferencesRuntimeBinding> bind()
    {
        return std::make_unique<PreferencesRuntimeBinding>(
            store, [this](bool v) { calls.monitoring.append(v); }, [this](bool v) { calls.screenCapture.append(v); },
            [this](bool enabled, GlobalShortcutPreset shortcut) { calls.hotKeys.append({enabled, shortcut}); });
    }

    InMemoryKeyValueSettings settings;
    PreferencesStore store{settings};
    Calls calls;
};

TEST_F(PreferencesRuntimeBindingTest, CreationCallsNothingAndRepeatsStillCall)
{
    auto binding = bind();
    EXPECT_TRUE(calls.monitoring.isEmpty());
    EXPECT_TRUE(calls.screenCapture.isEmpty());
    EXPECT_TRUE(calls.hotKeys.isEmpty());

    store.setClipboardMonitoringEnabled(true);  // unchanged value
    store.setClipboardMonitoringEnabled(false);
    store.setHidesWindowsFromScreenCapture(true);
    store.setHidesWindowsFromScreenCapture(true);
    EXPECT_EQ(calls.monitoring, (QList<bool>{true, false}));
    EXPECT_EQ(calls.screenCapture, (QList<bool>{true, true}));
    // Other preferences reach no callback.
    store.setCapturesText(false);
    store.setHistoryLimit(HistoryLimitPreference::fifty);
    EXPECT_EQ(calls.monitoring.size(), 2);
    EXPECT_TRUE(calls.hotKeys.isEmpty());
}

TEST_F(PreferencesRuntimeBindingTest, HotKeyChangesDeliverTheCombinedPair)
{
    auto binding = bind();
    store.setGlobalHotKeyEnabled(false);
    store.setGlobalShortcut(GlobalShortcutPreset::optionSpace);  // while disabled
    store.setGlobalHotKeyEnabled(true);
    const QList<std::pair<bool, GlobalShortcutPreset>> expected = {
        {false, GlobalShortcutPreset::controlOptionV},
        {false, GlobalShortcutPreset::optionSpace},
        {true, GlobalShortcutPreset::optionSpace},
    };
    EXPECT_EQ(calls.hotKeys, expected);
}

TEST_F(PreferencesRuntimeBindingTest, CallbacksGetTheNewValueWhileTheStoreHoldsTheOld)
{
    bool storeValueDuringCall = false;
    PreferencesRuntimeBinding binding(
        store, [&](bool) { storeValueDuringCall = store.isClipboardMonitoringEnabled(); }, nullptr, nullptr);
    store.setClipboardMonitoringEnabled(false);
    EXPECT_TRUE(storeValueDuringCall);
}

TEST_F(PreferencesRuntimeBindingTest, DestroyingTheBindingEndsTheCalls)
{
    auto binding = bind();
    store.setClipboardMonitoringEnabled(false);
    binding.reset();
    store.setClipboardMonitoringEnabled(true);
    store.setGlobalShortcut(GlobalShortcutPreset::commandShiftV);
    EXPECT_EQ(calls.monitoring, QList<bool>{false});
    EXPECT_TRUE(calls.hotKeys.isEmpty());
}

} // namespace
