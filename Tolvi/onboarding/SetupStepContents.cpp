// What each step of the tour shows inside its content area: fixed texts, a still picture of the
// compact panel, the daily routine as four stations, four feature tiles and the paste
// permission line. None of it is interactive; every action of the tour is in the footer.
#include "Tolvi/design/Badges.h"
#include "Tolvi/design/Surfaces.h"
#include "Tolvi/onboarding/OnboardingWidgets.h"
#include "Tolvi/onboarding/SetupView.h"

#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

namespace tolvi {

using namespace onboarding;

using TolviDesign::ColorToken;
using TolviDesign::Typography;

namespace {

const QColor systemGreen(52, 199, 89);
const QColor systemRed(255, 59, 48);
const QColor systemYellow(255, 204, 0);
// Text and symbols on an accent fill ("white" on the light theme's deep accents).
const Tone white{ColorToken::onAccent};

QFont heavy(qreal points)
{
    return onboardingFont(points, QFont::ExtraBold);
}

TokenLabel* text(const QString& value, const QFont& font, Tone tone = {ColorToken::ink}, QWidget* parent = nullptr)
{
    return new TokenLabel(value, font, tone, parent);
}

TokenLabel* singleLine(const QString& value, const QFont& font, Tone tone)
{
    auto* label = text(value, font, tone);
    label->setWordWrap(false);
    return label;
}

// The title over its detail, as the callouts and tiles stack them.
QVBoxLayout* titleAndDetail(TokenLabel* title, TokenLabel* detail, int spacing)
{
    auto* column = new QVBoxLayout();
    column->setSpacing(spacing);
    column->addWidget(title);
    column->addWidget(detail);
    return column;
}

QWidget* glass(QWidget* content, qreal radius, DesignColor tint, bool raised = false)
{
    return tolviGlass(content, radius, tint, raised);
}

QWidget* callout(const QString& systemImage, const QString& title, const QString& detail, DesignColor tint)
{
    auto* content = new QWidget();
    auto* row = new QHBoxLayout(content);
    row->setContentsMargins(14, 14, 14, 14);
    row->setSpacing(12);
    row->addWidget(new SymbolTile(systemImage, 17, {tint}, 26, SymbolTile::Shape::circle, {tint, 0.1}), 0,
                   Qt::AlignTop);
    row->addLayout(titleAndDetail(text(title, TolviDesign::font(Typography::bodyStrong)),
                                  text(detail, TolviDesign::font(Typography::meta), {ColorToken::muted}), 3),
                   1);
    QWidget* surface = glass(content, 14, tint);
    surface->setAccessibleName(title);
    return surface;
}

QWidget* featureTile(const QString& title, const QString& detail, const QString& systemImage, DesignColor tint)
{
    auto* content = new QWidget();
    auto* row = new QHBoxLayout(content);
    row->setContentsMargins(15, 15, 15, 15);
    row->setSpacing(12);
    row->addWidget(new SymbolTile(systemImage, 17, {tint}, 30, SymbolTile::Shape::roundedRect, {tint, 0.12}, 8), 0,
                   Qt::AlignTop);
    auto* detailLabel = text(detail, TolviDesign::font(Typography::meta), {ColorToken::muted});
    detailLabel->setLineCount(3);
    auto* column = titleAndDetail(text(title, onboardingFont(15, QFont::Bold)), detailLabel, 5);
    column->addStretch(1);
    row->addLayout(column, 1);
    QWidget* surface = glass(content, 14, tint);
    surface->setMinimumHeight(112);
    return surface;
}

QWidget* flowNode(const QString& number, const QString& title, TokenLabel* detail, const QString& systemImage,
                  DesignColor tint)
{
    auto* content = new QWidget();
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(15, 15, 15, 15);
    column->setSpacing(12);
    auto* top = new QHBoxLayout();
    auto* disc = new SymbolTile(QString(), 11, white, 28, SymbolTile::Shape::circle, {tint});
    disc->setText(number, TolviDesign::font(Typography::number));
    top->addWidget(disc);
    top->addStretch(1);
    top->addWidget(new SymbolTile(systemImage, 18, {tint}, 24));
    column->addLayout(top);
    detail->setLineCount(2);
    column->addLayout(titleAndDetail(text(title, onboardingFont(17, QFont::Bold)), detail, 4));
    column->addStretch(1);
    QWidget* surface = glass(content, 16, tint);
    surface->setMinimumHeight(150);
    return surface;
}

QWidget* flowArrow()
{
    return new SymbolTile(QStringLiteral("chevron.right"), 13, {ColorToken::electricBlue, 0.65}, 14);
}

QWidget* previewClip(const QString& title, const QString& meta, bool isActive, const QString& systemImage)
{
    auto* box = new ToneBox(12, isActive ? Tone{ColorToken::electricBlue, 0.12} : Tone{ColorToken::ink, 0.035},
                            isActive ? Tone{ColorToken::electricBlue, 0.3} : Tone{ColorToken::ink, 0.07});
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(11, 11, 11, 11);
    row->setSpacing(10);
    row->addWidget(new SymbolTile(systemImage, 15, isActive ? white : Tone{ColorToken::electricBlue}, 34,
                                  SymbolTile::Shape::roundedRect,
                                  isActive ? Tone{ColorToken::electricBlue} : Tone{ColorToken::electricBlue, 0.11}, 8));
    auto* column = titleAndDetail(singleLine(title, TolviDesign::font(Typography::bodyStrong), {ColorToken::ink}),
                                  singleLine(meta, TolviDesign::font(Typography::meta), {ColorToken::muted}), 3);
    row->addLayout(column, 1);
    return box;
}

QWidget* smartPasteAction(const QString& title, const QString& systemImage, bool isPrimary)
{
    auto* chip = new ToneBox(8, isPrimary ? Tone{ColorToken::electricBlue} : Tone{ColorToken::ink, 0.055});
    auto* row = new QHBoxLayout(chip);
    row->setContentsMargins(10, 7, 10, 7);
    row->setSpacing(5);
    const Tone tone = isPrimary ? white : Tone{ColorToken::ink};
    row->addWidget(new SymbolTile(systemImage, 10, tone, 12));
    row->addWidget(singleLine(title, TolviDesign::font(Typography::chip), tone), 1);
    chip->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    return chip;
}

// The three window buttons of the mock-up's title bar.
class WindowDots final : public QWidget {
public:
    WindowDots() { setFixedSize(3 * 9 + 2 * 5, 9); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const std::array<QColor, 3> colors{systemRed, systemYellow, systemGreen};
        const std::array<qreal, 3> opacities{0.75, 0.8, 0.75};
        for (int i = 0; i < 3; ++i) {
            QColor color = colors[std::size_t(i)];
            color.setAlphaF(float(opacities[std::size_t(i)]));
            painter.setPen(Qt::NoPen);
            painter.setBrush(color);
            painter.drawEllipse(QRectF(i * 14, 0, 9, 9));
        }
    }
};

// Keeps a child in the top-trailing corner of its parent.
class CornerPin final : public QObject {
public:
    CornerPin(QWidget* child, int inset) : QObject(child), m_child(child), m_inset(inset)
    {
        child->parentWidget()->installEventFilter(this);
        place();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_child->parentWidget() && event->type() == QEvent::Resize)
            place();
        return false;
    }

private:
    void place()
    {
        m_child->move(m_child->parentWidget()->width() - m_inset - m_child->width(), m_inset);
        m_child->raise();
    }
    QWidget* m_child;
    int m_inset;
};

// A layout on `owner` without margins, its items `spacing` apart.
template <typename Layout>
Layout* flushLayout(QWidget* owner, int spacing)
{
    auto* layout = new Layout(owner);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return layout;
}

QWidget* heading(const QString& title, const QString& subtitle)
{
    auto* block = new QWidget();
    auto* column = flushLayout<QVBoxLayout>(block, 8);
    column->addWidget(text(title, heavy(36)));
    column->addWidget(text(subtitle, onboardingFont(16, QFont::Medium), {ColorToken::muted}));
    return block;
}

// The column of a page that opens with a heading; the page is its owner.
QVBoxLayout* headedColumn(QWidget* page, int spacing, const QString& title, const QString& subtitle)
{
    auto* column = flushLayout<QVBoxLayout>(page, spacing);
    column->addWidget(heading(title, subtitle));
    return column;
}

} // namespace

