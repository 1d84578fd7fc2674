#include "Tolvi/compact/CompactClipboardPanel.h"

#include "Tolvi/compact/CompactRows.h"
#include "Tolvi/design/Badges.h"
#include "Tolvi/design/CardOverlay.h"
#include "Tolvi/design/DesignTokens.h"
#include "Tolvi/design/Segments.h"
#include "Tolvi/design/Surfaces.h"
#include "Tolvi/design/SymbolCatalog.h"
#include "Tolvi/design/ThemedWidgets.h"
#include "Tolvi/design/TolviPrimaryButton.h"
#include "Tolvi/design/TolviTheme.h"
#include "Tolvi/clipviews/EmptyHistoryView.h"
#include "Tolvi/clipviews/ThumbnailCache.h"
#include "Tolvi/inspector/ClipTextEditor.h"
#include "Tolvi/inspector/ShownText.h"
#include "Tolvi/panels/PanelCommandBus.h"
#include "TolviCore/store/ClipboardStore.h"

#include <QActionGroup>
#include <QApplication>
#include <QButtonGroup>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

namespace tolvi {

using TolviDesign::withOpacity;

namespace {

using TolviDesign::ColorToken;
using TolviDesign::Typography;

QString menuText(const QString& text)
{
    return QString(text).replace(QLatin1Char('&'), QStringLiteral("&&"));
}


// One line of plain text, elided at the right, in one font and colour token.
class LineLabel final : public QWidget {
public:
    LineLabel(QFont font, ColorToken color, QWidget* parent) : QWidget(parent), m_font(std::move(font)), m_color(color)
    {
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    void setText(const QString& text)
    {
        if (text == m_text)
            return;
        m_text = text;
        // A clip's first line may be one character of thousands of code points: only what a
        // line can show is measured and drawn.
        m_shown = ShownText::oneLineExcerpt(text, Qt::ElideRight);
        setAccessibleName(m_shown);
        update();
    }
    QString text() const { return m_text; }
    void setStyle(QFont font, ColorToken color)
    {
        m_font = std::move(font);
        m_color = color;
        updateGeometry();
        update();
    }
    QSize sizeHint() const override { return {120, int(std::ceil(QFontMetricsF(m_font).height()))}; }
    QSize minimumSizeHint() const override { return {20, sizeHint().height()}; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setFont(m_font);
        painter.setPen(DesignContext::of(this).color(m_color));
        const QFontMetrics metrics(m_font);
        painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                         metrics.elidedText(m_shown, Qt::ElideRight, width()));
    }

private:
    QFont m_font;
    ColorToken m_color;
    QString m_text;
    QString m_shown;
};

// The "Return" key hint: a capsule lightly tinted with the ink colour.
class ReturnHint final : public QWidget {
public:
    explicit ReturnHint(QWidget* parent) : QWidget(parent)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        const QFontMetrics metrics(font12());
        setFixedSize(metrics.horizontalAdvance(text()) + 16, metrics.height() + 8);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const DesignContext context = DesignContext::of(this);
        const QRectF body(rect());
        painter.setPen(Qt::NoPen);
        painter.setBrush(withOpacity(context.color(ColorToken::ink), 0.08));
        painter.drawRoundedRect(body, body.height() / 2, body.height() / 2);
        painter.setFont(font12());
        painter.setPen(context.color(ColorToken::muted));
        painter.drawText(body, Qt::AlignCenter, text());
    }

private:
    static QString text() { return QStringLiteral("Return"); }
    static const QFont& font12()
    {
        static const QFont font = TolviDesign::systemFont(12, QFont::Bold);
        return font;
    }
};

// A hairline under the top bar, at half the usual strength.
class Divider final : public QWidget {
public:
    explicit Divider(QWidget* parent) : QWidget(parent)
    {
        setFixedHeight(1);
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), withOpacity(DesignContext::of(this).color(ColorToken::glassStroke), 0.5));
    }
};

// A flat button that is only a symbol; it never takes keyboard focus, so Return and the arrows
// keep reaching the panel.
class SymbolButton final : public QToolButton {
public:
    SymbolButton(QString name, qreal points, int side, QWidget* parent)
        : QToolButton(parent), m_name(std::move(name)), m_points(points)
    {
        setFixedSize(side, side);
        setFocusPolicy(Qt::NoFocus);
        setAutoRaise(true);
        setCursor(Qt::PointingHandCursor);
    }
    void setSymbol(const QString& name, std::optional<ColorToken> color)
    {
        m_name = name;
        m_color = color;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const DesignContext context = DesignContext::of(this);
        if (underMouse() || isDown()) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(withOpacity(context.color(ColorToken::ink), isDown() ? 0.12 : 0.06));
            painter.drawRoundedRect(QRectF(rect()), 6, 6);
        }
        const qreal side = SymbolCatalog::pixelSizeForPointSize(m_points);
        const QRectF box(width() / 2.0 - side / 2, height() / 2.0 - side / 2, side, side);
        SymbolCatalog::paint(painter, box, m_name, context.color(m_color.value_or(ColorToken::ink)));
    }

private:
    QString m_name;
    qreal m_points;
    std::optional<ColorToken> m_color;
};

// The small preview of the selected clip in the action header.
class ClipPreviewTile final : public QWidget {
public:
    ClipPreviewTile(ThumbnailCache* thumbnails, QWidget* parent) : QWidget(parent), m_thumbnails(thumbnails)
    {
        setFixedSize(CompactRowPainting::previewSide, CompactRowPainting::previewSide);
        setAttribute(Qt::WA_TransparentForMouseEvents);
        if (m_thumbnails)
            connect(m_thumbnails, &ThumbnailCache::thumbnailReady, this, qOverload<>(&QWidget::update));
    }
    void setItem(std::optional<ClipboardItem> item)
    {
        m_item = std::move(item);
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        if (!m_item)
            return;
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        CompactRowPainting::paintClipPreview(
            painter, QRectF(rect()), *m_item,
            CompactRowPainting::thumbnailFor(m_thumbnails, *m_item, devicePixelRatioF()), DesignContext::of(this));
    }

private:
    ThumbnailCache* m_thumbnails;
    std::optional<ClipboardItem> m_item;
};

