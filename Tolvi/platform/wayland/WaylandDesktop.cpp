#include "Tolvi/platform/wayland/WaylandDesktop.h"

#include "Tolvi/platform/wayland/ToplevelWindows.h"
#include "Tolvi/platform/wayland/WaylandKeyboard.h"
#include "Tolvi/platform/x11/X11Workspace.h"

#include <QCoreApplication>

#include <algorithm>

namespace tolvi {

WaylandDesktop::WaylandDesktop(Parts parts, DesktopEntries entries)
    : parts_(std::move(parts)), entries_(std::move(entries)), ownWindowClass_(parts_.ownWindowClass)
{
    // Qt names the class of its X11 windows after the application.
    if (ownWindowClass_.isEmpty())
        ownWindowClass_ = QCoreApplication::applicationName();
}

bool WaylandDesktop::isOwnWindow(const ToplevelWindow& window) const
{
    if (window.pid)
        return isOwnProcess(*window.pid);
    return !ownWindowClass_.isEmpty() && window.appId == ownWindowClass_;
}

std::optional<quint64> WaylandDesktop::windowOfTarget(qint64 target)
{
    if (target >= 0 || target == focusReturnTarget)
        return std::nullopt;
    return quint64(-target);
}

RunningApplication WaylandDesktop::applicationOfWindow(const QString& appId, std::optional<qint64> pid)
{
    RunningApplication application;
    application.pid = pid;
    // An app_id is the application's to choose: made safe the way a window class is.
    const QString identifier = X11Workspace::identifierForWindowClass(appId.toUtf8());
    if (!identifier.isEmpty()) {
        application.identifier = identifier;
        application.name = entries_.nameForAppId(identifier).value_or(identifier);
    }
    return application;
}

std::optional<RunningApplication> WaylandDesktop::frontmostApplication()
{
    const std::optional<qint64> front = frontmostPID();
    if (front == focusReturnTarget)
        return std::nullopt;
    if (const std::optional<quint64> window = front ? windowOfTarget(*front) : std::nullopt) {
        const std::optional<ToplevelWindow> found = parts_.windows->window(*window);
        if (!found)
            return std::nullopt;
        return applicationOfWindow(found->appId, found->pid);
    }
    return parts_.xwaylandApplications.frontmostApplication();
}

QList<RunningApplication> WaylandDesktop::runningApplications()
{
    QList<RunningApplication> result = parts_.xwaylandApplications.runningApplications();
    if (!parts_.windows)
        return result;
    for (const ToplevelWindow& window : parts_.windows->windows()) {
        RunningApplication application = applicationOfWindow(window.appId, window.pid);
        if (!application.identifier || (application.pid && isOwnProcess(*application.pid)))
            continue;
        const bool listed = std::any_of(result.cbegin(), result.cend(), [&](const RunningApplication& other) {
            return other.identifier && other.identifier->compare(*application.identifier, Qt::CaseInsensitive) == 0;
        });
        if (!listed)
            result.append(std::move(application));
    }
    return result;
}

std::optional<qint64> WaylandDesktop::frontmostPID()
{
    const std::optional<qint64> x11 = parts_.xwayland.frontmostPID();
    const std::optional<ToplevelWindow> active = parts_.windows ? parts_.windows->activatedWindow() : std::nullopt;
    // Our own window: XWayland may not say so yet (or says so already), the compositor does.
    if (active && isOwnWindow(*active))
        return QCoreApplication::applicationPid();
    // Where the compositor names each window's process (KDE Plasma), an activated window of
    // another process than the X11 window XWayland has active is a Wayland window.
    if (active && active->pid && x11 != active->pid)
        return targetForWindow(active->id);
    if (x11)
        return x11;
    if (parts_.xwayland.frontmostIsUnidentified())
        return std::nullopt;
    if (!parts_.windows)
        return focusReturnTarget;
    if (active)
        return targetForWindow(active->id);
    return std::nullopt;
}

bool WaylandDesktop::frontmostIsUnidentified()
{
    return parts_.xwayland.frontmostIsUnidentified();
}

bool WaylandDesktop::targetIsRunning(qint64 target)
{
    if (target == focusReturnTarget)
        return true;
    if (const std::optional<quint64> window = windowOfTarget(target))
        return parts_.windows && parts_.windows->window(*window).has_value();
    return parts_.xwayland.targetIsRunning(target);
}

WaylandDesktop::Match WaylandDesktop::listedWindowOfX11Program(qint64 pid, quint64* window)
{
    const QList<ToplevelWindow> listed = parts_.windows->windows();
    const bool namesProcesses = std::any_of(listed.cbegin(), listed.cend(), [](const ToplevelWindow& w) { return w.pid.has_value(); });
    if (namesProcesses) {
        // KDE Plasma: the program's own windows, by process.
        QList<quint64> found;
        for (const ToplevelWindow& listedWindow : listed) {
            if (listedWindow.pid == pid)
                found.append(listedWindow.id);
        }
        if (found.size() != 1)
            return Match::none;
        *window = found.constFirst();
        return Match::one;
    }
    // sway: XWayland's windows are listed under their window class, beside Wayland windows that
    // may give the same app_id. Which listed window is the program's can be told only when every
    // window listed under the class is an X11 window of the program.
    const QList<RunningApplication> x11Windows =
        parts_.xwaylandWindows ? parts_.xwaylandWindows() : parts_.xwaylandApplications.runningApplications();
    std::optional<QString> identifier;
    for (const RunningApplication& application : x11Windows) {
        if (application.pid == pid && application.identifier)
            identifier = application.identifier;
    }
    if (!identifier)
        return Match::none;
    const auto underClass = [&identifier](const std::optional<QString>& other) {
        return other && other->compare(*identifier, Qt::CaseInsensitive) == 0;
    };
    qsizetype x11UnderClass = 0;
    for (const RunningApplication& application : x11Windows) {
        if (!underClass(application.identifier))
            continue;
        // Another X11 program's window of the same class: XWayland's request picks ours alone.
        if (application.pid != pid)
            return Match::indistinct;
        ++x11UnderClass;
    }
    QList<quint64> found;
    for (const ToplevelWindow& listedWindow : listed) {
        if (underClass(listedWindow.appId))
            found.append(listedWindow.id);
    }
    if (found.isEmpty())
        return Match::none;
    if (found.size() > x11UnderClass)
        return Match::indistinct;
    *window = found.constLast();
    return Match::one;
}

bool WaylandDesktop::activate(qint64 target)
{
    refusedTarget_.reset();
    // The compositor gives the focus back by itself once our window hides.
    if (target == focusReturnTarget)
        return true;
    if (const std::optional<quint64> window = windowOfTarget(target))
        return parts_.windows && parts_.windows->activate(*window);
    // A compositor may take an X11 activation request for a mere wish (sway marks the window
    // urgent): where it lists windows, it is asked directly too, for the program's own window.
    // Where that window cannot be told apart from another program's, nothing is asked: raising
    // the wrong one would put the paste there.
    quint64 listed = 0;
    const Match match = parts_.windows ? listedWindowOfX11Program(target, &listed) : Match::none;
    if (match == Match::indistinct) {
        refusedTarget_ = target;
        return false;
    }
    if (!parts_.xwayland.activate(target))
        return false;
    if (match == Match::one)
        parts_.windows->activate(listed);
    return true;
}

QString WaylandDesktop::activationRefusal(qint64 target) const
{
    return refusedTarget_ == target ? indistinctWindow() : QString();
}

QString WaylandDesktop::indistinctWindow()
{
    return QStringLiteral("The destination window cannot be told apart from another window with the same app "
                          "name, so nothing was pasted.");
}

bool WaylandDesktop::canSendKeystrokes()
{
    return (parts_.keyboard && parts_.keyboard->isReady()) || (parts_.xwaylandCanType && parts_.xwaylandCanType());
}

bool WaylandDesktop::canTypeInto(qint64 target)
{
    if (target > 0)
        return parts_.xwaylandCanType && parts_.xwaylandCanType();
    return parts_.keyboard && (parts_.keyboard->isReady() || parts_.keyboard->prepare());
}

bool WaylandDesktop::keyboardFocusBelongsTo(qint64 target)
{
    // XWayland keeps the focus on its last window while a Wayland window is active (KWin): the
    // compositor must not list another program's window as the active one.
    if (target > 0)
        return parts_.xwayland.keyboardFocusBelongsTo(target) && frontmostPID() == target;
    // A Wayland window: it is in front (activated, with no X11 window active, ours least of
    // all), and our keyboard can type.
    return parts_.keyboard && parts_.keyboard->isReady() && frontmostPID() == target;
}

bool WaylandDesktop::pasteInto(qint64 target)
{
    if (target > 0) {
        if (!parts_.xwaylandCanType || !parts_.xwaylandCanType())
            return false;
        if (parts_.windows) {
            parts_.windows->sync();
            if (frontmostPID() != target)
                return false;
        }
        return parts_.xwayland.pasteInto(target);
    }
    if (!parts_.keyboard)
        return false;
    // The compositor's latest word on which window is activated, then the check, then the keys.
    if (parts_.windows)
        parts_.windows->sync();
    if (!keyboardFocusBelongsTo(target))
        return false;
    return parts_.keyboard->typeControlV();
}

bool WaylandDesktop::isViewable(std::uint32_t window)
{
    return parts_.xwayland.isViewable(window);
}

bool WaylandDesktop::hasBlockingDialog(qint64 target, std::chrono::milliseconds budget)
{
    // Wayland windows keep their dialogs to themselves.
    if (target <= 0)
        return false;
    return parts_.xwayland.hasBlockingDialog(target, budget);
}

std::optional<QString> WaylandDesktop::describe(std::optional<qint64> target)
{
    if (!target)
        return std::nullopt;
    if (*target == focusReturnTarget)
        return QStringLiteral("The window that had the focus before Tolvi's");
    const std::optional<quint64> window = windowOfTarget(*target);
    if (!window)
        return parts_.xwayland.describe(target);
    const QString tail = QStringLiteral("(Wayland window %1)").arg(*window);
    const std::optional<ToplevelWindow> found = parts_.windows ? parts_.windows->window(*window) : std::nullopt;
    if (!found)
        return QStringLiteral("Unavailable window ") + tail;
    const RunningApplication application = applicationOfWindow(found->appId, found->pid);
    const QString name = application.name.isEmpty() ? QStringLiteral("Unknown app") : application.name;
    return name + QStringLiteral(" [") + application.identifier.value_or(QStringLiteral("no app id")) +
           QStringLiteral("] ") + tail;
}

QString WaylandDesktop::permissionPlace() const
{
    return QStringLiteral("a Wayland session whose compositor lets Tolvi type (sway, KDE Plasma)");
}

QString WaylandDesktop::keystrokeMechanism()
{
    return QStringLiteral("Automatic paste types Ctrl+V through the compositor (a virtual keyboard on sway and other "
                          "wlroots desktops, fake input on KDE Plasma) and through XTEST into X11 windows.");
}

QString WaylandDesktop::permissionSettings()
{
    return QStringLiteral("none on sway and other wlroots desktops (a virtual keyboard); on KDE Plasma, Tolvi's "
                          "installed desktop entry; elsewhere, the consent given to the RemoteDesktop portal");
}

QString WaylandDesktop::keystrokesUnavailableTitle()
{
    return QStringLiteral("This desktop does not let Tolvi type");
}

QString WaylandDesktop::keystrokesUnavailable()
{
    return QStringLiteral("In this Wayland session Tolvi can type into no window, so a picked clip is only copied "
                          "and Tolvi tells you to press Ctrl+V. sway and other wlroots desktops let it type, and so "
                          "does KDE Plasma with Tolvi installed (its desktop entry asks KWin for the keyboard).");
}

QString WaylandDesktop::keystrokesUnavailableStatus()
{
    return QStringLiteral("This Wayland desktop lets Tolvi type into no window: Tolvi copies the clip and tells you "
                          "to press Ctrl + V. sway, other wlroots desktops and KDE Plasma let it type.");
}

QString WaylandDesktop::pasteByHandHint() const
{
    return QStringLiteral("Press Ctrl+V to paste.");
}

} // namespace tolvi
