#include "Tolvi/history/gallery/InspectorShots.h"

#include "Tolvi/gallerysupport/GalleryEvents.h"
#include "Tolvi/history/ClipboardHistoryPanel.h"
#include "Tolvi/history/ClipboardPanelController.h"
#include "Tolvi/history/HistoryWindowState.h"
#include "Tolvi/inspector/ClipLensView.h"
#include "Tolvi/inspector/InspectorControls.h"
#include "TolviCore/store/ClipboardStore.h"

#include <QMenu>

namespace tolvi {

namespace {

using gallery::resizeAndWait;
using gallery::waitFor;

using Match = std::function<bool(const ClipboardItem&)>;

std::optional<ClipboardItem> findClip(const ClipboardStore& store, const Match& match)
{
    for (const ClipboardItem& item : store.items()) {
        if (match(item))
            return item;
    }
    return std::nullopt;
}

Match textStarting(const QString& start)
{
    return [start](const ClipboardItem& item) {
        const QString* text = item.content().textIf();
        return text && !item.originalPayload() && text->startsWith(start);
    };
}

Match imageOf(qint64 width, qint64 height)
{
    return [width, height](const ClipboardItem& item) {
        const ClipboardImage* image = item.content().imageIf();
        return image && image->pixelWidth() == width && image->pixelHeight() == height;
    };
}

Match filesCount(qsizetype count)
{
    return [count](const ClipboardItem& item) {
        return item.originalPayload() && item.originalPayload()->fileURLs().size() == count;
    };
}

} // namespace

void photographInspector(HistoryWindowState& state, QWidget* window, const InspectorShotTaker& taker)
{
    const QSize before = window->size();
    const std::optional<QUuid> selected = state.selectedItemID();
    // Tall enough for most of the inspector's column.
    if (!resizeAndWait(window, {900, 900})) {
        taker.fail(QStringLiteral("the window did not take the inspector's size"));
        return;
    }
    state.setQuery(QString());
    state.clearSearchFilters();
    const ClipboardStore& store = state.store();
    const struct {
        QString name;
        Match match;
    } shots[] = {
        {QStringLiteral("text"), textStarting(QStringLiteral("Hi team"))},
        {QStringLiteral("text-long"), textStarting(QStringLiteral("The quick brown fox"))},
        {QStringLiteral("link"), textStarting(QStringLiteral("https://maps.example.com"))},
        {QStringLiteral("json"), textStarting(QStringLiteral("{\n  \"name\""))},
        {QStringLiteral("code"), textStarting(QStringLiteral("for (const"))},
        {QStringLiteral("image-text"), imageOf(1440, 900)},
        {QStringLiteral("image"), imageOf(320, 120)},
        {QStringLiteral("ocr-processing"), imageOf(1024, 640)},
        {QStringLiteral("ocr-failed"), imageOf(900, 1200)},
        {QStringLiteral("ocr-no-text"), imageOf(1200, 800)},
        {QStringLiteral("file"), filesCount(1)},
        {QStringLiteral("files"), filesCount(5)},
    };
    auto* panel = window->findChild<ClipboardHistoryPanel*>();
    ClipLensView* lens = panel ? panel->inspectorPlace()->findChild<ClipLensView*>() : nullptr;
    if (!lens) {
        taker.fail(QStringLiteral("the history window has no inspector"));
        return;
    }
    for (const auto& shot : shots) {
        const std::optional<ClipboardItem> clip = findClip(store, shot.match);
        if (!clip) {
            taker.fail(QStringLiteral("the sample history has no clip for the inspector's \"%1\"").arg(shot.name));
            continue;
        }
        state.selectItem(clip->id());
        if (!lens->input() || lens->input()->item.id() != clip->id()) {
            taker.fail(QStringLiteral("the inspector did not follow the selection to \"%1\"").arg(shot.name));
            continue;
        }
        taker.saveWindow(QStringLiteral("inspector-") + shot.name);
    }

    // The JSON clip chosen for multi-paste, with its Board menu open.
    if (const std::optional<ClipboardItem> json = findClip(store, textStarting(QStringLiteral("{\n  \"name\"")))) {
        state.selectItem(json->id());
        state.toggleQueue(json->id());
        QMenu* menu = lens->boardMenu();
        menu->popup(lens->boardButton()->mapToGlobal(lens->boardButton()->bodyRect().bottomLeft()));
        if (waitFor([menu] { return menu->isVisible(); }, 3000))
            taker.saveWithPopup(menu, QStringLiteral("inspector-board-menu"));
        else
            taker.fail(QStringLiteral("the inspector's Board menu did not open"));
        menu->close();
        state.toggleQueue(json->id());
    }

    // The smallest window that still shows the inspector beside the list.
    if (const std::optional<ClipboardItem> email = findClip(store, textStarting(QStringLiteral("Hi team")))) {
        state.selectItem(email->id());
        if (resizeAndWait(window, {ClipboardHistoryPanel::wideLayoutWidth + 2 * 6, ClipboardPanelController::minimumSize.height()}))
            taker.saveWindow(QStringLiteral("inspector-smallest"));
        else
            taker.fail(QStringLiteral("the window did not take the smallest wide size"));
    }

    state.setSelectedItemID(selected);
    if (!resizeAndWait(window, before))
        taker.fail(QStringLiteral("the window did not take its size again after the inspector"));
}

} // namespace tolvi
