#include "Tolvi/history/HistoryInspector.h"

#include "../history/HistoryTestSupport.h"

#include "Tolvi/design/Badges.h"
#include "Tolvi/design/TolviTheme.h"
#include "Tolvi/history/HistoryWindowState.h"
#include "Tolvi/inspector/InspectorControls.h"
#include "Tolvi/platform/shell/Clock.h"

#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace tolvi {
namespace {

using namespace tolvi::test;
using OCRStatus = ClipboardStore::OCRStatus;
constexpr double now = 800'000'000.0;

QStringList titles(const QList<TolviBadge*>& badges)
{
    QStringList result;
    for (const TolviBadge* badge : badges)
        result.append(badge->title());
    return result;
}

void click(InspectorButton* button)
{
    QTest::mouseClick(button, Qt::LeftButton, {}, button->bodyRect().center());
}

// The inspector of a history window over a real store, its actions recorded.
class HistoryInspectorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        store = makeMemoryStore();
        HistoryWindowActions actions;
        actions.copyText = [this](const QString& text) { copied.append(text); };
        actions.togglePinned = [this](const ClipboardItem& item) { store->togglePinned(item); };
        actions.retryOCR = [this](const ClipboardItem& item) { retried.append(item.id()); };
        state = std::make_unique<HistoryWindowState>(*store, nullptr, FeatureFlags(TolviDistributionChannel::direct, false),
                                                     false, actions);
        state->setClock([] { return now; });
        TolviWindowAppearance::attach(&window, &theme);
        auto* layout = new QVBoxLayout(&window);
        auto* place = new QWidget(&window);
        layout->addWidget(place);
        inspector = new HistoryInspector(*state, nullptr, place);
        window.resize(480, 760);
        window.show();
    }

    const ClipboardItem& select(const ClipboardItem& item)
    {
        state->selectItem(item.id());
        return item;
    }

    ClipboardItem record(const QString& text)
    {
        EXPECT_TRUE(store->record(text, now - double(++recorded)));
        return recordedLast();
    }

    ClipboardItem recordImage()
    {
        ClipboardImage image(pngBytes(8, 6), QStringLiteral("public.png"), 8, 6);
        EXPECT_TRUE(store->record(ClipboardContent::image(image), now - double(++recorded)));
        return recordedLast();
    }

    // Each clip is recorded a second older than the one before.
    ClipboardItem recordedLast() const
    {
        for (const ClipboardItem& item : store->items()) {
            if (item.createdAt() == now - double(recorded))
                return item;
        }
        ADD_FAILURE() << "the store did not keep the clip";
        return ClipboardItem(QString());
    }

    ClipLensView& lens() const { return *inspector->view(); }

    std::unique_ptr<ClipboardStore> store;
    std::unique_ptr<HistoryWindowState> state;
    TolviTheme theme;
    QWidget window;
    HistoryInspector* inspector = nullptr;
    QStringList copied;
    QList<QUuid> retried;
    int recorded = 0;
};

TEST_F(HistoryInspectorTest, TransformToolsCopyTheResultAndLeaveTheClipAlone)
{
    const QString text = QStringLiteral("  buy milk\n  call Ada  ");
    const ClipboardItem clip = select(record(text));
    ASSERT_EQ(lens().input()->item.id(), clip.id());
    const QList<TextTransform> transforms = ClipLensView::prioritizedTransforms(text);
    ASSERT_EQ(lens().toolButtons().size(), transforms.size());
    QStringList expected;
    for (qsizetype i = 0; i < transforms.size(); ++i) {
        click(lens().toolButtons().at(i));
        expected.append(transforms.at(i).apply(text));
    }
    EXPECT_EQ(copied, expected);
    EXPECT_EQ(store->item(clip.id())->content().textValue(), text);
    EXPECT_EQ(store->itemCount(), 1);
}

