#include "Tolvi/compact/CompactQuickLook.h"

#include "Tolvi/design/Surfaces.h"
#include "Tolvi/inspector/ClipQuickLookOverlay.h"

#include <QPointer>

namespace tolvi {

CompactClipboardPanel::PreviewFactory compactQuickLookFactory(ThumbnailCache* thumbnails,
                                                              std::function<bool(const QUrl&)> openUrl)
{
    return [thumbnails, openUrl](const ClipboardItem& item, std::function<void()> close, QWidget* parent) -> QWidget* {
        auto* panel = qobject_cast<CompactClipboardPanel*>(parent);
        if (!panel)
            return nullptr;
        const CompactPanelActions& panelActions = panel->state().actions();
        ClipQuickLookOverlay::Actions actions;
        actions.pasteItem = panelActions.pasteItem;
        actions.copyItem = panelActions.copyItem;
        actions.copyText = panelActions.copyText;
        actions.close = std::move(close);
        actions.openUrl = openUrl;
        ClipQuickLookOverlay::Environment environment;
        environment.store = &panel->state().store();
        environment.thumbnails = thumbnails;
        QPointer<CompactClipboardPanel> weakPanel(panel);
        environment.now = [weakPanel] { return weakPanel ? weakPanel->state().now() : 0.0; };
        auto* overlay = new ClipQuickLookOverlay(item, std::move(actions), std::move(environment), panel);
        // The panel fills its rounded window.
        overlay->setHostCornerRadius(TolviConsoleBackdrop::compactRadius);
        overlay->present();
        return overlay;
    };
}

} // namespace tolvi
