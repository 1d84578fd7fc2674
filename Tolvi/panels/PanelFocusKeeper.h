#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>

namespace tolvi {

// Keeps the keyboard focus where the user left it in the program's panels. Installed once, by
// the first panel.
//
//  - A keyboard grab is no change of focus. While the window manager moves or resizes a window
//    (a press on a panel's background starts such a move) it grabs the keyboard, and so do its
//    menus and window switchers and other programs' global shortcuts while their key is down; the
//    focused window hears of each grab as a focus loss. The window that had the focus keeps it
//    during the grab: it loses it only when the focus really goes elsewhere, as when the window
//    switcher picks another window. So moving a panel never closes it as a deactivation would.
//  - A dialog of a panel that had the keyboard hands it back to its panel when it closes. Some
//    window managers (openbox) give the focus to no window when a dialog of a utility window goes
//    away.
class PanelFocusKeeper final : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    static void ensureInstalled();

    bool eventFilter(QObject* watched, QEvent* event) override;
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    explicit PanelFocusKeeper(QObject* parent);
    ~PanelFocusKeeper() override;
};

} // namespace tolvi