TolviBadge* SetupView::makeShortcutBadge(QWidget* parent)
{
    auto* badge = new TolviBadge(m_facts.compactShortcut, QStringLiteral("keyboard"), ColorToken::electricBlue, parent);
    badge->setObjectName(QStringLiteral("tolvi.setup.shortcut"));
    m_shortcutBadges << badge;
    return badge;
}

void SetupView::setCompactShortcut(const QString& label)
{
    m_facts.compactShortcut = label;
    for (const QPointer<TolviBadge>& badge : std::as_const(m_shortcutBadges)) {
        if (badge)
            badge->setTitle(label);
    }
    if (m_findDetail)
        m_findDetail->setText(label);
}

void SetupView::setCanPostEvents(bool canPostEvents)
{
    if (canPostEvents == m_facts.canPostEvents && m_permissionHint)
        return;
    m_facts.canPostEvents = canPostEvents;
    delete m_permissionHint;
    m_permissionHint = makePermissionHint();
    m_permissionHolder->addWidget(m_permissionHint);
}

QWidget* SetupView::makePermissionHint()
{
    QWidget* hint = nullptr;
    if (m_facts.canPostEvents) {
        hint = callout(QStringLiteral("checkmark.circle.fill"), QStringLiteral("Automatic paste is ready"),
                       QStringLiteral("Tolvi can paste selected clips into the front app."), systemGreen);
        hint->setObjectName(QStringLiteral("tolvi.setup.permissionReady"));
    } else {
        // No settings page grants it: the session has a way to send keystrokes or not.
        hint = callout(QStringLiteral("keyboard"), m_facts.noPostingTitle, m_facts.noPostingText, ColorToken::amber);
        hint->setObjectName(QStringLiteral("tolvi.setup.permissionMissing"));
    }
    return hint;
}

