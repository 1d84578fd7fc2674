#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <atomic>
#include <memory>
#include <optional>
#include <thread>

namespace tolvi {

// The XSETTINGS values the accessibility layer looks at.
struct XSettingsSnapshot {
    std::optional<int> enableAnimations;  // "Gtk/EnableAnimations"
    QString netThemeName;                 // "Net/ThemeName"
    QString gtkThemeName;                 // "Gtk/ThemeName"

    friend bool operator==(const XSettingsSnapshot&, const XSettingsSnapshot&) = default;
};

// Follows the XSETTINGS of one X screen: the settings that the owner of the "_XSETTINGS_S<n>"
// selection (a desktop's settings daemon, xsettingsd) publishes in its "_XSETTINGS_SETTINGS"
// property. A thread of its own, on a connection of its own, watches the owner's property and the
// arrival of a new owner, so nothing of it runs on the main thread.
class XSettingsWatcher : public QObject {
    Q_OBJECT
public:
    // displayName: the X display to watch; empty means the one DISPLAY names.
    explicit XSettingsWatcher(QByteArray displayName = {}, QObject* parent = nullptr);
    ~XSettingsWatcher() override;

    // Connects and starts watching; false when there is no X server to connect to.
    bool start();

signals:
    // The settings as they are now, on the main thread, each time they change (and once after
    // start). Nothing: no settings owner runs on the screen.
    void settingsChanged(std::optional<tolvi::XSettingsSnapshot> settings);

private:
    struct Connection;
    void run();
    void publish(const std::optional<XSettingsSnapshot>& settings);

    QByteArray m_displayName;
    std::unique_ptr<Connection> m_connection;
    std::thread m_thread;
    int m_wakeFd = -1;
    std::atomic<bool> m_stopping{false};
    // Main thread only.
    bool m_hasPublished = false;
    std::optional<XSettingsSnapshot> m_last;
};

} // namespace tolvi
