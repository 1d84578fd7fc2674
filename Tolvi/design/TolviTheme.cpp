#include "Tolvi/design/TolviTheme.h"

#include "Tolvi/design/AccessibilitySettings.h"
#include "Tolvi/design/CompositorProbe.h"

#include <QWidget>

namespace tolvi {

using TolviDesign::ColorToken;

namespace {
constexpr const char* attachmentProperty = "_tolvi_windowAppearance";
} // namespace

DesignContext DesignContext::of(const QWidget* widget)
{
    if (auto* attachment = TolviWindowAppearance::find(widget); attachment && attachment->theme())
        return attachment->theme()->context();
    DesignContext fallback;
    fallback.translucencyAvailable = false;
    return fallback;
}

TolviTheme::TolviTheme(AccessibilitySettings* settings, QObject* parent)
    : QObject(parent)
    , m_settings(settings ? settings : new AccessibilitySettings(this))
{
    connect(m_settings, &AccessibilitySettings::changed, this, &TolviTheme::changed);
}

TolviTheme::~TolviTheme() = default;

void TolviTheme::setAppearance(ThemeAppearance appearance)
{
    if (m_appearance == appearance)
        return;
    m_appearance = appearance;
    emit appearanceChanged(appearance);
    emit changed();
}

bool TolviTheme::translucencyAvailable() const
{
    if (m_translucencyOverride)
        return *m_translucencyOverride;
    if (!m_detectedTranslucency)
        m_detectedTranslucency = CompositorProbe::translucencyAvailable();
    return *m_detectedTranslucency;
}

void TolviTheme::setTranslucencyOverride(std::optional<bool> available)
{
    const bool before = translucencyAvailable();
    m_translucencyOverride = available;
    if (translucencyAvailable() != before)
        emit changed();
}

DesignContext TolviTheme::context() const
{
    DesignContext c;
    c.appearance = m_appearance;
    if (m_settings) {
        c.reduceTransparency = m_settings->reduceTransparency();
        c.increasedContrast = m_settings->increasedContrast();
        c.reduceMotion = m_settings->reduceMotion();
    }
    c.translucencyAvailable = translucencyAvailable();
    return c;
}

QPalette TolviTheme::palette(ThemeAppearance appearance)
{
    auto tok = [appearance](ColorToken token) { return TolviDesign::color(token, appearance); };
    const QColor canvas = tok(ColorToken::canvas);
    const QColor surface = tok(ColorToken::surface);
    const QColor raised = tok(ColorToken::raisedSurface);
    const QColor ink = tok(ColorToken::ink);
    const QColor muted = tok(ColorToken::muted);
    const QColor accent = tok(ColorToken::electricBlue);
    const QColor onAccent = tok(ColorToken::onAccent);

    QPalette p;
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        const bool disabled = group == QPalette::Disabled;
        const QColor text = disabled ? muted : ink;
        p.setColor(group, QPalette::Window, canvas);
        p.setColor(group, QPalette::WindowText, text);
        p.setColor(group, QPalette::Base, raised);
        p.setColor(group, QPalette::AlternateBase, surface);
        p.setColor(group, QPalette::Text, text);
        p.setColor(group, QPalette::Button, surface);
        p.setColor(group, QPalette::ButtonText, text);
        p.setColor(group, QPalette::BrightText, onAccent);
        p.setColor(group, QPalette::ToolTipBase, raised);
        p.setColor(group, QPalette::ToolTipText, ink);
        p.setColor(group, QPalette::PlaceholderText, muted);
        p.setColor(group, QPalette::Highlight, disabled ? muted : accent);
        p.setColor(group, QPalette::HighlightedText, onAccent);
        p.setColor(group, QPalette::Link, accent);
        p.setColor(group, QPalette::LinkVisited, accent);
        // Bevel shades for styles that draw frames.
        p.setColor(group, QPalette::Light, raised);
        p.setColor(group, QPalette::Midlight, surface);
        p.setColor(group, QPalette::Mid, muted);
        p.setColor(group, QPalette::Dark, muted);
        p.setColor(group, QPalette::Shadow, appearance == ThemeAppearance::dark ? QColor(0, 0, 0) : muted.darker(150));
    }
    return p;
}

TolviWindowAppearance* TolviWindowAppearance::attach(QWidget* widget, TolviTheme* theme)
{
    Q_ASSERT(widget);
    auto* existing = qobject_cast<TolviWindowAppearance*>(widget->property(attachmentProperty).value<QObject*>());
    if (existing) {
        existing->setTheme(theme);
        return existing;
    }
    return new TolviWindowAppearance(widget, theme);
}

TolviWindowAppearance* TolviWindowAppearance::find(const QWidget* widget)
{
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        if (auto* found = qobject_cast<TolviWindowAppearance*>(w->property(attachmentProperty).value<QObject*>()))
            return found;
    }
    return nullptr;
}

TolviWindowAppearance::TolviWindowAppearance(QWidget* widget, TolviTheme* theme)
    : QObject(widget)
{
    widget->setProperty(attachmentProperty, QVariant::fromValue<QObject*>(this));
    setTheme(theme);
}

QWidget* TolviWindowAppearance::widget() const { return static_cast<QWidget*>(parent()); }

void TolviWindowAppearance::setTheme(TolviTheme* theme)
{
    disconnect(m_connection);
    m_theme = theme;
    if (m_theme)
        m_connection = connect(m_theme, &TolviTheme::changed, this, &TolviWindowAppearance::apply);
    QWidget* w = widget();
    // A native window chooses its visual when it is created: translucency can be
    // asked for only before that. Where nothing composes, the window stays opaque
    // and the backdrop paints its corners.
    if (m_theme && w->isWindow() && !w->testAttribute(Qt::WA_WState_Created))
        w->setAttribute(Qt::WA_TranslucentBackground, m_theme->translucencyAvailable());
    apply();
}

void TolviWindowAppearance::apply()
{
    QWidget* w = widget();
    if (!m_theme)
        return;
    w->setPalette(TolviTheme::palette(m_theme->appearance()));
    // Custom-painted pieces read the theme at paint time; repaint all of them,
    // including the ones whose palette did not change (an accessibility switch).
    w->update();
    for (QWidget* child : w->findChildren<QWidget*>())
        child->update();
}

} // namespace tolvi
