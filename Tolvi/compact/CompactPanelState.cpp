#include "Tolvi/compact/CompactPanelState.h"

#include "Tolvi/panels/OCRRetry.h"
#include "Tolvi/shell/UsageMetricsStore.h"
#include "TolviCore/model/ReferenceDate.h"
#include "TolviCore/search/ClipboardFormatter.h"
#include "TolviCore/store/ClipboardStore.h"

#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace tolvi {

namespace {

// The panel's height while it lists clips or actions.
constexpr int minimumHeight = 220;
constexpr int maximumHeight = 420;

} // namespace

CompactPanelState::CompactPanelState(ClipboardStore& store, UsageMetricsStore* usageMetrics, FeatureFlags featureFlags,
                                     CompactPanelActions actions, QObject* parent)
    : QObject(parent),
      m_store(store),
      m_usageMetrics(usageMetrics),
      m_featureFlags(std::move(featureFlags)),
      m_actions(std::move(actions)),
      m_now([] { return ReferenceDate::now(); }),
      m_timeZone(QTimeZone::systemTimeZone())
{
    connect(&m_store, &ClipboardStore::itemsChanged, this, &CompactPanelState::storeItemsChanged);
    // Recognition states change what the image actions and the retry button offer.
    connect(&m_store, &ClipboardStore::ocrStatusesChanged, this, [this] { emit actionsChanged(); });
    connect(&m_store, &ClipboardStore::ocrInProgressChanged, this, [this] { emit actionsChanged(); });
    recompute();
}

CompactPanelState::~CompactPanelState() = default;

void CompactPanelState::setClock(std::function<double()> now, QTimeZone timeZone)
{
    m_now = std::move(now);
    m_timeZone = std::move(timeZone);
    recompute();
}

void CompactPanelState::setPreviewAvailable(bool available)
{
    if (available == m_previewAvailable)
        return;
    m_previewAvailable = available;
    invalidateActions();
    normalizeActionSelection();
    notifyHeight();
}

// ---- View state -------------------------------------------------------------------------

void CompactPanelState::setQuery(const QString& query)
{
    filtersUpdated(m_filters.setQuery(query));
}

void CompactPanelState::setContentFilter(ClipboardSearchContentFilter filter)
{
    filtersUpdated(m_filters.setContentFilter(filter));
}

void CompactPanelState::setDateFilter(ClipboardSearchDateFilter filter)
{
    filtersUpdated(m_filters.setDateFilter(filter));
}

void CompactPanelState::setRequiresOCRText(bool required)
{
    filtersUpdated(m_filters.setRequiresOCRText(required));
}

void CompactPanelState::setSelectedItemID(const std::optional<QUuid>& id)
{
    if (id == m_selectedItemID)
        return;
    m_selectedItemID = id;
    updateSelectedRow();
}

void CompactPanelState::setSelectedActionID(const std::optional<QString>& id)
{
    if (id == m_selectedActionID)
        return;
    m_selectedActionID = id;
    emit actionsChanged();
}

void CompactPanelState::filtersUpdated(bool changed)
{
    if (!changed)
        return;
    emit criteriaChanged();
    recompute();
}

// ---- Derived values ---------------------------------------------------------------------

ClipboardSearchCriteria CompactPanelState::searchCriteria() const
{
    return ClipboardSearchCriteria(m_filters.query, m_filters.contentFilter, ClipboardSearchScope::all(),
                                   m_filters.dateFilter, m_filters.requiresOCRText);
}

bool CompactPanelState::hasActiveFilters() const
{
    return searchCriteria().hasActiveNonQueryFilters();
}

QList<QUuid> CompactPanelState::filteredItemIDs() const
{
    QList<QUuid> ids;
    ids.reserve(m_filteredItems.size());
    for (const ClipboardItem& item : m_filteredItems)
        ids.append(item.id());
    return ids;
}

std::optional<ClipboardItem> CompactPanelState::selectedItem() const
{
    if (m_selectedRow < 0 || m_selectedRow >= m_filteredItems.size())
        return std::nullopt;
    return m_filteredItems.at(m_selectedRow);
}

const QList<CompactPasteActionSection>& CompactPanelState::actionSections() const
{
    if (!m_sections) {
        QList<CompactPasteActionSection> sections;
        if (const std::optional<ClipboardItem> item = selectedItem())
            sections = CompactPasteActionSection::sections(*item, m_featureFlags.aiRewriteEnabled());
        if (!m_previewAvailable) {
            // Nothing offers a preview that cannot open.
            for (CompactPasteActionSection& section : sections)
                section.actions.removeIf(
                    [](const CompactPasteAction& action) { return action.kind == CompactPasteAction::Kind::previewItem; });
        }
        m_visibleActions.clear();
        for (const CompactPasteActionSection& section : std::as_const(sections))
            m_visibleActions.append(section.actions);
        m_sections = std::move(sections);
    }
    return *m_sections;
}

