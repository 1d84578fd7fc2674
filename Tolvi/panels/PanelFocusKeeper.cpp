#include "Tolvi/panels/PanelFocusKeeper.h"

#include "Tolvi/panels/EscapeClosingPanel.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <xcb/xcb.h>

namespace tolvi {

namespace {

// The panel a window of the program belongs to: the panel itself or the panel it was opened over.
EscapeClosingPanel* panelOf(QWidget* window)
{
    for (QWidget* parent = window->parentWidget(); parent; parent = parent->parentWidget()) {
        if (auto* panel = qobject_cast<EscapeClosingPanel*>(parent->window()))
            return panel;
    }
    return nullptr;
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
    QPointer<EscapeClosingPanel> target(panel);
    QTimer::singleShot(0, panel, [target] {
        if (!target || !target->isVisible() || target->hasOpenModalDialog())
            return;
        if (QApplication::activeWindow() && QApplication::activeWindow() != target)
            return;
        target->activateWindow();
    });
    return false;
}

} // namespace tolvi
