#include "Tolvi/history/HistoryFilterBars.h"

#include "Tolvi/design/Surfaces.h"
#include "Tolvi/design/SymbolCatalog.h"
#include "Tolvi/design/TolviTheme.h"
#include "Tolvi/history/HistoryWindowState.h"
#include "TolviCore/model/UuidText.h"
#include "TolviCore/store/ClipboardStore.h"

#include <QAction>
#include <QEvent>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QMenu>
#include <QPainter>
#include <QProxyStyle>
#include <QScrollBar>
#include <QStyleOptionMenuItem>
#include <QWheelEvent>

namespace tolvi {

using TolviDesign::ColorToken;
using TolviDesign::Typography;

namespace {

const QString pinnedKey = QStringLiteral("pinned");
const QString allKey = QStringLiteral("all");

struct ScopeEntry {
    QString title;
    QString key;
    QString systemImage;
};

// The scopes in the order the strip and the menu show them.
QList<ScopeEntry> scopeEntries(const ClipboardStore& store)
{
    QList<ScopeEntry> entries{{QStringLiteral("History"), allKey, QStringLiteral("clock.arrow.circlepath")},
                              {QStringLiteral("Pinned"), pinnedKey, QStringLiteral("pin")}};
    for (const Pinboard& board : store.pinboards())
        entries.append({board.name(), HistoryFilterVocabulary::scopeKey(board), QStringLiteral("square.grid.2x2")});
    return entries;
}

void paintFocusRing(QPainter& painter, const QRectF& rect, qreal radius, const DesignContext& context)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(context.color(ColorToken::electricBlue), 2));
    painter.drawPath(roundedShape(rect.adjusted(1, 1, -1, -1), radius));
    painter.restore();
}

QIcon menuIcon(const QString& systemImage, const QWidget* widget)
{
    return QIcon(SymbolCatalog::pixmap(systemImage, 16, DesignContext::of(widget).color(ColorToken::ink),
                                       widget->devicePixelRatioF()));
}

// Draws a checkable menu entry as a plain one (its symbol, if any, left alone) with a check
// mark in a column of its own at the trailing end when it is checked.
class CheckMarkMenuStyle final : public QProxyStyle {
public:
    static constexpr int markColumn = 26;
    static constexpr int markSide = 13;

    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override
    {
        QSize result = QProxyStyle::sizeFromContents(type, option, size, widget);
        if (type == CT_MenuItem && isCheckable(option))
            result.rwidth() += markColumn;
        return result;
    }

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override
    {
        const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
        if (element != CE_MenuItem || !item || !isCheckable(option)) {
            QProxyStyle::drawControl(element, option, painter, widget);
            return;
        }
        QStyleOptionMenuItem plain(*item);
        plain.checkType = QStyleOptionMenuItem::NotCheckable;
        plain.checked = false;
        QProxyStyle::drawControl(element, &plain, painter, widget);
        if (!item->checked)
            return;
        const QPalette::ColorGroup group = item->state & State_Enabled ? QPalette::Normal : QPalette::Disabled;
        const QColor color =
            item->palette.color(group, item->state & State_Selected ? QPalette::HighlightedText : QPalette::Text);
        const QRect& row = item->rect;
        const QRectF mark(row.right() - markColumn + (markColumn - markSide) / 2.0,
                          row.center().y() - markSide / 2.0 + 0.5, markSide, markSide);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        SymbolCatalog::paint(*painter, mark, QStringLiteral("checkmark"), color);
        painter->restore();
    }

private:
    static bool isCheckable(const QStyleOption* option)
    {
        const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
        return item && item->checkType != QStyleOptionMenuItem::NotCheckable;
    }
};

} // namespace

void prepareFilterMenu(QMenu* menu)
{
    // A menu is a window of its own; this way it takes the palette of the window it opens from.
    menu->setAttribute(Qt::WA_WindowPropagation);
    auto* style = new CheckMarkMenuStyle;
    style->setParent(menu);
    menu->setStyle(style);
}

// ---- Vocabulary -------------------------------------------------------------------------

