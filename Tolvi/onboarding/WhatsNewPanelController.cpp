#include "Tolvi/onboarding/WhatsNewPanelController.h"

#include "Tolvi/design/Badges.h"
#include "Tolvi/design/Surfaces.h"
#include "Tolvi/design/TolviPrimaryButton.h"
#include "Tolvi/onboarding/OnboardingWidgets.h"
#include "Tolvi/platform/shell/DesktopWorkspace.h"
#include "Tolvi/shell/PreferencesStore.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace tolvi {

using namespace onboarding;

using TolviDesign::ColorToken;
using TolviDesign::Typography;

namespace {

class WhatsNewBackdrop final : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const DesignContext context = DesignContext::of(this);
        TolviConsoleBackdrop::paint(painter, rect(), TolviConsoleBackdrop::regularRadius, context);
        const qreal radius = context.translucencyAvailable ? TolviConsoleBackdrop::regularRadius : 0;
        QLinearGradient wash(rect().topLeft(), rect().bottomRight());
        wash.setColorAt(0.0, Tone{ColorToken::electricBlue, 0.18}.resolve(context));
        wash.setColorAt(1.0 / 3, Tone{ColorToken::violet, 0.09}.resolve(context));
        wash.setColorAt(2.0 / 3, Tone{ColorToken::mint, 0.08}.resolve(context));
        wash.setColorAt(1.0, Qt::transparent);
        painter.fillPath(roundedShape(rect(), radius), wash);
    }
};

QWidget* releaseRow(const ReleaseHighlight& highlight)
{
    auto* content = new QWidget();
    auto* row = new QHBoxLayout(content);
    row->setContentsMargins(16, 16, 16, 16);
    row->setSpacing(14);
    row->addWidget(new SymbolTile(highlight.systemImage, 18, {ColorToken::electricBlue}, 36,
                                  SymbolTile::Shape::roundedRect, {ColorToken::electricBlue, 0.12}, 10),
                   0, Qt::AlignTop);
    auto* column = new QVBoxLayout();
    column->setSpacing(5);
    column->addWidget(new TokenLabel(highlight.title, onboardingFont(17, QFont::Bold)));
    column->addWidget(new TokenLabel(highlight.detail, TolviDesign::font(Typography::body), {ColorToken::muted}));
    row->addLayout(column, 1);
    QWidget* surface = tolviGlass(content, 14, ColorToken::electricBlue);
    surface->setObjectName(QStringLiteral("tolvi.whatsNew.highlight"));
    return surface;
}

} // namespace

