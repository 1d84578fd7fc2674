#pragma once

#include "Tolvi/design/AccessibilitySettings.h"
#include "Tolvi/design/DesignTokens.h"
#include "Tolvi/design/ThemeAppearance.h"

#include <QObject>
#include <QPalette>
#include <QPointer>

#include <optional>

class QWidget;

namespace tolvi {

// Everything a design piece needs to know when it paints: the appearance of its
// window, the accessibility settings, and whether translucency really shows.
struct DesignContext {
    ThemeAppearance appearance = ThemeAppearance::light;
    bool reduceTransparency = false;
    bool increasedContrast = false;
    bool reduceMotion = false;
    bool translucencyAvailable = true;

    QColor color(TolviDesign::ColorToken token) const { return TolviDesign::color(token, appearance); }

    // An animation's duration, or 0 when the user asked for reduced motion.
    int animationDuration(int milliseconds) const { return reduceMotion ? 0 : milliseconds; }

    // The context of the theme that the widget's window (or nearest themed
    // ancestor) follows; the light theme with default settings when there is none.
    static DesignContext of(const QWidget* widget);
};

// The program's theme: which appearance windows are drawn in, the accessibility
// settings they honour, and the palette that matches the tokens. One theme is
// shared by every window; windows attach to it with tolviConsoleAppearance().
class TolviTheme : public QObject {
    Q_OBJECT
public:
    // settings: the accessibility provider to follow; a private one (all off) when null.
    explicit TolviTheme(AccessibilitySettings* settings = nullptr, QObject* parent = nullptr);
    ~TolviTheme() override;

    ThemeAppearance appearance() const { return m_appearance; }
    void setAppearance(ThemeAppearance appearance);

    AccessibilitySettings& accessibility() const { return *m_settings; }

    // Detected from the platform unless overridden (tests, or a user who knows better).
    bool translucencyAvailable() const;
    void setTranslucencyOverride(std::optional<bool> available);

    DesignContext context() const;
    QColor color(TolviDesign::ColorToken token) const { return TolviDesign::color(token, m_appearance); }

    // The widget palette drawn from the tokens of one appearance.
    static QPalette palette(ThemeAppearance appearance);

signals:
    void appearanceChanged(ThemeAppearance appearance);
    // The appearance, an accessibility setting or the translucency changed: redraw.
    void changed();

private:
    ThemeAppearance m_appearance = ThemeAppearance::light;
    QPointer<AccessibilitySettings> m_settings;
    std::optional<bool> m_translucencyOverride;
    mutable std::optional<bool> m_detectedTranslucency;
};

// Makes a window (or any container) follow the theme: its palette, the
// appearance its design pieces resolve tokens against, a translucent
// background where translucency really shows, and a redraw on every change.
// Returns the attachment, owned by the widget; attaching again replaces the theme.
class TolviWindowAppearance : public QObject {
    Q_OBJECT
public:
    static TolviWindowAppearance* attach(QWidget* widget, TolviTheme* theme);
    // The attachment of the widget or of its nearest ancestor; null when none.
    static TolviWindowAppearance* find(const QWidget* widget);

    TolviTheme* theme() const { return m_theme; }
    QWidget* widget() const;

private:
    TolviWindowAppearance(QWidget* widget, TolviTheme* theme);
    void setTheme(TolviTheme* theme);
    void apply();

    QPointer<TolviTheme> m_theme;
    QMetaObject::Connection m_connection;
};

// The operation every window controller calls on its window when it builds it.
inline TolviWindowAppearance* tolviConsoleAppearance(QWidget* window, TolviTheme* theme)
{
    return TolviWindowAppearance::attach(window, theme);
}

} // namespace tolvi
