#include "Tolvi/services/capture/ClipboardOriginalPayloadReader.h"
#include "Tolvi/services/capture/ClipboardPasteboardWriter.h"

#include "Tolvi/platform/pasteboard/InMemoryPasteboard.h"
#include "Tolvi/platform/pasteboard/PasteboardTypes.h"

#include "CaptureTestSupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <QUrl>
#include <QUuid>

#include <gtest/gtest.h>

using namespace tolvi;
using namespace tolvi::test;
namespace T = tolvi::PasteboardTypes;
namespace Reader = tolvi::ClipboardOriginalPayloadReader;
namespace Writer = tolvi::ClipboardPasteboardWriter;

namespace {

PasteboardItem fileItem(const QByteArray& url)
{
    PasteboardItem item;
    item.setData(T::fileURL, url);
    return item;
}

PasteboardItem textItem(const QString& text, std::optional<QByteArray> rtf = {}, std::optional<QByteArray> html = {})
{
    PasteboardItem item;
    item.setString(T::plainText, text);
    if (rtf)
        item.setData(T::rtf, *rtf);
    if (html)
        item.setData(T::html, *html);
    return item;
}

QList<PasteboardItem> fileItems(int count)
{
    QList<PasteboardItem> items;
    for (int i = 0; i < count; ++i)
        items.append(fileItem("file:///tmp/f" + QByteArray::number(i)));
    return items;
}

} // namespace

TEST(PayloadReader, FileCopiesAreAllOrNothing)
{
    InMemoryPasteboard board;
    board.setItems(fileItems(100));
    std::optional<Reader::Result> hundred = Reader::read(board);
    ASSERT_TRUE(hundred.has_value());
    ASSERT_TRUE(hundred->payload.has_value());
    EXPECT_EQ(hundred->payload->fileURLs().size(), 100);
    EXPECT_TRUE(hundred->text.startsWith(QStringLiteral("/tmp/f0\n/tmp/f1\n")));

    board.setItems(fileItems(101));
    EXPECT_FALSE(Reader::read(board).has_value());

    // Files mixed with a text item.
    QList<PasteboardItem> mixed = fileItems(2);
    mixed.append(textItem(QStringLiteral("note")));
    board.setItems(mixed);
    EXPECT_FALSE(Reader::read(board).has_value());

    // One reference to another machine spoils the copy.
    board.setItems({fileItem("file:///tmp/a"), fileItem("file://server/share/x")});
    EXPECT_FALSE(Reader::read(board).has_value());

    // A reference without data.
    PasteboardItem broken;
    broken.setData(T::fileURL, QByteArray());
    board.setItems({fileItem("file:///tmp/a"), broken});
    EXPECT_FALSE(Reader::read(board).has_value());
}

TEST(PayloadReader, FileTextIsTheDecodedPaths)
{
    InMemoryPasteboard board;
    board.setItems({fileItem("file:///tmp/two%20words.txt"), fileItem("file://localhost/tmp/b")});
    const std::optional<Reader::Result> result = Reader::read(board);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->text, QStringLiteral("/tmp/two words.txt\n/tmp/b"));
    EXPECT_EQ(result->payload->fileURLs(),
              QStringList({"file:///tmp/two%20words.txt", "file://localhost/tmp/b"}));
}

TEST(PayloadReader, RichTextKeepsOnlyRepresentationsWithinLimits)
{
    InMemoryPasteboard board;
    const QByteArray bigRtf(1'000'001, 'r');
    board.setItems({textItem(QStringLiteral("  text  "), bigRtf, QByteArray("<b>t</b>"))});
    std::optional<Reader::Result> result = Reader::read(board);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->text, QStringLiteral("  text  "));
    ASSERT_TRUE(result->payload.has_value());
    EXPECT_FALSE(result->payload->rtf().has_value());
    EXPECT_EQ(result->payload->html(), QByteArray("<b>t</b>"));

    board.setItems({textItem(QStringLiteral("text"), bigRtf)});
    result = Reader::read(board);
    ASSERT_TRUE(result.has_value());
    EXPECT_FALSE(result->payload.has_value());

    const QByteArray exactRtf(1'000'000, 'r');
    board.setItems({textItem(QStringLiteral("text"), exactRtf, QByteArray())});
    result = Reader::read(board);
    ASSERT_TRUE(result.has_value() && result->payload.has_value());
    EXPECT_EQ(result->payload->rtf()->size(), 1'000'000);
    EXPECT_FALSE(result->payload->html().has_value());
}

TEST(PayloadReader, BlankOrMissingTextGivesNothingAndSeveralItemsKeepNoRichForms)
{
    InMemoryPasteboard board;
    board.setItems({textItem(QStringLiteral(" \n\t "), QByteArray("{\\rtf1}"))});
    EXPECT_FALSE(Reader::read(board).has_value());

    PasteboardItem htmlOnly;
    htmlOnly.setData(T::html, "<p>x</p>");
    board.setItems({htmlOnly});
    EXPECT_FALSE(Reader::read(board).has_value());

    board.setItems({textItem(QStringLiteral("first"), QByteArray("{\\rtf1}")), textItem(QStringLiteral("second"))});
    const std::optional<Reader::Result> result = Reader::read(board);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->text, QStringLiteral("first"));
    EXPECT_FALSE(result->payload.has_value());
}

