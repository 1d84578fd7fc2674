#include "TolviCore/model/ByteCountFormatter.h"
#include "TolviCore/model/ClipboardContent.h"
#include "TolviCore/model/Sha256.h"
#include "TolviCore/model/UnicodeText.h"

#include <gtest/gtest.h>

#include <QLocale>
#include <QRandomGenerator>
#include <QStringList>

#include <thread>
#include <vector>

using namespace tolvi;

TEST(ClipboardContent, ATextHeldAsAsciiBytesIsTheSameTextMadeOnceForEveryThread)
{
    const QByteArray bytes("Line one\nline \"two\" with a tab\t and a NUL \0 inside", 50);
    const ClipboardContent held = ClipboardContent::asciiText(bytes);
    const ClipboardContent copy = held; // shares the text, and its QString once made
    EXPECT_TRUE(held.isText());
    EXPECT_FALSE(held.isImage());
    EXPECT_EQ(held.imageIf(), nullptr);
    EXPECT_EQ(held.textUtf8Length(), bytes.size());
    EXPECT_FALSE(held.holdsTextValue());

    std::vector<const QString*> seen(8, nullptr);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&, i] { seen[i] = i % 2 ? copy.textIf() : &held.textValue(); });
    for (std::thread& thread : threads)
        thread.join();
    for (const QString* text : seen)
        EXPECT_EQ(text, seen.front());
    EXPECT_EQ(*seen.front(), QString::fromLatin1(bytes));
    EXPECT_EQ(seen.front()->size(), 50);
    EXPECT_TRUE(copy.holdsTextValue());
    EXPECT_EQ(held.asciiTextIf()->constData(), bytes.constData());

    // Equal to the same text in either form, and keyed the same.
    const ClipboardContent asText = ClipboardContent::text(QString::fromLatin1(bytes));
    EXPECT_TRUE(held == asText);
    EXPECT_TRUE(asText == held);
    EXPECT_TRUE(held == ClipboardContent::asciiText(QByteArray(bytes)));
    EXPECT_FALSE(held == ClipboardContent::asciiText(bytes.left(49)));
    EXPECT_FALSE(held == ClipboardContent::text(QString::fromLatin1(bytes).toUpper()));
    EXPECT_EQ(held.dedupeKey(), asText.dedupeKey());
    EXPECT_EQ(held.searchText(), asText.searchText());
    EXPECT_FALSE(asText.asciiTextIf().has_value());
}

