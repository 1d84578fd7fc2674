#include "Tolvi/history/MultiPasteChoice.h"

#include "TolviCore/store/ClipboardStore.h"

namespace tolvi {

MultiPasteChoice::MultiPasteChoice(const ClipboardStore& store)
    : m_store(store)
{
}

QList<ClipboardItem> MultiPasteChoice::items() const
{
    QList<ClipboardItem> items;
    for (const QUuid& id : m_ids) {
        if (std::optional<ClipboardItem> item = m_store.item(id))
            items.append(std::move(*item));
    }
    return items;
}

void MultiPasteChoice::forgetCounts()
{
    m_liveCount.reset();
    m_everyVisibleChosen.reset();
    m_everyVisibleChosenFor = {};
}

bool MultiPasteChoice::hasLiveCount(quint64 generation) const
{
    return m_liveCount && m_liveCountGeneration == generation;
}

qsizetype MultiPasteChoice::liveCount(quint64 generation) const
{
    if (!hasLiveCount(generation)) {
        qsizetype live = 0;
        for (const QUuid& id : m_ids)
            live += m_store.item(id).has_value();
        m_liveCount = live;
        m_liveCountGeneration = generation;
    }
    return *m_liveCount;
}

bool MultiPasteChoice::setIDs(const QList<QUuid>& ids)
{
    if (ids == m_ids)
        return false;
    m_ids = ids;
    m_idSet = QSet<QUuid>(ids.cbegin(), ids.cend());
    forgetCounts();
    return true;
}

bool MultiPasteChoice::removeStale(quint64 generation)
{
    if (m_ids.isEmpty())
        return false;
    QSet<QUuid> stale;
    for (const QUuid& id : std::as_const(m_idSet)) {
        if (!m_store.item(id))
            stale.insert(id);
    }
    if (!stale.isEmpty()) {
        m_ids.removeIf([&stale](const QUuid& id) { return stale.contains(id); });
        m_idSet.subtract(stale);
        forgetCounts();
    }
    // Every id left names a clip of the history as it is now: the footer's count needs no
    // second round of look-ups.
    m_liveCount = m_ids.size();
    m_liveCountGeneration = generation;
    return !stale.isEmpty();
}

bool MultiPasteChoice::isEveryVisibleChosen(const QList<ClipboardItem>& visible) const
{
    if (visible.isEmpty() || m_idSet.isEmpty())
        return false;
    if (m_everyVisibleChosen && m_everyVisibleChosenFor.isSharedWith(visible))
        return *m_everyVisibleChosen;
    // Stops at the first visible clip that is not chosen: as long as only the top of the list
    // is chosen, that is near the top.
    bool every = true;
    for (const ClipboardItem& item : visible) {
        if (!m_idSet.contains(item.id())) {
            every = false;
            break;
        }
    }
    m_everyVisibleChosen = every;
    m_everyVisibleChosenFor = visible;
    return every;
}

bool MultiPasteChoice::toggle(const QUuid& id, quint64 generation)
{
    const bool liveCounted = hasLiveCount(generation);
    if (m_idSet.contains(id)) {
        const qsizetype removed = m_ids.removeAll(id);
        m_idSet.remove(id);
        if (liveCounted && m_store.item(id))
            *m_liveCount -= removed;
        // Fewer chosen clips: "none missing" may no longer hold, "some missing" still does.
        if (m_everyVisibleChosen == true)
            m_everyVisibleChosen.reset();
    } else {
        if (!m_store.item(id))
            return false;
        m_ids.append(id);
        m_idSet.insert(id);
        if (liveCounted)
            ++*m_liveCount;
        // More chosen clips: the other way round.
        if (m_everyVisibleChosen == false)
            m_everyVisibleChosen.reset();
    }
    return true;
}

bool MultiPasteChoice::toggleVisible(const QList<ClipboardItem>& visible, quint64 generation)
{
    if (visible.isEmpty())
        return false;
    // The visible clips come from the history as it was last published, so every one of them
    // is a live clip.
    const bool liveCounted = hasLiveCount(generation);
    if (isEveryVisibleChosen(visible)) {
        for (const ClipboardItem& item : visible)
            m_idSet.remove(item.id());
        qsizetype removed = m_ids.size();
        if (m_idSet.isEmpty())
            m_ids.clear();
        else
            removed = m_ids.removeIf([this](const QUuid& id) { return !m_idSet.contains(id); });
        if (liveCounted)
            *m_liveCount -= removed;
        m_everyVisibleChosen = false;
    } else {
        m_idSet.reserve(m_idSet.size() + visible.size());
        m_ids.reserve(m_ids.size() + visible.size());
        qsizetype added = 0;
        for (const ClipboardItem& item : visible) {
            const qsizetype before = m_idSet.size();
            m_idSet.insert(item.id());
            if (m_idSet.size() == before)
                continue;
            m_ids.append(item.id());
            ++added;
        }
        if (liveCounted)
            *m_liveCount += added;
        m_everyVisibleChosen = true;
    }
    m_everyVisibleChosenFor = visible;
    return true;
}

} // namespace tolvi
