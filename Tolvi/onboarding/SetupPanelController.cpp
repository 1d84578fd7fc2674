#include "Tolvi/onboarding/SetupPanelController.h"

#include "Tolvi/services/paste/PermissionStatusStore.h"
#include "Tolvi/shell/PreferencesStore.h"

#include <QKeyEvent>

namespace tolvi {

SetupPanelController::SetupPanelController(Dependencies dependencies, QObject* parent)
    : OnboardingPanelController(parent)
    , m_dependencies(std::move(dependencies))
{
    // The preference announces its new value before it holds it: take the signal's value.
    connect(&m_dependencies.preferences, &PreferencesStore::globalShortcutChanged, this,
            [this](GlobalShortcutPreset preset) {
                if (m_view)
                    m_view->setCompactShortcut(compactShortcutLabel(preset));
            });
    connect(&m_dependencies.permissionStatus, &PermissionStatusStore::canPostEventsChanged, this,
            [this](bool canPostEvents) {
                if (m_view)
                    m_view->setCanPostEvents(canPostEvents);
            });
}

QString SetupPanelController::compactShortcutLabel(GlobalShortcutPreset preset) const
{
    if (!m_dependencies.compactChord)
        return globalshortcut::displayName(preset);
    return hotKeyChordDisplayName(m_dependencies.compactChord(preset));
}

void SetupPanelController::show()
{
    if (!m_panel)
        m_panel = makeTourPanel();
    installContent();
    bringToFront(m_view);
}

EscapeClosingPanel* SetupPanelController::makeTourPanel()
{
    EscapeClosingPanel* panel = makePanel(windowTitle, SetupView::viewSize, m_dependencies.theme);
    QPointer<SetupPanelController> self(this);
    panel->setKeyDownHandler([self](QKeyEvent* event) {
        if (!self || !self->m_view || !isDefaultActionKey(*event))
            return false;
        self->m_view->activateDefaultAction();
        return true;
    });
    return panel;
}

void SetupPanelController::installContent()
{
    QPointer<SetupPanelController> self(this);
    SetupView::Actions actions;
    actions.openHistory = [self] {
        if (!self)
            return;
        self->orderOut();
        if (self->m_dependencies.showHistory)
            self->m_dependencies.showHistory();
    };
    actions.tryDemo = [self] {
        if (!self)
            return;
        self->orderOut();
        if (self->m_dependencies.showCompactDemo)
            self->m_dependencies.showCompactDemo();
    };
    actions.completeSetup = [self] {
        if (self && self->m_dependencies.completeSetup)
            self->m_dependencies.completeSetup();
    };
    actions.close = [self] {
        if (self)
            self->orderOut();
    };

    SetupView::Facts facts;
    facts.compactShortcut = compactShortcutLabel(m_dependencies.preferences.globalShortcut());
    facts.canPostEvents = m_dependencies.permissionStatus.canPostEvents();
    facts.noPostingTitle = m_dependencies.permissionStatus.texts().unavailableTitle;
    facts.noPostingText = m_dependencies.permissionStatus.texts().unavailable;
    facts.canCheckForUpdates = m_dependencies.canCheckForUpdates;
    facts.sampleText = m_dependencies.sampleText;

    // A fresh tour on every showing: it starts at the first step.
    replaceView([&](QWidget* panel) { return new SetupView(std::move(actions), std::move(facts), panel); });
    m_dependencies.permissionStatus.refreshWhileShown(view());
}

} // namespace tolvi
