#pragma once

#include "Tolvi/platform/accessibility/DesktopAccessibility.h"
#include "Tolvi/platform/accessibility/XSettingsWatcher.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace tolvi {

// How each desktop's own settings map onto the three accessibility settings. A high-contrast
// theme or switch asks for both increased contrast and opaque surfaces.
namespace DesktopAccessibilityRules {

// "HighContrast", "HighContrastInverse", "ContrastHigh", "high-contrast" and the like.
bool namesHighContrastTheme(const QString& themeName);

// XSETTINGS: "Gtk/EnableAnimations" 0 turns motion off; "Net/ThemeName" or "Gtk/ThemeName"
// naming a high-contrast theme raises the contrast.
DesktopAccessibilityValues fromXSettings(const XSettingsSnapshot& settings);

// GNOME's org.gnome.desktop.interface enable-animations and
// org.gnome.desktop.a11y.interface high-contrast; an unknown key counts as its default.
DesktopAccessibilityValues fromGnome(std::optional<bool> enableAnimations, std::optional<bool> highContrast);

// What `gsettings get` printed for a Boolean key; nothing for anything else.
std::optional<bool> gsettingsBoolean(const QByteArray& output);

// KDE's kdeglobals text: [KDE] AnimationDurationFactor=0 turns motion off.
DesktopAccessibilityValues fromKdeGlobalsText(const QByteArray& text);
// The same for the file at path, read with readSettingsFile (nothing read counts as an empty
// file). Reads the file: not for the main thread.
DesktopAccessibilityValues fromKdeGlobals(const QString& path);

// A desktop settings file, far larger than any such file is.
inline constexpr qint64 maximumSettingsFileBytes = 1024 * 1024;
// The bytes of a desktop settings file: only a regular file (through links, as dotfile managers
// make them) of at most maximumSettingsFileBytes, opened without waiting, so that a FIFO or a
// device under the name can neither block nor flood the reader. Nothing for anything else.
std::optional<QByteArray> readSettingsFile(const QString& path);

// Whether XDG_CURRENT_DESKTOP (a colon-separated list) names KDE.
bool isKdeDesktop(const QString& currentDesktop);

} // namespace DesktopAccessibilityRules

} // namespace tolvi
