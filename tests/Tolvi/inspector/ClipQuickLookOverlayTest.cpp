// The full-size preview offscreen: on its own over a host, in the history window and in the
// compact panel.
#include "Tolvi/inspector/ClipQuickLookOverlay.h"
#include "Tolvi/inspector/ShownText.h"

#include "tests/Tolvi/history/HistoryTestSupport.h"

#include "Tolvi/compact/CompactClipboardPanelController.h"
#include "Tolvi/compact/CompactQuickLook.h"
#include "Tolvi/design/TolviTheme.h"
#include "Tolvi/history/ClipboardHistoryPanel.h"
#include "Tolvi/history/ClipboardPanelController.h"
#include "Tolvi/history/HistoryWindowState.h"
#include "Tolvi/clipviews/ThumbnailCache.h"
#include "Tolvi/platform/shell/Clock.h"
#include "Tolvi/platform/shell/DesktopWorkspace.h"
#include "Tolvi/panels/PanelCommandBus.h"

#include <QAbstractButton>
#include <QApplication>
#include <QListView>
#include <QPlainTextEdit>
#include <QTest>
#include <QThreadPool>

#include <gtest/gtest.h>

namespace tolvi {
namespace {

using namespace tolvi::test;
using Control = ClipQuickLookOverlay::Control;
using Tab = QuickLookTab;

constexpr double now = 800'000'000.0;

ClipboardImage image(const QByteArray& data, std::optional<QString> recognizedText = std::nullopt)
{
    return ClipboardImage(data, QStringLiteral("public.png"), 64, 48, std::move(recognizedText));
}

// What the overlay asked of its host.
struct HostActions {
    QList<ClipboardItem> pasted;
    QList<ClipboardItem> copied;
    QStringList copiedTexts;
    int closes = 0;
    FakeDesktopWorkspace desktop;

    ClipQuickLookOverlay::Actions make()
    {
        ClipQuickLookOverlay::Actions actions;
        actions.pasteItem = [this](const ClipboardItem& item) { pasted.append(item); };
        actions.copyItem = [this](const ClipboardItem& item) { copied.append(item); };
        actions.copyText = [this](const QString& text) { copiedTexts.append(text); };
        actions.close = [this] { ++closes; };
        actions.openUrl = [this](const QUrl& url) { return desktop.openUrl(url); };
        return actions;
    }
};

class QuickLookOverlayTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        theme.accessibility().setReduceMotion(true);
        TolviWindowAppearance::attach(&host, &theme);
        host.resize(860, 640);
        host.show();
        store = makeMemoryStore();
    }

    ClipQuickLookOverlay* open(const ClipboardItem& item)
    {
        ClipQuickLookOverlay::Environment environment;
        environment.store = store.get();
        environment.thumbnails = &thumbnails;
        environment.now = [] { return now; };
        auto* overlay = new ClipQuickLookOverlay(item, actions.make(), std::move(environment), &host);
        overlay->present();
        return overlay;
    }

    ClipboardItem recorded(const ClipboardContent& content)
    {
        EXPECT_TRUE(store->record(content, now - 30));
        return store->itemAt(0);
    }

    static void click(QAbstractButton* button)
    {
        ASSERT_NE(button, nullptr);
        ASSERT_TRUE(button->isVisible());
        QTest::mouseClick(button, Qt::LeftButton);
    }

    TolviTheme theme;
    QWidget host;
    std::unique_ptr<ClipboardStore> store;
    ThumbnailCache thumbnails;
    HostActions actions;
};

