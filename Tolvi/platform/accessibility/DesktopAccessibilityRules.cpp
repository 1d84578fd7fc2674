#include "Tolvi/platform/accessibility/DesktopAccessibilityRules.h"

#include <QSettings>
#include <QStringList>

#include <algorithm>

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

DesktopAccessibilityValues fromKdeGlobals(const QString& path)
{
    const QSettings kdeGlobals(path, QSettings::IniFormat);
    bool ok = false;
    const double factor = kdeGlobals.value(QStringLiteral("KDE/AnimationDurationFactor")).toDouble(&ok);
    return values(ok && factor == 0.0, false);
}

bool isKdeDesktop(const QString& currentDesktop)
{
    const QStringList names = currentDesktop.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    return std::any_of(names.cbegin(), names.cend(),
                       [](const QString& name) { return name.compare(QLatin1String("KDE"), Qt::CaseInsensitive) == 0; });
}

} // namespace tolvi::DesktopAccessibilityRules