// One half of the editor's "Original" / "Edited" switch.
class SegmentButton final : public QToolButton {
public:
    SegmentButton(const QString& title, QWidget* parent) : QToolButton(parent)
    {
        setText(title);
        setUpSegment(this);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const DesignContext context = DesignContext::of(this);
        const QRectF body = QRectF(rect()).adjusted(1, 1, -1, -1);
        if (isChecked())
            paintChosenSegment(painter, body, context);
        painter.setFont(TolviDesign::font(isChecked() ? Typography::bodyStrong : Typography::body));
        painter.setPen(context.color(isChecked() ? ColorToken::ink : ColorToken::muted));
        painter.drawText(body, Qt::AlignCenter, text());
    }
};

// The editor's text area: a rounded, lightly tinted plate behind the text.
class TextPlate final : public QWidget {
public:
    explicit TextPlate(QWidget* parent) : QWidget(parent) {}
    void setTint(qreal opacity)
    {
        m_tint = opacity;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const DesignContext context = DesignContext::of(this);
        const QRectF body = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        painter.setPen(QPen(withOpacity(context.color(ColorToken::ink), 0.08), 1));
        QColor fill = context.color(ColorToken::canvas);
        fill.setAlphaF(0.6f);
        painter.setBrush(fill);
        painter.drawRoundedRect(body, 12, 12);
        painter.setPen(Qt::NoPen);
        painter.setBrush(withOpacity(context.color(ColorToken::ink), m_tint));
        painter.drawRoundedRect(body, 12, 12);
    }

private:
    qreal m_tint = 0.025;
};

// An AI action's button: its symbol and title, or a turning progress arc while it runs.
class AIActionButton final : public QToolButton {
public:
    AIActionButton(const AIAction& action, QWidget* parent) : QToolButton(parent), m_action(action)
    {
        setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        setText(menuText(action.title));
        setAccessibleName(action.title);
        setToolTip(QStringLiteral("AI sends only this selected text when you press an AI action."));
        m_timer.setInterval(60);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] {
            m_angle = (m_angle + 30) % 360;
            update();
        });
        updateIcon();
    }
    const AIAction& action() const { return m_action; }
    void setRunning(bool running)
    {
        if (running == m_running)
            return;
        m_running = running;
        running ? m_timer.start() : m_timer.stop();
        update();
    }

protected:
    void changeEvent(QEvent* event) override
    {
        QToolButton::changeEvent(event);
        if (event->type() == QEvent::PaletteChange || event->type() == QEvent::EnabledChange)
            updateIcon();
    }
    void paintEvent(QPaintEvent* event) override
    {
        if (!m_running) {
            QToolButton::paintEvent(event);
            return;
        }
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF box(width() / 2.0 - 8, height() / 2.0 - 8, 16, 16);
        painter.setPen(QPen(DesignContext::of(this).color(ColorToken::electricBlue), 2, Qt::SolidLine, Qt::RoundCap));
        painter.drawArc(box.adjusted(2, 2, -2, -2), -m_angle * 16, 270 * 16);
    }

private:
    void updateIcon()
    {
        QString symbol = QStringLiteral("sparkles");
        if (m_action.id == AIAction::draftReply().id)
            symbol = QStringLiteral("envelope");
        else if (m_action.id == AIAction::fixWriting().id)
            symbol = QStringLiteral("checkmark.circle");
        setIcon(QIcon(SymbolCatalog::pixmap(symbol, 14, DesignContext::of(this).color(ColorToken::electricBlue),
                                            devicePixelRatioF())));
    }

    AIAction m_action;
    bool m_running = false;
    int m_angle = 0;
    QTimer m_timer;
};

// The list of the panel: no frame, no background of its own, a slim scroll bar, typing never
// searches inside it (the search field does that).
class CompactListView final : public QListView {
public:
    explicit CompactListView(QWidget* parent) : QListView(parent) { setViewportMargins(0, 4, 0, 4); }
    void keyboardSearch(const QString&) override {}
};

// A place for an empty state: the view framed to 180 points high, centred.
QWidget* framedEmptyView(EmptyHistoryView* view, QWidget* parent)
{
    auto* page = new QWidget(parent);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addStretch(1);
    view->setParent(page);
    view->setFixedHeight(180);
    layout->addWidget(view);
    layout->addStretch(1);
    return page;
}

QLayout* clearedPlaceLayout(QWidget* place)
{
    auto* layout = new QVBoxLayout(place);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    return layout;
}

} // namespace

