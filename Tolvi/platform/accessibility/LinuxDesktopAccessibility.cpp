#include "Tolvi/platform/accessibility/LinuxDesktopAccessibility.h"

#include "Tolvi/platform/accessibility/DesktopAccessibilityRules.h"
#include "Tolvi/platform/accessibility/XSettingsWatcher.h"

#include <QCoreApplication>
#include <QDir>
#include <QLoggingCategory>
#include <QPointer>
#include <QDeadlineTimer>
#include <QFile>
#include <QThreadPool>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tolvi {

Q_LOGGING_CATEGORY(lcDesktopAccessibility, "tolvi.accessibility")

namespace {

constexpr int gsettingsTimeoutMilliseconds = 3000;

// What `gsettings get schema key` prints, when it succeeds within the time limit. A plain child
// process of our own, with stdout on a pipe and nothing else of ours.
std::optional<QByteArray> gsettingsOutput(const QString& program, const QString& schema, const QString& key)
{
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return std::nullopt;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const QByteArray programBytes = QFile::encodeName(program);
    const QByteArray schemaBytes = schema.toUtf8();
    const QByteArray keyBytes = key.toUtf8();
    char* const arguments[] = {const_cast<char*>(programBytes.constData()), const_cast<char*>("get"),
                               const_cast<char*>(schemaBytes.constData()), const_cast<char*>(keyBytes.constData()),
                               nullptr};
    pid_t pid = -1;
    const int spawned = ::posix_spawnp(&pid, programBytes.constData(), &actions, nullptr, arguments, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (spawned != 0) {
        ::close(pipeFds[0]);
        return std::nullopt;
    }

    QByteArray output;
    QDeadlineTimer deadline(gsettingsTimeoutMilliseconds);
    bool timedOut = false;
    for (;;) {
        pollfd readable{pipeFds[0], POLLIN, 0};
        const int ready = ::poll(&readable, 1, int(deadline.remainingTime()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0) {
            timedOut = true;
            break;
        }
        char buffer[256];
        const ssize_t count = ::read(pipeFds[0], buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            break;
        output.append(buffer, count);
        if (output.size() > 4096) {
            timedOut = true;  // not a Boolean: stop listening
            break;
        }
    }
    ::close(pipeFds[0]);
    if (timedOut)
        ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (timedOut || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;  // no such schema or key on this machine, or no answer
    return output;
}

std::optional<bool> gsettingsBoolean(const QString& program, const QString& schema, const QString& key)
{
    const std::optional<QByteArray> output = gsettingsOutput(program, schema, key);
    return output ? DesktopAccessibilityRules::gsettingsBoolean(*output) : std::nullopt;
}

} // namespace

LinuxDesktopAccessibility::Options LinuxDesktopAccessibility::Options::fromEnvironment()
{
    Options options;
    options.displayName = qgetenv("DISPLAY");
    options.watchesX11 = !options.displayName.isEmpty();
    options.currentDesktop = qEnvironmentVariable("XDG_CURRENT_DESKTOP");
    options.configFolder = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (options.configFolder.isEmpty())
        options.configFolder = QDir::homePath() + QStringLiteral("/.config");
    return options;
}

LinuxDesktopAccessibility::LinuxDesktopAccessibility(Options options, QObject* parent)
    : DesktopAccessibility(parent)
    , m_options(std::move(options))
{
}

LinuxDesktopAccessibility::~LinuxDesktopAccessibility() = default;

void LinuxDesktopAccessibility::start()
{
    if (m_started)
        return;
    m_started = true;
    if (m_options.watchesX11) {
        m_xsettings = std::make_unique<XSettingsWatcher>(m_options.displayName);
        connect(m_xsettings.get(), &XSettingsWatcher::settingsChanged, this,
                &LinuxDesktopAccessibility::followXSettings);
        if (m_xsettings->start())
            return;
        m_xsettings.reset();
    }
    readDesktopFilesInBackground();
}

void LinuxDesktopAccessibility::followXSettings(const std::optional<XSettingsSnapshot>& settings)
{
    if (!settings) {
        readDesktopFilesInBackground();
        return;
    }
    ++m_generation;  // a desktop-file reading still under way is out of date
    announce(DesktopAccessibilityRules::fromXSettings(*settings));
}

void LinuxDesktopAccessibility::readDesktopFilesInBackground()
{
    const int generation = ++m_generation;
    QPointer<LinuxDesktopAccessibility> self(this);
    const Options options = m_options;
    QThreadPool::globalInstance()->start([self, generation, options] {
        const DesktopAccessibilityValues values = readDesktopFiles(options);
        QMetaObject::invokeMethod(
            qApp,
            [self, generation, values] {
                if (self && self->m_generation == generation)
                    self->announce(values);
            },
            Qt::QueuedConnection);
    });
}

DesktopAccessibilityValues LinuxDesktopAccessibility::readDesktopFiles(const Options& options)
{
    if (DesktopAccessibilityRules::isKdeDesktop(options.currentDesktop))
        return DesktopAccessibilityRules::fromKdeGlobals(options.configFolder + QStringLiteral("/kdeglobals"));
    const std::optional<bool> animations = gsettingsBoolean(
        options.gsettingsProgram, QStringLiteral("org.gnome.desktop.interface"), QStringLiteral("enable-animations"));
    const std::optional<bool> highContrast = gsettingsBoolean(
        options.gsettingsProgram, QStringLiteral("org.gnome.desktop.a11y.interface"), QStringLiteral("high-contrast"));
    return DesktopAccessibilityRules::fromGnome(animations, highContrast);
}

void LinuxDesktopAccessibility::announce(const DesktopAccessibilityValues& values)
{
    if (m_announced == values)
        return;
    m_announced = values;
    qCDebug(lcDesktopAccessibility) << "Desktop accessibility: reduce motion" << values.reduceMotion
                                   << "reduce transparency" << values.reduceTransparency << "increased contrast"
                                   << values.increasedContrast;
    emit valuesChanged(values);
}

} // namespace tolvi
