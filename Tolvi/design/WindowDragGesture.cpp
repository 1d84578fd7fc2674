#include "Tolvi/design/WindowDragGesture.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QStyleHints>
#include <QWidget>
#include <QWindow>

namespace tolvi {

WindowDragGesture::WindowDragGesture(QWidget* handle)
    : QObject(handle)
    , m_handle(handle)
{
}

bool WindowDragGesture::press(const QMouseEvent& event, Qt::Edges edges)
{
    QWindow* window = m_handle->window()->windowHandle();
    if (event.button() != Qt::LeftButton || !window)
        return false;
    stopWatching();
    ++m_presses;
    // The window sees every move while the button is down, whichever widget took the press.
    m_window = window;
    m_window->installEventFilter(this);
    m_pressedAt = event.globalPosition();
    m_edges = edges;
    return true;
}

bool WindowDragGesture::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_window)
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseMove: {
        const auto* move = static_cast<QMouseEvent*>(event);
        if (!(move->buttons() & Qt::LeftButton)) {
            stopWatching();
            break;
        }
        const qreal travelled = (move->globalPosition() - m_pressedAt).manhattanLength();
        if (travelled < QGuiApplication::styleHints()->startDragDistance())
            break;
        // After the events that came in with this one: when the button came up among them, the
        // drag was over before it began.
        QMetaObject::invokeMethod(this, [this, press = m_presses] { start(press); }, Qt::QueuedConnection);
        break;
    }
    case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
            stopWatching();
        break;
    case QEvent::Hide:
        stopWatching();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void WindowDragGesture::start(int press)
{
    if (press != m_presses || !m_window)
        return;
    QWindow* window = m_window;
    stopWatching();
    if (!(QGuiApplication::mouseButtons() & Qt::LeftButton))
        return;
    // Asked while the button is down, the window manager holds the pointer until it comes up.
    if (m_edges)
        window->startSystemResize(m_edges);
    else
        window->startSystemMove();
}

void WindowDragGesture::stopWatching()
{
    if (m_window)
        m_window->removeEventFilter(this);
    m_window.clear();
}

} // namespace tolvi