TEST_F(HistoryInspectorTest, FollowsTheClipAsTheStoreChangesIt)
{
    record(QStringLiteral("newest"));
    const ClipboardItem image = recordImage();
    select(image);
    const QString fingerprint = image.content().imageValue().fingerprint();
    EXPECT_EQ(lens().detectedKind().title(), QStringLiteral("Image Clip"));
    EXPECT_FALSE(lens().ocrCard()->isHidden());

    store->setOCRProcessing(true, fingerprint);
    EXPECT_FALSE(lens().ocrProgress()->isHidden());
    EXPECT_FALSE(lens().ocrButton()->parentWidget()->isVisibleTo(&lens()));

    // Recognised text arrives: a searchable screenshot with its text to copy, no card.
    store->setOCRProcessing(false, fingerprint);
    store->updateRecognizedText(QStringLiteral("Total 6.00"), fingerprint, image.id());
    EXPECT_EQ(lens().detectedKind().title(), QStringLiteral("Searchable Screenshot"));
    EXPECT_TRUE(lens().ocrCard()->isHidden());
    EXPECT_EQ(titles(lens().badges()), QStringList({QStringLiteral("OCR"), QStringLiteral("Searchable")}));
    ASSERT_EQ(lens().toolButtons().size(), 3);
    click(lens().toolButtons().at(2));
    EXPECT_EQ(copied, QStringList({QStringLiteral("Total 6.00")}));

    // Pinned and filed elsewhere (the list's menu, another window).
    store->togglePinned(*store->item(image.id()));
    EXPECT_EQ(lens().pinButton()->title(), QStringLiteral("Unpin"));
    store->togglePinboard(DefaultPinboards::all().at(1), *store->item(image.id()));
    EXPECT_EQ(titles(lens().badges()),
              QStringList({QStringLiteral("OCR"), QStringLiteral("Pinned"), QStringLiteral("1 board"),
                           QStringLiteral("Searchable")}));
    EXPECT_EQ(lens().input()->item.id(), image.id());
}

TEST_F(HistoryInspectorTest, ActionsGoThroughTheWindowState)
{
    const ClipboardItem clip = select(record(QStringLiteral("hello")));
    click(lens().selectButton());
    EXPECT_TRUE(state->isQueued(clip.id()));
    EXPECT_EQ(lens().selectButton()->title(), QStringLiteral("Selected"));

    // The window cannot show the quick editor yet: Edit is not offered and asks nothing.
    EXPECT_FALSE(lens().editButton()->isEnabled());
    click(lens().editButton());
    EXPECT_FALSE(state->editingItem());
    EXPECT_FALSE(state->isHistoryInteractionBlocked());
    state->setOverlayAvailability([](HistoryOverlay overlay) { return overlay == HistoryOverlay::quickEdit; });
    ASSERT_TRUE(lens().editButton()->isEnabled());
    click(lens().editButton());
    ASSERT_TRUE(state->editingItem());
    EXPECT_EQ(state->editingItem()->id(), clip.id());

    click(lens().pinButton());
    EXPECT_TRUE(store->item(clip.id())->isPinned());
    EXPECT_EQ(lens().pinButton()->title(), QStringLiteral("Unpin"));
}

TEST_F(HistoryInspectorTest, RetryIsOfferedOnlyWhereTheWindowCanAskForIt)
{
    const ClipboardItem image = select(recordImage());
    store->setOCRStatus(OCRStatus::timedOut, image.content().imageValue().fingerprint());
    EXPECT_EQ(lens().ocrButton()->title(), QStringLiteral("Retry"));
    click(lens().ocrButton());
    EXPECT_EQ(retried, QList<QUuid>({image.id()}));

    HistoryWindowState without(*store, nullptr, FeatureFlags(TolviDistributionChannel::direct, false), false, {});
    QWidget place;
    auto* other = new HistoryInspector(without, nullptr, &place);
    without.selectItem(image.id());
    EXPECT_FALSE(other->view()->ocrCard()->isHidden());
    EXPECT_FALSE(other->view()->ocrButton()->parentWidget()->isVisibleTo(other->view()));
}

} // namespace
} // namespace tolvi
