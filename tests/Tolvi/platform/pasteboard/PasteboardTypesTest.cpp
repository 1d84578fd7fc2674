#include "Tolvi/platform/pasteboard/PasteboardTypes.h"
#include "Tolvi/platform/pasteboard/SystemPasteboard.h"

#include <QMimeData>

#include <gtest/gtest.h>

#include <memory>

using namespace tolvi;
namespace T = tolvi::PasteboardTypes;

TEST(PasteboardTypes, MapsTargetsToTypeIdentifiers)
{
    for (const char* text : {"UTF8_STRING", "STRING", "TEXT", "text/plain", "text/plain;charset=utf-8"})
        EXPECT_EQ(T::typeIdentifierForTarget(QString::fromLatin1(text)), T::plainText) << text;
    for (const char* rtf : {"text/rtf", "application/rtf", "text/richtext"})
        EXPECT_EQ(T::typeIdentifierForTarget(QString::fromLatin1(rtf)), T::rtf) << rtf;
    EXPECT_EQ(T::typeIdentifierForTarget(QStringLiteral("text/html")), T::html);
    EXPECT_EQ(T::typeIdentifierForTarget(QStringLiteral("image/png")), T::png);
    EXPECT_EQ(T::typeIdentifierForTarget(QStringLiteral("image/tiff")), T::tiff);
    EXPECT_EQ(T::typeIdentifierForTarget(QStringLiteral("image/jpeg")), T::jpeg);
    EXPECT_EQ(T::typeIdentifierForTarget(QStringLiteral("image/gif")), T::gif);
    EXPECT_EQ(T::typeIdentifierForTarget(QStringLiteral("image/heic")), T::heic);
    EXPECT_EQ(T::typeIdentifierForTarget(QStringLiteral("image/heif")), T::heif);
    EXPECT_EQ(T::typeIdentifierForTarget(QStringLiteral("image/webp")), T::webp);
    // Unknown targets pass through verbatim, the password-manager hint among them.
    EXPECT_EQ(T::typeIdentifierForTarget(T::passwordManagerHint), T::passwordManagerHint);
    EXPECT_EQ(T::typeIdentifierForTarget(QStringLiteral("image/bmp")), QStringLiteral("image/bmp"));
}

TEST(PasteboardTypes, FiltersMetaTargets)
{
    for (const char* meta : {"TARGETS", "MULTIPLE", "TIMESTAMP", "SAVE_TARGETS", "application/x-qt-image", ""})
        EXPECT_FALSE(T::typeIdentifierForTarget(QString::fromLatin1(meta)).has_value()) << meta;
}

TEST(PasteboardTypes, TypeIdentifiersMapBackToTheirMimeTypes)
{
    const QList<std::pair<QString, QString>> expected{
        {T::plainText, "text/plain"}, {T::rtf, "text/rtf"},     {T::html, "text/html"},
        {T::png, "image/png"},        {T::tiff, "image/tiff"},   {T::jpeg, "image/jpeg"},
        {T::gif, "image/gif"},        {T::heic, "image/heic"},   {T::heif, "image/heif"},
        {T::webp, "image/webp"},      {T::fileURL, "text/uri-list"}};
    for (const auto& [identifier, mime] : expected) {
        EXPECT_EQ(T::mimeTypeForTypeIdentifier(identifier), mime);
        if (identifier != T::fileURL) {
            EXPECT_EQ(T::typeIdentifierForTarget(mime), identifier);
        }
    }
    // Reading plain text prefers UTF-8 targets over Latin-1 STRING.
    const QStringList textTargets = T::targetsForTypeIdentifier(T::plainText);
    EXPECT_LT(textTargets.indexOf(QStringLiteral("UTF8_STRING")), textTargets.indexOf(QStringLiteral("STRING")));
}

