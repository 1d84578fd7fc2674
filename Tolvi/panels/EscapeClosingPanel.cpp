#include "Tolvi/panels/EscapeClosingPanel.h"

#include "Tolvi/panels/PanelFocusKeeper.h"
#include "Tolvi/panels/PanelKeyRouter.h"
#include "Tolvi/panels/PanelStartupActivation.h"
#include "Tolvi/panels/PanelWindowHints.h"

#include <QApplication>
#include <QShowEvent>
#include <QTimer>

#include <algorithm>

namespace tolvi {

namespace {
// A window manager settles a new mapping within a few tens of milliseconds.
constexpr int hintCheckInterval = 100;
constexpr int hintChecks = 15;
} // namespace

EscapeClosingPanel::EscapeClosingPanel(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    PanelKeyRouter::ensureInstalled();
    PanelFocusKeeper::ensureInstalled();
    m_hintCheck = new QTimer(this);
    m_hintCheck->setInterval(hintCheckInterval);
    connect(m_hintCheck, &QTimer::timeout, this, &EscapeClosingPanel::checkWindowHints);
}

EscapeClosingPanel::~EscapeClosingPanel() = default;

QList<EscapeClosingPanel*> EscapeClosingPanel::allPanels()
{
    QList<EscapeClosingPanel*> panels;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (auto* panel = qobject_cast<EscapeClosingPanel*>(window))
            panels.append(panel);
    }
    return panels;
}

void EscapeClosingPanel::makeKeyAndOrderFront()
{
    show();
    raise();
    activateWindow();
}

bool EscapeClosingPanel::hasOpenModalDialog() const
{
    const QList<QWidget*> children = findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    return std::any_of(children.cbegin(), children.cend(), [](const QWidget* child) {
        return child->isWindow() && child->isVisible() && child->windowModality() != Qt::NonModal;
    });
}

void EscapeClosingPanel::cancelOperation()
{
    if (m_escapeHandler)
        m_escapeHandler();
}

void EscapeClosingPanel::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (event->spontaneous())
        return;
    // Opened for a launch with an activation token: the window manager lets it take the focus.
    PanelStartupActivation::applyPending(this);
    // At most one of the program's panels is on screen: order the others out,
    // keeping them (and their contents) for reuse. A panel's own parents stay,
    // since hiding them would hide this one too.
    auto isMyParent = [this](const QWidget* other) {
        for (const QWidget* w = parentWidget(); w; w = w->parentWidget()) {
            if (w == other)
                return true;
        }
        return false;
    };
    for (EscapeClosingPanel* other : allPanels()) {
        if (other != this && other->isVisible() && !isMyParent(other))
            other->hide();
    }
    // The window manager reads these when it maps the window, which follows this
    // event. Shown again right after it was hidden, the window may lose them to
    // the window manager's withdrawal of the old mapping: check for a while.
    if (PanelWindowHints::apply(this)) {
        m_hintChecksLeft = hintChecks;
        m_hintCheck->start();
    }
}

void EscapeClosingPanel::checkWindowHints()
{
    if (!isVisible() || --m_hintChecksLeft <= 0)
        m_hintCheck->stop();
    if (isVisible() && !PanelWindowHints::isSettled(this))
        PanelWindowHints::requestOnMappedWindow(this);
}

bool EscapeClosingPanel::routeEscape()
{
    cancelOperation();
    return true;
}

namespace {
EscapeClosingPanel::ApplicationKeyHandler& sharedApplicationKeyHandler()
{
    static EscapeClosingPanel::ApplicationKeyHandler handler;
    return handler;
}
} // namespace

void EscapeClosingPanel::setApplicationKeyHandler(ApplicationKeyHandler handler)
{
    sharedApplicationKeyHandler() = std::move(handler);
}

const EscapeClosingPanel::ApplicationKeyHandler& EscapeClosingPanel::applicationKeyHandler()
{
    return sharedApplicationKeyHandler();
}

bool EscapeClosingPanel::routeKeyDown(QKeyEvent* event)
{
    if (m_keyDownHandler && m_keyDownHandler(event))
        return true;
    // A copy: the handler may replace itself (the program quitting).
    const ApplicationKeyHandler application = applicationKeyHandler();
    return application && application(*event, PanelKeyboardRouting::focus(this));
}

void hideWhenDeactivated(QObject* owner, std::function<bool()> isVisible, std::function<void()> orderOut)
{
    QObject::connect(qApp, &QGuiApplication::applicationStateChanged, owner,
                     [owner, isVisible, orderOut](Qt::ApplicationState state) {
                         if (state == Qt::ApplicationActive || !isVisible())
                             return;
                         QTimer::singleShot(150, owner, [isVisible, orderOut] {
                             if (isVisible() && QGuiApplication::applicationState() != Qt::ApplicationActive
                                 && !QApplication::activeWindow())
                                 orderOut();
                         });
                     });
}

} // namespace tolvi
