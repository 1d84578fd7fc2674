#include "Tolvi/history/PowerSearchMenu.h"

#include "Tolvi/design/Surfaces.h"
#include "Tolvi/design/SymbolCatalog.h"
#include "Tolvi/design/TolviTheme.h"
#include "Tolvi/history/HistoryWindowState.h"
#include "TolviCore/store/ClipboardStore.h"

#include <QAction>
#include <QEvent>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QPainter>

namespace tolvi {

using TolviDesign::withOpacity;

using TolviDesign::ColorToken;
using TolviDesign::Typography;

namespace {

bool hasActiveFilters(const HistoryWindowState& state)
{
    return state.searchCriteria().hasActiveNonQueryFilters();
}

// A text-only button in the chip type style and the muted colour; it never truncates.
class PlainTextButton final : public QAbstractButton {
public:
    PlainTextButton(const QString& text, QWidget* parent) : QAbstractButton(parent)
    {
        setText(text);
        setFocusPolicy(Qt::TabFocus);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        setCursor(Qt::PointingHandCursor);
    }

    QSize sizeHint() const override
    {
        const QFontMetrics metrics(TolviDesign::font(Typography::chip));
        return {metrics.horizontalAdvance(text()) + 4, metrics.height() + 4};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const DesignContext context = DesignContext::of(this);
        if (isDown())
            painter.setOpacity(0.6);
        painter.setFont(TolviDesign::font(Typography::chip));
        painter.setPen(context.color(ColorToken::muted));
        painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, text());
        if (hasFocus()) {
            painter.setOpacity(1);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setPen(QPen(context.color(ColorToken::electricBlue), 1.5));
            painter.drawPath(roundedShape(QRectF(rect()).adjusted(0.75, 0.75, -0.75, -0.75), 4));
        }
    }
};

QIcon menuIcon(const QString& systemImage, const QWidget* widget)
{
    return QIcon(SymbolCatalog::pixmap(systemImage, 16, DesignContext::of(widget).color(ColorToken::ink),
                                       widget->devicePixelRatioF()));
}

QMenu* submenu(QMenu* parent, const QString& title)
{
    QMenu* menu = parent->addMenu(title);
    prepareFilterMenu(menu);
    return menu;
}

} // namespace

// ---- PowerSearchMenu --------------------------------------------------------------------

PowerSearchMenu::PowerSearchMenu(HistoryWindowState& state, QWidget* parent)
    : QMenu(parent),
      m_state(state)
{
    setObjectName(QStringLiteral("powerSearchMenu"));
    prepareFilterMenu(this);
    connect(this, &QMenu::aboutToShow, this, &PowerSearchMenu::rebuild);
    // Changes made while the menu is open (the store can change under it) move the marks;
    // choosing the chosen entry again changes nothing and must keep its mark.
    connect(&m_state, &HistoryWindowState::filteredItemsChanged, this, [this] {
        if (isVisible())
            showCurrentChoices();
    });
}

void PowerSearchMenu::rebuild()
{
    // Submenus are children of the menu; clearing the entries would leave them behind.
    for (QMenu* old : {m_typeMenu, m_dateMenu, m_appMenu})
        delete old;
    clear();
    m_typeMenu = submenu(this, QStringLiteral("Type"));
    for (ClipboardSearchContentFilter filter : ClipboardSearchFilters::allContentFilters()) {
        QAction* action = m_typeMenu->addAction(menuIcon(HistoryFilterVocabulary::systemImage(filter), this),
                                                HistoryFilterVocabulary::title(filter));
        action->setCheckable(true);
        action->setData(int(filter));
        connect(action, &QAction::triggered, this, [this, filter] {
            m_state.setContentFilter(filter);
            showCurrentChoices();
        });
    }

    m_dateMenu = submenu(this, QStringLiteral("Date"));
    for (ClipboardSearchDateFilter filter : ClipboardSearchFilters::allDateFilters()) {
        QAction* action = m_dateMenu->addAction(HistoryFilterVocabulary::title(filter));
        action->setCheckable(true);
        action->setData(int(filter));
        connect(action, &QAction::triggered, this, [this, filter] {
            m_state.setDateFilter(filter);
            showCurrentChoices();
        });
    }

    m_ocrAction = addAction(QStringLiteral("OCR Text Only"));
    m_ocrAction->setCheckable(true);
    connect(m_ocrAction, &QAction::triggered, this, [this](bool checked) { m_state.setRequiresOCRText(checked); });

    m_appMenu = submenu(this, QStringLiteral("Foreground App"));
    const QList<SourceAppFilterOption>& options = m_state.sourceAppOptions();
    m_appMenu->menuAction()->setEnabled(!options.isEmpty());
    QAction* allApps = m_appMenu->addAction(QStringLiteral("All Apps"));
    allApps->setCheckable(true);
    connect(allApps, &QAction::triggered, this, [this] {
        m_state.setSourceAppIdentifier(std::nullopt);
        showCurrentChoices();
    });
    m_appMenu->addSeparator();
    for (const SourceAppFilterOption& option : options) {
        QAction* action = m_appMenu->addAction(HistoryFilterVocabulary::menuText(option.title));
        action->setCheckable(true);
        action->setData(option.id);
        const QString id = option.id;
        connect(action, &QAction::triggered, this, [this, id] {
            m_state.setSourceAppIdentifier(id);
            showCurrentChoices();
        });
    }

    m_clearSeparator = addSeparator();
    m_clearAction = addAction(QStringLiteral("Clear Filters"));
    connect(m_clearAction, &QAction::triggered, this, [this] { m_state.clearSearchFilters(); });
    showCurrentChoices();
}