QWidget* SetupView::makeCompactPreview()
{
    auto* content = new QWidget();
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(18, 18, 18, 18);
    column->setSpacing(12);

    auto* titleBar = new QHBoxLayout();
    titleBar->setContentsMargins(0, 0, 24, 0);  // room for the sparkle in the corner
    titleBar->addWidget(new WindowDots(), 0, Qt::AlignVCenter);
    titleBar->addStretch(1);
    titleBar->addWidget(makeShortcutBadge(content));
    column->addLayout(titleBar);

    auto* search = new ToneBox(10, {ColorToken::surface, 0.6}, Tone{ColorToken::electricBlue, 0.28});
    auto* searchRow = new QHBoxLayout(search);
    searchRow->setContentsMargins(13, 11, 13, 11);
    searchRow->setSpacing(8);
    searchRow->addWidget(new SymbolTile(QStringLiteral("magnifyingglass"), 15, {ColorToken::electricBlue}, 18));
    searchRow->addWidget(singleLine(QStringLiteral("proposal"), onboardingFont(18, QFont::DemiBold), {ColorToken::ink}),
                         1);
    column->addWidget(search);

    column->addWidget(previewClip(QStringLiteral("Panel upgrade reply"), QStringLiteral("Text - 2 min ago"), true,
                                  QStringLiteral("text.alignleft")));
    column->addWidget(previewClip(QStringLiteral("Screenshot with scope"), QStringLiteral("Image - OCR ready"), false,
                                  QStringLiteral("photo")));
    auto* actions = new QHBoxLayout();
    actions->setContentsMargins(0, 2, 0, 0);
    actions->setSpacing(8);
    actions->addWidget(smartPasteAction(QStringLiteral("Paste"), QStringLiteral("arrow.turn.down.left"), true));
    actions->addWidget(smartPasteAction(QStringLiteral("Email"), QStringLiteral("envelope"), false));
    actions->addWidget(smartPasteAction(QStringLiteral("Bullets"), QStringLiteral("list.bullet"), false));
    column->addLayout(actions);

    QWidget* surface = glass(content, 20, ColorToken::electricBlue, true);
    auto* sparkle = new SymbolTile(QStringLiteral("sparkles"), 18, {ColorToken::amber}, 22);
    sparkle->setParent(surface);
    new CornerPin(sparkle, 14);
    surface->setObjectName(QStringLiteral("tolvi.setup.compactPreview"));
    return surface;
}

