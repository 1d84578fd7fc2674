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
        return QStringLiteral("The desktop's global shortcuts service holds Tolvi's shortcuts; change them in the desktop's "
                              "keyboard settings. These commands open the windows too:");
    }
    return {};
}

QStringList ShortcutAccess::commandLines() const
{
    // A path with spaces must stay one word when the line is pasted into a shortcut setting.
    QString program = programPath;
    if (program.contains(QLatin1Char(' ')) || program.contains(QLatin1Char('\'')))
        program = QLatin1Char('\'') + QString(program).replace(QLatin1String("'"), QLatin1String("'\\''")) + QLatin1Char('\'');
    return {program + QStringLiteral(" --history"), program + QStringLiteral(" --compact")};
}

} // namespace tolvi
