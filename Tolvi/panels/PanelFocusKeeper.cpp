#include "Tolvi/panels/PanelFocusKeeper.h"

#include "Tolvi/panels/EscapeClosingPanel.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

namespace tolvi {

namespace {

// The panel a window of the program was opened over, if any.
EscapeClosingPanel* panelOf(QWidget* window)
{
    for (QWidget* parent = window->parentWidget(); parent; parent = parent->parentWidget()) {
        if (auto* panel = qobject_cast<EscapeClosingPanel*>(parent->window()))
            return panel;
    }
    return nullptr;
}

xcb_connection_t* x11Connection()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

// Whether the X server has the keyboard focus on the window; true where there is no X server to ask.
bool hasServerFocus(QWidget* window)
{
    xcb_connection_t* connection = x11Connection();
    if (!connection)
        return true;
    std::unique_ptr<xcb_get_input_focus_reply_t, decltype(&std::free)> reply(
        xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr), &std::free);
    return reply && reply->focus == xcb_window_t(window->winId());
}

// The window manager may still be settling the dialog's departure when it hears the request, and
// hand the focus elsewhere after it: the request is made again, for a moment, until the focus is
// there (and not once the program has lost the keyboard to another).
constexpr int handBackAttempts = 4;
constexpr int handBackInterval = 150;

void handBack(const QPointer<EscapeClosingPanel>& panel, int attemptsLeft)
{
    if (!panel || !panel->isVisible() || panel->hasOpenModalDialog() || attemptsLeft <= 0 ||
        QGuiApplication::applicationState() != Qt::ApplicationActive)
        return;
    // Another window of ours took the keyboard meanwhile.
    QWidget* active = QApplication::activeWindow();
    if (active && active != panel && active->isVisible())
        return;
    if (active == panel && hasServerFocus(panel))
        return;
    panel->activateWindow();
    QTimer::singleShot(handBackInterval, panel, [panel, attemptsLeft] { handBack(panel, attemptsLeft - 1); });
}

} // namespace

void PanelFocusKeeper::ensureInstalled()
{
    static QPointer<PanelFocusKeeper> keeper;
    if (!keeper && qApp) {
        keeper = new PanelFocusKeeper(qApp);
        qApp->installEventFilter(keeper);
        if (QGuiApplication::platformName() == QLatin1String("xcb"))
            qApp->installNativeEventFilter(keeper);
    }
}

PanelFocusKeeper::PanelFocusKeeper(QObject* parent) : QObject(parent) {}

PanelFocusKeeper::~PanelFocusKeeper()
{
    if (qApp)
        qApp->removeNativeEventFilter(this);
}

bool PanelFocusKeeper::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_FOCUS_OUT)
        return false;
    // The focus comes back with the end of the grab (a focus-in of mode Ungrab); a real move of
    // the focus during the grab arrives as a focus-out of mode WhileGrabbed, which passes.
    return reinterpret_cast<const xcb_focus_out_event_t*>(event)->mode == XCB_NOTIFY_MODE_GRAB;
}

bool PanelFocusKeeper::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::Hide || !watched->isWidgetType())
        return false;
    auto* window = static_cast<QWidget*>(watched);
    if (!window->isWindow() || window->windowType() == Qt::Popup || window->windowType() == Qt::ToolTip)
        return false;
    // Closed while the program had the keyboard, so the user answered it (a dialog hidden with its
    // panel, or after the user went to another program, leaves the focus alone).
    if (QGuiApplication::applicationState() != Qt::ApplicationActive)
        return false;
    EscapeClosingPanel* panel = panelOf(window);
    if (!panel)
        return false;
    QTimer::singleShot(0, panel, [target = QPointer<EscapeClosingPanel>(panel)] { handBack(target, handBackAttempts); });
    return false;
}

} // namespace tolvi
