#include "PreviewShots.h"

#include "Tolvi/gallerysupport/GalleryEvents.h"
#include "Tolvi/history/HistoryWindowState.h"
#include "Tolvi/inspector/ClipQuickLookOverlay.h"
#include "TolviCore/model/ReferenceDate.h"
#include "TolviCore/store/ClipboardStore.h"

#include <optional>

namespace tolvi {

namespace {

std::optional<ClipboardItem> find(const ClipboardStore& store, const std::function<bool(const ClipboardItem&)>& test)
{
    for (qsizetype i = 0; i < store.itemCount(); ++i) {
        if (test(store.itemAt(i)))
            return store.itemAt(i);
    }
    return std::nullopt;
}

using gallery::settle;

ClipQuickLookOverlay* openedPreview(QWidget* panel)
{
    // The card comes in with its transition.
    settle(ClipQuickLookOverlay::transitionMilliseconds + 150);
    return panel->findChild<ClipQuickLookOverlay*>();
}

} // namespace

void photographPreviews(HistoryWindowState& state, QWidget* panel,
                        const std::function<void(QWidget*, const QString&)>& save,
                        const std::function<void(const QString&)>& fail)
{
    ClipboardStore& store = state.store();
    auto photograph = [&](const std::optional<ClipboardItem>& item, const QString& name,
                          const QList<QuickLookTab>& tabs) {
        if (!item) {
            fail(QStringLiteral("the sample history has no clip for \"%1\"").arg(name));
            return;
        }
        state.openPreview(*item);
        ClipQuickLookOverlay* overlay = openedPreview(panel);
        if (!overlay) {
            fail(QStringLiteral("the preview of \"%1\" did not open").arg(name));
            return;
        }
        for (QuickLookTab tab : tabs) {
            overlay->setSelectedTab(tab);
            if (overlay->selectedTab() != tab)
                fail(QStringLiteral("the preview of \"%1\" has no %2 tab").arg(name, ClipQuickLook::tabTitle(tab)));
            QString shot = QStringLiteral("preview-") + name;
            if (tab != QuickLookTab::preview)
                shot += QLatin1Char('-') + ClipQuickLook::tabTitle(tab).toLower();
            save(panel, shot);
        }
        state.setPreviewedItem(std::nullopt);
        settle(ClipQuickLookOverlay::transitionMilliseconds + 100);
    };

    photograph(find(store,
                    [](const ClipboardItem& item) {
                        return item.content().isText() && item.content().textValue().startsWith(u"Hi team");
                    }),
               QStringLiteral("text"), {QuickLookTab::preview, QuickLookTab::details});
    photograph(find(store,
                    [](const ClipboardItem& item) {
                        return item.content().isText() && item.content().textValue().contains(u"/pull/482");
                    }),
               QStringLiteral("link"), {QuickLookTab::preview, QuickLookTab::details});
    photograph(find(store,
                    [](const ClipboardItem& item) {
                        const ClipboardImage* image = item.content().imageIf();
                        return image && image->recognizedText() && image->recognizedText()->startsWith(u"Quarterly");
                    }),
               QStringLiteral("image"), {QuickLookTab::preview, QuickLookTab::ocr, QuickLookTab::details});

    // A file name with a right-to-left override: the override shows as a mark, not in effect.
    const QString spoofed = QStringLiteral("Attachment: invoice_") + QChar(0x202E) + QStringLiteral("fdp.exe");
    const double spoofedAt = ReferenceDate::now() - 25 * 60;
    if (store.record(spoofed, spoofedAt)) {
        const std::optional<ClipboardItem> clip =
            find(store, [spoofedAt](const ClipboardItem& item) { return item.createdAt() == spoofedAt; });
        photograph(clip, QStringLiteral("bidi-controls"), {QuickLookTab::preview});
        if (clip)
            store.remove(*clip);
    } else {
        fail(QStringLiteral("the store refused the bidirectional-controls sample"));
    }

    // A photo from a phone: kept, but this platform cannot decode HEIC.
    QByteArray heic("\0\0\0\x18" "ftypheic\0\0\0\0mif1heic", 24);
    heic.append(QByteArray(4096, '\x5a'));
    const double createdAt = ReferenceDate::now() - 20 * 60;
    if (!store.record(ClipboardContent::image(ClipboardImage(heic, QStringLiteral("public.heic"), 4032, 3024)),
                      createdAt, ClipboardSourceApp(QStringLiteral("Files"), QStringLiteral("org.gnome.Nautilus")))) {
        fail(QStringLiteral("the store refused the HEIC sample"));
        return;
    }
    const std::optional<ClipboardItem> phonePhoto =
        find(store, [createdAt](const ClipboardItem& item) { return item.createdAt() == createdAt; });
    photograph(phonePhoto, QStringLiteral("unavailable"), {QuickLookTab::preview});
    if (phonePhoto)
        store.remove(*phonePhoto);
}

} // namespace tolvi
