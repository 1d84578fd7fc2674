#pragma once

#include "TolviCore/model/ClipboardItem.h"

#include <QList>
#include <QSet>
#include <QUuid>

#include <optional>

namespace tolvi {

class ClipboardStore;

// The clips chosen for multi-paste, in the order they were chosen. What the footer asks after
// every change is kept beside the choice, so that one more or one fewer clip costs no walk over
// the choice or the visible clips: how many chosen ids name a clip of the history (worked out
// again once the history is at another `generation`), and whether every visible clip is chosen
// (for the visible list it was last asked for). Both are worked out again after the choice is
// replaced wholesale. Main thread only.
class MultiPasteChoice {
public:
    explicit MultiPasteChoice(const ClipboardStore& store);

    const QList<QUuid>& ids() const { return m_ids; }
    bool contains(const QUuid& id) const { return m_idSet.contains(id); }
    // The chosen clips the history still holds, in the order they were chosen.
    QList<ClipboardItem> items() const;
    // How many clips items() gives, without building them.
    qsizetype liveCount(quint64 generation) const;

    // Replaces the choice; false when it is that already.
    bool setIDs(const QList<QUuid>& ids);
    // Takes out every id that names no clip of the history at `generation`; true when any went.
    bool removeStale(quint64 generation);
    // Adds the clip at the end of the choice, or takes every occurrence of it out; false when
    // nothing changed (a clip that is not in the history is never added).
    bool toggle(const QUuid& id, quint64 generation);
    // At least one clip is visible and every visible clip is chosen.
    bool isEveryVisibleChosen(const QList<ClipboardItem>& visible) const;
    // Takes the visible clips out when all of them are chosen (clips chosen under other filters
    // stay chosen); otherwise adds the visible clips not yet chosen, in list order, after the
    // ones chosen before. False (and nothing happens) while no clip is visible.
    bool toggleVisible(const QList<ClipboardItem>& visible, quint64 generation);

private:
    void forgetCounts();
    bool hasLiveCount(quint64 generation) const;

    const ClipboardStore& m_store;
    QList<QUuid> m_ids;
    // The same ids, for membership.
    QSet<QUuid> m_idSet;
    // Chosen ids that name a clip of the history, counted at m_liveCountGeneration.
    mutable std::optional<qsizetype> m_liveCount;
    mutable quint64 m_liveCountGeneration = 0;
    // isEveryVisibleChosen() for the visible list kept beside it.
    mutable std::optional<bool> m_everyVisibleChosen;
    mutable QList<ClipboardItem> m_everyVisibleChosenFor;
};

} // namespace tolvi
