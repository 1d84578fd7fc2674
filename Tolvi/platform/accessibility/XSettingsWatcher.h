#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>

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
//
// An owner is read only as far as a desktop publishes: at most maximumPropertyBytes of the
// property and maximumSettings settings (a settings daemon publishes a few dozen); what lies
// beyond is not read. Changes are taken at most every minimumReadIntervalMs (an owner that
// rewrites its settings a hundred times a second costs a few readings a second), and the last
// change is always taken. Going away never waits on the thread for longer than a moment: a
// thread stuck on its X server is left to end with the process.
class XSettingsWatcher : public QObject {
    Q_OBJECT
public:
    static constexpr quint32 maximumPropertyBytes = 256 * 1024;
    static constexpr quint32 maximumSettings = 4096;
    static constexpr int minimumReadIntervalMs = 250;

    // displayName: the X display to watch; empty means the one DISPLAY names.
    explicit XSettingsWatcher(QByteArray displayName = {}, QObject* parent = nullptr);
    ~XSettingsWatcher() override;

    // Connects and starts watching; false when there is no X server to connect to.
    bool start();

    // The settings in an "_XSETTINGS_SETTINGS" property's bytes, read up to maximumSettings
    // settings or the first one cut short.
    static XSettingsSnapshot parse(const QByteArray& property);

signals:
    // The settings as they are now, on the main thread, each time they change (and once after
    // start). Nothing: no settings owner runs on the screen.
    void settingsChanged(std::optional<tolvi::XSettingsSnapshot> settings);

private:
    struct Shared;
    static void run(const std::shared_ptr<Shared>& shared);
    static void publish(const std::shared_ptr<Shared>& shared, const std::optional<XSettingsSnapshot>& settings);

    QByteArray m_displayName;
    std::shared_ptr<Shared> m_shared;
};

} // namespace tolvi
