#pragma once

#include <QObject>
#include <QPointF>
#include <QPointer>

class QMouseEvent;
class QWidget;
class QWindow;

namespace tolvi {

// Moves or resizes a frameless window by a part of it that serves as its handle, as a title bar
// does: once the pointer has come the drag distance from the press with the left button still
// held. A press and release in place (a click, a touchpad's tap) leaves the window where it is.
// The window manager takes a move or resize over a button it takes to be down: asked on the
// press, it would often begin after a quick release had gone by, and the window would then
// follow the pointer until the next click.
class WindowDragGesture final : public QObject {
    Q_OBJECT
public:
    explicit WindowDragGesture(QWidget* handle);

    // From the handle's press: a left-button press of a window on screen starts watching the
    // pointer, for a resize by these edges when there are any and a move otherwise. Whether it
    // did (the handle then takes the press).
    bool press(const QMouseEvent& event, Qt::Edges edges = {});

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void start(int press);
    void stopWatching();

    QWidget* m_handle;
    QPointer<QWindow> m_window;
    QPointF m_pressedAt;
    Qt::Edges m_edges;
    // Counts the presses, so that a start asked for by one press is never made for the next.
    int m_presses = 0;
};

} // namespace tolvi