TEST(PasteboardWriter, TextWithKeptFormsIsOneItemWithThreeTypes)
{
    InMemoryPasteboard board;
    const std::optional<ClipboardOriginalPayload> payload =
        ClipboardOriginalPayload::create(QByteArray("{\\rtf1 x}"), QByteArray("<b>x</b>"), {});
    ASSERT_TRUE(payload.has_value());
    const ClipboardItem item(QUuid::createUuid(), QStringLiteral("x"), 0.0, false, {}, std::nullopt, payload);
    const qint64 before = board.changeCount();
    ASSERT_TRUE(Writer::write(item, board, Pasteboard::WriteKind::paste));
    EXPECT_EQ(board.changeCount(), before + 1);
    EXPECT_FALSE(board.holdsOwnCopy());
    ASSERT_EQ(board.items().size(), 1);
    EXPECT_EQ(board.items().at(0).types(), QStringList({T::plainText, T::rtf, T::html}));
    EXPECT_EQ(board.items().at(0).data(T::html), QByteArray("<b>x</b>"));
}

TEST(PasteboardWriter, PlainTextReplacesContentsAndReportsRefusal)
{
    InMemoryPasteboard board;
    board.setString(QStringLiteral("old"));
    EXPECT_TRUE(Writer::write(ClipboardItem(QStringLiteral("new")), board, Pasteboard::WriteKind::copy));
    EXPECT_EQ(board.string(T::plainText), QStringLiteral("new"));
    EXPECT_TRUE(board.holdsOwnCopy());
    EXPECT_EQ(board.items().size(), 1);
    board.setAcceptsWrites(false);
    EXPECT_FALSE(Writer::write(ClipboardItem(QStringLiteral("newer")), board, Pasteboard::WriteKind::copy));
}

TEST(PasteboardWriter, MissingFileLeavesPasteboardUntouchedAndLogs)
{
    QTemporaryDir dir;
    const QString present = dir.filePath(QStringLiteral("present.txt"));
    QFile file(present);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("x");
    file.close();
    const QString presentURL = QUrl::fromLocalFile(present).toString(QUrl::FullyEncoded);
    const QString goneURL = QUrl::fromLocalFile(dir.filePath(QStringLiteral("gone.txt"))).toString(QUrl::FullyEncoded);

    InMemoryPasteboard board;
    board.setString(QStringLiteral("before"));
    QStringList logged;
    const auto log = [&](const QString& line) { logged.append(line); };

    const ClipboardItem gone(QUuid::createUuid(), QStringLiteral("x"), 0.0, false, {}, std::nullopt,
                             ClipboardOriginalPayload::create(std::nullopt, std::nullopt, {presentURL, goneURL}));
    EXPECT_FALSE(Writer::write(gone, board, Pasteboard::WriteKind::copy, log));
    EXPECT_EQ(board.writeCount(), 0);
    EXPECT_EQ(board.string(T::plainText), QStringLiteral("before"));
    EXPECT_EQ(logged, QStringList{"Tolvi could not copy file references: a referenced file is unavailable or unreadable"});

    const ClipboardItem ok(QUuid::createUuid(), QStringLiteral("x"), 0.0, false, {}, std::nullopt,
                           ClipboardOriginalPayload::create(std::nullopt, std::nullopt, {presentURL}));
    ASSERT_TRUE(Writer::write(ok, board, Pasteboard::WriteKind::copy, log));
    ASSERT_EQ(board.items().size(), 1);
    EXPECT_EQ(board.items().at(0).data(T::fileURL), presentURL.toUtf8());
    EXPECT_EQ(board.items().at(0).data(T::plainText), present.toUtf8());
}

TEST(PasteboardWriter, ImagesPassTheRasterPolicyFirst)
{
    InMemoryPasteboard board;
    const QByteArray png = encodedImage(8, 6);
    ASSERT_TRUE(Writer::write(ClipboardItem(QUuid::createUuid(), ClipboardContent::image(ClipboardImage(png, T::png)), 0.0),
                              board, Pasteboard::WriteKind::paste));
    ASSERT_EQ(board.items().size(), 1);
    EXPECT_EQ(board.items().at(0).types(), QStringList{T::png});
    EXPECT_EQ(board.items().at(0).data(T::png), png);

    // Stored under whatever type the bytes really are, with a PNG copy for everyone else.
    const QByteArray jpeg = encodedImage(8, 6, "JPEG");
    ASSERT_TRUE(Writer::write(ClipboardItem(QUuid::createUuid(), ClipboardContent::image(ClipboardImage(jpeg, T::png)), 0.0),
                              board, Pasteboard::WriteKind::paste));
    EXPECT_EQ(board.items().at(0).types(), QStringList({T::jpeg, T::png}));
    EXPECT_EQ(board.items().at(0).data(T::jpeg), jpeg);

    const int writes = board.writeCount();
    EXPECT_FALSE(Writer::write(
        ClipboardItem(QUuid::createUuid(), ClipboardContent::image(ClipboardImage("not an image", T::png)), 0.0), board,
        Pasteboard::WriteKind::paste));
    EXPECT_EQ(board.writeCount(), writes);
}