QString HistoryFilterVocabulary::title(ClipboardSearchContentFilter filter)
{
    switch (filter) {
    case ClipboardSearchContentFilter::all: return QStringLiteral("All");
    case ClipboardSearchContentFilter::text: return QStringLiteral("Text");
    case ClipboardSearchContentFilter::images: return QStringLiteral("Images");
    case ClipboardSearchContentFilter::links: return QStringLiteral("Links");
    case ClipboardSearchContentFilter::code: return QStringLiteral("Code");
    }
    return {};
}

QString HistoryFilterVocabulary::systemImage(ClipboardSearchContentFilter filter)
{
    switch (filter) {
    case ClipboardSearchContentFilter::all: return QStringLiteral("square.grid.2x2");
    case ClipboardSearchContentFilter::text: return QStringLiteral("text.alignleft");
    case ClipboardSearchContentFilter::images: return QStringLiteral("photo");
    case ClipboardSearchContentFilter::links: return QStringLiteral("link");
    case ClipboardSearchContentFilter::code: return QStringLiteral("chevron.left.forwardslash.chevron.right");
    }
    return {};
}

QString HistoryFilterVocabulary::title(ClipboardSearchDateFilter filter)
{
    switch (filter) {
    case ClipboardSearchDateFilter::anyTime: return QStringLiteral("Any time");
    case ClipboardSearchDateFilter::today: return QStringLiteral("Today");
    case ClipboardSearchDateFilter::last7Days: return QStringLiteral("Last 7 days");
    case ClipboardSearchDateFilter::last30Days: return QStringLiteral("Last 30 days");
    }
    return {};
}

QString HistoryFilterVocabulary::scopeKey(const Pinboard& board)
{
    return QStringLiteral("pinboard:") + UuidText::format(board.id());
}

QString HistoryFilterVocabulary::menuText(const QString& userText)
{
    QString text = userText;
    text.replace(QLatin1Char('&'), QStringLiteral("&&"));
    for (QChar& c : text) {
        if (c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r'))
            c = QLatin1Char(' ');
    }
    return text;
}

QString HistoryFilterVocabulary::plainToolTip(const QString& text)
{
    // Marked as rich text, so that the escaped text is shown as it is, never interpreted.
    return QStringLiteral("<qt>") + text.toHtmlEscaped() + QStringLiteral("</qt>");
}

// ---- HistorySymbolButton ----------------------------------------------------------------

HistorySymbolButton::HistorySymbolButton(const QString& systemImage, QSize frame, int symbolSide, QWidget* parent)
    : QToolButton(parent),
      m_systemImage(systemImage),
      m_frame(frame),
      m_symbolSide(symbolSide)
{
    setFocusPolicy(Qt::TabFocus);
    setAutoRaise(true);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
}

void HistorySymbolButton::setSystemImage(const QString& systemImage)
{
    if (systemImage == m_systemImage)
        return;
    m_systemImage = systemImage;
    update();
}

void HistorySymbolButton::setSymbolColor(ColorToken token)
{
    m_color = token;
    update();
}

void HistorySymbolButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const DesignContext context = DesignContext::of(this);
    if (!isEnabled())
        painter.setOpacity(0.35);
    else if (isDown())
        painter.setOpacity(0.6);
    const QRectF frame = QRectF(rect());
    const QRectF symbol(frame.center().x() - m_symbolSide / 2.0, frame.center().y() - m_symbolSide / 2.0, m_symbolSide,
                        m_symbolSide);
    SymbolCatalog::paint(painter, symbol, m_systemImage, context.color(m_color));
    if (hasFocus()) {
        painter.setOpacity(1);
        paintFocusRing(painter, frame, 6, context);
    }
}

// ---- FilterChoiceChip -------------------------------------------------------------------

FilterChoiceChip::FilterChoiceChip(const QString& title, const QString& systemImage, Colors colors, QMargins padding,
                                   QWidget* parent)
    : QAbstractButton(parent),
      m_title(title),
      m_systemImage(systemImage),
      m_colors(colors),
      m_padding(padding)
{
    setCheckable(true);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
    setAccessibleName(title);
}

