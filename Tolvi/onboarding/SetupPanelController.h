#pragma once

#include "Tolvi/panels/WindowControllers.h"
#include "Tolvi/panels/EscapeClosingPanel.h"
#include "Tolvi/onboarding/SetupView.h"
#include "Tolvi/platform/hotkeys/HotKeyChord.h"
#include "Tolvi/shell/PreferenceValues.h"

#include <QObject>
#include <QPointer>

#include <functional>

namespace tolvi {

class PermissionStatusStore;
class PreferencesStore;
class TolviTheme;

// Owns the onboarding tour's panel: makes it once, puts a fresh tour in it on every showing
// (so it always starts at the first step), keeps the tour's shortcut and permission lines
// current, and turns the tour's way out into the program's actions. Closing the panel any way
// other than finishing the tour only hides it.
class SetupPanelController final : public QObject, public SimpleWindowControlling {
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
    ~SetupPanelController() override;

    bool hasWindow() const override { return m_panel != nullptr; }
    bool isWindowVisible() const override;
    void orderOut() override;
    // X11 offers no way to keep a window out of screen captures.
    void setHiddenFromScreenCapture(bool) override {}
    void show() override;

    EscapeClosingPanel* panel() const { return m_panel; }
    SetupView* view() const { return m_view; }

    // The compact chord of the preset as the tour names it.
    QString compactShortcutLabel(GlobalShortcutPreset preset) const;

private:
    EscapeClosingPanel* makePanel();
    void installContent();

    Dependencies m_dependencies;
    QPointer<EscapeClosingPanel> m_panel;
    QPointer<SetupView> m_view;
};

} // namespace tolvi
