#include "DesignGallery.h"

#include "Tolvi/design/Badges.h"
#include "Tolvi/design/Surfaces.h"
#include "Tolvi/design/SymbolCatalog.h"
#include "Tolvi/design/TolviPrimaryButton.h"
#include "Tolvi/design/TolviTheme.h"

#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include <algorithm>

namespace tolvi {

using TolviDesign::ColorToken;
using TolviDesign::Typography;

namespace {

QLabel* caption(const QString& text, Typography style = Typography::meta)
{
    auto* label = new QLabel(text);
    label->setTextFormat(Qt::PlainText);
    label->setFont(TolviDesign::font(style));
    return label;
}

QLabel* heading(const QString& text)
{
    auto* label = caption(text.toUpper(), Typography::eyebrow);
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

class Swatch : public QWidget {
public:
    explicit Swatch(ColorToken token)
        : m_token(token)
    {
        setFixedSize(118, 54);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const DesignContext c = DesignContext::of(this);
        // A checker shows the opacity of the derived tokens.
        QPainterPath chip = roundedShape(QRectF(0.5, 0.5, 34, 34), 7);
        p.save();
        p.setClipPath(chip);
        for (int y = 0; y < 35; y += 7)
            for (int x = 0; x < 35; x += 7)
                p.fillRect(x, y, 7, 7, ((x + y) / 7) % 2 ? QColor(0x80, 0x80, 0x80) : QColor(0xC8, 0xC8, 0xC8));
        p.restore();
        p.fillPath(chip, c.color(m_token));
        p.setPen(c.color(ColorToken::rowStroke));
        p.drawPath(chip);
        p.setPen(c.color(ColorToken::ink));
        p.setFont(TolviDesign::font(Typography::meta));
        p.drawText(QRect(0, 37, width(), 17), Qt::AlignLeft | Qt::AlignVCenter, TolviDesign::tokenName(m_token));
        const QColor v = c.color(m_token);
        p.setPen(c.color(ColorToken::muted));
        p.setFont(TolviDesign::font(Typography::number));
        p.drawText(QRect(40, 2, width() - 40, 32), Qt::AlignLeft | Qt::AlignVCenter,
                   v.name(QColor::HexRgb).toUpper() + (v.alpha() < 255 ? QStringLiteral("\n@ %1").arg(v.alphaF(), 0, 'f', 2) : QString()));
    }

private:
    ColorToken m_token;
};

class ButtonSample : public QWidget {
public:
    ButtonSample(QString label, TolviPrimaryButtonStyle::State state)
        : m_label(std::move(label))
        , m_state(state)
    {
        const int m = TolviPrimaryButtonStyle::ringMargin;
        setFixedSize(TolviPrimaryButtonStyle::bodySize(m_label) + QSize(2 * m, 2 * m));
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        const int m = TolviPrimaryButtonStyle::ringMargin;
        TolviPrimaryButtonStyle::paint(p, rect().adjusted(m, m, -m, -m), m_label, m_state, DesignContext::of(this));
    }

private:
    QString m_label;
    TolviPrimaryButtonStyle::State m_state;
};

// A container following its own theme (for showing accessibility variants side by side).
QWidget* themed(QWidget* w, TolviTheme* theme)
{
    TolviWindowAppearance::attach(w, theme);
    return w;
}

QWidget* plateSample(const QString& title, TolviTheme* theme, bool raised = false)
{
    auto* box = new QWidget;
    auto* v = new QVBoxLayout(box);
    v->setContentsMargins(0, 0, 0, 0);
    auto* content = new QWidget;
    content->setFixedSize(150, 70);
    auto* inner = new QVBoxLayout(content);
    inner->setContentsMargins(12, 10, 12, 10);
    inner->addWidget(caption(title, Typography::bodyStrong));
    inner->addWidget(caption(raised ? QStringLiteral("raised base") : QStringLiteral("flat")));
    auto* surface = new TolviGlassSurface(14, ColorToken::electricBlue, raised);
    surface->setContentWidget(content);
    v->addWidget(surface);
    return themed(box, theme);
}

QImage grabSheet(QWidget* sheet)
{
    sheet->adjustSize();
    sheet->show();
    QImage image = sheet->grab().toImage();
    sheet->hide();
    return image;
}

// The sheet's background: the window backdrop over a desktop-like gradient, so translucency shows.
class Desk : public QWidget {
public:
    explicit Desk(bool compact)
        : m_compact(compact)
    {
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        QLinearGradient g(rect().topLeft(), rect().bottomRight());
        g.setColorAt(0, QColor(0x4A, 0x6F, 0xA5));
        g.setColorAt(1, QColor(0xC0, 0x7A, 0x9E));
        p.fillRect(rect(), g);
        TolviConsoleBackdrop::paint(p, QRectF(rect()).adjusted(16, 16, -16, -16),
                                    m_compact ? TolviConsoleBackdrop::compactRadius : TolviConsoleBackdrop::regularRadius,
                                    DesignContext::of(this));
    }

private:
    bool m_compact;
};

// A patch of desktop behind a window sample.
class DeskTile : public QWidget {
protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QLinearGradient g(rect().topLeft(), rect().bottomRight());
        g.setColorAt(0, QColor(0x4A, 0x6F, 0xA5));
        g.setColorAt(1, QColor(0xC0, 0x7A, 0x9E));
        p.fillPath(roundedShape(rect(), 8), g);
    }
};

} // namespace

QImage DesignGallery::renderPieces(ThemeAppearance appearance)
{
    TolviTheme theme;
    theme.setAppearance(appearance);
    theme.setTranslucencyOverride(true);
    TolviTheme reduced;
    reduced.setAppearance(appearance);
    reduced.setTranslucencyOverride(true);
    reduced.accessibility().setReduceTransparency(true);
    TolviTheme contrast;
    contrast.setAppearance(appearance);
    contrast.setTranslucencyOverride(true);
    contrast.accessibility().setIncreasedContrast(true);
    TolviTheme noCompositor;
    noCompositor.setAppearance(appearance);
    noCompositor.setTranslucencyOverride(false);

    Desk sheet(false);
    TolviWindowAppearance::attach(&sheet, &theme);
    auto* root = new QVBoxLayout(&sheet);
    root->setContentsMargins(44, 40, 44, 40);
    root->setSpacing(12);

    auto* title = caption(appearance == ThemeAppearance::dark ? QStringLiteral("Dark Glass") : QStringLiteral("Light Glass"),
                          Typography::display);
    root->addWidget(title);

    root->addWidget(heading(QStringLiteral("Colour tokens")));
    auto* swatches = new QGridLayout;
    swatches->setHorizontalSpacing(10);
    int i = 0;
    for (ColorToken token : TolviDesign::allColorTokens) {
        swatches->addWidget(new Swatch(token), i / 6, i % 6);
        ++i;
    }
    root->addLayout(swatches);

    root->addWidget(heading(QStringLiteral("Type scale")));
    auto* type = new QGridLayout;
    const char* names[] = {"eyebrow", "title", "display", "rowTitle", "body", "bodyStrong", "meta", "chip", "number 0123456789"};
    i = 0;
    for (Typography style : TolviDesign::allTypography) {
        type->addWidget(caption(QStringLiteral("%1 · %2 pt").arg(QLatin1String(names[i])).arg(TolviDesign::layoutPointSize(style)), style),
                        i / 3, i % 3);
        ++i;
    }
    root->addLayout(type);

    root->addWidget(heading(QStringLiteral("Plates and surfaces")));
    auto* plates = new QHBoxLayout;
    plates->addWidget(plateSample(QStringLiteral("Material"), &theme));
    plates->addWidget(plateSample(QStringLiteral("Material"), &theme, true));
    plates->addWidget(plateSample(QStringLiteral("Reduce transp."), &reduced, true));
    plates->addWidget(plateSample(QStringLiteral("More contrast"), &contrast));
    plates->addWidget(plateSample(QStringLiteral("No compositor"), &noCompositor));
    plates->addStretch();
    root->addLayout(plates);

    root->addWidget(heading(QStringLiteral("Badges, pills and tiles")));
    auto* badges = new QHBoxLayout;
    badges->setSpacing(8);
    badges->addWidget(new TolviBadge(QStringLiteral("Pinned"), QStringLiteral("pin.fill"), ColorToken::amber));
    badges->addWidget(new TolviBadge(QStringLiteral("OCR"), QStringLiteral("text.viewfinder"), ColorToken::mint));
    badges->addWidget(new TolviBadge(QStringLiteral("AI"), QStringLiteral("sparkles"), ColorToken::violet));
    badges->addWidget(new TolviBadge(QStringLiteral("Text only"), std::nullopt, ColorToken::electricBlue));
    badges->addWidget(new TolviStatusPill(QStringLiteral("Capture on"), QStringLiteral("record.circle")));
    badges->addWidget(new TolviStatusPill(QStringLiteral("42 clips")));
    badges->addWidget(new TolviIconTile(QStringLiteral("doc.on.clipboard"), ColorToken::electricBlue));
    badges->addWidget(new TolviIconTile(QStringLiteral("photo"), ColorToken::mint));
    badges->addWidget(new TolviIconTile(QStringLiteral("exclamationmark.triangle"), ColorToken::amber));
    badges->addWidget(new TolviIconTile(QStringLiteral("wand.and.stars"), ColorToken::violet));
    badges->addStretch();
    root->addLayout(badges);

    root->addWidget(heading(QStringLiteral("Primary button")));
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(14);
    using State = TolviPrimaryButtonStyle::State;
    buttons->addWidget(new ButtonSample(QStringLiteral("Paste"), State{true, false, false}));
    buttons->addWidget(new ButtonSample(QStringLiteral("Pressed"), State{true, true, false}));
    buttons->addWidget(new ButtonSample(QStringLiteral("Focused"), State{true, false, true}));
    buttons->addWidget(new ButtonSample(QStringLiteral("Disabled"), State{false, false, false}));
    buttons->addWidget(themed(new ButtonSample(QStringLiteral("More contrast"), State{true, false, false}), &contrast));
    buttons->addWidget(new TolviPrimaryButton(QStringLiteral("Paste Next")));
    buttons->addStretch();
    root->addLayout(buttons);

    root->addWidget(heading(QStringLiteral("Backdrops: regular 22 pt · compact 18 pt · no compositor")));
    auto* backdrops = new QHBoxLayout;
    auto backdrop = [](bool compact, TolviTheme* t) {
        auto* desk = new DeskTile;
        auto* d = new QVBoxLayout(desk);
        d->setContentsMargins(10, 10, 10, 10);
        auto* b = new TolviConsoleBackdrop(compact);
        b->setFixedSize(200, 90);
        auto* l = new QVBoxLayout(b);
        l->setContentsMargins(16, 12, 16, 12);
        l->addWidget(caption(compact ? QStringLiteral("Compact panel") : QStringLiteral("History window"), Typography::rowTitle));
        d->addWidget(b);
        return themed(desk, t);
    };
    backdrops->addWidget(backdrop(false, &theme));
    backdrops->addWidget(backdrop(true, &theme));
    backdrops->addWidget(backdrop(false, &noCompositor));
    backdrops->addStretch();
    root->addLayout(backdrops);

    return grabSheet(&sheet);
}

QImage DesignGallery::renderSymbols(ThemeAppearance appearance)
{
    TolviTheme theme;
    theme.setAppearance(appearance);
    theme.setTranslucencyOverride(true);

    Desk sheet(false);
    TolviWindowAppearance::attach(&sheet, &theme);
    auto* root = new QVBoxLayout(&sheet);
    root->setContentsMargins(44, 40, 44, 40);
    root->addWidget(caption(QStringLiteral("Symbols"), Typography::title));
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(4);
    const QStringList names = SymbolCatalog::names();
    const ColorToken tints[] = {ColorToken::ink, ColorToken::electricBlue, ColorToken::mint, ColorToken::amber, ColorToken::violet};
    // Every name in full: the columns are as wide as the longest one.
    const QFontMetrics metrics(TolviDesign::font(Typography::meta));
    int nameWidth = 0;
    for (const QString& name : names)
        nameWidth = std::max(nameWidth, metrics.horizontalAdvance(name));
    constexpr int columns = 5;
    for (int i = 0; i < names.size(); ++i) {
        auto* cell = new QWidget;
        auto* h = new QHBoxLayout(cell);
        h->setContentsMargins(0, 0, 0, 0);
        h->addWidget(new TolviIconTile(names[i], tints[i % 5]));
        auto* label = caption(names[i]);
        label->setFixedWidth(nameWidth + 4);
        h->addWidget(label);
        grid->addWidget(cell, i / columns, i % columns);
    }
    root->addLayout(grid);
    return grabSheet(&sheet);
}

} // namespace tolvi