CompactClipboardPanel::CompactClipboardPanel(CompactPanelState& state, ThumbnailCache* thumbnails, QWidget* panel,
                                             QWidget* parent)
    : QWidget(parent),
      m_state(state),
      m_thumbnails(thumbnails),
      m_panel(panel ? panel : this)
{
    setMinimumSize(420, 220);
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);
    m_body = new QWidget(this);
    root->addWidget(m_body);
    auto* layout = new QVBoxLayout(m_body);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_topBar = new QStackedWidget(m_body);
    m_topBar->addWidget(buildSearchRow());
    m_topBar->addWidget(buildActionHeader());
    m_topBar->addWidget(buildEditorHeader());
    m_topBar->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    layout->addWidget(m_topBar);

    m_storageNoticePlace = new QWidget(m_body);
    m_storageNoticePlace->setObjectName(QStringLiteral("storageNoticePlace"));
    clearedPlaceLayout(m_storageNoticePlace);
    layout->addWidget(m_storageNoticePlace);
    m_queueNoticePlace = new QWidget(m_body);
    m_queueNoticePlace->setObjectName(QStringLiteral("queueNoticePlace"));
    clearedPlaceLayout(m_queueNoticePlace);
    layout->addWidget(m_queueNoticePlace);
    layout->addWidget(new Divider(m_body));

    m_content = new QStackedWidget(m_body);
    m_content->addWidget(buildResultsPage());
    m_content->addWidget(buildActionsPage());
    m_content->addWidget(buildEditorPage());
    layout->addWidget(m_content, 1);

    PanelCommandBus& bus = PanelCommandBus::shared();
    for (CompactPanelCommand command : allCompactPanelCommands)
        bus.subscribe(command, m_panel, this, [this, command] { m_state.handleCommand(command); });

    connect(&m_state, &CompactPanelState::modeChanged, this, &CompactClipboardPanel::showMode);
    connect(&m_state, &CompactPanelState::filteredItemsChanged, this, &CompactClipboardPanel::showFilteredItems);
    connect(&m_state, &CompactPanelState::selectionChanged, this, &CompactClipboardPanel::showSelection);
    connect(&m_state, &CompactPanelState::scrollTargetChanged, this, &CompactClipboardPanel::scrollToTarget);
    connect(&m_state, &CompactPanelState::actionsChanged, this, &CompactClipboardPanel::showActions);
    connect(&m_state, &CompactPanelState::draftReplaced, this, &CompactClipboardPanel::showDraft);
    connect(&m_state, &CompactPanelState::editorTabChanged, this, &CompactClipboardPanel::showEditorTab);
    connect(&m_state, &CompactPanelState::editorStatusChanged, this, &CompactClipboardPanel::showEditorStatus);
    connect(&m_state, &CompactPanelState::previewChanged, this, &CompactClipboardPanel::showPreview);
    connect(&m_state, &CompactPanelState::criteriaChanged, this, &CompactClipboardPanel::showFilterState);
    connect(&m_state, &CompactPanelState::discardConfirmationChanged, this,
            &CompactClipboardPanel::presentDiscardConfirmation);
    connect(&m_state, &CompactPanelState::searchFocusRequested, this, [this] {
        if (m_state.mode() == CompactPanelMode::results)
            m_search->setFocus(Qt::OtherFocusReason);
    });
    connect(&m_state, &CompactPanelState::editorFocusRequested, this, [this] {
        if (m_state.mode() == CompactPanelMode::editor && m_state.editorTab() == CompactEditorTab::edited)
            m_editor->setFocus(Qt::OtherFocusReason);
    });
    ClipboardStore& store = m_state.store();
    // Recognition states only change how rows paint.
    connect(&store, &ClipboardStore::ocrStatusesChanged, m_results->viewport(), qOverload<>(&QWidget::update));
    connect(&store, &ClipboardStore::ocrInProgressChanged, m_results->viewport(), qOverload<>(&QWidget::update));
    if (m_thumbnails) {
        connect(m_thumbnails, &ThumbnailCache::thumbnailReady, m_results->viewport(), qOverload<>(&QWidget::update));
        connect(m_thumbnails, &ThumbnailCache::thumbnailReady, m_actionPreview, qOverload<>(&QWidget::update));
    }

    showFilteredItems();
    showMode();
    showDraft();
    showEditorStatus();
    showFilterState();
}

CompactClipboardPanel::~CompactClipboardPanel()
{
    if (m_confirmation)
        m_confirmation->deleteLater();
}

void CompactClipboardPanel::setPreviewFactory(PreviewFactory factory)
{
    m_previewFactory = std::move(factory);
    m_state.setPreviewAvailable(bool(m_previewFactory));
}

// ---- Building ---------------------------------------------------------------------------

QWidget* CompactClipboardPanel::buildSearchRow()
{
    auto* row = new QWidget(this);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(30, 24, 16, 16);
    layout->setSpacing(10);
    layout->addWidget(new TolviSymbolMark(QStringLiteral("magnifyingglass"), ColorToken::muted,
                                     SymbolCatalog::pixelSizeForPointSize(15), row));

    m_search = new QLineEdit(row);
    m_search->setObjectName(QStringLiteral("compactSearchField"));
    m_search->setFrame(false);
    m_search->setPlaceholderText(QStringLiteral("Search Tolvi..."));
    m_search->setAccessibleName(QStringLiteral("Search clipboard history"));
    m_search->setAccessibleDescription(
        QStringLiteral("Type to filter clips. Use arrow keys to select and Return to open actions."));
    m_search->setFont(TolviDesign::systemFont(18, QFont::Medium));
    QPalette transparentBase = m_search->palette();
    transparentBase.setColor(QPalette::Base, Qt::transparent);
    m_search->setPalette(transparentBase);
    layout->addWidget(m_search, 1);
    connect(m_search, &QLineEdit::textChanged, this, [this](const QString& text) { m_state.setQuery(text); });
    // Return reaches the panel's key handler first; a submit that gets here opens the actions too.
    connect(m_search, &QLineEdit::returnPressed, this, [this] { m_state.openActions(); });

    auto* filter = new SymbolButton(QStringLiteral("line.3.horizontal.decrease.circle"), 15, 24, row);
    m_filterButton = filter;
    m_filterButton->setObjectName(QStringLiteral("compactFilterButton"));
    m_filterButton->setToolTip(QStringLiteral("Filter results"));
    connect(m_filterButton, &QToolButton::clicked, this, [this] {
        QMenu* menu = makeFilterMenu(this);
        menu->popup(m_filterButton->mapToGlobal(QPoint(0, m_filterButton->height())));
    });
    layout->addWidget(m_filterButton);

    m_returnHint = new ReturnHint(row);
    layout->addWidget(m_returnHint);
    setFocusProxy(m_search);
    return row;
}