// A text held as its UTF-8 bytes is the text those bytes stand for: the same length, key and
// equality as its QString (canonically: a decomposed accent equals the composed one), without
// making the QString; made once for every thread when asked for.
TEST(ClipboardContent, ATextHeldAsUtf8BytesIsTheTextItsBytesStandFor)
{
    const QString texts[] = {
        QString::fromUtf8("caf\u00e9 na\u00efve \u2014 \U0001F44D and more words"),
        QString::fromUtf8("cafe\u0301 with a decomposed accent"), // canonically equal to the next
        QString::fromUtf8("caf\u00e9 with a decomposed accent"),
        QString::fromUtf8("\u041f\u0440\u0438\u0432\u0435\u0442, \u043c\u0438\u0440"),
        QString::fromUtf8("\u4e2d\u6587 \U0001F600\U0001F600 \ud55c\uad6d\uc5b4"),
        QString::fromUtf8("plain ASCII"),
    };
    for (const QString& text : texts) {
        const QByteArray utf8 = text.toUtf8();
        const ClipboardContent held = ClipboardContent::utf8Text(utf8);
        const ClipboardContent asText = ClipboardContent::text(text);
        const std::string what = utf8.toStdString();
        ASSERT_TRUE(held.utf8TextIf().has_value()) << what;
        EXPECT_EQ(*held.utf8TextIf(), utf8) << what;
        EXPECT_EQ(held.asciiTextIf().has_value(), QtPrivate::isAscii(QStringView(text))) << what;
        EXPECT_EQ(held.textSize(), text.size()) << what;
        EXPECT_EQ(held.textUtf8Length(), utf8.size()) << what;
        EXPECT_EQ(held.textKeyHash(), asText.textKeyHash()) << what;
        EXPECT_EQ(held.textKeyHash(), ClipboardContent::textKeyHash(text)) << what;
        EXPECT_TRUE(held.textEquals(text)) << what;
        EXPECT_FALSE(held.textEquals(text + QLatin1Char('x'))) << what;
        EXPECT_EQ(held.transientText(), text) << what;
        EXPECT_FALSE(held.holdsTextValue()) << what;
        EXPECT_TRUE(held == asText) << what;
        EXPECT_FALSE(held.holdsTextValue()) << what;
        EXPECT_EQ(held.dedupeKey(), asText.dedupeKey()) << what;
        EXPECT_EQ(held.textValue(), text) << what;
    }
    // Canonically equal texts: equal, and keyed alike.
    const ClipboardContent decomposed = ClipboardContent::utf8Text(texts[1].toUtf8());
    const ClipboardContent composed = ClipboardContent::utf8Text(texts[2].toUtf8());
    EXPECT_TRUE(decomposed == composed);
    EXPECT_TRUE(decomposed == ClipboardContent::text(texts[2]));
    EXPECT_EQ(decomposed.textKeyHash(), composed.textKeyHash());
    EXPECT_FALSE(ClipboardContent::utf8Text(texts[0].toUtf8()) == composed);

    const ClipboardContent shared = ClipboardContent::utf8Text(texts[4].toUtf8());
    const ClipboardContent copy = shared;
    std::vector<const QString*> seen(8, nullptr);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&, i] { seen[i] = &(i % 2 ? copy : shared).textValue(); });
    for (std::thread& thread : threads)
        thread.join();
    for (const QString* text : seen)
        EXPECT_EQ(text, seen.front());
    EXPECT_EQ(*seen.front(), texts[4]);
}

// UTF-16 lengths and canonical forms read off UTF-8 bytes, across the widths read at once.
TEST(UnicodeText, LengthsAndCanonicalFormsOfUtf8AreThoseOfItsText)
{
    const QStringList pieces = {QStringLiteral("a"), QStringLiteral(" "), QString::fromUtf8("\u00e9"),
                                QString::fromUtf8("\u00df"), QString::fromUtf8("\u02ff"), QString::fromUtf8("\u0301"),
                                QString::fromUtf8("\u0416"), QString::fromUtf8("\u4e2d"), QString::fromUtf8("\U0001F44D"),
                                QString::fromUtf8("\u1100\u1161"), QString::fromUtf8("\u212b"), QString::fromUtf8("\uFFFD")};
    QRandomGenerator random(17);
    for (int i = 0; i < 600; ++i) {
        QString text;
        const int count = i < 300 ? int(random.bounded(40)) : 1000 + int(random.bounded(3000));
        for (int k = 0; k < count; ++k)
            text += pieces[random.bounded(int(pieces.size()))];
        const QByteArray utf8 = text.toUtf8();
        ASSERT_EQ(UnicodeText::utf16Length(utf8), text.size()) << i;
        ASSERT_EQ(UnicodeText::isCanonical(utf8), UnicodeText::canonicalForm(text) == text) << i;
    }
}