TEST_F(QuickLookOverlayTest, TheOCRTabFollowsTheRecognisedTextOfTheClip)
{
    const ClipboardItem clip = recorded(ClipboardContent::image(image(pngBytes(64, 48))));
    ClipQuickLookOverlay* overlay = open(clip);
    EXPECT_EQ(overlay->availableTabs(), (QList<Tab>{Tab::preview, Tab::details}));
    EXPECT_FALSE(overlay->tabButton(Tab::ocr)->isVisible());
    EXPECT_FALSE(overlay->offers(Control::copyOCRText));
    overlay->setSelectedTab(Tab::ocr);
    EXPECT_EQ(overlay->selectedTab(), Tab::preview);

    // Text recognised while the preview is open shows at once.
    store->updateRecognizedText(QStringLiteral("  Total 6.00  "), clip.content().imageValue().fingerprint(), clip.id());
    EXPECT_EQ(overlay->availableTabs(), (QList<Tab>{Tab::preview, Tab::ocr, Tab::details}));
    EXPECT_TRUE(overlay->tabButton(Tab::ocr)->isVisible());
    EXPECT_TRUE(overlay->offers(Control::copyOCRText));
    click(overlay->tabButton(Tab::ocr));
    EXPECT_EQ(overlay->selectedTab(), Tab::ocr);
    EXPECT_EQ(overlay->ocrTextView()->toPlainText(), QStringLiteral("Total 6.00"));
    click(overlay->button(Control::copyExtractedText));
    click(overlay->button(Control::copyOCRText));
    EXPECT_EQ(actions.copiedTexts, (QStringList{"Total 6.00", "Total 6.00"}));

    // The text goes again (the host builds the preview with the clip as it is): back to Preview.
    ClipboardItem withoutText = *store->item(clip.id());
    withoutText.content().imageValue().setRecognizedText(std::nullopt);
    overlay->setItem(withoutText);
    EXPECT_EQ(overlay->selectedTab(), Tab::preview);
    EXPECT_FALSE(overlay->tabButton(Tab::ocr)->isVisible());
    EXPECT_FALSE(overlay->offers(Control::copyOCRText));
    EXPECT_EQ(actions.closes, 0);
}

TEST_F(QuickLookOverlayTest, ActionsReachTheHostAndLeaveThePreviewOpen)
{
    const ClipboardItem clip = recorded(ClipboardContent::text(QStringLiteral("  HTTPS://Example.com/pull/482\n")));
    ClipQuickLookOverlay* overlay = open(clip);
    ASSERT_TRUE(overlay->offers(Control::openLink));
    ASSERT_TRUE(overlay->offers(Control::openFromLinkCard));
    click(overlay->button(Control::copy));
    click(overlay->button(Control::paste));
    click(overlay->button(Control::openLink));
    click(overlay->button(Control::openFromLinkCard));
    ASSERT_EQ(actions.copied.size(), 1);
    EXPECT_EQ(actions.copied.first().id(), clip.id());
    ASSERT_EQ(actions.pasted.size(), 1);
    EXPECT_EQ(actions.pasted.first().id(), clip.id());
    ASSERT_EQ(actions.desktop.openedUrls.size(), 2);
    EXPECT_EQ(actions.desktop.openedUrls.first().host(), QStringLiteral("example.com"));
    EXPECT_EQ(actions.desktop.openedUrls.first().path(), QStringLiteral("/pull/482"));
    EXPECT_EQ(actions.closes, 0);
    EXPECT_TRUE(overlay->isVisible());

    // Details list the link's host as written.
    bool hasHost = false;
    for (const auto& row : overlay->shownDetailRows())
        hasHost |= row.title == QStringLiteral("Link Host") && row.value == QStringLiteral("Example.com");
    EXPECT_TRUE(hasHost);

    // Plain words offer no link.
    overlay->setItem(ClipboardItem(clip.id(), QStringLiteral("mailto:ada@example.org"), now));
    EXPECT_FALSE(overlay->offers(Control::openLink));
    EXPECT_FALSE(overlay->offers(Control::openFromLinkCard));
}

TEST_F(QuickLookOverlayTest, TheBackdropAndCloseAskTheHostOnceAndTheCardDoesNot)
{
    ClipQuickLookOverlay* overlay = open(recorded(ClipboardContent::text(QStringLiteral("some words"))));
    QTest::mouseClick(overlay->card(), Qt::LeftButton, {}, QPoint(30, 200));
    EXPECT_EQ(actions.closes, 0);
    QTest::mouseClick(overlay, Qt::LeftButton, {}, QPoint(8, 8));
    EXPECT_EQ(actions.closes, 1);

    ClipQuickLookOverlay* second = open(recorded(ClipboardContent::text(QStringLiteral("other words"))));
    click(second->button(Control::close));
    click(second->button(Control::close));
    EXPECT_EQ(actions.closes, 2);
}

TEST_F(QuickLookOverlayTest, TextIsShownWholeReadOnlyAndMultiLineTextMonospaced)
{
    const QString text = QStringLiteral("first line\nsecond line");
    ClipQuickLookOverlay* overlay = open(recorded(ClipboardContent::text(text)));
    QPlainTextEdit* view = overlay->textView();
    EXPECT_TRUE(view->isReadOnly());
    EXPECT_EQ(view->toPlainText(), text);
    // The view asks for the monospaced family; with the test fonts that is DejaVu Sans Mono.
    EXPECT_EQ(view->font().family(), QStringLiteral("monospace"));
    EXPECT_EQ(view->font().styleHint(), QFont::Monospace);
    EXPECT_EQ(QFontInfo(view->font()).family(), QStringLiteral("DejaVu Sans Mono"));
    EXPECT_FALSE(overlay->linkCard()->isVisible());

    overlay->setItem(recorded(ClipboardContent::text(QStringLiteral("A single sentence."))));
    EXPECT_EQ(view->toPlainText(), QStringLiteral("A single sentence."));
    EXPECT_NE(view->font().family(), QStringLiteral("monospace"));
}

