#include "Tolvi/platform/accessibility/DesktopAccessibilityRules.h"

#include <QFile>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tolvi::DesktopAccessibilityRules {

namespace {

DesktopAccessibilityValues values(bool reduceMotion, bool highContrast)
{
    DesktopAccessibilityValues result;
    result.reduceMotion = reduceMotion;
    result.increasedContrast = highContrast;
    result.reduceTransparency = highContrast;
    return result;
}

} // namespace

bool namesHighContrastTheme(const QString& themeName)
{
    QString letters;
    for (const QChar c : themeName) {
        if (c.isLetterOrNumber())
            letters.append(c.toLower());
    }
    return letters.contains(QLatin1String("highcontrast")) || letters.contains(QLatin1String("contrasthigh"));
}

DesktopAccessibilityValues fromXSettings(const XSettingsSnapshot& settings)
{
    const bool reduceMotion = settings.enableAnimations.has_value() && *settings.enableAnimations == 0;
    const bool highContrast =
        namesHighContrastTheme(settings.netThemeName) || namesHighContrastTheme(settings.gtkThemeName);
    return values(reduceMotion, highContrast);
}

DesktopAccessibilityValues fromGnome(std::optional<bool> enableAnimations, std::optional<bool> highContrast)
{
    return values(!enableAnimations.value_or(true), highContrast.value_or(false));
}

std::optional<bool> gsettingsBoolean(const QByteArray& output)
{
    const QByteArray word = output.trimmed();
    if (word == "true")
        return true;
    if (word == "false")
        return false;
    return std::nullopt;
}

std::optional<QByteArray> readSettingsFile(const QString& path)
{
    // Without waiting (a FIFO under the name would block the open for good), and only a regular
    // file: a device would be read without end.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > maximumSettingsFileBytes)
        return std::nullopt;
    QByteArray bytes(qsizetype(maximumSettingsFileBytes) + 1, Qt::Uninitialized);
    qsizetype filled = 0;
    while (filled < bytes.size()) {
        const ssize_t got = ::read(fd, bytes.data() + filled, size_t(bytes.size() - filled));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return std::nullopt;
        if (got == 0)
            break;
        filled += got;
    }
    if (filled > maximumSettingsFileBytes)
        return std::nullopt;
    bytes.truncate(filled);
    return bytes;
}

DesktopAccessibilityValues fromKdeGlobalsText(const QByteArray& text)
{
    // KDE's configuration files: "[Group]" lines, then "key=value" lines; "#" starts a comment.
    QByteArray group;
    std::optional<double> factor;
    for (const QByteArray& rawLine : text.split('\n')) {
        const QByteArray line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        if (line.startsWith('[')) {
            group = line.endsWith(']') ? line.mid(1, line.size() - 2).trimmed() : QByteArray();
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (group != "KDE" || equals < 0 || line.left(equals).trimmed() != "AnimationDurationFactor")
            continue;
        bool ok = false;
        const double value = line.mid(equals + 1).trimmed().toDouble(&ok);
        factor = ok ? std::optional<double>(value) : std::nullopt;
    }
    return values(factor && *factor == 0.0, false);
}

DesktopAccessibilityValues fromKdeGlobals(const QString& path)
{
    return fromKdeGlobalsText(readSettingsFile(path).value_or(QByteArray()));
}

bool isKdeDesktop(const QString& currentDesktop)
{
    const QStringList names = currentDesktop.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    return std::any_of(names.cbegin(), names.cend(),
                       [](const QString& name) { return name.compare(QLatin1String("KDE"), Qt::CaseInsensitive) == 0; });
}

} // namespace tolvi::DesktopAccessibilityRules