const QList<CompactPasteAction>& CompactPanelState::visibleActions() const
{
    actionSections();
    return m_visibleActions;
}

QStringList CompactPanelState::visibleActionIDs() const
{
    QStringList ids;
    for (const CompactPasteAction& action : visibleActions())
        ids.append(action.id);
    return ids;
}

int CompactPanelState::selectedActionIndex() const
{
    const QList<CompactPasteAction>& actions = visibleActions();
    if (actions.isEmpty())
        return -1;
    if (m_selectedActionID) {
        for (qsizetype i = 0; i < actions.size(); ++i) {
            if (actions.at(i).id == *m_selectedActionID)
                return int(i);
        }
    }
    return 0;
}

std::optional<CompactPasteAction> CompactPanelState::selectedAction() const
{
    const int index = selectedActionIndex();
    if (index < 0)
        return std::nullopt;
    return visibleActions().at(index);
}

QString CompactPanelState::summary(const ClipboardItem& item)
{
    if (const ClipboardImage* image = item.content().imageIf())
        return QStringLiteral("Image ") + image->pixelDescription();
    // A line shows a few hundred code units at most. The summary reads no further than this
    // into the text, so that a first character of thousands of code points (combining marks,
    // joined emoji) is not copied whole for every row painted; any text whose first characters
    // are shorter reads the same.
    constexpr qsizetype readLength = 1024;
    const QString& text = item.content().textValue();
    if (text.size() <= readLength)
        return ClipboardFormatter::singleLinePreview(text, 74);
    const qsizetype head = text.at(readLength - 1).isHighSurrogate() ? readLength - 1 : readLength;
    return ClipboardFormatter::singleLinePreview(QString::fromRawData(text.constData(), head), 74);
}

int CompactPanelState::panelHeight() const
{
    // The full-size preview takes the tallest panel, whatever it covers.
    if (m_previewedItem)
        return maximumHeight;
    switch (m_mode) {
    case CompactPanelMode::results:
        if (m_filteredItems.isEmpty())
            return 236;
        return int(std::clamp<qint64>(58 * qint64(m_filteredItems.size()) + 74, minimumHeight, maximumHeight));
    case CompactPanelMode::actions: {
        const QList<CompactPasteActionSection>& sections = actionSections();
        const qint64 titled = std::count_if(sections.cbegin(), sections.cend(),
                                            [](const CompactPasteActionSection& s) { return s.title.has_value(); });
        return int(std::clamp<qint64>(52 * qint64(visibleActions().size()) + 72 + 18 * titled + 20, minimumHeight,
                                      maximumHeight));
    }
    case CompactPanelMode::editor:
        return maximumHeight;
    }
    return maximumHeight;
}

bool CompactPanelState::canRetryOCR(const ClipboardItem& item) const
{
    return m_actions.retryOCR && tolvi::canRetryOCR(m_store, item);
}

QString CompactPanelState::retryOCRTitle(const ClipboardItem& item) const
{
    const ClipboardImage* image = item.content().imageIf();
    if (!image || m_store.ocrStatusOf(*image))
        return QStringLiteral("Retry Text Recognition");
    return QStringLiteral("Read Image Text");
}

// ---- Reactions --------------------------------------------------------------------------

QList<ClipboardItem> CompactPanelState::filtered(const ClipboardSearchCriteria& criteria, double now)
{
    // Results are only reused while the clips, the filters and (for date filters) the time are
    // the same.
    const QString filters = QStringLiteral("%1|%2").arg(m_storeGeneration).arg(m_filters.cacheKey());
    return m_search.filter(m_store.items(), criteria, now, m_timeZone, filters);
}

void CompactPanelState::recompute()
{
    QList<ClipboardItem> filtered = this->filtered(searchCriteria(), m_now());
    const bool idsChanged = FilteredClips::idsChanged(m_filteredItems, filtered);
    m_filteredItems = std::move(filtered);
    // The selected row is right before anyone hears of the new list.
    m_selectedRow = rowOfSelection();
    if (idsChanged)
        normalizeSelection();
    updateSelectedRow();
    emit filteredItemsChanged();
    notifyHeight();
}

void CompactPanelState::refresh()
{
    if (std::exchange(m_isOutOfDate, false))
        followStore();
    else
        recompute();
}