void PowerSearchMenu::showCurrentChoices()
{
    if (!m_typeMenu)
        return;
    for (QAction* action : m_typeMenu->actions())
        action->setChecked(action->data().toInt() == int(m_state.contentFilter()));
    for (QAction* action : m_dateMenu->actions())
        action->setChecked(action->data().toInt() == int(m_state.dateFilter()));
    m_ocrAction->setChecked(m_state.requiresOCRText());
    const std::optional<QString>& app = m_state.sourceAppIdentifier();
    for (QAction* action : m_appMenu->actions()) {
        if (!action->isCheckable())
            continue;
        // "All Apps" carries no identifier.
        action->setChecked(action->data().isValid() ? app && *app == action->data().toString() : !app);
    }
    const bool active = hasActiveFilters(m_state);
    m_clearSeparator->setVisible(active);
    m_clearAction->setVisible(active);
}

// ---- PowerSearchButton ------------------------------------------------------------------

PowerSearchButton::PowerSearchButton(HistoryWindowState& state, QWidget* parent)
    : HistorySymbolButton(QStringLiteral("line.3.horizontal.decrease.circle"), {30, 24}, 18, parent),
      m_state(state)
{
    setObjectName(QStringLiteral("powerSearchButton"));
    setSymbolColor(ColorToken::electricBlue);
    setAccessibleName(QStringLiteral("Power Search"));
    setToolTip(QStringLiteral("Power Search"));
    m_menu = new PowerSearchMenu(state, this);
    setMenu(m_menu);
    setPopupMode(QToolButton::InstantPopup);
    // Every recomputation: a deleted board can end a scope filter without any choice changing.
    connect(&m_state, &HistoryWindowState::filteredItemsChanged, this, &PowerSearchButton::showFilterState);
    showFilterState();
}

void PowerSearchButton::showFilterState()
{
    setSystemImage(hasActiveFilters(m_state) ? QStringLiteral("line.3.horizontal.decrease.circle.fill")
                                             : QStringLiteral("line.3.horizontal.decrease.circle"));
}

// ---- ActiveFilterChip -------------------------------------------------------------------

namespace {
constexpr int chipHorizontalPadding = 8;
constexpr int chipVerticalPadding = 4;
constexpr int chipSymbolSpacing = 4;

int chipSymbolSide()
{
    return SymbolCatalog::pixelSizeForPointSize(TolviDesign::layoutPointSize(Typography::chip));
}
} // namespace

ActiveFilterChip::ActiveFilterChip(const QString& title, const QString& systemImage, QWidget* parent)
    : QWidget(parent),
      m_title(title),
      m_systemImage(systemImage)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleName(title);
    setToolTip(HistoryFilterVocabulary::plainToolTip(title));
}

QSize ActiveFilterChip::sizeHint() const
{
    const QFontMetrics metrics(TolviDesign::font(Typography::chip));
    return {2 * chipHorizontalPadding + chipSymbolSide() + chipSymbolSpacing + metrics.horizontalAdvance(m_title),
            2 * chipVerticalPadding + std::max(chipSymbolSide(), metrics.height())};
}

