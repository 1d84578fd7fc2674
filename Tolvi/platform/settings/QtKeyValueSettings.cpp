#include "Tolvi/platform/settings/QtKeyValueSettings.h"

#include <QCoreApplication>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tolvi {

namespace {

// Creates the missing folders of a path, each with mode 0700 whatever the umask; folders that
// exist are left as they are.
bool createPrivateFolders(const QByteArray& folder)
{
    struct stat info {};
    if (::stat(folder.constData(), &info) == 0)
        return S_ISDIR(info.st_mode);
    const qsizetype slash = folder.lastIndexOf('/');
    if (errno != ENOENT || (slash > 0 && !createPrivateFolders(folder.left(slash))))
        return false;
    if (::mkdir(folder.constData(), 0700) != 0)
        return errno == EEXIST;
    return ::chmod(folder.constData(), 0700) == 0;
}

// The settings hold the capture switch and the exclusion list: another user who could write them
// could stop or redirect capture. QSettings creates what is missing as the umask allows (0777 and
// 0666 under umask 000) and keeps the mode of a file it rewrites, so the file is made 0600 first,
// in folders made 0700. A failure here leaves it to QSettings, which reports an unwritable file.
void preparePrivateFile(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    const qsizetype slash = native.lastIndexOf('/');
    if (slash > 0 && !createPrivateFolders(native.left(slash)))
        return;
    const int fd = ::open(native.constData(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid() && (info.st_mode & 0077) != 0)
        ::fchmod(fd, info.st_mode & 0700);
    ::close(fd);
}

// QSettings opens and reads the whole file, blocking on a FIFO and without end on a device: only
// a missing file or a regular one of a settings file's size (through links, as dotfile managers
// make them) is handed to it.
bool isUsableSettingsFile(const QString& path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return errno == ENOENT && ::lstat(QFile::encodeName(path).constData(), &info) != 0;
    return S_ISREG(info.st_mode) && info.st_size <= QtKeyValueSettings::maximumFileBytes;
}

// Lists are always written as variant lists: Qt writes a one-element string list as the bare
// text, which would read back as a text rather than a list.
QVariant storableForm(const QVariant& value)
{
    if (value.typeId() == QMetaType::QStringList) {
        QVariantList list;
        const QStringList strings = value.toStringList();
        list.reserve(strings.size());
        for (const QString& s : strings)
            list.append(s);
        return QVariant(list);
    }
    return value;
}

} // namespace

QtKeyValueSettings::QtKeyValueSettings()
{
    // The files QSettings() reads: the application's, then the organization's and the system's
    // fallbacks. Constructing it reads them all, so they are checked by name first.
    const QString organization = QCoreApplication::organizationName();
    const QString application = QCoreApplication::applicationName();
    const QString path = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QLatin1Char('/')
                         + organization + QLatin1Char('/') + application + QStringLiteral(".conf");
    preparePrivateFile(path);
    if (useStandIn(path))
        return;
    QStringList folders = QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation);
    folders.append(QStringLiteral("/etc/xdg"));
    for (const QString& folder : std::as_const(folders)) {
        for (const QString& fallback : {folder + QLatin1Char('/') + organization + QLatin1Char('/') + application
                                            + QStringLiteral(".conf"),
                                        folder + QLatin1Char('/') + organization + QStringLiteral(".conf")}) {
            if (!isUsableSettingsFile(fallback)) {
                qWarning("Tolvi: %s is not a regular file of a settings file's size; the settings are read "
                         "without fallbacks",
                         qPrintable(fallback));
                m_settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
                return;
            }
        }
    }
    m_settings = std::make_unique<QSettings>();
}

QtKeyValueSettings::QtKeyValueSettings(const QString& filePath)
{
    preparePrivateFile(filePath);
    if (!useStandIn(filePath))
        m_settings = std::make_unique<QSettings>(filePath, QSettings::IniFormat);
}

bool QtKeyValueSettings::useStandIn(const QString& path)
{
    if (isUsableSettingsFile(path))
        return false;
    // Whatever stands under the name is left as it is; this run starts from the defaults and
    // keeps its changes in a private file of its own.
    qWarning("Tolvi: the settings file %s is not a regular file of a settings file's size; the settings "
             "start from their defaults and are not kept",
             qPrintable(path));
    m_standInFolder = std::make_unique<QTemporaryDir>();
    m_settings = std::make_unique<QSettings>(m_standInFolder->filePath(QStringLiteral("Tolvi.conf")),
                                             QSettings::IniFormat);
    return true;
}

QtKeyValueSettings::~QtKeyValueSettings()
{
    m_settings->sync();
}

QVariant QtKeyValueSettings::value(const QString& key) const
{
    QVariant stored = m_settings->value(key);
    if (!stored.isValid() && m_settings->contains(key))
        return QVariant(QVariantList());  // "@Invalid()": how Qt writes an empty list
    return stored;
}

bool QtKeyValueSettings::contains(const QString& key) const
{
    return m_settings->contains(key);
}

void QtKeyValueSettings::setValue(const QString& key, const QVariant& value)
{
    if (!value.isValid()) {
        m_settings->remove(key);
        return;
    }
    m_settings->setValue(key, storableForm(value));
}

void QtKeyValueSettings::remove(const QString& key)
{
    // QSettings::remove("") would remove every key.
    if (key.isEmpty())
        return;
    m_settings->remove(key);
}

QStringList QtKeyValueSettings::keys() const
{
    QStringList all = m_settings->allKeys();
    all.sort();
    return all;
}

void QtKeyValueSettings::sync()
{
    m_settings->sync();
}

QString QtKeyValueSettings::fileName() const
{
    return m_settings->fileName();
}

bool QtKeyValueSettings::isWritable() const
{
    return m_settings->isWritable();
}

} // namespace tolvi
