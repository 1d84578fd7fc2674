#pragma once

#include "Tolvi/design/TolviTheme.h"
#include "Tolvi/platform/settings/InMemoryKeyValueSettings.h"
#include "Tolvi/platform/shell/Clock.h"
#include "Tolvi/platform/desktop/FakeWorkspace.h"
#include "Tolvi/services/capture/AppExclusionStore.h"
#include "Tolvi/services/capture/Scheduler.h"
#include "Tolvi/services/paste/PermissionStatusStore.h"
#include "Tolvi/settings/SettingsContext.h"
#include "Tolvi/shell/PreferencesStore.h"
#include "Tolvi/shell/UsageMetricsStore.h"
#include "TolviCore/persistence/ClipboardHistoryPersisting.h"
#include "TolviCore/store/ClipboardStore.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTemporaryDir>

#include <memory>

namespace tolvi::test {

class MemoryHistory final : public ClipboardHistoryPersisting {
public:
    ClipboardHistoryState load() override { return {}; }
    void save(const ClipboardHistoryState&) override {}
};

// Every store the settings window shows, in memory, and the dependencies that bind them.
struct SettingsHarness {
    SettingsHarness() { reset(); }

    void reset()
    {
        exclusions = std::make_unique<AppExclusionStore>(settings);
        preferences = std::make_unique<PreferencesStore>(settings);
    }

    SettingsDependencies dependencies()
    {
        SettingsActions actions;
        actions.removeExclusion = [this](const ExcludedApp& app) {
            QList<ExcludedApp> kept;
            for (const ExcludedApp& excluded : exclusions->excludedApps()) {
                if (excluded.bundleIdentifier != app.bundleIdentifier)
                    kept.append(excluded);
            }
            exclusions->setExcludedApps(kept);
        };
        actions.clearHistory = [this] { store.clear(); };
        return SettingsDependencies{store,
                                    FeatureFlags(TolviDistributionChannel::direct, aiRewriteEnabled),
                                    *exclusions,
                                    *preferences,
                                    permissions,
                                    usage,
                                    workspace,
                                    [this] { return canPostEvents; },
                                    {applications.path()},
                                    QStringLiteral("tolvi"),
                                    QStringLiteral("/home/user/.local/share/Tolvi/history.json"),
                                    &theme,
                                    std::move(actions)};
    }

    InMemoryKeyValueSettings settings;
    ManualScheduler scheduler;
    FakeClock clock;
    FakeWorkspace workspace;
    QTemporaryDir applications;
    bool canPostEvents = false;
    bool aiRewriteEnabled = true;
    ClipboardStore store{std::make_shared<MemoryHistory>(), ClipboardStore::Configuration::standard()};
    std::unique_ptr<AppExclusionStore> exclusions;
    std::unique_ptr<PreferencesStore> preferences;
    PermissionStatusStore permissions{[this] { return canPostEvents; }, scheduler};
    UsageMetricsStore usage{settings, clock};
    TolviTheme theme;
};

// The open message box attached to the window; null when none is open.
inline QMessageBox* openMessageBox(QWidget* window)
{
    for (QMessageBox* box : window->findChildren<QMessageBox*>()) {
        if (box->isVisible())
            return box;
    }
    return nullptr;
}

inline bool clickButton(QMessageBox* box, const QString& title)
{
    if (!box)
        return false;
    for (QAbstractButton* button : box->buttons()) {
        if (button->text() == title) {
            button->click();
            return true;
        }
    }
    return false;
}

} // namespace tolvi::test