void ActiveFilterChip::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor blue = DesignContext::of(this).color(ColorToken::electricBlue);
    const QRectF body = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const QPainterPath capsule = roundedShape(body, body.height() / 2);
    painter.fillPath(capsule, withOpacity(blue, 0.12));
    painter.setPen(QPen(withOpacity(blue, 0.22), 1));
    painter.drawPath(capsule);

    const QRect content = rect().adjusted(chipHorizontalPadding, chipVerticalPadding, -chipHorizontalPadding,
                                          -chipVerticalPadding);
    const int symbol = chipSymbolSide();
    SymbolCatalog::paint(painter, QRectF(content.left(), content.center().y() - symbol / 2.0 + 0.5, symbol, symbol),
                         m_systemImage, blue);
    painter.setFont(TolviDesign::font(Typography::chip));
    painter.setPen(blue);
    const int textLeft = content.left() + symbol + chipSymbolSpacing;
    painter.drawText(QRect(textLeft, content.top(), content.right() - textLeft + 1, content.height()),
                     Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, m_title);
}

// ---- ActiveFilterBar --------------------------------------------------------------------

ActiveFilterBar::ActiveFilterBar(HistoryWindowState& state, QWidget* parent)
    : QWidget(parent),
      m_state(state)
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    m_strip = new HorizontalStrip(6, this);
    m_strip->setAccessibleName(QStringLiteral("Active filters"));
    m_strip->setToolTip(QStringLiteral("Scroll horizontally to see all active filters."));
    row->addWidget(m_strip, 1, Qt::AlignVCenter);
    m_clear = new PlainTextButton(QStringLiteral("Clear Filters"), this);
    m_clear->setObjectName(QStringLiteral("clearFiltersButton"));
    connect(m_clear, &QAbstractButton::clicked, this, [this] { m_state.clearSearchFilters(); });
    row->addWidget(m_clear, 0, Qt::AlignVCenter);

    // Every recomputation: a board renamed or deleted, or the last clip of the chosen
    // application deleted, changes a chip without any filter changing.
    connect(&m_state, &HistoryWindowState::filteredItemsChanged, this, &ActiveFilterBar::showFilters);
    showFilters();
}

QList<ActiveFilterChip*> ActiveFilterBar::chips() const
{
    QList<ActiveFilterChip*> result;
    for (QWidget* widget : m_strip->widgets()) {
        if (auto* chip = qobject_cast<ActiveFilterChip*>(widget))
            result.append(chip);
    }
    return result;
}

void ActiveFilterBar::showFilters()
{
    const ClipboardSearchCriteria criteria = m_state.searchCriteria();
    QList<std::pair<QString, QString>> shown;
    if (criteria.scope != ClipboardSearchScope::all())
        shown.append({m_state.scopeTitle(), m_state.scopeSystemImage()});
    if (criteria.contentFilter != ClipboardSearchContentFilter::all)
        shown.append({HistoryFilterVocabulary::title(criteria.contentFilter),
                      HistoryFilterVocabulary::systemImage(criteria.contentFilter)});
    if (criteria.dateFilter != ClipboardSearchDateFilter::anyTime)
        shown.append({HistoryFilterVocabulary::title(criteria.dateFilter), QStringLiteral("calendar")});
    if (criteria.requiresOCRText)
        shown.append({QStringLiteral("OCR Text"), QStringLiteral("text.viewfinder")});
    if (const std::optional<QString> app = m_state.sourceAppFilterTitle())
        shown.append({*app, QStringLiteral("app")});

    if (shown != m_shown) {
        m_shown = shown;
        m_strip->clear();
        for (const auto& [title, systemImage] : std::as_const(m_shown))
            m_strip->addWidget(new ActiveFilterChip(title, systemImage));
    }
    applyVisibility();
}

void ActiveFilterBar::applyVisibility()
{
    // Without a parent, showing would open the bar as a window of its own.
    if (parentWidget())
        setVisible(m_state.searchCriteria().hasActiveNonQueryFilters());
}

bool ActiveFilterBar::event(QEvent* event)
{
    if (event->type() == QEvent::ParentChange)
        applyVisibility();
    return QWidget::event(event);
}

} // namespace tolvi