TEST_F(QuickLookOverlayTest, ATextTooLongToShowWholeShowsItsBeginningWithANoteAndIsCountedOffTheMainThread)
{
    QString text;
    while (text.size() <= ShownText::limit + 10)
        text += QStringLiteral("word ");
    ClipQuickLookOverlay* overlay = open(ClipboardItem(QUuid::createUuid(), text, now));
    EXPECT_TRUE(overlay->cutNote()->isVisibleTo(overlay));
    EXPECT_EQ(overlay->textView()->storedText(), text.left(ShownText::limit));
    auto valueOf = [overlay](const QString& title) {
        for (const ClipQuickLook::DetailRow& row : overlay->shownDetailRows()) {
            if (row.title == title)
                return row.value;
        }
        return QString();
    };
    EXPECT_EQ(valueOf(QStringLiteral("Words")), QStringLiteral("Counting..."));
    EXPECT_TRUE(QTest::qWaitFor([&] { return valueOf(QStringLiteral("Words")) != QStringLiteral("Counting..."); }, 10'000));
    EXPECT_EQ(valueOf(QStringLiteral("Words")), QString::number(text.size() / 5));
    EXPECT_EQ(valueOf(QStringLiteral("Characters")), QString::number(text.size()));

    // Copy copies the whole clip; a short text has no note.
    QTest::mouseClick(overlay->button(Control::copy), Qt::LeftButton);
    ASSERT_EQ(actions.copied.size(), 1);
    EXPECT_EQ(actions.copied.first().content().textValue(), text);
    overlay->setItem(ClipboardItem(QUuid::createUuid(), QStringLiteral("short"), now));
    EXPECT_FALSE(overlay->cutNote()->isVisibleTo(overlay));
}

// A long text is looked at whole off the main thread: the card says "Detecting..." until the
// answer is there, then shows the kind and the link. An answer about a clip no longer shown is
// dropped: a long address shown for a moment leaves no link on the plain text shown after it.
TEST_F(QuickLookOverlayTest, ALongTextIsDetectedOffTheMainThreadAndAnAnswerForAnotherClipIsDropped)
{
    auto row = [](ClipQuickLookOverlay* overlay, const QString& title) {
        for (const ClipQuickLook::DetailRow& detail : overlay->shownDetailRows()) {
            if (detail.title == title)
                return detail.value;
        }
        return QString();
    };
    const QString address = QStringLiteral("https://example.com/search?q=") + QString(150'000, QLatin1Char('a'));
    ClipQuickLookOverlay* overlay = open(ClipboardItem(QUuid::createUuid(), address, now));
    EXPECT_TRUE(overlay->isDetecting());
    EXPECT_TRUE(overlay->subtitle().startsWith(QStringLiteral("Detecting...")));
    EXPECT_EQ(row(overlay, QStringLiteral("Kind")), QStringLiteral("Detecting..."));
    EXPECT_FALSE(overlay->offers(Control::openLink));
    EXPECT_FALSE(overlay->linkCard()->isVisible());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !overlay->isDetecting(); }, 10'000));
    EXPECT_TRUE(overlay->subtitle().startsWith(QStringLiteral("Link Clip")));
    EXPECT_EQ(row(overlay, QStringLiteral("Kind")), QStringLiteral("Link Clip"));
    EXPECT_EQ(row(overlay, QStringLiteral("Link Host")), QStringLiteral("example.com"));
    EXPECT_TRUE(overlay->linkCard()->isVisible());
    click(overlay->button(Control::openFromLinkCard));
    ASSERT_EQ(actions.desktop.openedUrls.size(), 1);
    EXPECT_EQ(actions.desktop.openedUrls.first().host(), QStringLiteral("example.com"));

    // A much longer address, at once replaced by plain words: its answer comes back last.
    const QString longer = QStringLiteral("https://example.org/?q=") + QString(2'000'000, QLatin1Char('b'));
    QString words;
    while (words.size() <= ShownText::countedInPlaceLimit)
        words += QStringLiteral("plain words ");
    overlay->setItem(ClipboardItem(QUuid::createUuid(), longer, now));
    overlay->setItem(ClipboardItem(QUuid::createUuid(), words, now));
    EXPECT_TRUE(overlay->isDetecting());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !overlay->isDetecting(); }, 10'000));
    ShownText::workPool().waitForDone();
    QTest::qWait(50);
    EXPECT_TRUE(overlay->subtitle().startsWith(QStringLiteral("Text Clip")));
    EXPECT_FALSE(overlay->linkCard()->isVisible());
    EXPECT_FALSE(overlay->offers(Control::openLink));
    EXPECT_EQ(row(overlay, QStringLiteral("Link Host")), QString());
}

TEST_F(QuickLookOverlayTest, PicturesAreDecodedOffTheMainThreadAndRefusedOnesShowUnavailable)
{
    ClipQuickLookOverlay* overlay = open(recorded(ClipboardContent::image(image(pngBytes(64, 48)))));
    EXPECT_TRUE(overlay->imageView()->isVisible());
    EXPECT_FALSE(overlay->textView()->isVisible());
    ASSERT_TRUE(QTest::qWaitFor([&] { return overlay->imageState() == ClipQuickLookOverlay::ImageState::ready; }, 5000));

    // A header announcing more pixels than the raster policy takes is refused unread.
    QByteArray oversized = pngBytes(8, 8);
    const char wide[4] = {0x00, 0x00, 0x61, static_cast<char>(0xa8)}; // 25,000 pixels
    oversized.replace(16, 4, QByteArray(wide, 4));
    ClipboardItem refused = recorded(ClipboardContent::image(image(oversized)));
    overlay->setItem(refused);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return overlay->imageState() == ClipQuickLookOverlay::ImageState::unavailable; }, 5000));
    bool sizeShown = false;
    for (const auto& row : overlay->shownDetailRows())
        sizeShown |= row.title == QStringLiteral("Size") && !row.value.isEmpty();
    EXPECT_TRUE(sizeShown);
}