QMenu* CompactClipboardPanel::makeFilterMenu(QWidget* parent)
{
    auto* menu = new QMenu(parent);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const QColor ink = DesignContext::of(this).color(ColorToken::ink);
    auto icon = [this, &ink](const QString& name) {
        return QIcon(SymbolCatalog::pixmap(name, 16, ink, devicePixelRatioF()));
    };

    menu->addSection(QStringLiteral("Type"));
    auto* types = new QActionGroup(menu);
    const std::pair<ClipboardSearchContentFilter, std::pair<const char*, const char*>> typeEntries[] = {
        {ClipboardSearchContentFilter::all, {"All", "square.grid.2x2"}},
        {ClipboardSearchContentFilter::text, {"Text", "text.alignleft"}},
        {ClipboardSearchContentFilter::images, {"Images", "photo"}},
        {ClipboardSearchContentFilter::links, {"Links", "link"}},
        {ClipboardSearchContentFilter::code, {"Code", "chevron.left.forwardslash.chevron.right"}},
    };
    for (const auto& [filter, entry] : typeEntries) {
        QAction* action = menu->addAction(icon(QLatin1String(entry.second)), QLatin1String(entry.first));
        action->setCheckable(true);
        action->setChecked(m_state.contentFilter() == filter);
        types->addAction(action);
        connect(action, &QAction::triggered, this, [this, f = filter] { m_state.setContentFilter(f); });
    }

    menu->addSection(QStringLiteral("Date"));
    auto* dates = new QActionGroup(menu);
    const std::pair<ClipboardSearchDateFilter, const char*> dateEntries[] = {
        {ClipboardSearchDateFilter::anyTime, "Any time"},
        {ClipboardSearchDateFilter::today, "Today"},
        {ClipboardSearchDateFilter::last7Days, "Last 7 days"},
        {ClipboardSearchDateFilter::last30Days, "Last 30 days"},
    };
    for (const auto& [filter, title] : dateEntries) {
        QAction* action = menu->addAction(QLatin1String(title));
        action->setCheckable(true);
        action->setChecked(m_state.dateFilter() == filter);
        dates->addAction(action);
        connect(action, &QAction::triggered, this, [this, f = filter] { m_state.setDateFilter(f); });
    }

    menu->addSeparator();
    QAction* ocr = menu->addAction(QStringLiteral("OCR Text Only"));
    ocr->setCheckable(true);
    ocr->setChecked(m_state.requiresOCRText());
    connect(ocr, &QAction::toggled, this, [this](bool on) { m_state.setRequiresOCRText(on); });

    if (m_state.hasActiveFilters()) {
        menu->addSeparator();
        menu->addAction(QStringLiteral("Clear Filters"), this, [this] { m_state.clearFilters(); });
    }
    return menu;
}

QWidget* CompactClipboardPanel::buildActionHeader()
{
    auto* row = new QWidget(this);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(14, 12, 14, 12);
    layout->setSpacing(11);
    auto* back = new SymbolButton(QStringLiteral("chevron.left"), 14, 26, row);
    back->setAccessibleName(QStringLiteral("Back to search results"));
    back->setToolTip(QStringLiteral("Back"));
    connect(back, &QToolButton::clicked, this, [this] { m_state.showResults(); });
    layout->addWidget(back);
    auto* preview = new ClipPreviewTile(m_thumbnails, row);
    m_actionPreview = preview;
    layout->addWidget(preview);
    auto* column = new QVBoxLayout;
    column->setSpacing(2);
    m_actionEyebrow = new QLabel(QStringLiteral("Smart Paste"), row);
    m_actionEyebrow->setTextFormat(Qt::PlainText);
    column->addWidget(m_actionEyebrow);
    m_actionSummary = new LineLabel(TolviDesign::systemFont(16, QFont::DemiBold), ColorToken::ink, row);
    column->addWidget(m_actionSummary);
    layout->addLayout(column, 1);
    return row;
}

QWidget* CompactClipboardPanel::buildEditorHeader()
{
    auto* row = new QWidget(this);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(14, 12, 14, 12);
    layout->setSpacing(11);
    auto* back = new SymbolButton(QStringLiteral("chevron.left"), 14, 26, row);
    back->setAccessibleName(QStringLiteral("Back to actions"));
    back->setToolTip(QStringLiteral("Back"));
    connect(back, &QToolButton::clicked, this, [this] { m_state.requestLeaveEditor(); });
    layout->addWidget(back);
    layout->addWidget(new TolviIconTile(QStringLiteral("pencil.line"), ColorToken::mint, row));
    auto* column = new QVBoxLayout;
    column->setSpacing(2);
    auto* eyebrow = new LineLabel(TolviDesign::systemFont(13, QFont::Bold), ColorToken::mint, row);
    eyebrow->setText(QStringLiteral("Quick Edit"));
    column->addWidget(eyebrow);
    m_editorTitle = new LineLabel(TolviDesign::systemFont(16, QFont::DemiBold), ColorToken::ink, row);
    column->addWidget(m_editorTitle);
    layout->addLayout(column, 1);
    return row;
}

void CompactClipboardPanel::styleList(QListView* list)
{
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setFrameShape(QFrame::NoFrame);
    list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    list->verticalScrollBar()->setSingleStep(24);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    list->setAutoScroll(false);
    list->setAutoFillBackground(false);
    list->viewport()->setAutoFillBackground(false);
    list->setAttribute(Qt::WA_TranslucentBackground);
    list->viewport()->setAttribute(Qt::WA_TranslucentBackground);
    list->verticalScrollBar()->setStyleSheet(slimScrollBarStyleSheet(DesignContext::of(this), QStringLiteral("2px 2px 2px 0")));
}

