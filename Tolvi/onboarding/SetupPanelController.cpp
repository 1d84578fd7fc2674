#include "Tolvi/onboarding/SetupPanelController.h"

#include "Tolvi/onboarding/OnboardingWidgets.h"
#include "Tolvi/onboarding/SetupView.h"
#include "Tolvi/panels/EscapeClosingPanel.h"
#include "Tolvi/services/paste/PermissionStatusStore.h"
#include "Tolvi/shell/PreferencesStore.h"

#include <QKeyEvent>
#include <QVBoxLayout>

namespace tolvi {

using namespace onboarding;

SetupPanelController::SetupPanelController(Dependencies dependencies, QObject* parent)
    : QObject(parent)
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
    QPointer<SetupPanelController> self(this);
    hideWhenDeactivated(
        this, [self] { return self && self->isWindowVisible(); },
        [self] {
            if (self)
                self->orderOut();
        });
}

SetupPanelController::~SetupPanelController()
{
    delete m_panel;
}

bool SetupPanelController::isWindowVisible() const
{
    return m_panel && m_panel->isVisible();
}

void SetupPanelController::orderOut()
{
    if (m_panel && m_panel->isVisible())
        m_panel->hide();
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
        m_panel = makePanel();
    installContent();
    onboardingpanel::centre(m_panel);
    m_panel->makeKeyAndOrderFront();
    // The view holds the focus at first, so no button shows a focus ring until Tab.
    if (m_view)
        m_view->setFocus(Qt::ActiveWindowFocusReason);
}

EscapeClosingPanel* SetupPanelController::makePanel()
{
    EscapeClosingPanel* panel = onboardingpanel::make(windowTitle, SetupView::viewSize, m_dependencies.theme);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    QPointer<SetupPanelController> self(this);
    panel->setEscapeHandler([self] {
        if (self)
            self->orderOut();
    });
    panel->setKeyDownHandler([self](QKeyEvent* event) {
        if (!self || !self->m_view || !onboardingpanel::isDefaultActionKey(*event))
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

    // A fresh tour on every showing: it starts at the first step. The old one may be running
    // the click that led here, so it goes later.
    if (SetupView* old = m_view) {
        delete m_panel->layout()->takeAt(0);
        old->hide();
        old->setParent(nullptr);
        old->deleteLater();
    }
    m_view = new SetupView(std::move(actions), std::move(facts), m_panel);
    m_panel->layout()->addWidget(m_view);
}

} // namespace tolvi
