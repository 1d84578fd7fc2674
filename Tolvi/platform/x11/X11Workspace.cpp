#include "Tolvi/platform/x11/X11Workspace.h"

#include "Tolvi/platform/x11/X11Connection.h"

#include <algorithm>

namespace tolvi {

X11Workspace::X11Workspace(DesktopEntries entries)
    : connection_(X11Connection::open()), entries_(std::move(entries))
{
}

X11Workspace::~X11Workspace() = default;

std::uint32_t X11Workspace::activeWindow()
{
    if (!connection_)
        return 0;
    return connection_->value32(connection_->root(), "_NET_ACTIVE_WINDOW").value_or(0);
}

std::optional<qint64> X11Workspace::processOfWindow(std::uint32_t window)
{
    if (!connection_)
        return std::nullopt;
    return processOfWindow(*connection_, window);
}

std::optional<qint64> X11Workspace::processOfWindow(X11Connection& connection, std::uint32_t window)
{
    if (!window)
        return std::nullopt;
    if (const std::optional<X11Connection::Property> machine = connection.property(window, "WM_CLIENT_MACHINE", 1024)) {
        QByteArray host = machine->value;
        while (host.endsWith('\0'))
            host.chop(1);
        // A window of another (or an unnamed) machine: its process id means nothing here, and the
        // local process behind its connection (an ssh session, say) speaks for many programs.
        if (host.isEmpty() || host != X11Connection::hostName())
            return std::nullopt;
        if (const std::optional<std::uint32_t> pid = connection.value32(window, "_NET_WM_PID"); pid && *pid != 0)
            return qint64(*pid);
    }
    // Tk, Xt programs and others name neither their process nor their machine: the server knows
    // which local process created the window.
    return connection.creatorProcess(window);
}

QString X11Workspace::identifierForWindowClass(const QByteArray& windowClass)
{
    QString text = QString::fromUtf8(windowClass).left(255);
    for (QChar& c : text) {
        if (c.isSpace() || c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            c = QLatin1Char('_');
    }
    return text;
}

RunningApplication X11Workspace::applicationOfWindow(std::uint32_t window)
{
    RunningApplication application;
    application.pid = processOfWindow(window);
    if (const std::optional<X11Connection::Property> wmClass = connection_->property(window, "WM_CLASS", 4096)) {
        // Two NUL-terminated strings: the instance name, then the class.
        const QList<QByteArray> parts = wmClass->value.split('\0');
        const QByteArray windowClass = parts.size() >= 2 ? parts.at(1) : QByteArray();
        if (!windowClass.isEmpty()) {
            const QString identifier = identifierForWindowClass(windowClass);
            application.identifier = identifier;
            application.name = entries_.nameForWindowClass(identifier).value_or(identifier);
        }
    }
    return application;
}

std::optional<RunningApplication> X11Workspace::frontmostApplication()
{
    const std::uint32_t window = activeWindow();
    if (!window)
        return std::nullopt;
    return applicationOfWindow(window);
}

QList<RunningApplication> X11Workspace::runningApplications()
{
    QList<RunningApplication> result;
    if (!connection_)
        return result;
    // A bound on the server round trips when some program opens windows without end.
    constexpr qsizetype maximumWindows = 512;
    const QList<std::uint32_t> clients = connection_->values32(connection_->root(), "_NET_CLIENT_LIST");
    for (qsizetype i = 0; i < clients.size() && i < maximumWindows; ++i) {
        RunningApplication application = applicationOfWindow(clients.at(i));
        if (!application.identifier || (application.pid && isOwnProcess(*application.pid)))
            continue;
        const bool listed = std::any_of(result.cbegin(), result.cend(), [&](const RunningApplication& other) {
            return other.identifier->compare(*application.identifier, Qt::CaseInsensitive) == 0;
        });
        if (!listed)
            result.append(std::move(application));
    }
    return result;
}

QList<RunningApplication> X11Workspace::applicationWindows()
{
    QList<RunningApplication> result;
    if (!connection_)
        return result;
    constexpr qsizetype maximumWindows = 512;
    const QList<std::uint32_t> clients = connection_->values32(connection_->root(), "_NET_CLIENT_LIST");
    for (qsizetype i = 0; i < clients.size() && i < maximumWindows; ++i)
        result.append(applicationOfWindow(clients.at(i)));
    return result;
}

} // namespace tolvi
