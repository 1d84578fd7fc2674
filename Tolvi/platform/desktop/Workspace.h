#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace tolvi {

// An application as the desktop names it. The identifier is the class part of the window's
// WM_CLASS (white space and control characters replaced by '_'); the name comes from the
// application's desktop entry, else it is the identifier. Window titles are never used: they
// carry what the user is working on.
struct RunningApplication {
    std::optional<qint64> pid;
    std::optional<QString> identifier;
    QString name;

    friend bool operator==(const RunningApplication&, const RunningApplication&) = default;
};

// The desktop's view of applications: which one is in front.
class Workspace {
public:
    virtual ~Workspace();

    // The application of the active window; nothing when no window is active.
    virtual std::optional<RunningApplication> frontmostApplication() = 0;

    // One entry per application (by identifier) with a window open now, this program's own
    // excepted; none where the desktop does not list its windows.
    virtual QList<RunningApplication> runningApplications();

    // True for this program's own process.
    virtual bool isOwnProcess(qint64 pid) const;
};

} // namespace tolvi
