#include "Tolvi/platform/accessibility/LinuxDesktopAccessibility.h"

#include "Tolvi/platform/accessibility/DesktopAccessibilityRules.h"
#include "Tolvi/platform/accessibility/XSettingsWatcher.h"
#include "TolviCore/concurrency/WaitingWorkPool.h"

#include <QCoreApplication>
#include <QDir>
#include <QLoggingCategory>
#include <QPointer>
#include <QProcess>
#include <QThreadPool>

namespace tolvi {

Q_LOGGING_CATEGORY(lcDesktopAccessibility, "tolvi.accessibility")

namespace {

constexpr int gsettingsTimeoutMilliseconds = 3000;

std::optional<bool> gsettingsBoolean(const QString& program, const QString& schema, const QString& key)
{
    QProcess process;
    process.setProgram(program);
    process.setArguments({QStringLiteral("get"), schema, key});
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start();
    if (!process.waitForFinished(gsettingsTimeoutMilliseconds)) {
        process.kill();
        process.waitForFinished(1000);
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return std::nullopt;  // no such schema or key on this machine
    return DesktopAccessibilityRules::gsettingsBoolean(process.readAllStandardOutput());
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
    waitingWorkPool().start([self, generation, options] {
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