void CompactPanelState::setInSight(bool inSight)
{
    m_inSight = inSight;
    if (m_inSight && std::exchange(m_isOutOfDate, false))
        followStore();
}

void CompactPanelState::storeItemsChanged()
{
    ++m_storeGeneration;
    if (m_inSight)
        followStore();
    else
        m_isOutOfDate = true;
}

void CompactPanelState::followStore()
{
    recompute();
    // The selected clip's record may have changed in place (its recognised text, say).
    invalidateActions();
    normalizeActionSelection();
    notifyHeight();
}

int CompactPanelState::rowOfSelection() const
{
    const int row = m_selectedItemID ? FilteredClips::rowOf(m_filteredItems, *m_selectedItemID) : -1;
    if (row >= 0)
        return row;
    return m_filteredItems.isEmpty() ? -1 : 0;
}

void CompactPanelState::updateSelectedRow()
{
    const int row = rowOfSelection();
    // The catalogue stays while it was built for this very clip record.
    const bool sameClip = row >= 0 && m_sections && !m_visibleActions.isEmpty()
        && m_visibleActions.first().item.sharesDataWith(m_filteredItems.at(row));
    m_selectedRow = row;
    if (!sameClip)
        invalidateActions();
    emit selectionChanged();
    if (m_mode == CompactPanelMode::actions)
        notifyHeight();
}

void CompactPanelState::invalidateActions()
{
    m_sections.reset();
    m_visibleActions.clear();
    emit actionsChanged();
}

void CompactPanelState::notifyHeight()
{
    const int height = panelHeight();
    if (height == m_lastHeight)
        return;
    m_lastHeight = height;
    emit panelHeightChanged(height);
}

bool CompactPanelState::isGuarded() const
{
    return m_previewedItem.has_value() || m_isDiscardConfirmationPresented;
}

void CompactPanelState::requestSearchFocus()
{
    QPointer<CompactPanelState> self(this);
    QTimer::singleShot(0, this, [self] {
        if (self)
            emit self->searchFocusRequested();
    });
}

// ---- Operations -------------------------------------------------------------------------

void CompactPanelState::appear()
{
    requestSearchFocus();
    if (m_actions.setPanelMode)
        m_actions.setPanelMode(m_mode);
    normalizeSelection();
    if (m_mode == CompactPanelMode::actions)
        normalizeActionSelection();
}

void CompactPanelState::normalizeSelection()
{
    if (m_mode == CompactPanelMode::editor)
        return;
    setSelectedItemID(FilteredClips::settledSelection(m_filteredItems, m_selectedItemID));
    if (m_filteredItems.isEmpty())
        setMode(CompactPanelMode::results);
}

void CompactPanelState::normalizeActionSelection()
{
    if (m_mode == CompactPanelMode::results) {
        // The list is not shown; the choice is made again when it opens.
        return;
    }
    const QList<CompactPasteAction>& actions = visibleActions();
    if (actions.isEmpty()) {
        setSelectedActionID(std::nullopt);
        return;
    }
    if (m_selectedActionID
        && std::any_of(actions.cbegin(), actions.cend(),
                       [this](const CompactPasteAction& action) { return action.id == *m_selectedActionID; }))
        return;
    setSelectedActionID(actions.first().id);
}

void CompactPanelState::updateModalInteraction()
{
    if (m_actions.setModalInteraction)
        m_actions.setModalInteraction(isGuarded());
}

void CompactPanelState::setMode(CompactPanelMode mode)
{
    if (mode == m_mode)
        return;
    m_mode = mode;
    // The catalogue is built again when the action list next opens.
    if (mode == CompactPanelMode::results) {
        m_sections.reset();
        m_visibleActions.clear();
    }
    if (m_actions.setPanelMode)
        m_actions.setPanelMode(mode);
    // Any AI run stops when the editor is left, by whatever path.
    if (mode != CompactPanelMode::editor)
        invalidateAIRequest();
    emit modeChanged(mode);
    notifyHeight();
}

void CompactPanelState::accept()
{
    switch (m_mode) {
    case CompactPanelMode::results:
        openActions();
        break;
    case CompactPanelMode::actions:
        if (const std::optional<CompactPasteAction> action = selectedAction())
            run(*action);
        break;
    case CompactPanelMode::editor:
        pasteEditedText();
        break;
    }
}

void CompactPanelState::openActions()
{
    if (!selectedItem())
        return;
    setMode(CompactPanelMode::actions);
    normalizeActionSelection();
    emit actionsChanged();
}

void CompactPanelState::togglePreview()
{
    if (m_previewedItem) {
        closePreview();
        return;
    }
    if (const std::optional<ClipboardItem> item = selectedItem())
        openPreview(*item);
}

