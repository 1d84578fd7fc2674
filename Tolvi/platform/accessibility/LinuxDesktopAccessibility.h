#pragma once

#include "Tolvi/platform/accessibility/DesktopAccessibility.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

namespace tolvi {

class XSettingsWatcher;
struct XSettingsSnapshot;

// The desktop's accessibility settings as the running desktop keeps them. On X11 they come from
// XSETTINGS (the settings daemons of GNOME, Xfce, MATE, Cinnamon and KDE's xsettingsd), followed
// live. Where no XSETTINGS owner runs, they are read once from GSettings (GNOME and the desktops
// built on its settings) or, on KDE, from kdeglobals; that reading runs off the main thread.
class LinuxDesktopAccessibility final : public DesktopAccessibility {
    Q_OBJECT
public:
    struct Options {
        // The X display to watch; empty: the one DISPLAY names. No X11 at all: watch nothing.
        QByteArray displayName;
        bool watchesX11 = true;
        // XDG_CURRENT_DESKTOP, which tells KDE from the rest.
        QString currentDesktop;
        // The folder of kdeglobals (XDG_CONFIG_HOME, else ~/.config).
        QString configFolder;
        // The GSettings command-line tool.
        QString gsettingsProgram = QStringLiteral("gsettings");

        // From the process environment.
        static Options fromEnvironment();
    };

    explicit LinuxDesktopAccessibility(Options options, QObject* parent = nullptr);
    ~LinuxDesktopAccessibility() override;

    void start() override;

    // The desktop files' settings, read the way the fallback reads them. Blocks on a child process
    // and a file: not for the main thread.
    static DesktopAccessibilityValues readDesktopFiles(const Options& options);

private:
    void followXSettings(const std::optional<XSettingsSnapshot>& settings);
    void readDesktopFilesInBackground();
    void announce(const DesktopAccessibilityValues& values);

    Options m_options;
    std::unique_ptr<XSettingsWatcher> m_xsettings;
    int m_generation = 0;
    bool m_started = false;
    std::optional<DesktopAccessibilityValues> m_announced;
};

} // namespace tolvi