QSize FilterChoiceChip::sizeHint() const
{
    const QFont& font = TolviDesign::font(Typography::chip);
    const QFontMetrics metrics(font);
    const int symbol = SymbolCatalog::pixelSizeForPointSize(TolviDesign::layoutPointSize(Typography::chip));
    return {m_padding.left() + symbol + symbolSpacing + metrics.horizontalAdvance(m_title) + m_padding.right(),
            m_padding.top() + std::max(symbol, metrics.height()) + m_padding.bottom()};
}

void FilterChoiceChip::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const DesignContext context = DesignContext::of(this);
    const bool chosen = isChecked();
    if (isDown())
        painter.setOpacity(0.75);
    const QRectF body = QRectF(rect());
    painter.fillPath(roundedShape(body, cornerRadius), context.color(chosen ? m_colors.chosenFill : m_colors.fill));
    const QColor foreground = context.color(chosen ? m_colors.chosenText : m_colors.text);
    const QRect content = rect().marginsRemoved(m_padding);
    const int symbol = SymbolCatalog::pixelSizeForPointSize(TolviDesign::layoutPointSize(Typography::chip));
    SymbolCatalog::paint(painter, QRectF(content.left(), content.center().y() - symbol / 2.0 + 0.5, symbol, symbol),
                         m_systemImage, foreground);
    painter.setFont(TolviDesign::font(Typography::chip));
    painter.setPen(foreground);
    const int textLeft = content.left() + symbol + symbolSpacing;
    painter.drawText(QRect(textLeft, content.top(), content.right() - textLeft + 1, content.height()),
                     Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, m_title);
    if (hasFocus()) {
        painter.setOpacity(1);
        paintFocusRing(painter, body, cornerRadius, context);
    }
}

// ---- HorizontalStrip --------------------------------------------------------------------

