#pragma once

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

namespace tolvi {

// Application names from the desktop entries (*.desktop files) of the XDG data folders, found
// by the entries' StartupWMClass key.
class DesktopEntries {
public:
    // The "applications" folders below XDG_DATA_HOME and XDG_DATA_DIRS, most important first.
    static QStringList standardFolders();

    explicit DesktopEntries(QStringList folders = standardFolders());

    // The Name of the first entry whose StartupWMClass equals the window class exactly.
    std::optional<QString> nameForWindowClass(const QString& windowClass);

    // The Name and StartupWMClass of one desktop entry's text (exposed for tests).
    struct Entry {
        QString name;
        QString startupWMClass;
    };
    static Entry parse(const QByteArray& text);

private:
    void load();

    QStringList folders_;
    QHash<QString, QString> namesByClass_;
    bool loaded_ = false;
};

} // namespace tolvi