void CompactPanelState::openPreview(const ClipboardItem& item)
{
    if (!m_previewAvailable)
        return;
    m_previewedItem = item;
    notifyHeight();
    emit previewChanged();
    updateModalInteraction();
    if (m_usageMetrics)
        m_usageMetrics->recordWithMilestone(UsageMetricEvent::richPreviewOpened);
}

void CompactPanelState::closePreview()
{
    if (!m_previewedItem)
        return;
    m_previewedItem.reset();
    emit previewChanged();
    updateModalInteraction();
    notifyHeight();
}

void CompactPanelState::cancel()
{
    if (m_isDiscardConfirmationPresented) {
        setDiscardConfirmation(false);
        return;
    }
    if (m_previewedItem) {
        closePreview();
        return;
    }
    switch (m_mode) {
    case CompactPanelMode::editor:
        requestLeaveEditor();
        break;
    case CompactPanelMode::actions:
        showResults();
        break;
    case CompactPanelMode::results:
        if (m_actions.closePanel)
            m_actions.closePanel();
        break;
    }
}

void CompactPanelState::showResults()
{
    setMode(CompactPanelMode::results);
    m_selectedActionID.reset();
    emit actionsChanged();
    requestSearchFocus();
}

void CompactPanelState::clearFilters()
{
    if (!hasActiveFilters())
        return;
    m_filters.clearBeyondQuery();
    emit criteriaChanged();
    recompute();
}

void CompactPanelState::showAllClips()
{
    m_filters.query.clear();
    m_filters.clearBeyondQuery();
    emit criteriaChanged();
    recompute();
    emit searchFocusRequested();
}

void CompactPanelState::moveClipSelection(int delta)
{
    if (m_filteredItems.isEmpty()) {
        setSelectedItemID(std::nullopt);
        return;
    }
    const int current = std::max(0, m_selectedRow);
    const qsizetype target = std::clamp<qsizetype>(qsizetype(current) + delta, 0, m_filteredItems.size() - 1);
    const QUuid id = m_filteredItems.at(target).id();
    setSelectedItemID(id);
    m_scrollTargetID = id;
    emit scrollTargetChanged();
}

void CompactPanelState::moveActionSelection(int delta)
{
    const QList<CompactPasteAction>& actions = visibleActions();
    if (actions.isEmpty()) {
        setSelectedActionID(std::nullopt);
        return;
    }
    const int current = std::max(0, selectedActionIndex());
    const qsizetype target = std::clamp<qsizetype>(qsizetype(current) + delta, 0, actions.size() - 1);
    setSelectedActionID(actions.at(target).id);
}

void CompactPanelState::run(const CompactPasteAction& action)
{
    switch (action.kind) {
    case CompactPasteAction::Kind::pasteItem:
        if (m_actions.pasteItem)
            m_actions.pasteItem(action.item);
        break;
    case CompactPasteAction::Kind::pasteText:
        if (m_actions.pasteText)
            m_actions.pasteText(action.pastedText());
        break;
    case CompactPasteAction::Kind::editItem:
        setSelectedItemID(action.item.id());
        openEditor();
        break;
    case CompactPasteAction::Kind::previewItem:
        setSelectedItemID(action.item.id());
        openPreview(action.item);
        break;
    case CompactPasteAction::Kind::aiText:
        if (action.aiAction)
            runAIFromActions(*action.aiAction, action.item, action.text);
        break;
    }
}

void CompactPanelState::retryOCR(const ClipboardItem& item)
{
    if (canRetryOCR(item))
        m_actions.retryOCR(item);
}

void CompactPanelState::handleCommand(CompactKeyboardCommand command)
{
    if (command == CompactKeyboardCommand::cancel) {
        cancel();
        return;
    }
    if (isGuarded())
        return;
    switch (command) {
    case CompactKeyboardCommand::accept:
        accept();
        break;
    case CompactKeyboardCommand::openActions:
        openActions();
        break;
    case CompactKeyboardCommand::editSelectedClip:
        openEditor();
        break;
    case CompactKeyboardCommand::toggleClipPreview:
        togglePreview();
        break;
    case CompactKeyboardCommand::selectPreviousClip:
    case CompactKeyboardCommand::selectNextClip: {
        const int delta = command == CompactKeyboardCommand::selectNextClip ? 1 : -1;
        if (m_mode == CompactPanelMode::results)
            moveClipSelection(delta);
        else if (m_mode == CompactPanelMode::actions)
            moveActionSelection(delta);
        break;
    }
    case CompactKeyboardCommand::cancel:
        break;
    }
}

} // namespace tolvi
