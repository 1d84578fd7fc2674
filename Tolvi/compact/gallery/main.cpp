// Renders the compact panel over a sample history in each of its modes and saves them in the
// light and dark themes as PNG files named compact-<state>-<light|dark>.png:
//   TolviCompactScreenshots <output folder>
#include "Tolvi/compact/CompactClipboardPanelController.h"
#include "Tolvi/compact/CompactQuickLook.h"
#include "Tolvi/design/TolviTheme.h"
#include "Tolvi/gallerysupport/GalleryCamera.h"
#include "Tolvi/gallerysupport/GalleryEvents.h"
#include "Tolvi/gallerysupport/GalleryHistory.h"
#include "Tolvi/gallerysupport/GalleryProgram.h"
#include "Tolvi/gallerysupport/GalleryServices.h"
#include "Tolvi/inspector/ClipTextEditor.h"
#include "TolviCore/model/ReferenceDate.h"
#include "TolviCore/store/ClipboardStore.h"

#include <QApplication>
#include <QBuffer>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>

#include <memory>

namespace {

using namespace tolvi;

using gallery::GalleryCamera;
using gallery::GalleryHistory;
using gallery::GalleryServices;
using gallery::settle;

QByteArray screenshot()
{
    QImage image(1200, 760, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, 1200, 760);
    gradient.setColorAt(0, QColor(0x2d, 0x6c, 0xdf));
    gradient.setColorAt(1, QColor(0x9b, 0x4d, 0xca));
    painter.fillRect(image.rect(), gradient);
    painter.fillRect(QRect(80, 80, 500, 300), QColor(255, 255, 255, 200));
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

} // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const QString program = QStringLiteral("TolviCompactScreenshots");
    const std::optional<QDir> folder = gallery::outputFolder(argc, argv, program);
    if (!folder)
        return 1;
    GalleryCamera camera(*folder, program, QStringLiteral("compact"));

    ClipboardStore::Configuration configuration = ClipboardStore::Configuration::standard();
    configuration.maxItems.reset();
    auto history = std::make_shared<GalleryHistory>();
    ClipboardStore store(history, configuration);
    const double now = ReferenceDate::now();
    store.record(ClipboardContent::image(ClipboardImage(screenshot(), QStringLiteral("public.png"), 1200, 760,
                                                        QStringLiteral("Quarterly report\nRevenue up 12%"))),
                 now - 4000, ClipboardSourceApp(QStringLiteral("Screenshot"), std::nullopt));
    store.record(QStringLiteral("{\"service\": \"deploy\", \"replicas\": 3}"), now - 3000,
                 ClipboardSourceApp(QStringLiteral("Terminal"), std::nullopt));
    store.record(QStringLiteral("https://example.com/pricing?utm_source=newsletter&ref=42"), now - 900,
                 ClipboardSourceApp(QStringLiteral("Firefox"), std::nullopt));
    store.record(QStringLiteral("Need quote for panel upgrade. Customer wants pricing by Friday.\nNeed equivalent model."),
                 now - 60, ClipboardSourceApp(QStringLiteral("Mail"), std::nullopt));
    const ClipboardItem pinned = store.itemAt(2);
    store.togglePinned(pinned);

    GalleryServices services;
    ThumbnailCache& thumbnails = services.thumbnails;
    TolviTheme theme;

    CompactClipboardPanelController::Dependencies dependencies{
        store, FeatureFlags(TolviDistributionChannel::development, true), services.usage, services.paste};
    dependencies.theme = &theme;
    dependencies.thumbnails = &thumbnails;
    dependencies.retryOCR = [](const ClipboardItem&) {};
    dependencies.pointerPosition = [] { return QPoint(400, 200); };
    dependencies.makePreview = compactQuickLookFactory(&thumbnails, [](const QUrl&) { return true; });
    dependencies.exportHistory = [](QWidget*) {};
    CompactClipboardPanelController controller(std::move(dependencies));

    auto save = [&](const QString& name) {
        settle(150);
        camera.save(controller.panel()->grab(), name);
    };

    for (const gallery::GalleryTheme& entry : gallery::galleryThemes) {
        theme.setAppearance(entry.appearance);
        camera.setTheme(QString::fromLatin1(entry.name));
        controller.show();
        CompactPanelState& state = *controller.panelState();
        state.showAllClips();
        state.showResults();
        state.setSelectedItemID(store.itemAt(0).id());
        save(QStringLiteral("results"));
        state.openActions();
        save(QStringLiteral("actions-text"));
        state.showResults();
        state.setSelectedItemID(store.itemAt(3).id());
        state.openActions();
        state.moveActionSelection(1);
        save(QStringLiteral("actions-image"));
        // Back to the results, as the screen shows the panel (no row of the actions left behind).
        state.showResults();
        settle(300);
        camera.saveScreenArea(controller.panel(), nullptr, QStringLiteral("results-after-back"));
        state.showResults();
        state.setSelectedItemID(store.itemAt(0).id());
        state.openEditor();
        controller.view()->editor()->appendPlainText(QStringLiteral("Thanks!"));
        save(QStringLiteral("editor"));
        state.discardChanges();
        // A text the history file holds beyond what is edited in place.
        state.restoreDraft(std::nullopt, QString(CompactPanelState::maximumEditableLength + 1, QLatin1Char('x')),
                           QString(CompactPanelState::maximumEditableLength + 1, QLatin1Char('x')));
        save(QStringLiteral("editor-long-text"));
        state.discardChanges();
        // A failed write: the storage notice offers its ways out.
        history->setFailingWrites(true);
        store.togglePinned(*store.item(pinned.id()));
        store.togglePinned(*store.item(pinned.id()));
        state.showResults();
        save(QStringLiteral("results-save-failed"));
        history->setFailingWrites(false);
        store.retryStorage();
        state.showResults();
        state.setQuery(QStringLiteral("nothing matches this"));
        save(QStringLiteral("no-matches"));
        state.showAllClips();
        // The preview comes in with its transition and decodes its picture.
        state.openPreview(store.itemAt(3));
        settle(300);
        for (int wait = 0; wait < 100 && thumbnails.pendingCount() > 0; ++wait)
            settle(50);
        save(QStringLiteral("preview-image"));
        state.closePreview();
        settle(300);
        controller.orderOut();
    }
    return camera.failed() ? 1 : 0;
}