QWidget* SetupView::makeWelcomePage()
{
    auto* page = new QWidget();
    auto* row = flushLayout<QHBoxLayout>(page, 28);

    auto* left = new QWidget(page);
    left->setFixedWidth(310);
    auto* column = flushLayout<QVBoxLayout>(left, 18);
    column->addWidget(new TolviBadge(QStringLiteral("Private command center"), QStringLiteral("lock.shield"),
                                     ColorToken::mint, left),
                      0, Qt::AlignLeading);
    column->addWidget(text(QStringLiteral("Copy less painfully."), heavy(43)));
    column->addWidget(text(QStringLiteral("Tolvi remembers what you copied, lets you clean it up, and pastes it back in "
                                          "the format you actually needed."),
                           onboardingFont(17, QFont::Medium), {ColorToken::muted}));
    column->addWidget(callout(QStringLiteral("shield.lefthalf.filled"), QStringLiteral("Local-first by default"),
                              QStringLiteral("Clipboard history stays on this computer. AI is never automatic."),
                              ColorToken::mint));
    row->addWidget(left, 0, Qt::AlignVCenter);
    row->addWidget(makeCompactPreview(), 1, Qt::AlignVCenter);
    return page;
}

QWidget* SetupView::makeHowItWorksPage()
{
    auto* page = new QWidget();
    QVBoxLayout* column = headedColumn(page, 20, QStringLiteral("The daily move"),
                                       QStringLiteral("Four steps, no window management, no detour through a scratch file."));

    auto* flow = new QHBoxLayout();
    flow->setSpacing(12);
    auto detail = [](const QString& value) {
        return text(value, TolviDesign::font(Typography::meta), {ColorToken::muted});
    };
    m_findDetail = detail(m_facts.compactShortcut);
    m_findDetail->setObjectName(QStringLiteral("tolvi.setup.shortcut"));
    flow->addWidget(flowNode(QStringLiteral("1"), QStringLiteral("Copy"), detail(QStringLiteral("Normal copy")),
                             QStringLiteral("doc.on.doc"), ColorToken::electricBlue), 1);
    flow->addWidget(flowArrow());
    flow->addWidget(flowNode(QStringLiteral("2"), QStringLiteral("Find"), m_findDetail, QStringLiteral("magnifyingglass"),
                             ColorToken::violet), 1);
    flow->addWidget(flowArrow());
    flow->addWidget(flowNode(QStringLiteral("3"), QStringLiteral("Shape"), detail(QStringLiteral("Paste As")),
                             QStringLiteral("wand.and.stars"), ColorToken::amber), 1);
    flow->addWidget(flowArrow());
    flow->addWidget(flowNode(QStringLiteral("4"), QStringLiteral("Paste"), detail(QStringLiteral("Done")),
                             QStringLiteral("arrow.turn.down.left"), ColorToken::mint), 1);
    column->addLayout(flow);

    auto* habit = new QWidget();
    auto* habitColumn = new QVBoxLayout(habit);
    habitColumn->setContentsMargins(16, 16, 16, 16);
    habitColumn->setSpacing(10);
    auto* habitTitle = new QHBoxLayout();
    habitTitle->setSpacing(8);
    habitTitle->addWidget(new SymbolTile(QStringLiteral("bolt.fill"), 13, {ColorToken::electricBlue}, 16));
    habitTitle->addWidget(text(QStringLiteral("Compact Mode is the habit."), TolviDesign::font(Typography::bodyStrong)),
                          1);
    habitColumn->addLayout(habitTitle);
    habitColumn->addWidget(text(QStringLiteral("The full window is for organizing. Compact Mode is for the thing you do "
                                               "fifty times a day: find the right clip, transform it, paste it, "
                                               "disappear."),
                                TolviDesign::font(Typography::body), {ColorToken::muted}));
    column->addWidget(glass(habit, 14, ColorToken::mint));
    column->addStretch(1);
    return page;
}