TEST_F(QuickLookOverlayTest, AClipLeavingTheHistoryClosesThePreviewAndACopyKeepsItOpen)
{
    ASSERT_TRUE(store->record(QStringLiteral("kept"), now - 60));
    const ClipboardItem clip = recorded(ClipboardContent::text(QStringLiteral("copied again")));
    ClipQuickLookOverlay* overlay = open(clip);

    // Copying a clip records it anew under another id: the preview follows it.
    ASSERT_TRUE(store->record(QStringLiteral("copied again"), now));
    EXPECT_EQ(actions.closes, 0);
    EXPECT_NE(overlay->item().id(), clip.id());
    EXPECT_EQ(overlay->item().createdAt(), now);

    store->remove(overlay->item());
    EXPECT_EQ(actions.closes, 1);
    store->clear();
    EXPECT_EQ(actions.closes, 1);
}

// ---- In the history window ----------------------------------------------------------------

class HistoryPreviewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        theme.accessibility().setReduceMotion(true);
        store = makeMemoryStore();
        ASSERT_TRUE(store->record(QStringLiteral("older text"), now - 20));
        ASSERT_TRUE(store->record(ClipboardContent::image(image(pngBytes(64, 48))), now - 10));
        ClipboardPanelController::Dependencies dependencies{
            *store, FeatureFlags(TolviDistributionChannel::direct, false), usage, paste.service, nullptr, nullptr,
            {}, {}, &theme, &settings, &thumbnails, QStringLiteral("tolvi"), {}, [] { return now; }};
        dependencies.openUrl = [this](const QUrl& url) { return desktop.openUrl(url); };
        controller = std::make_unique<ClipboardPanelController>(std::move(dependencies));
        controller->show(false);
        ASSERT_TRUE(QTest::qWaitForWindowActive(controller->panel()));
    }

    HistoryWindowState& state() const { return *controller->windowState(); }
    ClipboardHistoryPanel& view() const { return *controller->view(); }

    TolviTheme theme;
    std::unique_ptr<ClipboardStore> store;
    InMemoryKeyValueSettings settings;
    FakeClock clock;
    UsageMetricsStore usage{settings, clock};
    RecordingPaste paste;
    ThumbnailCache thumbnails;
    FakeDesktopWorkspace desktop;
    std::unique_ptr<ClipboardPanelController> controller;
};

