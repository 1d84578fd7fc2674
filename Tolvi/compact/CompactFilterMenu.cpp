#include "Tolvi/compact/CompactFilterMenu.h"

#include "Tolvi/compact/CompactPanelState.h"
#include "Tolvi/design/SymbolCatalog.h"
#include "Tolvi/design/TolviTheme.h"

#include <QActionGroup>
#include <QMenu>

namespace tolvi {

using TolviDesign::ColorToken;

CompactFilterMenu::CompactFilterMenu(CompactPanelState& state, QWidget* parent)
    : SymbolButton(QStringLiteral("line.3.horizontal.decrease.circle"), 15, 24, parent),
      m_state(state)
{
    setObjectName(QStringLiteral("compactFilterButton"));
    setToolTip(QStringLiteral("Filter results"));
    connect(this, &QToolButton::clicked, this, [this] {
        QMenu* menu = makeMenu(this);
        menu->popup(mapToGlobal(QPoint(0, height())));
    });
}

QMenu* CompactFilterMenu::makeMenu(QWidget* parent)
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

void CompactFilterMenu::showState()
{
    const bool active = m_state.hasActiveFilters();
    setSymbol(active ? QStringLiteral("line.3.horizontal.decrease.circle.fill")
                     : QStringLiteral("line.3.horizontal.decrease.circle"),
              active ? ColorToken::electricBlue : ColorToken::muted);
    setAccessibleName(active ? QStringLiteral("Filters active") : QStringLiteral("Filter results"));
}

} // namespace tolvi