QWidget* CompactClipboardPanel::buildResultsPage()
{
    m_resultsStack = new QStackedWidget(this);
    m_resultModel = new CompactClipListModel(this);
    m_resultModel->setClock([this] { return m_state.now(); });
    m_resultModel->setRowInputProvider([this](int row, const ClipboardItem& item) {
        ClipRowInput input;
        input.shortcutNumber = row + 1;
        input.isFocused = row == m_state.selectedRow();
        if (const ClipboardImage* image = item.content().imageIf()) {
            const ClipboardStore& store = m_state.store();
            input.isRecognizingText = store.ocrInProgress().contains(image->fingerprint());
            const auto status = store.ocrStatuses().constFind(image->fingerprint());
            if (status != store.ocrStatuses().cend())
                input.ocrStatus = *status;
        }
        return input;
    });
    m_results = new CompactListView(m_resultsStack);
    m_results->setObjectName(QStringLiteral("compactResultList"));
    m_results->setAccessibleName(QStringLiteral("Clipboard history"));
    m_results->setModel(m_resultModel);
    m_results->setItemDelegate(new CompactClipRowDelegate(*m_resultModel, m_thumbnails, m_results));
    // Every row has one height, so a list of 100,000 clips lays out without measuring.
    m_results->setUniformItemSizes(true);
    m_results->setContextMenuPolicy(Qt::CustomContextMenu);
    styleList(m_results);
    connect(m_results, &QListView::pressed, this, [this](const QModelIndex& index) {
        if (const ClipboardItem* item = m_resultModel->itemAt(index.row()))
            m_state.setSelectedItemID(item->id());
    });
    connect(m_results, &QWidget::customContextMenuRequested, this, &CompactClipboardPanel::openResultMenu);

    m_resultsEmpty = new EmptyHistoryView(QStringLiteral("No clipboard history"),
                                          QStringLiteral("Copied text and images will appear here."));
    m_noMatches = new EmptyHistoryView(QStringLiteral("No matches"),
                                       QStringLiteral("Clear the search and filters to see all clips."),
                                       QStringLiteral("Show All Clips"), QStringLiteral("xmark.circle"),
                                       [this] { m_state.showAllClips(); }, true);
    m_resultsEmptyPage = framedEmptyView(m_resultsEmpty, m_resultsStack);
    m_noMatchesPage = framedEmptyView(m_noMatches, m_resultsStack);
    m_resultsStack->addWidget(m_results);
    m_resultsStack->addWidget(m_resultsEmptyPage);
    m_resultsStack->addWidget(m_noMatchesPage);
    return m_resultsStack;
}

QWidget* CompactClipboardPanel::buildActionsPage()
{
    m_actionsStack = new QStackedWidget(this);
    m_actionsListPage = new QWidget(m_actionsStack);
    auto* layout = new QVBoxLayout(m_actionsListPage);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_retry = new QPushButton(m_actionsListPage);
    m_retry->setFocusPolicy(Qt::NoFocus);
    m_retry->setIcon(QIcon(SymbolCatalog::pixmap(QStringLiteral("text.viewfinder"), 16,
                                                 DesignContext::of(this).color(ColorToken::electricBlue))));
    connect(m_retry, &QPushButton::clicked, this, [this] {
        if (const std::optional<ClipboardItem> item = m_state.selectedItem())
            m_state.retryOCR(*item);
    });
    auto* retryRow = new QHBoxLayout;
    retryRow->setContentsMargins(16, 8, 16, 0);
    retryRow->addWidget(m_retry);
    retryRow->addStretch(1);
    layout->addLayout(retryRow);

    m_actionModel = new CompactActionListModel(m_state, this);
    m_actions = new CompactListView(m_actionsListPage);
    m_actions->setObjectName(QStringLiteral("compactActionList"));
    m_actions->setAccessibleName(QStringLiteral("Paste actions"));
    m_actions->setModel(m_actionModel);
    m_actions->setItemDelegate(new CompactActionRowDelegate(m_state, *m_actionModel, m_actions));
    styleList(m_actions);
    layout->addWidget(m_actions, 1);
    connect(m_actions, &QListView::clicked, this, [this](const QModelIndex& index) {
        const CompactActionListModel::Row* row = m_actionModel->rowAt(index.row());
        if (!row || row->action < 0 || row->action >= m_state.visibleActions().size())
            return;
        // One click selects and performs the action.
        const CompactPasteAction action = m_state.visibleActions().at(row->action);
        m_state.setSelectedActionID(action.id);
        m_state.run(action);
    });

    m_actionsEmpty = new EmptyHistoryView(QStringLiteral("Nothing selected"), QStringLiteral("Pick a clip first."));
    m_actionsStack->addWidget(m_actionsListPage);
    m_actionsStack->addWidget(framedEmptyView(m_actionsEmpty, m_actionsStack));
    return m_actionsStack;
}

