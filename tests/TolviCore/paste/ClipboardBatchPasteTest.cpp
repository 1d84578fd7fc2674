#include "TolviCore/paste/ClipboardBatchPaste.h"

#include <QUuid>

#include <gtest/gtest.h>

using namespace tolvi;

namespace {

ClipboardItem textClip(const QString& text)
{
    return ClipboardItem(QUuid::createUuid(), text, 0.0);
}

ClipboardItem imageClip(QByteArray bytes, std::optional<qint64> width = 1440, std::optional<qint64> height = 900)
{
    return ClipboardItem(QUuid::createUuid(),
                         ClipboardContent::image(ClipboardImage(std::move(bytes), QStringLiteral("public.png"), width, height)),
                         0.0);
}

} // namespace

TEST(ClipboardBatchPaste, PlainTextsAreJoinedWithOneLineFeed)
{
    EXPECT_EQ(ClipboardBatchPaste::payload({textClip("first"), textClip("second")}),
              ClipboardBatchPayload::text("first\nsecond"));
    EXPECT_EQ(ClipboardBatchPaste::payload({textClip("only")}), ClipboardBatchPayload::text("only"));
    // A trailing line break is kept, so two follow each other.
    EXPECT_EQ(ClipboardBatchPaste::payload({textClip("a\n"), textClip("b")}), ClipboardBatchPayload::text("a\n\nb"));
    EXPECT_EQ(ClipboardBatchPaste::payload({}), ClipboardBatchPayload::empty());
    EXPECT_EQ(ClipboardBatchPaste::text({}), QString());
}

TEST(ClipboardBatchPaste, ImagesAndMixedSelectionsKeepSelectionOrder)
{
    const ClipboardItem image = imageClip("png-1");
    const ClipboardItem other = imageClip("png-2");
    const ClipboardItem text = textClip("caption");

    const ClipboardBatchPayload one = ClipboardBatchPaste::payload({image});
    EXPECT_EQ(one.kind(), ClipboardBatchPayload::Kind::images);
    EXPECT_EQ(one.imageList().size(), 1);

    EXPECT_EQ(ClipboardBatchPaste::payload({other, image}),
              ClipboardBatchPayload::images({other.content().imageValue(), image.content().imageValue()}));
    EXPECT_EQ(ClipboardBatchPaste::payload({image, text}),
              ClipboardBatchPayload::mixed({image.content(), text.content()}));
    EXPECT_EQ(ClipboardBatchPaste::payload({text, image}),
              ClipboardBatchPayload::mixed({text.content(), image.content()}));
    EXPECT_NE(ClipboardBatchPaste::payload({text, image}), ClipboardBatchPaste::payload({image, text}));
}

TEST(ClipboardBatchPaste, TextSegmentsDescribeImages)
{
    EXPECT_EQ(ClipboardBatchPaste::text({textClip("see"), imageClip("png")}), QStringLiteral("see\n[Image 1440 x 900]"));
    EXPECT_EQ(ClipboardBatchPaste::textSegment(imageClip("png", std::nullopt, 900)), QStringLiteral("[Image Unknown size]"));
    EXPECT_EQ(ClipboardBatchPaste::textSegment(textClip("  spaced  ")), QStringLiteral("  spaced  "));
}