HorizontalStrip::HorizontalStrip(int spacing, QWidget* parent)
    : QScrollArea(parent)
{
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWidgetResizable(true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAutoFillBackground(false);
    viewport()->setAutoFillBackground(false);
    m_content = new QWidget(this);
    m_content->setAutoFillBackground(false);
    m_row = new QHBoxLayout(m_content);
    m_row->setContentsMargins(0, 0, 0, 0);
    m_row->setSpacing(spacing);
    m_row->addStretch(1);
    setWidget(m_content);
    // The strip's parent draws the background; the scroll area would fill it in.
    m_content->setAutoFillBackground(false);
    // The row's size is the strip's (chips shown later, or changing size, included).
    m_content->installEventFilter(this);
    // The bar takes room under the row only while there is something to scroll to.
    connect(horizontalScrollBar(), &QScrollBar::rangeChanged, this, [this] { updateGeometry(); });
    styleScrollBar();
    // A click beside the chips leaves the keyboard focus (the search field's) where it is.
    // Set last: setting the scroll area up gives it a focus policy of its own.
    setFocusPolicy(Qt::NoFocus);
}

void HorizontalStrip::addWidget(QWidget* widget)
{
    m_row->insertWidget(m_row->count() - 1, widget, 0, Qt::AlignVCenter);
    updateGeometry();
}

void HorizontalStrip::clear()
{
    for (QWidget* widget : widgets())
        delete widget;
    updateGeometry();
}

QList<QWidget*> HorizontalStrip::widgets() const
{
    QList<QWidget*> result;
    for (int i = 0; i < m_row->count(); ++i) {
        if (QWidget* widget = m_row->itemAt(i)->widget())
            result.append(widget);
    }
    return result;
}

QSize HorizontalStrip::sizeHint() const
{
    const QSize content = m_content->sizeHint();
    const QScrollBar* bar = horizontalScrollBar();
    const int barHeight = bar->maximum() > bar->minimum() ? bar->sizeHint().height() : 0;
    return {content.width(), content.height() + barHeight};
}

QSize HorizontalStrip::minimumSizeHint() const
{
    return {0, sizeHint().height()};
}

bool HorizontalStrip::eventFilter(QObject* watched, QEvent* event)
{
    // The scroll area does not pass its content's new size on to the layout it sits in.
    if (watched == m_content && event->type() == QEvent::LayoutRequest)
        updateGeometry();
    return QScrollArea::eventFilter(watched, event);
}

void HorizontalStrip::wheelEvent(QWheelEvent* event)
{
    // An ordinary mouse wheel turns vertically: move the row sideways.
    if (event->angleDelta().x() == 0 && event->angleDelta().y() != 0) {
        QWheelEvent sideways(event->position(), event->globalPosition(), event->pixelDelta().transposed(),
                             event->angleDelta().transposed(), event->buttons(), event->modifiers(), event->phase(),
                             event->inverted(), event->source());
        QScrollArea::wheelEvent(&sideways);
        event->setAccepted(sideways.isAccepted());
        return;
    }
    QScrollArea::wheelEvent(event);
}

void HorizontalStrip::changeEvent(QEvent* event)
{
    QScrollArea::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        styleScrollBar();
}

void HorizontalStrip::styleScrollBar()
{
    QColor handle = DesignContext::of(this).color(ColorToken::muted);
    handle.setAlphaF(0.45);
    horizontalScrollBar()->setStyleSheet(
        QStringLiteral("QScrollBar:horizontal { background: transparent; height: 8px; margin: 3px 0 0 0; }"
                       "QScrollBar::handle:horizontal { background: %1; border-radius: 2px; min-width: 32px; }"
                       "QScrollBar::add-line:horizontal, QScrollBar::sub-line:horizontal { width: 0; }"
                       "QScrollBar::add-page:horizontal, QScrollBar::sub-page:horizontal { background: transparent; }")
            .arg(handle.name(QColor::HexArgb)));
}

// ---- ScopeBar ---------------------------------------------------------------------------

ScopeBar::ScopeBar(HistoryWindowState& state, QWidget* parent)
    : QWidget(parent),
      m_state(state)
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);

    m_strip = new HorizontalStrip(5, this);
    m_strip->setAccessibleName(QStringLiteral("History scopes"));
    row->addWidget(m_strip, 1);

    m_menuButton = new HistorySymbolButton(QStringLiteral("chevron.down.circle"), {28, 28}, 16, this);
    m_menuButton->setObjectName(QStringLiteral("scopeMenuButton"));
    m_menuButton->setSymbolColor(ColorToken::electricBlue);
    m_menuButton->setAccessibleName(QStringLiteral("Choose history scope"));
    m_menuButton->setToolTip(QStringLiteral("Choose History, Pinned, or any board without scrolling."));
    m_menu = new QMenu(m_menuButton);
    m_menu->setObjectName(QStringLiteral("scopeMenu"));
    prepareFilterMenu(m_menu);
    m_menuButton->setMenu(m_menu);
    m_menuButton->setPopupMode(QToolButton::InstantPopup);
    connect(m_menu, &QMenu::aboutToShow, this, &ScopeBar::fillMenu);
    row->addWidget(m_menuButton, 0, Qt::AlignVCenter);

    m_manageBoards = new HistorySymbolButton(QStringLiteral("slider.horizontal.3"), {28, 28}, 16, this);
    m_manageBoards->setObjectName(QStringLiteral("manageBoardsButton"));
    m_manageBoards->setAccessibleName(QStringLiteral("Manage Boards"));
    m_manageBoards->setToolTip(QStringLiteral("Manage Boards"));
    connect(m_manageBoards, &QAbstractButton::clicked, this, [this] {
        // Only where the window can show the sheet: otherwise the window would report itself
        // blocked with nothing on screen.
        if (m_state.canPresent(HistoryOverlay::boardManagement))
            m_state.setManagingBoards(true);
    });
    row->addWidget(m_manageBoards, 0, Qt::AlignVCenter);

    connect(&m_state, &HistoryWindowState::criteriaChanged, this, &ScopeBar::showChosenScope);
    connect(&m_state.store(), &ClipboardStore::pinboardsChanged, this, &ScopeBar::rebuildStrip);
    connect(&m_state, &HistoryWindowState::overlayAvailabilityChanged, this, &ScopeBar::updateBoardManagement);
    connect(&m_state, &HistoryWindowState::overlaysChanged, this, &ScopeBar::updateBoardManagement);
    rebuildStrip();
    updateBoardManagement();
}