TEST(ClipboardImage, FingerprintFollowsTheBytes)
{
    ClipboardImage empty(QByteArray(), QStringLiteral("public.png"));
    EXPECT_EQ(empty.fingerprint(), QStringLiteral("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"));

    ClipboardImage image(QByteArray("abc"), QStringLiteral("public.png"));
    EXPECT_EQ(image.fingerprint(), QStringLiteral("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
    ClipboardContent content = ClipboardContent::image(image);
    const QString keyBefore = content.dedupeKey();

    QByteArray changed = image.data();
    changed[0] = 'x';
    content.imageValue().setData(changed);
    EXPECT_EQ(content.imageValue().fingerprint(), Sha256::hexDigest("xbc"));
    EXPECT_NE(content.dedupeKey(), keyBefore);

    // Same bytes, other type identifier: the same image to the store.
    EXPECT_EQ(ClipboardImage(QByteArray("abc"), QStringLiteral("public.tiff")).fingerprint(), image.fingerprint());
}

TEST(ClipboardImage, EqualityIncludesRecognisedTextAndDimensions)
{
    const ClipboardImage plain(QByteArray("img"), QStringLiteral("public.png"), 10, 20);
    ClipboardImage recognised = plain;
    recognised.setRecognizedText(QStringLiteral("hello"));
    EXPECT_NE(plain, recognised);
    EXPECT_EQ(plain.fingerprint(), recognised.fingerprint());
    EXPECT_NE(plain, ClipboardImage(QByteArray("img"), QStringLiteral("public.png"), 10, std::nullopt));
    EXPECT_NE(plain, ClipboardImage(QByteArray("img"), QStringLiteral("public.jpeg"), 10, 20));
    EXPECT_EQ(plain, ClipboardImage(QByteArray("img"), QStringLiteral("public.png"), 10, 20));
    EXPECT_NE(ClipboardContent::text(QStringLiteral("img")), ClipboardContent::image(plain));
}

TEST(ClipboardImage, PixelDescriptionAndSearchText)
{
    EXPECT_EQ(ClipboardImage(QByteArray(), QString(), 1440, 900).pixelDescription(), QStringLiteral("1440 x 900"));
    EXPECT_EQ(ClipboardImage(QByteArray(), QString(), 800).pixelDescription(), QStringLiteral("Unknown size"));
    EXPECT_EQ(ClipboardImage(QByteArray(), QString()).pixelDescription(), QStringLiteral("Unknown size"));

    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const ClipboardImage bare(QByteArray(1234, 'x'), QStringLiteral("public.png"), 10, 10);
    const QString bareText = ClipboardContent::image(bare).searchText();
    EXPECT_EQ(bareText, QStringLiteral("image 10 x 10 1 KB "));
    ClipboardImage withText = bare;
    withText.setRecognizedText(QStringLiteral("Invoice 42"));
    EXPECT_EQ(ClipboardContent::image(withText).searchText(), QStringLiteral("image 10 x 10 1 KB Invoice 42"));

    const ClipboardContent lookalike = ClipboardContent::text(QStringLiteral("image 10 x 10"));
    EXPECT_EQ(lookalike.searchText(), QStringLiteral("image 10 x 10"));
    EXPECT_FALSE(lookalike.isImage());
    EXPECT_EQ(lookalike.dedupeKey(), QStringLiteral("text:image 10 x 10"));
}

TEST(ByteCountFormatter, FileStyleDecimalUnits)
{
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const auto f = [&](qint64 n) { return ByteCountFormatter::fileStyle(n, english); };
    EXPECT_EQ(f(0), QStringLiteral("Zero KB"));
    EXPECT_EQ(f(1), QStringLiteral("1 byte"));
    EXPECT_EQ(f(2), QStringLiteral("2 bytes"));
    EXPECT_EQ(f(999), QStringLiteral("999 bytes"));
    EXPECT_EQ(f(1000), QStringLiteral("1 KB"));
    EXPECT_EQ(f(1234), QStringLiteral("1 KB"));
    EXPECT_EQ(f(1500), QStringLiteral("2 KB"));
    EXPECT_EQ(f(999'499), QStringLiteral("999 KB"));
    EXPECT_EQ(f(999'500), QStringLiteral("1 MB"));
    EXPECT_EQ(f(1'500'000), QStringLiteral("1.5 MB"));
    EXPECT_EQ(f(2'000'000), QStringLiteral("2 MB"));
    EXPECT_EQ(f(12'345'678), QStringLiteral("12.3 MB"));
    EXPECT_EQ(f(1'234'567'890), QStringLiteral("1.23 GB"));
    EXPECT_EQ(f(5'000'000'000), QStringLiteral("5 GB"));
    EXPECT_EQ(f(3'210'000'000'000), QStringLiteral("3.21 TB"));

    const QLocale german(QLocale::German, QLocale::Germany);
    EXPECT_EQ(ByteCountFormatter::fileStyle(1'500'000, german), QStringLiteral("1,5 MB"));
}
