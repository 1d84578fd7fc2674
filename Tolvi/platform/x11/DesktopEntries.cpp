#include "Tolvi/platform/x11/DesktopEntries.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QSet>

#include <algorithm>
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
        else if (key == "Type" && entry.type.isEmpty())
            entry.type = value;
        else if (key == "Icon" && entry.icon.isEmpty())
            entry.icon = value;
        else if (key == "Exec" && entry.exec.isEmpty())
            entry.exec = value;
        else if (key == "NoDisplay")
            entry.noDisplay = value == QLatin1String("true");
        else if (key == "Hidden")
            entry.hidden = value == QLatin1String("true");
    }
    return entry;
}

namespace {

// The file name of the program an Exec line starts, past "env" and its assignments.
QString programOfExec(const QString& exec)
{
    const QStringList words = exec.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (qsizetype i = 0; i < words.size(); ++i) {
        QString word = words.at(i);
        word.remove(QLatin1Char('"'));
        if (word.isEmpty() || (i == 0 && word.endsWith(QLatin1String("/env"))) || word == QLatin1String("env")
            || word.contains(QLatin1Char('=')))
            continue;
        return word.mid(word.lastIndexOf(QLatin1Char('/')) + 1);
    }
    return {};
}

} // namespace

QList<DesktopEntries::Application> DesktopEntries::applications(const QStringList& folders)
{
    QList<Application> result;
    QSet<QString> seen;
    for (const QString& folder : folders) {
        QDirIterator files(folder, {QStringLiteral("*.desktop")}, QDir::Files | QDir::Readable,
                           QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString path = files.next();
            // The desktop ID of a file in a subfolder joins the folders with '-'.
            QString id = QDir(folder).relativeFilePath(path);
            id.chop(int(qstrlen(".desktop")));
            id.replace(QLatin1Char('/'), QLatin1Char('-'));
            if (seen.contains(id))
                continue;
            seen.insert(id);
            QFile file(path);
            if (file.size() > 256 * 1024 || !file.open(QIODevice::ReadOnly))
                continue;
            const Entry entry = parse(file.read(256 * 1024));
            if (entry.type != QLatin1String("Application") || entry.noDisplay || entry.hidden || entry.name.isEmpty())
                continue;
            result.append({id, entry.name, entry.icon, entry.startupWMClass, programOfExec(entry.exec)});
        }
    }
    std::stable_sort(result.begin(), result.end(), [](const Application& a, const Application& b) {
        return a.name.compare(b.name, Qt::CaseInsensitive) < 0;
    });
    return result;
}

std::optional<QString> DesktopEntries::windowClassFor(const Application& application,
                                                      const QList<RunningApplication>& running)
{
    if (!application.startupWMClass.isEmpty())
        return application.startupWMClass;
    QStringList names{application.desktopID};
    const qsizetype dot = application.desktopID.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0 && dot + 1 < application.desktopID.size())
        names.append(application.desktopID.mid(dot + 1));
    if (!application.program.isEmpty())
        names.append(application.program);
    for (const RunningApplication& app : running) {
        if (!app.identifier || app.identifier->isEmpty())
            continue;
        for (const QString& name : names) {
            if (!name.isEmpty() && app.identifier->compare(name, Qt::CaseInsensitive) == 0)
                return *app.identifier;
        }
    }
    return std::nullopt;
}

void DesktopEntries::load()
{
    loaded_ = true;
    for (const QString& folder : folders_) {
        QDirIterator files(folder, {QStringLiteral("*.desktop")}, QDir::Files | QDir::Readable,
                           QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString path = files.next();
            QFile file(path);
            if (file.size() > 256 * 1024 || !file.open(QIODevice::ReadOnly))
                continue;
            const Entry entry = parse(file.readAll());
            if (entry.name.isEmpty())
                continue;
            if (!entry.startupWMClass.isEmpty() && !namesByClass_.contains(entry.startupWMClass))
                namesByClass_.insert(entry.startupWMClass, entry.name);
            QString id = QDir(folder).relativeFilePath(path);
            id.chop(int(qstrlen(".desktop")));
            id.replace(QLatin1Char('/'), QLatin1Char('-'));
            id = id.toLower();
            if (!namesByDesktopId_.contains(id))
                namesByDesktopId_.insert(id, entry.name);
            // Reverse-DNS IDs (org.gnome.Nautilus) name the program in their last part.
            const qsizetype dot = id.lastIndexOf(QLatin1Char('.'));
            if (dot >= 0 && dot + 1 < id.size() && !namesByDesktopIdTail_.contains(id.mid(dot + 1)))
                namesByDesktopIdTail_.insert(id.mid(dot + 1), entry.name);
        }
    }
}

std::optional<QString> DesktopEntries::nameForWindowClass(const QString& windowClass)
{
    if (!loaded_)
        load();
    if (const auto found = namesByClass_.constFind(windowClass); found != namesByClass_.constEnd())
        return found.value();
    // Most entries name no class: their programs' windows carry the entry's own file name as
    // their class, in some letter case (pcmanfm.desktop, class "Pcmanfm").
    const QString key = windowClass.toLower();
    if (const auto found = namesByDesktopId_.constFind(key); found != namesByDesktopId_.constEnd())
        return found.value();
    if (const auto found = namesByDesktopIdTail_.constFind(key); found != namesByDesktopIdTail_.constEnd())
        return found.value();
    return std::nullopt;
}

std::optional<QString> DesktopEntries::nameForAppId(const QString& appId)
{
    if (appId.isEmpty())
        return std::nullopt;
    if (!loaded_)
        load();
    const auto found = namesByDesktopId_.constFind(appId.toLower());
    if (found != namesByDesktopId_.constEnd())
        return found.value();
    return nameForWindowClass(appId);
}

} // namespace tolvi
