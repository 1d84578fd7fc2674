#include "Tolvi/platform/x11/DesktopEntries.h"

#include <QDirIterator>
#include <QFile>
#include <QStandardPaths>

namespace tolvi {

QStringList DesktopEntries::standardFolders()
{
    QStringList folders;
    QString home = qEnvironmentVariable("XDG_DATA_HOME");
    if (home.isEmpty())
        home = QDir::homePath() + QStringLiteral("/.local/share");
    folders.append(home + QStringLiteral("/applications"));
    QString dirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (dirs.isEmpty())
        dirs = QStringLiteral("/usr/local/share:/usr/share");
    for (const QString& dir : dirs.split(QLatin1Char(':'), Qt::SkipEmptyParts))
        folders.append(dir + QStringLiteral("/applications"));
    return folders;
}

DesktopEntries::DesktopEntries(QStringList folders) : folders_(std::move(folders)) {}

DesktopEntries::Entry DesktopEntries::parse(const QByteArray& text)
{
    Entry entry;
    bool inMainGroup = false;
    for (const QByteArray& rawLine : text.split('\n')) {
        const QByteArray line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        if (line.startsWith('[')) {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        if (!inMainGroup)
            continue;
        const qsizetype equals = line.indexOf('=');
        if (equals <= 0)
            continue;
        const QByteArray key = line.left(equals).trimmed();
        const QString value = QString::fromUtf8(line.mid(equals + 1).trimmed());
        if (key == "Name" && entry.name.isEmpty())
            entry.name = value;
        else if (key == "StartupWMClass" && entry.startupWMClass.isEmpty())
            entry.startupWMClass = value;
    }
    return entry;
}

void DesktopEntries::load()
{
    loaded_ = true;
    for (const QString& folder : folders_) {
        QDirIterator files(folder, {QStringLiteral("*.desktop")}, QDir::Files | QDir::Readable,
                           QDirIterator::Subdirectories);
        while (files.hasNext()) {
            QFile file(files.next());
            if (file.size() > 256 * 1024 || !file.open(QIODevice::ReadOnly))
                continue;
            const Entry entry = parse(file.readAll());
            if (!entry.startupWMClass.isEmpty() && !entry.name.isEmpty() &&
                !namesByClass_.contains(entry.startupWMClass))
                namesByClass_.insert(entry.startupWMClass, entry.name);
        }
    }
}

std::optional<QString> DesktopEntries::nameForWindowClass(const QString& windowClass)
{
    if (!loaded_)
        load();
    const auto found = namesByClass_.constFind(windowClass);
    if (found == namesByClass_.constEnd())
        return std::nullopt;
    return found.value();
}

} // namespace tolvi