QWidget* SetupView::makeBasicsPage()
{
    auto* page = new QWidget();
    QVBoxLayout* column = headedColumn(page, 18, QStringLiteral("The useful stuff"),
                                       QStringLiteral("Start with speed. Organize only what earns a spot."));

    auto* grid = new QGridLayout();
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(12);
    grid->addWidget(featureTile(QStringLiteral("Compact Mode"),
                                QStringLiteral("Search and paste without opening the full window."),
                                QStringLiteral("bolt.fill"), ColorToken::electricBlue),
                    0, 0);
    grid->addWidget(featureTile(QStringLiteral("Smart Paste"),
                                QStringLiteral("Plain text, Markdown, email, bullets, code, and cleanup tools."),
                                QStringLiteral("wand.and.stars"), ColorToken::amber),
                    0, 1);
    grid->addWidget(featureTile(QStringLiteral("Quick Edit"),
                                QStringLiteral("Tweak copied text before it reaches the destination app."),
                                QStringLiteral("pencil.line"), ColorToken::mint),
                    1, 0);
    grid->addWidget(featureTile(QStringLiteral("Pins and boards"),
                                QStringLiteral("Keep recurring snippets out of rolling history."),
                                QStringLiteral("pin.fill"), ColorToken::violet),
                    1, 1);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);
    column->addLayout(grid);

    // Builds from distribution packages have no updater: they say nothing about updates.
    if (m_facts.canCheckForUpdates) {
        QWidget* updates = callout(QStringLiteral("arrow.triangle.2.circlepath"), QStringLiteral("Updates are built in"),
                                   QStringLiteral("Tolvi can check for new versions and offer their download page; it "
                                                  "never downloads or installs anything itself. Use Check for Updates "
                                                  "in the Tolvi menu at any time."),
                                   ColorToken::electricBlue);
        updates->setObjectName(QStringLiteral("tolvi.setup.updates"));
        column->addWidget(updates);
    }
    column->addStretch(1);
    return page;
}

QWidget* SetupView::makeSampleCard()
{
    auto* content = new QWidget();
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(20, 20, 20, 20);
    column->setSpacing(14);
    column->addWidget(text(QStringLiteral("Sample clip"), TolviDesign::font(Typography::bodyStrong), {ColorToken::muted}));
    auto* sample = text(m_facts.sampleText, onboardingFont(18, QFont::DemiBold));
    sample->setObjectName(QStringLiteral("tolvi.setup.sampleText"));
    column->addWidget(sample);

    auto* badges = new QHBoxLayout();
    badges->setSpacing(8);
    badges->addWidget(new TolviBadge(QStringLiteral("Quick Edit"), QStringLiteral("pencil.line"), ColorToken::mint));
    badges->addWidget(new TolviBadge(QStringLiteral("Smart Paste"), QStringLiteral("wand.and.stars"), ColorToken::amber));
    badges->addWidget(makeShortcutBadge(content));
    badges->addStretch(1);
    column->addLayout(badges);

    auto* divider = new ToneBox(0, {ColorToken::glassStroke});
    divider->setFixedHeight(1);
    column->addSpacing(2);
    column->addWidget(divider);
    column->addSpacing(2);

    auto* hint = new QHBoxLayout();
    hint->setSpacing(10);
    hint->addWidget(new SymbolTile(QStringLiteral("arrow.forward.circle"), 13, {ColorToken::electricBlue}, 16), 0,
                    Qt::AlignTop);
    hint->addWidget(text(QStringLiteral("Open Compact Mode and paste this into your current app."),
                         TolviDesign::font(Typography::body), {ColorToken::muted}),
                    1);
    column->addLayout(hint);
    return glass(content, 18, ColorToken::amber, true);
}

QWidget* SetupView::makeTryItPage()
{
    auto* page = new QWidget();
    auto* row = flushLayout<QHBoxLayout>(page, 20);

    auto* left = new QWidget(page);
    left->setFixedWidth(280);
    auto* column = flushLayout<QVBoxLayout>(left, 18);
    column->addWidget(text(QStringLiteral("Make it click"), heavy(36)));
    column->addWidget(text(QStringLiteral("Add a sample clip, open Compact Mode, then try Paste As or Quick Edit."),
                           onboardingFont(16, QFont::Medium), {ColorToken::muted}));
    m_permissionHolder = new QVBoxLayout();
    m_permissionHolder->setContentsMargins(0, 0, 0, 0);
    column->addLayout(m_permissionHolder);
    column->addStretch(1);
    m_permissionHint = makePermissionHint();
    m_permissionHolder->addWidget(m_permissionHint);

    row->addWidget(left, 0, Qt::AlignTop);
    row->addWidget(makeSampleCard(), 1, Qt::AlignTop);
    return page;
}

} // namespace tolvi
