#pragma once

#include "TolviCore/model/ClipboardItem.h"
#include "TolviCore/model/Pinboard.h"

#include <QList>

namespace tolvi {

// What the history file holds: the clips in the store's order and the boards in the user's
// order. Copying is O(1) (implicitly shared lists), so a whole state can be handed to the
// writer thread cheaply.
struct ClipboardHistoryState {
    QList<ClipboardItem> items;
    QList<Pinboard> pinboards;

    friend bool operator==(const ClipboardHistoryState& a, const ClipboardHistoryState& b)
    {
        return a.items == b.items && a.pinboards == b.pinboards;
    }
};

} // namespace tolvi
