#include "Tolvi/panels/PanelKeyRouter.h"

#include "Tolvi/panels/EscapeClosingPanel.h"
#include "Tolvi/panels/PanelKeyboardRouting.h"

#include <QApplication>
#include <QKeyEvent>

#include <algorithm>
#include <array>

namespace tolvi {

void PanelKeyRouter::ensureInstalled()
{
    static QPointer<PanelKeyRouter> router;
    if (!router && qApp) {
        router = new PanelKeyRouter(qApp);
        qApp->installEventFilter(router);
    }
}

PanelKeyRouter::PanelKeyRouter(QObject* parent)
    : QObject(parent)
{
}

bool PanelKeyRouter::isPlainEscape(const QKeyEvent& event)
{
    return event.key() == Qt::Key_Escape && PanelKeyboardRouting::tableModifiers(event.modifiers()) == Qt::NoModifier;
}

bool PanelKeyRouter::isModifierKey(int key)
{
    static constexpr std::array modifierKeys{
        Qt::Key_Shift, Qt::Key_Control, Qt::Key_Meta, Qt::Key_Alt, Qt::Key_AltGr,
        Qt::Key_CapsLock, Qt::Key_NumLock, Qt::Key_ScrollLock, Qt::Key_Super_L, Qt::Key_Super_R,
        Qt::Key_Hyper_L, Qt::Key_Hyper_R, Qt::Key_Mode_switch,
    };
    return std::find(modifierKeys.begin(), modifierKeys.end(), key) != modifierKeys.end();
}

// A key event that nobody accepted travels up the widget's parents, passing
// this filter again each time; it was decided on its first sight.
bool PanelKeyRouter::isPropagation(const QEvent* event, const QWidget* receiver)
{
    if (event == m_lastEvent && m_lastReceiver && receiver != m_lastReceiver && receiver->isAncestorOf(m_lastReceiver))
        return true;
    m_lastEvent = event;
    m_lastReceiver = const_cast<QWidget*>(receiver);
    return false;
}

bool PanelKeyRouter::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::ShortcutOverride && type != QEvent::KeyPress)
        return false;
    if (!watched->isWidgetType())
        return false;
    auto* widget = static_cast<QWidget*>(watched);
    auto* panel = qobject_cast<EscapeClosingPanel*>(widget->window());
    if (!panel || isPropagation(event, widget))
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    // Pressing a modifier alone is no key press of its own for a panel.
    if (isModifierKey(key->key()))
        return false;

    if (type == QEvent::ShortcutOverride) {
        m_pending = {};
        if (isPlainEscape(*key)) {
            // Claim Escape so no shortcut takes it; the key press follows.
            key->accept();
            return true;
        }
        if (!panel->routesKeys())
            return false;
        const bool consumed = panel->routeKeyDown(key);
        m_pending = {panel, key->key(), key->modifiers(), consumed, true};
        if (consumed) {
            key->accept();
            return true;
        }
        return false;
    }

    // Key press.
    if (isPlainEscape(*key)) {
        m_pending = {};
        panel->routeEscape();
        key->accept();
        return true;
    }
    if (m_pending.valid && m_pending.panel == panel && m_pending.key == key->key()
        && m_pending.modifiers == key->modifiers()) {
        // Decided when it was offered as a shortcut override.
        const bool consumed = m_pending.consumed;
        m_pending = {};
        if (consumed)
            key->accept();
        return consumed;
    }
    m_pending = {};
    if (panel->routeKeyDown(key)) {
        key->accept();
        return true;
    }
    return false;
}

} // namespace tolvi
