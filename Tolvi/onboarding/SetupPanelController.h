#pragma once

#include "Tolvi/onboarding/OnboardingPanelController.h"
#include "Tolvi/onboarding/SetupView.h"
#include "Tolvi/panels/WindowControllers.h"
#include "Tolvi/platform/hotkeys/HotKeyChord.h"
#include "Tolvi/shell/PreferenceValues.h"

#include <functional>

namespace tolvi {

class PermissionStatusStore;
class PreferencesStore;
class TolviTheme;

// Owns the onboarding tour's panel: puts a fresh tour in it on every showing (so it always
// starts at the first step), keeps the tour's shortcut and permission lines current, and turns
// the tour's way out into the program's actions. Closing the panel any way other than finishing
// the tour only hides it.
class SetupPanelController final : public OnboardingPanelController<SetupView, SimpleWindowControlling> {
    Q_OBJECT
public:
    struct Dependencies {
        PermissionStatusStore& permissionStatus;
        PreferencesStore& preferences;
        TolviTheme* theme = nullptr;
        // The compact panel's chord for a preset; the tour teaches that key.
        std::function<HotKeyChord(GlobalShortcutPreset)> compactChord;
        // Whether this build checks for updates (package builds do not).
        bool canCheckForUpdates = false;
        // The clip the compact demo adds.
        QString sampleText;
        std::function<void()> showHistory;
        std::function<void()> showCompactDemo;
        std::function<void()> completeSetup;
    };

    static inline const QString windowTitle = QStringLiteral("Tolvi Setup");

    explicit SetupPanelController(Dependencies dependencies, QObject* parent = nullptr);

    void show() override;

    // The compact chord of the preset as the tour names it.
    QString compactShortcutLabel(GlobalShortcutPreset preset) const;

private:
    EscapeClosingPanel* makeTourPanel();
    void installContent();

    Dependencies m_dependencies;
};

} // namespace tolvi