QWidget* CompactClipboardPanel::buildEditorPage()
{
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->setSpacing(10);

    auto* track = new TolviSegmentTrack(page);
    m_originalTab = new SegmentButton(QStringLiteral("Original"), track);
    m_editedTab = new SegmentButton(QStringLiteral("Edited"), track);
    layOutSegments(track, {m_originalTab, m_editedTab});
    track->setAccessibleName(QStringLiteral("Version"));
    layout->addWidget(track);
    connect(m_originalTab, &QAbstractButton::clicked, this, [this] { m_state.setEditorTab(CompactEditorTab::original); });
    connect(m_editedTab, &QAbstractButton::clicked, this, [this] { m_state.setEditorTab(CompactEditorTab::edited); });

    auto* plate = new TextPlate(page);
    plate->setMinimumHeight(190);
    auto* plateLayout = new QVBoxLayout(plate);
    plateLayout->setContentsMargins(6, 6, 6, 6);
    m_textStack = new QStackedWidget(plate);
    plateLayout->addWidget(m_textStack);
    m_editor = new ClipTextEditor(m_textStack);
    m_editor->setObjectName(QStringLiteral("compactEditor"));
    m_editor->setAccessibleName(QStringLiteral("Edited text"));
    m_original = new ClipTextEditor(m_textStack);
    m_original->setObjectName(QStringLiteral("compactOriginalText"));
    m_original->setAccessibleName(QStringLiteral("Original text"));
    m_original->setReadOnly(true);
    m_original->setPlateTint(0.045);
    m_original->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_longTextNote = new QLabel(QStringLiteral("This text is too long to edit here. Copy and Paste use all of it, "
                                               "exactly as stored."),
                                m_textStack);
    m_longTextNote->setObjectName(QStringLiteral("compactLongTextNote"));
    m_longTextNote->setTextFormat(Qt::PlainText);
    m_longTextNote->setWordWrap(true);
    m_longTextNote->setAlignment(Qt::AlignCenter);
    m_longTextNote->setContentsMargins(24, 0, 24, 0);
    m_longTextNote->setFont(TolviDesign::font(Typography::body));
    m_textStack->addWidget(m_original);
    m_textStack->addWidget(m_editor);
    m_textStack->addWidget(m_longTextNote);
    layout->addWidget(plate, 1);
    // Only the user's own edits arrive here; a draft shown anew does not echo back.
    connect(m_editor, &ClipTextEditor::storedTextEdited, this,
            [this] { m_state.setEditedText(m_editor->storedText()); });
    connect(&m_state, &CompactPanelState::editorTabChanged, plate, [this, plate] {
        plate->setTint(m_state.editorTab() == CompactEditorTab::edited ? 0.025 : 0.045);
    });

    auto* bottom = new QHBoxLayout;
    bottom->setSpacing(8);
    m_status = new QLabel(page);
    m_status->setTextFormat(Qt::PlainText);
    m_status->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_status->setMinimumWidth(90);
    m_status->setFont(TolviDesign::font(Typography::meta));
    bottom->addWidget(m_status, 1);
    if (m_state.featureFlags().aiRewriteEnabled()) {
        for (const AIAction& action : {AIAction::fixWriting(), AIAction::draftReply()}) {
            auto* button = new AIActionButton(action, page);
            m_aiButtons.append(button);
            bottom->addWidget(button);
            connect(button, &QToolButton::clicked, this, [this, action] { m_state.runAIInEditor(action); });
        }
    }
    // Tool buttons: as narrow as their labels, so the status keeps its room at the smallest width.
    m_save = new QToolButton(page);
    m_save->setText(QStringLiteral("Save"));
    m_save->setToolTip(QStringLiteral("Save (Ctrl+S)"));
    m_copy = new QToolButton(page);
    m_copy->setText(QStringLiteral("Copy"));
    m_paste = new TolviPrimaryButton(QStringLiteral("Paste"), page);
    m_paste->setToolTip(QStringLiteral("Paste (Ctrl+Return)"));
    bottom->addWidget(m_save);
    bottom->addWidget(m_copy);
    bottom->addWidget(m_paste);
    // One height for the row: the tool buttons stand as tall as the primary button beside them.
    const int rowHeight = m_paste->sizeHint().height();
    QList<QAbstractButton*> toolButtons = m_aiButtons;
    toolButtons << m_save << m_copy;
    for (QAbstractButton* button : toolButtons)
        button->setMinimumHeight(rowHeight);
    layout->addLayout(bottom);
    connect(m_save, &QAbstractButton::clicked, this, [this] { m_state.saveEditedText(); });
    connect(m_copy, &QAbstractButton::clicked, this, [this] { m_state.copyEditedText(); });
    connect(m_paste, &QPushButton::clicked, this, [this] { m_state.pasteEditedText(); });

    // Ctrl+S and Ctrl+Return while the editor (or anything of its page) has focus. The text area
    // would take Ctrl+Return as a line break, so it is caught before it.
    auto* save = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_S), page);
    save->setContext(Qt::WidgetWithChildrenShortcut);
    connect(save, &QShortcut::activated, this, [this] { m_state.saveEditedText(); });
    for (const int key : {int(Qt::Key_Return), int(Qt::Key_Enter)}) {
        auto* paste = new QShortcut(QKeySequence(Qt::CTRL | key), page);
        paste->setContext(Qt::WidgetWithChildrenShortcut);
        connect(paste, &QShortcut::activated, this, [this] { m_state.pasteEditedText(); });
    }
    m_editor->installEventFilter(this);
    return page;
}