WhatsNewView::WhatsNewView(const TolviReleaseNotes& notes, Actions actions, QWidget* parent)
    : QWidget(parent)
    , m_actions(std::move(actions))
{
    setFixedSize(viewSize);
    setFocusPolicy(Qt::StrongFocus);
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    auto* backdrop = new WhatsNewBackdrop(this);
    root->addWidget(backdrop);
    auto* column = new QVBoxLayout(backdrop);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* header = new MaterialBand(Qt::BottomEdge, backdrop);
    auto* headerColumn = new QVBoxLayout(header);
    headerColumn->setContentsMargins(26, 28, 26, 20);
    headerColumn->setSpacing(16);
    auto* titleRow = new QHBoxLayout();
    titleRow->setSpacing(12);
    auto* tile = new TolviIconTile(QStringLiteral("sparkles"), ColorToken::electricBlue, header);
    tile->setFixedSize(46, 46);
    titleRow->addWidget(tile);
    auto* titles = new QVBoxLayout();
    titles->setSpacing(2);
    auto* title = new TokenLabel(notes.title, onboardingFont(25, QFont::ExtraBold));
    title->setObjectName(QStringLiteral("tolvi.whatsNew.title"));
    titles->addWidget(title);
    auto* build = new TokenLabel(QStringLiteral("Build ") + notes.build, TolviDesign::font(Typography::meta),
                                 {ColorToken::muted});
    build->setObjectName(QStringLiteral("tolvi.whatsNew.build"));
    titles->addWidget(build);
    titleRow->addLayout(titles, 1);
    titleRow->addWidget(new TolviBadge(QStringLiteral("What's New"), QStringLiteral("sparkles"),
                                       ColorToken::electricBlue, header),
                        0, Qt::AlignVCenter);
    headerColumn->addLayout(titleRow);
    headerColumn->addWidget(new TokenLabel(notes.subtitle, onboardingFont(17, QFont::Medium), {ColorToken::muted}));
    column->addWidget(header);

    auto* scroll = new QScrollArea(backdrop);
    scroll->setObjectName(QStringLiteral("tolvi.whatsNew.highlights"));
    scroll->setAccessibleName(QStringLiteral("Update highlights"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->viewport()->setAutoFillBackground(false);
    auto* list = new QWidget();
    list->setAutoFillBackground(false);
    auto* listColumn = new QVBoxLayout(list);
    listColumn->setContentsMargins(26, 20, 26, 20);
    listColumn->setSpacing(14);
    for (const ReleaseHighlight& highlight : notes.highlights)
        listColumn->addWidget(releaseRow(highlight));
    listColumn->addStretch(1);
    scroll->setWidget(list);
    column->addWidget(scroll, 1);

    auto* footer = new MaterialBand(Qt::TopEdge, backdrop);
    auto* footerRow = new QHBoxLayout(footer);
    footerRow->setContentsMargins(26, 18, 26, 18);
    footerRow->setSpacing(10);
    m_releaseNotes = borderedButton(QStringLiteral("Release Notes"), footer);
    footerRow->addWidget(m_releaseNotes);
    footerRow->addStretch(1);
    m_continue = new TolviPrimaryButton(QStringLiteral("Continue"), footer);
    footerRow->addWidget(m_continue);
    column->addWidget(footer);

    auto* close = new PanelCloseButton(backdrop);
    close->pinToCorner(10);
    m_closeButton = close;

    connect(m_releaseNotes, &QAbstractButton::clicked, this, [this] {
        if (m_actions.openReleaseNotes)
            m_actions.openReleaseNotes();
    });
    connect(m_continue, &QAbstractButton::clicked, this, [this] {
        if (m_actions.close)
            m_actions.close();
    });
    connect(m_closeButton, &QAbstractButton::clicked, this, [this] {
        if (m_actions.dismiss)
            m_actions.dismiss();
    });
}

WhatsNewPanelController::WhatsNewPanelController(Dependencies dependencies, QObject* parent)
    : OnboardingPanelController(parent)
    , m_dependencies(dependencies)
{
}

void WhatsNewPanelController::markAsSeen()
{
    // The notes are built again: the version is the running release's, whatever was shown.
    m_dependencies.preferences.setLastSeenReleaseNotesVersion(TolviReleaseNotes::current(m_dependencies.bundle).version);
}

void WhatsNewPanelController::show(bool markAsSeenOnClose)
{
    const TolviReleaseNotes notes = TolviReleaseNotes::current(m_dependencies.bundle);
    if (!m_panel)
        m_panel = makeNotesPanel();
    installContent(notes, markAsSeenOnClose);
    bringToFront(m_view);
}

EscapeClosingPanel* WhatsNewPanelController::makeNotesPanel()
{
    QPointer<WhatsNewPanelController> self(this);
    EscapeClosingPanel* panel = makePanel(windowTitle, WhatsNewView::viewSize, m_dependencies.theme, [self] {
        if (!self)
            return;
        self->markAsSeen();
        self->orderOut();
    });
    panel->setKeyDownHandler([self](QKeyEvent* event) {
        if (!self || !self->m_view || !isDefaultActionKey(*event))
            return false;
        self->m_view->continueButton()->click();
        return true;
    });
    return panel;
}

void WhatsNewPanelController::installContent(const TolviReleaseNotes& notes, bool markAsSeenOnClose)
{
    QPointer<WhatsNewPanelController> self(this);
    WhatsNewView::Actions actions;
    actions.openReleaseNotes = [self] {
        if (self)
            self->m_dependencies.desktop.openUrl(TolviLinks::changelog());
    };
    actions.close = [self, markAsSeenOnClose] {
        if (!self)
            return;
        if (markAsSeenOnClose)
            self->markAsSeen();
        self->orderOut();
    };
    actions.dismiss = [self] {
        if (self)
            self->orderOut();
    };

    replaceView([&](QWidget* panel) { return new WhatsNewView(notes, std::move(actions), panel); });
}

} // namespace tolvi
