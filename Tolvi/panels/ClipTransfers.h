#pragma once

#include "Tolvi/services/paste/PasteService.h"
#include "TolviCore/ai/AIService.h"
#include "TolviCore/model/ClipboardItem.h"

#include <QList>
#include <QPointer>
#include <QString>

#include <functional>

namespace tolvi {

class UsageMetricsStore;

// The paste, copy and AI actions both clip windows hand their state. A paste puts the window
// away first, so the paste reaches the app in front, and counts as a paste; a copy counts as a
// copy. Nothing happens once `owner` is gone.
struct ClipTransfers {
    QPointer<QObject> owner;
    PasteService* pasteService = nullptr;
    UsageMetricsStore* usageMetrics = nullptr;
    std::function<void()> closeWindow;
    // Absent: no AI action runs.
    AIService* aiService = nullptr;

    // Fills the paste, copy and AI actions of a window's action set (and its several-clip paste
    // where it has one).
    template <typename Actions>
    void fill(Actions& actions) const;

    // Whether a paste goes ahead; closes the window and counts it when it does.
    bool beginPaste() const;
    // Whether a copy goes ahead; counts it when it does.
    bool beginCopy() const;
};

template <typename Actions>
void ClipTransfers::fill(Actions& actions) const
{
    const ClipTransfers transfers = *this;
    actions.pasteItem = [transfers](const ClipboardItem& item) {
        if (transfers.beginPaste())
            transfers.pasteService->pasteItem(item);
    };
    if constexpr (requires { actions.pasteItems; }) {
        actions.pasteItems = [transfers](const QList<ClipboardItem>& items) {
            if (transfers.beginPaste())
                transfers.pasteService->pasteItems(items);
        };
    }
    // Pasted text is a new plain-text clip, never added to the history.
    actions.pasteText = [transfers](const QString& text) {
        if (transfers.beginPaste())
            transfers.pasteService->pasteText(text);
    };
    actions.copyItem = [transfers](const ClipboardItem& item) {
        if (transfers.beginCopy())
            transfers.pasteService->copyItem(item);
    };
    actions.copyText = [transfers](const QString& text) {
        if (transfers.beginCopy())
            transfers.pasteService->copyText(text);
    };
    if (AIService* ai = aiService) {
        actions.runAIAction = [ai](const AIAction& action, const QString& text, QObject* receiver,
                                   std::function<void(AIResult)> done) { ai->run(action, text, receiver, std::move(done)); };
    }
}

} // namespace tolvi
