#pragma once

#include <QObject>
#include <QPointer>
#include <Qt>

class QKeyEvent;
class QWidget;

namespace tolvi {

class EscapeClosingPanel;

// The application event filter that lets panels see keys before their widgets.
// Qt offers a key first as a shortcut override to the focused widget, then, if
// no shortcut took it, as a key press. The router decides on the override (so a
// shortcut on the same key never fires for a consumed key) and consumes the
// matching key press. Installed once, by the first panel.
class PanelKeyRouter : public QObject {
    Q_OBJECT
public:
    static void ensureInstalled();

    bool eventFilter(QObject* watched, QEvent* event) override;

    // Escape without Shift, Control, Alt or Meta.
    static bool isPlainEscape(const QKeyEvent& event);
    // Shift, Control, Alt, Meta and the other keys that only modify.
    static bool isModifierKey(int key);

private:
    explicit PanelKeyRouter(QObject* parent);
    bool isPropagation(const QEvent* event, const QWidget* receiver);

    struct Decision {
        QPointer<EscapeClosingPanel> panel;
        int key = 0;
        Qt::KeyboardModifiers modifiers;
        bool consumed = false;
        bool valid = false;
    };
    Decision m_pending;
    const QEvent* m_lastEvent = nullptr;
    QPointer<QWidget> m_lastReceiver;
};

} // namespace tolvi
