#pragma once

#include <QByteArray>

class QWidget;

namespace tolvi {

// The activation token of the launch that asked for a window ("Tolvi --history" bound to a key in
// the desktop's own settings). The panel shown while it is pending carries it as its startup id
// (_NET_STARTUP_ID, with the launch time as its user time), which is what lets the window manager
// give a window opened on another program's behalf the keyboard focus; the launch's startup
// notification is then ended.
class PanelStartupActivation {
public:
    static void setPendingToken(const QByteArray& token);
    static QByteArray pendingToken();
    // Gives the pending token to the window about to be mapped, once; nothing without one.
    static void applyPending(QWidget* window);
    // The launch time a startup id carries ("..._TIME<number>"), 0 when none.
    static quint32 launchTime(const QByteArray& token);
};

} // namespace tolvi
