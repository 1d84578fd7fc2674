#include "TolviCore/search/ClipboardFormatter.h"
#include "TolviCore/text/TextCharacters.h"

#include "TolviCore/model/ReferenceDate.h"

#include <QDateTime>

#include <gtest/gtest.h>

#include <ostream>

// Readable failure messages for Qt strings.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

#include <limits>

namespace tolvi {
namespace {

const QLocale english(QLocale::English, QLocale::UnitedStates);
const QTimeZone utc("UTC");

ClipboardItem fileClip(const QStringList& urls)
{
    ClipboardItem item(QUuid::createUuid(), QStringLiteral("ignored"), 0);
    item.setOriginalPayload(ClipboardOriginalPayload::create(std::nullopt, std::nullopt, urls));
    return item;
}

TEST(ClipboardFormatter, SingleLinePreviewFoldsLinesAndBlanks)
{
    EXPECT_EQ(ClipboardFormatter::singleLinePreview(QStringLiteral("a\n\nb"), 10), QStringLiteral("a b"));
    EXPECT_EQ(ClipboardFormatter::singleLinePreview(QStringLiteral(" \t x\r\ny  \n"), 10), QStringLiteral("x y"));
    // Only blank, CR, LF and tab fold; a no-break space stays.
    EXPECT_EQ(ClipboardFormatter::singleLinePreview(QString::fromUtf8("a\u00a0 \u00a0b"), 10), QString::fromUtf8("a\u00a0 \u00a0b"));
}

TEST(ClipboardFormatter, SingleLinePreviewShowsBidirectionalControlsAsMarks)
{
    const QString text = QStringLiteral("photo_") + QChar(0x202E) + QStringLiteral("gpj.exe") + QChar(0x200E)
        + QChar(0x2068) + QStringLiteral("a") + QChar(0x2069);
    EXPECT_EQ(ClipboardFormatter::singleLinePreview(text, 40),
              QStringLiteral("photo_\u21E0gpj.exe\u21E2\u21F9a\u21E4"));
    // The clip itself is untouched.
    EXPECT_TRUE(text.contains(QChar(0x202E)));
    EXPECT_EQ(TextCharacters::withVisibleBidiControls(QStringLiteral("plain")), QStringLiteral("plain"));
}

TEST(ClipboardFormatter, MetadataCountsAHugeTextOnlyUpToItsLimit)
{
    const ClipboardItem item(QUuid::createUuid(), QString(1'500'000, QLatin1Char('a')), 0);
    EXPECT_TRUE(ClipboardFormatter::metadata(item, 30).contains(QStringLiteral("1000000+ chars")));
    const ClipboardItem small(QUuid::createUuid(), QStringLiteral("abc"), 0);
    EXPECT_TRUE(ClipboardFormatter::metadata(small, 30).contains(QStringLiteral(" 3 chars")));
}

TEST(ClipboardFormatter, SingleLinePreviewCutsWholeCharacters)
{
    EXPECT_EQ(ClipboardFormatter::singleLinePreview(QStringLiteral("abcdefghi"), 5), QStringLiteral("abcd..."));
    EXPECT_EQ(ClipboardFormatter::singleLinePreview(QStringLiteral("abcde"), 5), QStringLiteral("abcde"));
    const QString family = QString::fromUtf8("\U0001F468\u200D\U0001F469\u200D\U0001F467");
    EXPECT_EQ(ClipboardFormatter::singleLinePreview(family + family + QStringLiteral("x"), 3), family + family + QStringLiteral("x"));
    EXPECT_EQ(ClipboardFormatter::singleLinePreview(family + family + QStringLiteral("xy"), 3), family + family + QStringLiteral("..."));
    EXPECT_EQ(ClipboardFormatter::singleLinePreview(QString::fromUtf8("e\u0301e\u0301e\u0301"), 2), QString::fromUtf8("e\u0301..."));
    EXPECT_EQ(ClipboardFormatter::singleLinePreview(QStringLiteral("abc"), 0), QStringLiteral("..."));
    EXPECT_EQ(ClipboardFormatter::singleLinePreview(QStringLiteral("abc"), -4), QStringLiteral("..."));
    EXPECT_EQ(ClipboardFormatter::singleLinePreview(QString(), 0), QString());

    // One character of thousands of joined emoji keeps its first few: any label would measure
    // every one of them.
    const QString woman = QString::fromUcs4(U"\U0001F469", 1);
    QString joined = woman;
    for (int i = 1; i < 5'000; ++i)
        joined += QChar(0x200D) + woman;
    const QString preview = ClipboardFormatter::singleLinePreview(QStringLiteral("a ") + joined, 74);
    ASSERT_TRUE(preview.endsWith(QStringLiteral("...")));
    EXPECT_TRUE(preview.startsWith(QStringLiteral("a ") + woman + QChar(0x200D)));
    EXPECT_EQ(preview.count(woman), TextCharacters::piecePictographs);
    EXPECT_TRUE((QStringLiteral("a ") + joined).startsWith(preview.chopped(3)));
}

TEST(ClipboardFormatter, SingleLinePreviewOfALongTextMatchesTheWholeFold)
{
    QString text;
    for (int i = 0; i < 5000; ++i)
        text += QStringLiteral("word%1 \n\t ").arg(i);
    const QString preview = ClipboardFormatter::singleLinePreview(text, 40);
    EXPECT_EQ(preview, QStringLiteral("word0 word1 word2 word3 word4 word5 wor..."));
    EXPECT_EQ(ClipboardFormatter::singleLinePreview(QString(200, QChar(u' ')) + QStringLiteral("end"), 3), QStringLiteral("end"));
}

TEST(ClipboardFormatter, MenuPreviewNamesFilesImagesOrText)
{
    EXPECT_EQ(ClipboardFormatter::menuPreview(fileClip({QStringLiteral("file:///Users/a/a.txt"),
                                                        QStringLiteral("file://localhost/b/My%20b.pdf")}), 50),
              QStringLiteral("a.txt, My b.pdf"));
    EXPECT_EQ(ClipboardFormatter::menuPreview(fileClip({QStringLiteral("file:///Users/a/folder/")}), 50), QStringLiteral("folder"));
    EXPECT_EQ(ClipboardFormatter::menuPreview(fileClip({QStringLiteral("file:///a/long-name.txt")}), 5), QStringLiteral("long..."));

    const ClipboardItem image(QUuid::createUuid(),
                              ClipboardContent::image(ClipboardImage(QByteArray(10, 'x'), QStringLiteral("public.png"), 1440, 900)), 0);
    EXPECT_EQ(ClipboardFormatter::menuPreview(image, 3), QStringLiteral("Image 1440 x 900"));
    EXPECT_EQ(ClipboardFormatter::menuPreview(ClipboardItem(QUuid::createUuid(), QStringLiteral("hello\nthere"), 0), 20),
              QStringLiteral("hello there"));
}

TEST(ClipboardFormatter, MetadataLine)
{
    const double now = 800000000;
    ClipboardItem text(QUuid::createUuid(), QString::fromUtf8("twelve chars"), now - 90, true, {},
                       ClipboardSourceApp(QStringLiteral("Editor")));
    EXPECT_EQ(ClipboardFormatter::metadata(text, now, english, utc), QStringLiteral("Pinned - 1 min ago - 12 chars - Editor"));

    ClipboardItem emoji(QUuid::createUuid(), QString::fromUtf8("\U0001F44D\U0001F3FD"), now);
    EXPECT_EQ(ClipboardFormatter::metadata(emoji, now, english, utc), QStringLiteral("Just now - 1 chars"));

    ClipboardImage picture(QByteArray(1234, 'x'), QStringLiteral("public.png"), 800, 600, QStringLiteral(" "));
    ClipboardItem image(QUuid::createUuid(), ClipboardContent::image(picture), now - 7200);
    EXPECT_EQ(ClipboardFormatter::metadata(image, now, english, utc), QStringLiteral("2 hr ago - 800 x 600 - 1 KB - OCR"));
    picture.setRecognizedText(QString());
    image.setContent(ClipboardContent::image(picture));
    EXPECT_EQ(ClipboardFormatter::metadata(image, now, english, utc), QStringLiteral("2 hr ago - 800 x 600 - 1 KB"));

    EXPECT_EQ(ClipboardFormatter::metadata(fileClip({QStringLiteral("file:///a"), QStringLiteral("file:///b")}), 0, english, utc),
              QStringLiteral("Just now - 2 file references"));
    EXPECT_EQ(ClipboardFormatter::metadata(fileClip({QStringLiteral("file:///a")}), 0, english, utc),
              QStringLiteral("Just now - 1 file reference"));
}

TEST(ClipboardFormatter, RelativeTimestampThresholds)
{
    const double now = 800000000;
    auto ago = [&](double seconds) { return ClipboardFormatter::relativeTimestamp(now - seconds, now, english, utc); };
    EXPECT_EQ(ago(-3600), QStringLiteral("Just now"));
    EXPECT_EQ(ago(59.999), QStringLiteral("Just now"));
    EXPECT_EQ(ago(60), QStringLiteral("1 min ago"));
    EXPECT_EQ(ago(3599), QStringLiteral("59 min ago"));
    EXPECT_EQ(ago(3600), QStringLiteral("1 hr ago"));
    EXPECT_EQ(ago(86399), QStringLiteral("23 hr ago"));
    EXPECT_EQ(ago(86400), QStringLiteral("1 days ago"));
    EXPECT_EQ(ago(604799), QStringLiteral("6 days ago"));
    const double date = ReferenceDate::fromDateTime(QDateTime(QDate(2026, 3, 1), QTime(12, 0), utc));
    EXPECT_EQ(ClipboardFormatter::relativeTimestamp(date, date + 604800, english, utc), QStringLiteral("Mar 1, 2026"));
}

TEST(ClipboardFormatter, RelativeTimestampOfAbsurdTimes)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const double now = 800000000;
    EXPECT_EQ(ClipboardFormatter::relativeTimestamp(nan, now, english, utc), QStringLiteral("Just now"));
    EXPECT_EQ(ClipboardFormatter::relativeTimestamp(now, nan, english, utc), QStringLiteral("Just now"));
    EXPECT_EQ(ClipboardFormatter::relativeTimestamp(inf, now, english, utc), QStringLiteral("Just now"));
    EXPECT_EQ(ClipboardFormatter::relativeTimestamp(-inf, now, english, utc), QStringLiteral("Jan 3, 1"));
    EXPECT_EQ(ClipboardFormatter::relativeTimestamp(-1e300, now, english, utc), QStringLiteral("Jan 3, 1"));
    // A clip from 2026 seen with a clock far in the future shows its own date.
    EXPECT_EQ(ClipboardFormatter::relativeTimestamp(800000000, 1e300, english, utc), QStringLiteral("May 9, 2026"));
}

} // namespace
} // namespace tolvi