TEST(PasteboardTypes, ParsesUriListsAsRfc2483Says)
{
    const QByteArray list = "# comment\r\nfile:///tmp/a%20b\r\n\r\nfile:///tmp/c\nhttp://example.org/x\r\n";
    const QList<QByteArray> uris = T::parseUriList(list);
    ASSERT_EQ(uris.size(), 3);
    EXPECT_EQ(uris.at(0), "file:///tmp/a%20b");
    EXPECT_EQ(uris.at(1), "file:///tmp/c");
    EXPECT_EQ(uris.at(2), "http://example.org/x");
    EXPECT_TRUE(T::isFileUri("FILE:///x"));
    EXPECT_FALSE(T::isFileUri("http://x"));
    EXPECT_FALSE(T::isFileUri("fil"));
    EXPECT_TRUE(T::parseUriList("").isEmpty());
}

TEST(PasteboardTypes, FileManagerListsEndedOrSeparatedByNulParse)
{
    // PCManFM's list ends in a NUL; the address must not keep it.
    EXPECT_EQ(T::parseUriList(QByteArray("file:///tmp/x\0", 14)), QList<QByteArray>{"file:///tmp/x"});
    EXPECT_EQ(T::parseUriList(QByteArray("file:///a\0file:///b\0", 20)), QList<QByteArray>({"file:///a", "file:///b"}));

    EXPECT_EQ(T::parseGnomeCopiedFiles("copy\nfile:///tmp/a%20b\nfile:///tmp/c"),
              QList<QByteArray>({"file:///tmp/a%20b", "file:///tmp/c"}));
    EXPECT_EQ(T::parseGnomeCopiedFiles(QByteArray("cut\nfile:///tmp/d\0", 18)), QList<QByteArray>{"file:///tmp/d"});
    // Without its action line it is no list of copied files.
    EXPECT_TRUE(T::parseGnomeCopiedFiles("file:///tmp/a\nfile:///tmp/b").isEmpty());
    EXPECT_TRUE(T::parseGnomeCopiedFiles("copy").isEmpty());
}

TEST(PasteboardTypes, SanitisesForeignNamesForTheLog)
{
    EXPECT_EQ(T::sanitizedForLog(QStringLiteral("text/html")), QStringLiteral("text/html"));
    EXPECT_EQ(T::sanitizedForLog(QStringLiteral("a\nb\x1b[31mc")), QStringLiteral("a_b_[31mc"));
    const QString cut = T::sanitizedForLog(QString(500, QLatin1Char('x')), 80);
    EXPECT_EQ(cut, QString(80, QLatin1Char('x')) + QStringLiteral("..."));
}

TEST(SystemPasteboardMime, SingleItemKeepsEveryRepresentationUnderItsMimeType)
{
    PasteboardItem item;
    item.setString(T::plainText, QStringLiteral("héllo"));
    item.setData(T::rtf, "{\\rtf1 x}");
    item.setData(T::html, "<b>x</b>");
    std::unique_ptr<QMimeData> mime(SystemPasteboard::mimeDataForItems({item}));
    EXPECT_EQ(mime->data(QStringLiteral("text/plain")), QStringLiteral("héllo").toUtf8());
    EXPECT_EQ(mime->data(QStringLiteral("text/rtf")), QByteArray("{\\rtf1 x}"));
    EXPECT_EQ(mime->data(QStringLiteral("text/html")), QByteArray("<b>x</b>"));
}

TEST(SystemPasteboardMime, FileItemsBecomeOneUriListWithPaths)
{
    PasteboardItem a;
    a.setData(T::fileURL, "file:///tmp/a");
    a.setData(T::plainText, "/tmp/a");
    PasteboardItem b;
    b.setData(T::fileURL, "file:///tmp/b%20c");
    b.setData(T::plainText, "/tmp/b c");
    std::unique_ptr<QMimeData> mime(SystemPasteboard::mimeDataForItems({a, b}));
    EXPECT_EQ(mime->data(QStringLiteral("text/uri-list")), QByteArray("file:///tmp/a\r\nfile:///tmp/b%20c\r\n"));
    EXPECT_EQ(mime->data(QStringLiteral("text/plain")), QByteArray("/tmp/a\n/tmp/b c"));
    EXPECT_EQ(mime->data(QStringLiteral("x-special/gnome-copied-files")),
              QByteArray("copy\nfile:///tmp/a\nfile:///tmp/b%20c"));
}
