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

// KDE's kdeglobals file at path: [KDE] AnimationDurationFactor=0 turns motion off. Reads the
// file: not for the main thread.
DesktopAccessibilityValues fromKdeGlobals(const QString& path);

// Whether XDG_CURRENT_DESKTOP (a colon-separated list) names KDE.
bool isKdeDesktop(const QString& currentDesktop);

} // namespace DesktopAccessibilityRules

} // namespace tolvi
