#pragma once

#include <QString>
#include <QStringList>

namespace tolvi {

// How the two window shortcuts reach Tolvi in this session, as Settings shows it.
struct ShortcutAccess {
    enum class Route {
        // An X11 session: Tolvi's own key grab works in every app.
        keyGrab,
        // A Wayland session: the grab sees keys only while an X11 app has the focus; commands
        // bound in the desktop's keyboard settings open the windows from any app.
        boundCommands,
        // A Wayland session whose desktop offers the global shortcuts portal and has answered it:
        // it holds the chords listed below with a key; the others stay with the key grab.
        desktopPortal,
    };
    Route route = Route::keyGrab;
    // The keys the desktop's shortcuts service holds for each window, as the desktop names them;
    // empty where it holds none (desktopPortal only).
    QString historyTrigger;
    QString compactTrigger;
    // The program to name in the command lines.
    QString programPath = QStringLiteral("Tolvi");

    // One sentence on what is in use.
    QString summary() const;
    // The command lines that toggle the history window and the compact panel, or, where the
    // desktop's service holds one of them, the other's.
    QStringList commandLines() const;
};

} // namespace tolvi