QList<FilterChoiceChip*> ScopeBar::scopeButtons() const
{
    QList<FilterChoiceChip*> buttons;
    for (QWidget* widget : m_strip->widgets()) {
        if (auto* chip = qobject_cast<FilterChoiceChip*>(widget))
            buttons.append(chip);
    }
    return buttons;
}

void ScopeBar::rebuildStrip()
{
    m_strip->clear();
    const FilterChoiceChip::Colors colors{ColorToken::canvas, ColorToken::violet, ColorToken::violet,
                                          ColorToken::surface};
    for (const ScopeEntry& entry : scopeEntries(m_state.store())) {
        auto* chip = new FilterChoiceChip(entry.title, entry.systemImage, colors, QMargins(13, 6, 13, 6));
        chip->setProperty("scopeKey", entry.key);
        chip->setToolTip(HistoryFilterVocabulary::plainToolTip(entry.title));
        const QString key = entry.key;
        connect(chip, &QAbstractButton::clicked, this, [this, key] { m_state.setFilterKey(key); });
        m_strip->addWidget(chip);
    }
    showChosenScope();
}

void ScopeBar::showChosenScope()
{
    const QString& key = m_state.filterKey();
    for (FilterChoiceChip* chip : scopeButtons()) {
        chip->setChecked(chip->property("scopeKey").toString() == key);
        // A scope chosen in the menu may lie outside the strip's visible part.
        if (chip->isChecked())
            m_strip->ensureWidgetVisible(chip, 0, 0);
    }
    // A key naming a board that is gone reads as all history; no chip is chosen then.
    m_menuButton->setAccessibleDescription(m_state.scopeTitle());
    markMenuChoice();
}

void ScopeBar::markMenuChoice()
{
    for (QAction* action : m_menu->actions()) {
        if (action->isCheckable())
            action->setChecked(action->data().toString() == m_state.filterKey());
    }
}

void ScopeBar::fillMenu()
{
    m_menu->clear();
    // The picker's title, as an inert row.
    QAction* heading = m_menu->addAction(QStringLiteral("History Scope"));
    heading->setEnabled(false);
    const QString& current = m_state.filterKey();
    for (const ScopeEntry& entry : scopeEntries(m_state.store())) {
        QAction* action = m_menu->addAction(menuIcon(entry.systemImage, m_menu),
                                            HistoryFilterVocabulary::menuText(entry.title));
        action->setCheckable(true);
        action->setChecked(entry.key == current);
        action->setData(entry.key);
        const QString key = entry.key;
        connect(action, &QAction::triggered, this, [this, key] {
            m_state.setFilterKey(key);
            // Choosing the chosen entry again must not take its mark away.
            markMenuChoice();
        });
    }
}

void ScopeBar::updateBoardManagement()
{
    m_manageBoards->setEnabled(m_state.canPresent(HistoryOverlay::boardManagement));
}

// ---- CategoryBar ------------------------------------------------------------------------

CategoryBar::CategoryBar(HistoryWindowState& state, QWidget* parent)
    : QWidget(parent),
      m_state(state)
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(5);
    const FilterChoiceChip::Colors colors{ColorToken::canvas, ColorToken::electricBlue, ColorToken::muted,
                                          ColorToken::surface};
    for (ClipboardSearchContentFilter filter : ClipboardSearchFilters::allContentFilters()) {
        auto* chip = new FilterChoiceChip(HistoryFilterVocabulary::title(filter),
                                          HistoryFilterVocabulary::systemImage(filter), colors, QMargins(12, 7, 12, 7),
                                          this);
        chip->setProperty("contentFilter", int(filter));
        connect(chip, &QAbstractButton::clicked, this, [this, filter] { m_state.setContentFilter(filter); });
        row->addWidget(chip);
        m_buttons.append(chip);
    }
    row->addStretch(1);
    connect(&m_state, &HistoryWindowState::criteriaChanged, this, &CategoryBar::showChosenCategory);
    showChosenCategory();
}

void CategoryBar::showChosenCategory()
{
    for (FilterChoiceChip* chip : m_buttons)
        chip->setChecked(chip->property("contentFilter").toInt() == int(m_state.contentFilter()));
}

} // namespace tolvi