TEST_F(HistoryPreviewTest, SpaceOpensThePreviewItFollowsTheStoreAndEscapeCloses)
{
    ASSERT_FALSE(view().previewOverlay());
    view().list()->setFocus();
    QTest::keyClick(view().list(), Qt::Key_Space);
    ClipQuickLookOverlay* overlay = view().previewOverlay();
    ASSERT_NE(overlay, nullptr);
    EXPECT_TRUE(overlay->isVisible());
    EXPECT_TRUE(state().isHistoryInteractionBlocked());
    EXPECT_FALSE(view().list()->isEnabled());
    // The keyboard is the preview's while it is open.
    EXPECT_TRUE(overlay->isAncestorOf(QApplication::focusWidget()));

    // Recognised text arrives: the OCR tab appears at once, in the state's clip too.
    const ClipboardItem clip = *state().previewedItem();
    store->updateRecognizedText(QStringLiteral("Receipt"), clip.content().imageValue().fingerprint(), clip.id());
    EXPECT_EQ(overlay->availableTabs(), (QList<Tab>{Tab::preview, Tab::ocr, Tab::details}));
    EXPECT_EQ(state().previewedItem()->content().imageValue().recognizedText(), QStringLiteral("Receipt"));

    // Copy leaves it open.
    QTest::mouseClick(overlay->button(Control::copy), Qt::LeftButton);
    EXPECT_EQ(view().previewOverlay(), overlay);

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(state().previewedItem().has_value());
    EXPECT_EQ(view().previewOverlay(), nullptr);
    EXPECT_TRUE(view().list()->isEnabled());
    EXPECT_EQ(QApplication::focusWidget(), view().list());
    EXPECT_TRUE(controller->isWindowVisible());
}

TEST_F(HistoryPreviewTest, ADeletedClipClosesItsPreviewAndCloseClearsThePreviewedClip)
{
    state().openPreview(state().filteredItems().first());
    ASSERT_NE(view().previewOverlay(), nullptr);
    store->remove(*state().previewedItem());
    EXPECT_FALSE(state().previewedItem().has_value());
    EXPECT_FALSE(state().isHistoryInteractionBlocked());
    EXPECT_EQ(view().previewOverlay(), nullptr);

    state().openPreview(state().filteredItems().first());
    ClipQuickLookOverlay* overlay = view().previewOverlay();
    ASSERT_NE(overlay, nullptr);
    QTest::mouseClick(overlay->button(Control::close), Qt::LeftButton);
    EXPECT_FALSE(state().previewedItem().has_value());
    EXPECT_EQ(view().previewOverlay(), nullptr);
}

// ---- In the compact panel -------------------------------------------------------------------

TEST(CompactPreviewTest, ThePanelShowsThePreviewWithItsOwnActions)
{
    TolviTheme theme;
    theme.accessibility().setReduceMotion(true);
    const std::unique_ptr<ClipboardStore> store = makeMemoryStore();
    ASSERT_TRUE(store->record(QStringLiteral("https://example.com/pricing"), now - 5));
    InMemoryKeyValueSettings settings;
    FakeClock clock;
    UsageMetricsStore usage{settings, clock};
    RecordingPaste paste;
    ThumbnailCache thumbnails;
    FakeDesktopWorkspace desktop;
    CompactClipboardPanelController::Dependencies dependencies{
        *store, FeatureFlags(TolviDistributionChannel::direct, false), usage, paste.service};
    dependencies.theme = &theme;
    dependencies.thumbnails = &thumbnails;
    dependencies.now = [] { return now; };
    dependencies.pointerPosition = [] { return QPoint(300, 200); };
    dependencies.makePreview =
        compactQuickLookFactory(&thumbnails, [&desktop](const QUrl& url) { return desktop.openUrl(url); });
    CompactClipboardPanelController controller(std::move(dependencies));
    controller.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(controller.panel()));

    CompactPanelState& state = *controller.panelState();
    state.openPreview(store->itemAt(0));
    auto* overlay = qobject_cast<ClipQuickLookOverlay*>(controller.view()->previewOverlay());
    ASSERT_NE(overlay, nullptr);
    EXPECT_TRUE(overlay->isVisible());
    EXPECT_EQ(controller.panel()->height(), 420);
    EXPECT_TRUE(overlay->isAncestorOf(QApplication::focusWidget()));

    QTest::mouseClick(overlay->button(Control::openLink), Qt::LeftButton);
    EXPECT_EQ(desktop.openedUrls.size(), 1);
    QTest::mouseClick(overlay->button(Control::copy), Qt::LeftButton);
    EXPECT_EQ(usage.count(UsageMetricEvent::copyPerformed), 1);
    EXPECT_TRUE(state.previewedItem().has_value());

    QTest::mouseClick(overlay->button(Control::close), Qt::LeftButton);
    EXPECT_FALSE(state.previewedItem().has_value());
    EXPECT_EQ(controller.view()->previewOverlay(), nullptr);
}

} // namespace
} // namespace tolvi
