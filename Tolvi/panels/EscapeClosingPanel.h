#pragma once

#include "Tolvi/panels/PanelKeyboardRouting.h"

#include <QWidget>

#include <functional>

class QKeyEvent;
class QTimer;

namespace tolvi {

// The floating panel every window of the program is. It stays on top, off the
// taskbar and pager and on every desktop; showing one panel hides the program's
// other panels; Escape closes it (or goes back) through its escape handler; and
// its controller sees key presses before the panel's own widgets do.
//
// Key handling, for keys pressed anywhere inside the panel:
//  - Escape without Shift, Control, Alt or Meta calls the escape handler and is
//    consumed, handler or not, even when a widget or shortcut wants Escape;
//  - any other key goes to the key handler first, then to the program's key
//    handler (shared by every panel); when either returns true the key is
//    consumed, otherwise it reaches the widgets and shortcuts as usual.
class EscapeClosingPanel : public QWidget {
    Q_OBJECT
public:
    using EscapeHandler = std::function<void()>;
    using KeyDownHandler = std::function<bool(QKeyEvent*)>;
    // Takes the key and what has focus in the panel; returns whether it handled the key.
    using ApplicationKeyHandler = std::function<bool(const QKeyEvent&, PanelKeyboardRouting::Focus)>;

    explicit EscapeClosingPanel(QWidget* parent = nullptr);
    ~EscapeClosingPanel() override;

    void setEscapeHandler(EscapeHandler handler) { m_escapeHandler = std::move(handler); }
    void setKeyDownHandler(KeyDownHandler handler) { m_keyDownHandler = std::move(handler); }
    const EscapeHandler& escapeHandler() const { return m_escapeHandler; }
    const KeyDownHandler& keyDownHandler() const { return m_keyDownHandler; }

    // Shows the panel in front with keyboard focus; the program's other panels are hidden.
    void makeKeyAndOrderFront();

    // Whether a window-modal dialog of the panel is open over it.
    bool hasOpenModalDialog() const;

    // The cancel action: calls the escape handler when set.
    void cancelOperation();

    // The keys the program as a whole answers in each of its panels, after the panel's own
    // handler declined them. One for the program; an empty handler removes it.
    static void setApplicationKeyHandler(ApplicationKeyHandler handler);
    static const ApplicationKeyHandler& applicationKeyHandler();
    // Whether any handler sees this panel's keys.
    bool routesKeys() const { return m_keyDownHandler || applicationKeyHandler(); }

    // Every panel of the program that exists now.
    static QList<EscapeClosingPanel*> allPanels();

protected:
    void showEvent(QShowEvent* event) override;

private:
    friend class PanelKeyRouter;
    // Called by the router; returns whether the key is consumed.
    bool routeEscape();
    bool routeKeyDown(QKeyEvent* event);

    EscapeHandler m_escapeHandler;
    KeyDownHandler m_keyDownHandler;
    // After showing: how many more times to check that the window manager kept the window hints.
    void checkWindowHints();
    QTimer* m_hintCheck = nullptr;
    int m_hintChecksLeft = 0;
};

// Calls orderOut when the program stops being the active one while isVisible() holds, as every
// panel of the program does. Focus passing between two of our own windows (a panel and its
// dialog) can leave none active for a moment, so it looks again a little later before hiding.
void hideWhenDeactivated(QObject* owner, std::function<bool()> isVisible, std::function<void()> orderOut);

} // namespace tolvi
