#pragma once
// The real program (RunningTolvi.h) on an X server: waits on what it has taken in from the desktop.
#include "RunningTolvi.h"
#include "X11TestDisplay.h"

#include <QString>

#include <optional>

namespace tolvi::test {

// Waits until the capture has taken in the program now in front (and, when given, that is this
// window's): a copy made before then is skipped on purpose, as made while the program in front
// changed. The capture names the active window's program by its window class, and no program
// for no window or one of Tolvi's own.
inline bool captureTookInTheProgramInFront(X11TestDisplay& x, RunningApp& app, std::optional<Window> expected = {})
{
    return pollUntil([&] {
        const Window active = x.activeWindow();
        if (expected && active != *expected)
            return false;
        QString program = QStringLiteral("none");
        if (active != None && x.cardinal(active, "_NET_WM_PID") != app.process.processId()) {
            const QByteArray windowClass = x.windowClass(active);
            if (!windowClass.isEmpty()) {
                program = QString::fromUtf8(windowClass);
                for (QChar& c : program)
                    if (c.isSpace())
                        c = QLatin1Char('_');
            }
        }
        return app.frontApplication() == program && x.activeWindow() == active;
    });
}

} // namespace tolvi::test
