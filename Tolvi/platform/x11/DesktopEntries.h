#pragma once

#include "Tolvi/platform/desktop/Workspace.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace tolvi {

// Application names from the desktop entries (*.desktop files) of the XDG data folders, found
// by the entries' StartupWMClass key, else by the entries' own file names.
class DesktopEntries {
public:
    // The "applications" folders below XDG_DATA_HOME and XDG_DATA_DIRS, most important first.
    static QStringList standardFolders();

    explicit DesktopEntries(QStringList folders = standardFolders());

    // The Name of the first entry whose StartupWMClass equals the window class exactly; else of
    // the entry whose desktop ID, or the last dot-separated part of it, is the window class in
    // any letter case.
    std::optional<QString> nameForWindowClass(const QString& windowClass);
    // The Name of the entry a Wayland app_id names: the entry of that desktop ID (letter case
    // aside), else the first whose StartupWMClass equals it.
    std::optional<QString> nameForAppId(const QString& appId);

    // The keys of one desktop entry's main group that the program reads (exposed for tests).
    struct Entry {
        QString name;
        QString startupWMClass;
        QString type;
        QString icon;
        QString exec;
        bool noDisplay = false;
        bool hidden = false;
    };
    static Entry parse(const QByteArray& text);

    // An application the desktop lists in its menus.
    struct Application {
        QString desktopID;  // the entry's file name without ".desktop"
        QString name;
        QString icon;       // a theme icon name or an absolute path; may be empty
        QString startupWMClass;
        QString program;    // the file name of the program Exec starts; may be empty

        friend bool operator==(const Application&, const Application&) = default;
    };
    // Every shown application entry (Type=Application, not NoDisplay or Hidden) of the folders,
    // the first of one desktop ID winning, sorted by name. Reads files: never on the main thread.
    static QList<Application> applications(const QStringList& folders);

    // The window class copies of the application are recorded under: its StartupWMClass, else
    // the class of its open windows (recognised by desktop ID, the ID's last dot-separated
    // part, or the program's file name, in any case). Nothing when the entry names no class
    // and none of its windows is open.
    static std::optional<QString> windowClassFor(const Application& application,
                                                 const QList<RunningApplication>& running);

private:
    void load();

    QStringList folders_;
    QHash<QString, QString> namesByClass_;
    QHash<QString, QString> namesByDesktopId_;  // keys in lower case
    QHash<QString, QString> namesByDesktopIdTail_;  // the IDs' last dot-separated parts, lower case
    bool loaded_ = false;
};

} // namespace tolvi
