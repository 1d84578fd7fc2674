// How the desktops' own settings become the three accessibility settings, and the reading of
// GSettings (through the real gsettings tool on a private key file) and of KDE's kdeglobals.
#include "Tolvi/platform/accessibility/DesktopAccessibilityRules.h"
#include "EventTimeout.h"
#include "Tolvi/platform/accessibility/LinuxDesktopAccessibility.h"
#include "TolviCore/concurrency/WaitingWorkPool.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThreadPool>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tolvi;
using tolvi::test::eventTimeoutMs;

namespace rules = tolvi::DesktopAccessibilityRules;

namespace {

DesktopAccessibilityValues expected(bool reduceMotion, bool highContrast)
{
    return {reduceMotion, highContrast, highContrast};
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

TEST(DesktopAccessibilityRules, HighContrastThemesAreRecognisedByName)
{
    for (const char* name : {"HighContrast", "HighContrastInverse", "ContrastHighInverse", "high-contrast",
                             "Adwaita-HighContrast", "HIGH_CONTRAST"})
        EXPECT_TRUE(rules::namesHighContrastTheme(QString::fromLatin1(name))) << name;
    for (const char* name : {"", "Adwaita", "Adwaita-dark", "Breeze", "Contrast", "High"})
        EXPECT_FALSE(rules::namesHighContrastTheme(QString::fromLatin1(name))) << name;
}

TEST(DesktopAccessibilityRules, XSettingsTurnMotionOffOnlyForZeroAndContrastUpForEitherThemeName)
{
    XSettingsSnapshot settings;
    EXPECT_EQ(rules::fromXSettings(settings), expected(false, false));  // an owner publishing neither
    settings.enableAnimations = 1;
    EXPECT_EQ(rules::fromXSettings(settings), expected(false, false));
    settings.enableAnimations = 0;
    EXPECT_EQ(rules::fromXSettings(settings), expected(true, false));

    settings.netThemeName = QStringLiteral("HighContrast");
    EXPECT_EQ(rules::fromXSettings(settings), expected(true, true));
    settings.netThemeName = QStringLiteral("Adwaita");
    settings.gtkThemeName = QStringLiteral("HighContrastInverse");
    EXPECT_EQ(rules::fromXSettings(settings), expected(true, true));
}

TEST(DesktopAccessibilityRules, GnomeKeysAndTheirDefaults)
{
    EXPECT_EQ(rules::fromGnome(std::nullopt, std::nullopt), expected(false, false));
    EXPECT_EQ(rules::fromGnome(false, std::nullopt), expected(true, false));
    EXPECT_EQ(rules::fromGnome(true, true), expected(false, true));

    EXPECT_EQ(rules::gsettingsBoolean("true\n"), std::optional<bool>(true));
    EXPECT_EQ(rules::gsettingsBoolean("false\n"), std::optional<bool>(false));
    EXPECT_EQ(rules::gsettingsBoolean(""), std::nullopt);
    EXPECT_EQ(rules::gsettingsBoolean("'false'\n"), std::nullopt);
}

TEST(DesktopAccessibilityRules, KdeIsTakenFromTheCurrentDesktopList)
{
    EXPECT_TRUE(rules::isKdeDesktop(QStringLiteral("KDE")));
    EXPECT_TRUE(rules::isKdeDesktop(QStringLiteral("plasma:kde")));
    EXPECT_FALSE(rules::isKdeDesktop(QStringLiteral("GNOME")));
    EXPECT_FALSE(rules::isKdeDesktop(QStringLiteral("KDEish:XFCE")));
    EXPECT_FALSE(rules::isKdeDesktop(QString()));
}

TEST(DesktopAccessibilityFiles, KdeGlobalsAnimationFactorZeroAloneReducesMotion)
{
    QTemporaryDir config;
    LinuxDesktopAccessibility::Options options;
    options.currentDesktop = QStringLiteral("KDE");
    options.configFolder = config.path();
    options.gsettingsProgram = QStringLiteral("/nonexistent/gsettings");
    const QString kdeGlobals = config.filePath(QStringLiteral("kdeglobals"));

    // No file: the defaults.
    EXPECT_EQ(LinuxDesktopAccessibility::readDesktopFiles(options), expected(false, false));

    writeFile(kdeGlobals, "[General]\nAnimationDurationFactor=0\n\n[KDE]\nLookAndFeelPackage=org.kde.breeze\n"
                          "AnimationDurationFactor=0.5\n");
    EXPECT_EQ(LinuxDesktopAccessibility::readDesktopFiles(options), expected(false, false));

    writeFile(kdeGlobals, "[KDE]\nAnimationDurationFactor=0\nSingleClick=false\n");
    EXPECT_EQ(LinuxDesktopAccessibility::readDesktopFiles(options), expected(true, false));

    writeFile(kdeGlobals, "[KDE]\nAnimationDurationFactor=0.0\n");
    EXPECT_EQ(LinuxDesktopAccessibility::readDesktopFiles(options), expected(true, false));
}

TEST(DesktopAccessibilityFiles, GSettingsAreReadThroughTheGSettingsTool)
{
    // GSettings' key-file back end keeps the values in a private folder, where the real tool
    // writes and reads them.
    QTemporaryDir config;
    qputenv("GSETTINGS_BACKEND", "keyfile");
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    auto gsettings = [](const QStringList& arguments) {
        QProcess process;
        process.start(QStringLiteral("gsettings"), arguments);
        ASSERT_TRUE(process.waitForFinished(eventTimeoutMs));
        ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    };
    LinuxDesktopAccessibility::Options options;
    options.currentDesktop = QStringLiteral("GNOME");
    options.configFolder = config.path();

    EXPECT_EQ(LinuxDesktopAccessibility::readDesktopFiles(options), expected(false, false));
    gsettings({QStringLiteral("set"), QStringLiteral("org.gnome.desktop.interface"),
               QStringLiteral("enable-animations"), QStringLiteral("false")});
    EXPECT_EQ(LinuxDesktopAccessibility::readDesktopFiles(options), expected(true, false));
    gsettings({QStringLiteral("set"), QStringLiteral("org.gnome.desktop.a11y.interface"),
               QStringLiteral("high-contrast"), QStringLiteral("true")});
    EXPECT_EQ(LinuxDesktopAccessibility::readDesktopFiles(options), expected(true, true));

    // Without the tool (or its schemas) nothing is known: everything stays off.
    options.gsettingsProgram = QStringLiteral("/nonexistent/gsettings");
    EXPECT_EQ(LinuxDesktopAccessibility::readDesktopFiles(options), expected(false, false));
    qunsetenv("GSETTINGS_BACKEND");
    qunsetenv("XDG_CONFIG_HOME");
}

TEST(DesktopAccessibilityFiles, WithoutX11TheFilesAreReadOffTheMainThreadAndAnnounced)
{
    QTemporaryDir config;
    writeFile(config.filePath(QStringLiteral("kdeglobals")), "[KDE]\nAnimationDurationFactor=0\n");
    LinuxDesktopAccessibility::Options options;
    options.watchesX11 = false;
    options.currentDesktop = QStringLiteral("KDE");
    options.configFolder = config.path();
    LinuxDesktopAccessibility source(options);
    QSignalSpy announced(&source, &DesktopAccessibility::valuesChanged);
    source.start();
    EXPECT_TRUE(announced.isEmpty());  // nothing is read on the caller's thread
    ASSERT_TRUE(announced.wait(eventTimeoutMs));
    EXPECT_EQ(announced.takeFirst().at(0).value<DesktopAccessibilityValues>(), expected(true, false));
}

// KDE without an XSETTINGS daemon reads kdeglobals: a FIFO under the name must not block the
// reading thread (which the application's end waits for), nor a link to a device flood it.
TEST(DesktopAccessibilityFiles, AKdeGlobalsThatIsNotARegularFileIsNeitherWaitedForNorRead)
{
    for (const bool fifo : {true, false}) {
        SCOPED_TRACE(fifo ? "a FIFO" : "a link to /dev/zero");
        QTemporaryDir config;
        const QString kdeGlobals = config.filePath(QStringLiteral("kdeglobals"));
        if (fifo)
            ASSERT_EQ(::mkfifo(QFile::encodeName(kdeGlobals).constData(), 0600), 0);
        else
            ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), kdeGlobals));
        LinuxDesktopAccessibility::Options options;
        options.watchesX11 = false;
        options.currentDesktop = QStringLiteral("KDE");
        options.configFolder = config.path();
        {
            LinuxDesktopAccessibility source(options);
            QSignalSpy announced(&source, &DesktopAccessibility::valuesChanged);
            source.start();
            const bool heard = announced.wait(5000);
            EXPECT_TRUE(heard);
            if (heard)
                EXPECT_EQ(announced.takeFirst().at(0).value<DesktopAccessibilityValues>(), expected(false, false));
        }
        // What the application waits for at its end.
        const bool done = waitingWorkPool().waitForDone(10000);
        if (!done && fifo) {
            // Let a reader stuck on the FIFO go, so that the test ends.
            const int writer = ::open(QFile::encodeName(kdeGlobals).constData(), O_WRONLY | O_NONBLOCK);
            if (writer >= 0)
                ::close(writer);
        }
        EXPECT_TRUE(done);
    }
    // A link to a regular file, as dotfile managers make them, is read.
    QTemporaryDir config;
    writeFile(config.filePath(QStringLiteral("real-kdeglobals")), "[KDE]\nAnimationDurationFactor=0\n");
    ASSERT_TRUE(QFile::link(config.filePath(QStringLiteral("real-kdeglobals")), config.filePath(QStringLiteral("kdeglobals"))));
    EXPECT_EQ(rules::fromKdeGlobals(config.filePath(QStringLiteral("kdeglobals"))), expected(true, false));
    // A file larger than any settings file is not read.
    QFile huge(config.filePath(QStringLiteral("huge-kdeglobals")));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
    huge.write("[KDE]\nAnimationDurationFactor=0\n");
    ASSERT_TRUE(huge.resize(rules::maximumSettingsFileBytes + 1));
    huge.close();
    EXPECT_EQ(rules::fromKdeGlobals(huge.fileName()), expected(false, false));
}