bool CompactClipboardPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_editor && event->type() == QEvent::ShortcutOverride) {
        // Ctrl+Return is the editor's Paste, never a line break.
        auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            && (key->modifiers() & ~Qt::KeypadModifier) == Qt::ControlModifier) {
            event->ignore();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

// ---- Showing the state ------------------------------------------------------------------

bool CompactClipboardPanel::isShowingResultList() const
{
    return m_content->currentIndex() == 0 && m_resultsStack->currentWidget() == m_results;
}

bool CompactClipboardPanel::isShowingActionList() const
{
    return m_content->currentIndex() == 1 && m_actionsStack->currentWidget() == m_actionsListPage;
}

void CompactClipboardPanel::showMode()
{
    const CompactPanelMode mode = m_state.mode();
    const int page = mode == CompactPanelMode::results ? 0 : mode == CompactPanelMode::actions ? 1 : 2;
    m_topBar->setCurrentIndex(page);
    m_content->setCurrentIndex(page);
    showActions();
    showSelection();
    showNotices();
    if (mode == CompactPanelMode::editor) {
        static_cast<LineLabel*>(m_editorTitle)->setText(m_state.editorTitle());
    } else if (mode == CompactPanelMode::actions) {
        // No field has focus here: E and Space reach the panel.
        m_actions->setFocus(Qt::OtherFocusReason);
    }
}

void CompactClipboardPanel::showFilteredItems()
{
    m_syncingCurrent = true;
    m_resultModel->setItems(m_state.filteredItems());
    m_syncingCurrent = false;
    // The whole history decides first: an empty history says so whatever the query.
    if (m_state.store().itemCount() == 0)
        m_resultsStack->setCurrentWidget(m_resultsEmptyPage);
    else if (m_state.filteredItems().isEmpty())
        m_resultsStack->setCurrentWidget(m_noMatchesPage);
    else
        m_resultsStack->setCurrentWidget(m_results);
    if (m_state.mode() == CompactPanelMode::editor)
        static_cast<LineLabel*>(m_editorTitle)->setText(m_state.editorTitle());
    showSelection();
}

void CompactClipboardPanel::showSelection()
{
    const int row = m_state.selectedRow();
    const int previous = m_resultModel->selectedRow();
    if (row != previous) {
        m_resultModel->setSelectedRow(row);
        for (const int changed : {previous, row}) {
            if (changed >= 0 && changed < m_resultModel->rowCount())
                m_results->viewport()->update(m_results->visualRect(m_resultModel->index(changed)));
        }
    } else if (row >= 0) {
        // The same row may hold another clip now.
        m_results->viewport()->update(m_results->visualRect(m_resultModel->index(row)));
    }
    const std::optional<ClipboardItem> item = m_state.selectedItem();
    m_returnHint->setVisible(item.has_value());
    // The header is out of sight while finding a clip; it follows when the actions open.
    if (m_state.mode() != CompactPanelMode::results)
        showActionHeader(item);
    if (row >= 0) {
        const QModelIndex index = m_resultModel->index(row);
        if (m_results->currentIndex() != index) {
            // The rows draw their own highlight; the list's current row is what assistive
            // technologies and the key routing read.
            m_syncingCurrent = true;
            m_results->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
            m_syncingCurrent = false;
        }
    }
}

void CompactClipboardPanel::showActionHeader(const std::optional<ClipboardItem>& item)
{
    // Only a different clip changes the header, so moving through the list relays nothing out.
    const bool same = item.has_value() == m_headerItem.has_value()
        && (!item || item->sharesDataWith(*m_headerItem));
    if (same)
        return;
    m_headerItem = item;
    static_cast<ClipPreviewTile*>(m_actionPreview)->setItem(item);
    m_actionPreview->setVisible(item.has_value());
    m_actionSummary->setVisible(item.has_value());
    if (item) {
        static_cast<LineLabel*>(m_actionSummary)->setText(CompactPanelState::summary(*item));
        m_actionEyebrow->setFont(TolviDesign::systemFont(13, QFont::Bold));
        QPalette palette = m_actionEyebrow->palette();
        palette.setColor(QPalette::WindowText, DesignContext::of(this).color(ColorToken::electricBlue));
        m_actionEyebrow->setPalette(palette);
    } else {
        m_actionEyebrow->setFont(TolviDesign::systemFont(16, QFont::DemiBold));
        m_actionEyebrow->setPalette(QPalette());
    }
}

void CompactClipboardPanel::scrollToTarget()
{
    const std::optional<QUuid> id = m_state.keyboardScrollTargetItemID();
    if (!id)
        return;
    const int row = m_resultModel->rowOf(*id);
    if (row >= 0)
        m_results->scrollTo(m_resultModel->index(row), QAbstractItemView::EnsureVisible);
}

void CompactClipboardPanel::showActions()
{
    if (m_state.mode() == CompactPanelMode::results) {
        m_actionModel->refresh();
        return;
    }
    m_actionModel->refresh();
    const bool hasSections = !m_state.actionSections().isEmpty();
    m_actionsStack->setCurrentIndex(hasSections ? 0 : 1);
    const std::optional<ClipboardItem> item = m_state.selectedItem();
    const bool retry = item && m_state.canRetryOCR(*item);
    m_retry->setVisible(retry);
    if (retry)
        m_retry->setText(m_state.retryOCRTitle(*item));
    const int row = m_actionModel->rowOfAction(m_state.selectedActionIndex());
    if (row >= 0) {
        const QModelIndex index = m_actionModel->index(row);
        m_actions->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
        m_actions->scrollTo(index, QAbstractItemView::EnsureVisible);
    }
    m_actions->viewport()->update();
}

void CompactClipboardPanel::showDraft()
{
    const ClipboardTextDraft& draft = m_state.draft();
    if (m_state.isDraftTooLongToEdit()) {
        // Nothing of it is laid out; the editor lets go of the text it held.
        if (!m_editor->document()->isEmpty())
            m_editor->setStoredText(QString());
    } else if (m_editor->storedText() != draft.editedText) {
        m_editor->setStoredText(draft.editedText);
        m_editor->moveCursor(QTextCursor::End);
    }
    m_editedLooksLikeCode.reset();
    static_cast<LineLabel*>(m_editorTitle)->setText(m_state.editorTitle());
    showEditorTab();
}

void CompactClipboardPanel::showEditorTab()
{
    const ClipboardTextDraft& draft = m_state.draft();
    const bool edited = m_state.editorTab() == CompactEditorTab::edited;
    m_editedTab->setChecked(edited);
    m_originalTab->setChecked(!edited);
    if (m_state.isDraftTooLongToEdit()) {
        m_textStack->setCurrentWidget(m_longTextNote);
        return;
    }
    // The saved text is laid out when it is looked at, and again after a save changed it.
    if (!edited && m_original->buffer().loadedText() != draft.originalText) {
        m_original->setStoredText(draft.originalText);
        m_original->setMonospaced(CompactPanelState::looksLikeCode(draft.originalText));
    }
    m_textStack->setCurrentWidget(edited ? m_editor : m_original);
}

void CompactClipboardPanel::showEditorStatus()
{
    const ClipboardTextDraft& draft = m_state.draft();
    m_status->setText(m_state.editorStatus());
    QPalette palette = m_status->palette();
    palette.setColor(QPalette::WindowText, m_state.editorStatusIsError()
                                               ? QColor(0xD7, 0x3A, 0x49)
                                               : DesignContext::of(this).color(ColorToken::muted));
    m_status->setPalette(palette);
    const bool usable = draft.canUseEditedText();
    m_save->setEnabled(m_state.canSaveEditedText());
    m_copy->setEnabled(usable);
    m_paste->setEnabled(usable);
    for (QAbstractButton* button : std::as_const(m_aiButtons)) {
        auto* ai = static_cast<AIActionButton*>(button);
        ai->setRunning(m_state.runningAIActionID() == ai->action().id);
        ai->setEnabled(m_state.canRunAIInEditor());
    }
    if (!m_state.isDraftTooLongToEdit())
        m_editor->setMonospaced(m_editedLooksLikeCode.test(draft.editedText));
    if (m_state.editorTab() == CompactEditorTab::original)
        showEditorTab();
}

void CompactClipboardPanel::showNotices()
{
    const bool hasStorageNotice = m_storageNoticePlace->layout()->count() > 0;
    m_storageNoticePlace->setVisible(hasStorageNotice);
    const bool hasQueueNotice = m_queueNoticePlace->layout()->count() > 0;
    m_queueNoticePlace->setVisible(hasQueueNotice && m_state.mode() != CompactPanelMode::editor
                                   && !m_state.previewedItem());
}

void CompactClipboardPanel::showFilterState()
{
    if (m_search->text() != m_state.query())
        m_search->setText(m_state.query());
    const bool active = m_state.hasActiveFilters();
    auto* button = static_cast<SymbolButton*>(m_filterButton);
    button->setSymbol(active ? QStringLiteral("line.3.horizontal.decrease.circle.fill")
                             : QStringLiteral("line.3.horizontal.decrease.circle"),
                      active ? ColorToken::electricBlue : ColorToken::muted);
    button->setAccessibleName(active ? QStringLiteral("Filters active") : QStringLiteral("Filter results"));
}

void CompactClipboardPanel::showPreview()
{
    const std::optional<ClipboardItem>& item = m_state.previewedItem();
    if (m_preview && (!item || m_preview->property("tolviPreviewID").toUuid() != item->id())) {
        // A card goes out with its transition.
        if (auto* card = qobject_cast<TolviCardOverlay*>(m_preview.data()))
            card->dismiss([card] { card->deleteLater(); });
        else
            m_preview->deleteLater();
        m_preview = nullptr;
    }
    if (item && !m_preview) {
        QWidget* focused = QApplication::focusWidget();
        m_focusBeforePreview = focused && isAncestorOf(focused) ? focused : nullptr;
    }
    // The content under the preview takes no input.
    m_body->setEnabled(!item);
    showNotices();
    if (!item && m_focusBeforePreview) {
        m_focusBeforePreview->setFocus(Qt::OtherFocusReason);
        m_focusBeforePreview = nullptr;
    }
    if (!item || m_preview || !m_previewFactory)
        return;
    QPointer<CompactClipboardPanel> self(this);
    m_preview = m_previewFactory(*item, [self] {
        if (self)
            self->m_state.closePreview();
    }, this);
    if (!m_preview)
        return;
    m_preview->setProperty("tolviPreviewID", item->id());
    m_preview->setGeometry(rect());
    m_preview->raise();
    m_preview->show();
    m_preview->setFocus(Qt::OtherFocusReason);
}

void CompactClipboardPanel::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (m_preview)
        m_preview->setGeometry(rect());
}

