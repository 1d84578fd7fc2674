#include "Tolvi/platform/hotkeys/ShortcutAccess.h"

namespace tolvi {

QString ShortcutAccess::summary() const
{
    switch (route) {
    case Route::keyGrab:
        return QStringLiteral("Tolvi's shortcuts work in every app of this X11 session. "
                              "These commands open the windows too:");
    case Route::boundCommands:
        return QStringLiteral("In this Wayland session Tolvi's own shortcuts work only while an X11 app has the focus. "
                              "To open Tolvi from any app, bind these commands to keys in the desktop's keyboard settings "
                              "(GNOME or KDE custom shortcuts, sway's bindsym):");
    case Route::desktopPortal:
        if (!historyTrigger.isEmpty() && !compactTrigger.isEmpty()) {
            return QStringLiteral("The desktop's global shortcuts service holds Tolvi's shortcuts: %1 opens the history "
                                  "window, %2 the compact panel. Change them in the desktop's keyboard settings. These "
                                  "commands open the windows too:")
                .arg(historyTrigger, compactTrigger);
        }
        if (!historyTrigger.isEmpty() || !compactTrigger.isEmpty()) {
            const bool history = !historyTrigger.isEmpty();
            return QStringLiteral("The desktop's global shortcuts service holds only the %1's shortcut (%2). The %3's "
                                  "shortcut works only while an X11 app has the focus; to open it from any app, bind "
                                  "this command to a key in the desktop's keyboard settings:")
                .arg(history ? QStringLiteral("history window") : QStringLiteral("compact panel"),
                     history ? historyTrigger : compactTrigger,
                     history ? QStringLiteral("compact panel") : QStringLiteral("history window"));
        }
        return QStringLiteral("The desktop's global shortcuts service has bound none of Tolvi's shortcuts, so they work "
                              "only while an X11 app has the focus. To open Tolvi from any app, bind these commands to "
                              "keys in the desktop's keyboard settings (KDE: System Settings, Shortcuts, Add Command):");
    }
    return {};
}

QStringList ShortcutAccess::commandLines() const
{
    // A path with spaces must stay one word when the line is pasted into a shortcut setting.
    QString program = programPath;
    if (program.contains(QLatin1Char(' ')) || program.contains(QLatin1Char('\'')))
        program = QLatin1Char('\'') + QString(program).replace(QLatin1String("'"), QLatin1String("'\\''")) + QLatin1Char('\'');
    const QString history = program + QStringLiteral(" --history");
    const QString compact = program + QStringLiteral(" --compact");
    if (route == Route::desktopPortal && historyTrigger.isEmpty() != compactTrigger.isEmpty())
        return {historyTrigger.isEmpty() ? history : compact};
    return {history, compact};
}

} // namespace tolvi
