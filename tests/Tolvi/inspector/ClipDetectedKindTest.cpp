#include "Tolvi/inspector/ClipDetectedKind.h"

#include <QStringList>
#include <QUuid>

#include <gtest/gtest.h>

namespace tolvi {
namespace {

using Kind = ClipDetectedKind::Kind;
using TolviDesign::ColorToken;

Kind textKind(const QString& text)
{
    return ClipDetectedKind(ClipboardContent::text(text)).kind();
}

ClipDetectedKind imageKind(std::optional<QString> recognizedText)
{
    return ClipDetectedKind(ClipboardContent::image(
        ClipboardImage(QByteArray("bytes"), QStringLiteral("public.png"), 10, 10, std::move(recognizedText))));
}

TEST(ClipDetectedKindTest, TextsAreClassifiedByJsonThenLinkThenCodeMarkers)
{
    struct Case {
        const char* text;
        Kind expected;
    };
    const Case cases[] = {
        {"", Kind::text},
        {"Just a sentence.", Kind::text},
        {"{\"name\": \"Tolvi\", \"count\": 2}", Kind::json},
        {"  [1, 2, 3]\n", Kind::json},
        // JSON scalars get no pretty-printing, so they fall through to the markers.
        {"42", Kind::text},
        {"\"quoted\"", Kind::text},
        {"https://example.com/path?q=1", Kind::link},
        {"  https://example.com  ", Kind::link},
        {"not a link: https://example.com", Kind::text},
        {"```\nsome block\n```", Kind::code},
        {"func greet() -> String", Kind::code},
        {"const answer = 42", Kind::code},
        {"items.map(x => x * 2)", Kind::code},
        {"if (x) { unbalanced", Kind::code},
        // Trimming removes the blank that the marker needs.
        {"Let it be, and let ", Kind::text},
        {"Func Let Const are capitalised", Kind::text},
        {"letter", Kind::text},
    };
    for (const Case& c : cases)
        EXPECT_EQ(textKind(QString::fromUtf8(c.text)), c.expected) << c.text;
}

TEST(ClipDetectedKindTest, ImagesWithAnyRecognisedTextAreSearchableScreenshots)
{
    EXPECT_EQ(imageKind(std::nullopt).kind(), Kind::image);
    const ClipDetectedKind empty = imageKind(QString());
    EXPECT_EQ(empty.kind(), Kind::image);
    EXPECT_EQ(empty.title(), QStringLiteral("Image Clip"));
    EXPECT_EQ(empty.badge(), QStringLiteral("Image"));

    const ClipDetectedKind blank = imageKind(QStringLiteral(" "));
    EXPECT_EQ(blank.kind(), Kind::searchableScreenshot);
    EXPECT_EQ(blank.title(), QStringLiteral("Searchable Screenshot"));
    EXPECT_EQ(blank.badge(), QStringLiteral("OCR"));
    EXPECT_EQ(blank.tint(), ColorToken::mint);
}

TEST(ClipDetectedKindTest, FileReferencesWinOverContentAndNameTheirCount)
{
    auto withFiles = [](ClipboardContent content, int count) {
        QStringList urls;
        for (int i = 0; i < count; ++i)
            urls.append(QStringLiteral("file:///tmp/f%1").arg(i));
        return ClipboardItem(QUuid::createUuid(), std::move(content), 0, false, {}, std::nullopt,
                             ClipboardOriginalPayload::create(std::nullopt, std::nullopt, urls));
    };

    const ClipDetectedKind one = ClipDetectedKind::of(withFiles(ClipboardContent::text(QStringLiteral("{\"a\":1}")), 1));
    EXPECT_EQ(one, ClipDetectedKind::fileReferences(1));
    EXPECT_EQ(one.title(), QStringLiteral("File Reference"));
    EXPECT_EQ(one.badge(), QStringLiteral("File"));
    EXPECT_EQ(one.systemImage(), QStringLiteral("doc"));

    const ClipDetectedKind three = ClipDetectedKind::of(
        withFiles(ClipboardContent::image(ClipboardImage(QByteArray("x"), QStringLiteral("public.png"))), 3));
    EXPECT_EQ(three.kind(), Kind::fileReferences);
    EXPECT_EQ(three.title(), QStringLiteral("File References"));
    EXPECT_EQ(three.badge(), QStringLiteral("3 Files"));
    EXPECT_EQ(three.systemImage(), QStringLiteral("doc.on.doc"));
    EXPECT_EQ(three.tint(), ColorToken::electricBlue);

    // Without files (or with an RTF-only payload) the content decides.
    const ClipboardItem plain(QUuid::createUuid(), QStringLiteral("const x = 1"), 0, false, {}, std::nullopt,
                              ClipboardOriginalPayload::create(QByteArray("{\\rtf1}"), std::nullopt, {}));
    EXPECT_EQ(ClipDetectedKind::of(plain).kind(), Kind::code);
}

} // namespace
} // namespace tolvi
