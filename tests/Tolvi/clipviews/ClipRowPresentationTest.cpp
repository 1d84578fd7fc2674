#include "Tolvi/clipviews/ClipRowPresentation.h"

#include "TolviCore/search/ClipboardFormatter.h"

#include <QStringList>
#include <QUuid>

#include <gtest/gtest.h>

namespace tolvi {
namespace {

using TolviDesign::ColorToken;
using OCRStatus = ClipboardStore::OCRStatus;

constexpr double now = 750'000'000;
constexpr double fiveMinutesAgo = now - 300;

ClipboardOriginalPayload filePayload(const QStringList& urls)
{
    auto payload = ClipboardOriginalPayload::create(std::nullopt, std::nullopt, urls);
    EXPECT_TRUE(payload.has_value());
    return *payload;
}

QStringList fileURLs(int count)
{
    QStringList urls;
    for (int i = 0; i < count; ++i)
        urls.append(QStringLiteral("file:///Users/me/%1.txt").arg(QChar(u'a' + i)));
    return urls;
}

ClipboardItem fileItem(const QStringList& urls)
{
    return ClipboardItem(QUuid::createUuid(), QStringLiteral("ignored text"), fiveMinutesAgo, false, {}, std::nullopt,
                         filePayload(urls));
}

ClipboardItem imageItem(std::optional<QString> recognizedText, std::optional<qint64> width = 1200,
                        std::optional<qint64> height = 800)
{
    ClipboardImage image(QByteArray("not really a png"), QStringLiteral("public.png"), width, height,
                         std::move(recognizedText));
    return ClipboardItem(QUuid::createUuid(), ClipboardContent::image(std::move(image)), fiveMinutesAgo);
}

TEST(ClipRowPresentationTest, FileReferencesNameUpToThreeFilesAndCountTheRest)
{
    const ClipRowPresentation one = ClipRowPresentation::make(fileItem({QStringLiteral("file:///a/My%20File.txt")}), now);
    EXPECT_EQ(one.title, QStringLiteral("My File.txt"));
    EXPECT_EQ(one.contentKind, QStringLiteral("File reference"));
    EXPECT_EQ(one.contentSystemImage, QStringLiteral("doc"));
    EXPECT_EQ(one.contentTint, ColorToken::electricBlue);
    EXPECT_FALSE(one.ocrPreview.has_value());

    const ClipRowPresentation three = ClipRowPresentation::make(fileItem(fileURLs(3)), now);
    EXPECT_EQ(three.title, QStringLiteral("a.txt, b.txt, c.txt"));
    EXPECT_EQ(three.contentKind, QStringLiteral("3 file references"));
    EXPECT_EQ(three.contentSystemImage, QStringLiteral("doc.on.doc"));

    EXPECT_EQ(ClipRowPresentation::make(fileItem(fileURLs(4)), now).title, QStringLiteral("a.txt, b.txt, c.txt +1 more"));
    EXPECT_EQ(ClipRowPresentation::make(fileItem(fileURLs(5)), now).title, QStringLiteral("a.txt, b.txt, c.txt +2 more"));
}

TEST(ClipRowPresentationTest, FileDisplayNameIsNeverEmpty)
{
    EXPECT_EQ(ClipRowText::displayName(QStringLiteral("file:///Users/me/Folder/")), QStringLiteral("Folder"));
    EXPECT_EQ(ClipRowText::displayName(QStringLiteral("file:///")), QStringLiteral("/"));
    // No path component at all: the whole reference stands in.
    EXPECT_EQ(ClipRowText::displayName(QStringLiteral("file://server")), QStringLiteral("file://server"));
}

TEST(ClipRowPresentationTest, FileReferencesWinOverContentAndDropTheSizePartOfTheMetadata)
{
    ClipboardItem item(QUuid::createUuid(), QStringLiteral("some text"), fiveMinutesAgo, true, {},
                       ClipboardSourceApp(QStringLiteral("Finder")), filePayload(fileURLs(1)));
    const ClipRowPresentation p = ClipRowPresentation::make(item, now);
    EXPECT_EQ(p.title, QStringLiteral("a.txt"));
    EXPECT_EQ(p.metadata, QStringLiteral("Pinned - 5 min ago - Finder"));

    const ClipboardItem plain(QUuid::createUuid(), QStringLiteral("some text"), fiveMinutesAgo, false, {},
                              std::nullopt, filePayload(fileURLs(1)));
    EXPECT_EQ(ClipRowPresentation::make(plain, now).metadata, QStringLiteral("5 min ago"));

    // An image clip carrying files is shown as the files too: no recognition preview, no amber.
    ClipboardItem image = imageItem(QStringLiteral("recognised"));
    image.setOriginalPayload(filePayload(fileURLs(2)));
    const ClipRowPresentation asFiles = ClipRowPresentation::make(image, now);
    EXPECT_EQ(asFiles.contentKind, QStringLiteral("2 file references"));
    EXPECT_EQ(asFiles.contentTint, ColorToken::electricBlue);
    EXPECT_FALSE(asFiles.ocrPreview.has_value());
}

TEST(ClipRowPresentationTest, ImageTintAndPreviewUseTheUntrimmedRecognisedText)
{
    const ClipRowPresentation blanks = ClipRowPresentation::make(imageItem(QStringLiteral("   ")), now);
    EXPECT_EQ(blanks.contentTint, ColorToken::amber);
    ASSERT_TRUE(blanks.ocrPreview.has_value());
    EXPECT_EQ(*blanks.ocrPreview, QString());

    const ClipRowPresentation empty = ClipRowPresentation::make(imageItem(QString()), now);
    EXPECT_EQ(empty.contentTint, ColorToken::electricBlue);
    EXPECT_FALSE(empty.ocrPreview.has_value());

    const ClipRowPresentation none = ClipRowPresentation::make(imageItem(std::nullopt), now);
    EXPECT_EQ(none.contentTint, ColorToken::electricBlue);
    EXPECT_FALSE(none.ocrPreview.has_value());

    const ClipRowPresentation text =
        ClipRowPresentation::make(imageItem(QStringLiteral("Invoice\n\tTotal  42") + QString(100, u'x')), now);
    ASSERT_TRUE(text.ocrPreview.has_value());
    EXPECT_TRUE(text.ocrPreview->startsWith(QStringLiteral("Invoice Total 42x")));
    // 79 characters and "...".
    EXPECT_EQ(text.ocrPreview->size(), 82);
    EXPECT_TRUE(text.ocrPreview->endsWith(QStringLiteral("...")));

    EXPECT_EQ(text.title, QStringLiteral("Image 1200 x 800"));
    EXPECT_EQ(text.contentKind, QStringLiteral("Image"));
    EXPECT_EQ(text.contentSystemImage, QStringLiteral("photo"));
    EXPECT_EQ(ClipRowPresentation::make(imageItem(std::nullopt, std::nullopt), now).title,
              QStringLiteral("Image Unknown size"));
}

TEST(ClipRowPresentationTest, BoardCountIsSingularForOneBoard)
{
    ClipboardItem item(QUuid::createUuid(), QStringLiteral("hello"), fiveMinutesAgo, true, {QUuid::createUuid()});
    EXPECT_EQ(ClipRowPresentation::make(item, now).boardCount, QStringLiteral("1 board"));
    const QString metadata = ClipboardFormatter::metadata(item, now);
    EXPECT_EQ(ClipRowText::accessibilityValue(item, now, false, false, std::nullopt),
              metadata + QStringLiteral(", 1 board"));

    item.setPinboardIDs({QUuid::createUuid(), QUuid::createUuid(), QUuid::createUuid()});
    EXPECT_EQ(ClipRowPresentation::make(item, now).boardCount, QStringLiteral("3 boards"));
    EXPECT_EQ(ClipRowText::accessibilityValue(item, now, true, false, std::nullopt),
              metadata + QStringLiteral(", 3 boards, Selected for multi-paste"));
}

TEST(ClipRowPresentationTest, AccessibilityLabelIsOneLine)
{
    EXPECT_EQ(ClipRowText::accessibilityLabel(fileItem(fileURLs(2))), QStringLiteral("a.txt, b.txt"));
    const ClipboardItem text(QUuid::createUuid(), QStringLiteral("one\ntwo\tthree") + QString(200, u'z'), now);
    const QString label = ClipRowText::accessibilityLabel(text);
    EXPECT_TRUE(label.startsWith(QStringLiteral("one two threez")));
    EXPECT_EQ(label.size(), 122);
    EXPECT_EQ(ClipRowText::accessibilityLabel(imageItem(std::nullopt, 10, 20)), QStringLiteral("Image, 10 x 20"));
}

TEST(ClipRowPresentationTest, OcrPhraseTakesRunningRecognitionFirstThenStatusThenText)
{
    const ClipboardItem image = imageItem(QStringLiteral("Hello\nworld"));
    EXPECT_EQ(ClipRowText::ocrPhrase(image, true, OCRStatus::failed), QStringLiteral("Reading image text"));
    EXPECT_EQ(ClipRowText::ocrPhrase(image, false, OCRStatus::processing), QStringLiteral("Reading image text\u2026"));
    EXPECT_EQ(ClipRowText::ocrPhrase(image, false, OCRStatus::timedOut), QStringLiteral("Text recognition took too long"));
    EXPECT_EQ(ClipRowText::ocrPhrase(image, false, std::nullopt), QStringLiteral("Recognized text: Hello world"));
    // Blanks count as recognised text; their preview is empty.
    EXPECT_EQ(ClipRowText::ocrPhrase(imageItem(QStringLiteral("  ")), false, std::nullopt),
              QStringLiteral("Recognized text: "));
    EXPECT_FALSE(ClipRowText::ocrPhrase(imageItem(QString()), false, std::nullopt).has_value());

    // Text clips have no phrase whatever they are told.
    const ClipboardItem text(QUuid::createUuid(), QStringLiteral("hello"), fiveMinutesAgo);
    EXPECT_FALSE(ClipRowText::ocrPhrase(text, true, OCRStatus::noText).has_value());
    EXPECT_EQ(ClipRowText::accessibilityValue(text, now, false, true, OCRStatus::noText),
              ClipboardFormatter::metadata(text, now));

    // In the value the phrase comes after the board count and before the multi-paste choice.
    ClipboardItem onBoard = image;
    onBoard.setPinboardIDs({QUuid::createUuid()});
    EXPECT_EQ(ClipRowText::accessibilityValue(onBoard, now, true, false, OCRStatus::noText),
              ClipboardFormatter::metadata(onBoard, now)
                  + QStringLiteral(", 1 board, No text found in this image, Selected for multi-paste"));
}

} // namespace
} // namespace tolvi
