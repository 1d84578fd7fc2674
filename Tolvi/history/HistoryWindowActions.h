#pragma once

#include "TolviCore/ai/AIAction.h"
#include "TolviCore/ai/AIResult.h"
#include "TolviCore/model/ClipboardItem.h"
#include "TolviCore/model/Pinboard.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>

namespace tolvi {

// Every operation that leaves the history window, supplied by its controller. An empty
// `retryOCR` means text recognition cannot be asked for again.
struct HistoryWindowActions {
    std::function<void(const ClipboardItem&)> pasteItem;
    std::function<void(const QList<ClipboardItem>&)> pasteItems;
    std::function<void(const QString&)> pasteText;
    std::function<void(const ClipboardItem&)> copyItem;
    std::function<void(const QString&)> copyText;
    // False when the store refuses the text.
    std::function<bool(const ClipboardItem&, const QString&)> editText;
    std::function<bool(const QString&)> createSnippet;
    // Runs the action on the text; `done` is called on `receiver`'s thread, never after it is gone.
    std::function<void(const AIAction&, const QString&, QObject* receiver, std::function<void(AIResult)> done)>
        runAIAction;
    std::function<void(const ClipboardItem&)> deleteItem;
    std::function<void(const ClipboardItem&)> togglePinned;
    std::function<void(const Pinboard&, const ClipboardItem&)> togglePinboard;
    std::function<void()> clearHistory;
    std::function<void(const ClipboardItem&)> retryOCR;
    std::function<void()> showSetup;
    std::function<void()> closePanel;
    std::function<void(bool)> setHistoryInteractionBlocked;
};

} // namespace tolvi