void CompactClipboardPanel::presentDiscardConfirmation(bool presented)
{
    if (!presented) {
        if (m_confirmation) {
            QMessageBox* box = m_confirmation;
            m_confirmation = nullptr;
            box->close();
        }
        return;
    }
    if (m_confirmation)
        return;
    // Window-modal on the panel, so it is never behind the always-on-top panel it blocks.
    QWidget* owner = m_panel ? m_panel.data() : window();
    QMessageBox* box = makeThemedWarningBox(owner);
    box->setText(QStringLiteral("Discard unsaved changes?"));
    box->setInformativeText(QStringLiteral("Your edited text has not been saved."));
    // Action roles keep the buttons in this order on every desktop.
    QPushButton* discard = box->addButton(QStringLiteral("Discard Changes"), QMessageBox::ActionRole);
    QPushButton* keep = box->addButton(QStringLiteral("Keep Editing"), QMessageBox::ActionRole);
    box->setDefaultButton(keep);
    box->setEscapeButton(keep);
    m_confirmation = box;
    connect(box, &QMessageBox::finished, this, [this, box, discard] {
        if (m_confirmation != box)
            return; // closed by the state itself
        m_confirmation = nullptr;
        if (box->clickedButton() == discard)
            m_state.discardChanges();
        else
            m_state.keepEditing();
    });
    box->open();
}

void CompactClipboardPanel::panelHidden()
{
    if (m_state.isDiscardConfirmationPresented())
        m_state.keepEditing();
}

void CompactClipboardPanel::openResultMenu(const QPoint& position)
{
    const QModelIndex index = m_results->indexAt(position);
    const ClipboardItem* item = m_resultModel->itemAt(index.row());
    if (!item || !m_state.canRetryOCR(*item))
        return;
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const QUuid id = item->id();
    menu->addAction(QIcon(SymbolCatalog::pixmap(QStringLiteral("text.viewfinder"), 16,
                                                DesignContext::of(this).color(ColorToken::ink), devicePixelRatioF())),
                    m_state.retryOCRTitle(*item), this, [this, id] {
                        // The history may have changed while the menu was open.
                        if (const std::optional<ClipboardItem> current = m_state.store().item(id))
                            m_state.retryOCR(*current);
                    });
    menu->popup(m_results->viewport()->mapToGlobal(position));
}

} // namespace tolvi
