#include "TolviCore/model/ClipboardItem.h"
#include "TolviCore/model/ReferenceDate.h"
#include "TolviCore/model/Sha256.h"
#include "TolviCore/model/UnicodeText.h"

#include <gtest/gtest.h>

using namespace tolvi;

namespace {

const QUuid idA(QStringLiteral("6F1C2B1E-0D2A-4C7B-9E3A-1B2C3D4E5F60"));
const QUuid idB(QStringLiteral("0A1B2C3D-4E5F-4061-8293-A4B5C6D7E8F9"));

ClipboardOriginalPayload rtfPayload(const QByteArray& rtf)
{
    return *ClipboardOriginalPayload::create(rtf, std::nullopt, {});
}

} // namespace

TEST(ClipboardItem, DedupeKeyOfPlainAndKeptClips)
{
    const ClipboardItem plain(idA, QStringLiteral("abc"), 10.0);
    EXPECT_EQ(plain.dedupeKey(), QStringLiteral("text:abc"));

    const ClipboardOriginalPayload payload = rtfPayload("{\\rtf1 abc}");
    const ClipboardItem kept(idA, QStringLiteral("abc"), 10.0, false, {}, std::nullopt, payload);
    EXPECT_EQ(kept.dedupeKey(), QStringLiteral("original:8:text:abc:") + payload.fingerprint());
    EXPECT_NE(plain.dedupeKey(), kept.dedupeKey());

    // Byte count, not characters: "text:é" is seven UTF-8 bytes.
    const ClipboardItem accented(idA, QString::fromUtf8("\xC3\xA9"), 1.0, false, {}, std::nullopt, payload);
    EXPECT_TRUE(accented.dedupeKey().startsWith(QString::fromUtf8("original:7:text:\xC3\xA9:")));

    // Colons inside the text do not blur the boundary.
    const ClipboardItem colons(idA, QStringLiteral("a:b:c"), 1.0, false, {}, std::nullopt, payload);
    EXPECT_TRUE(colons.dedupeKey().startsWith(QStringLiteral("original:10:text:a:b:c:")));

    const ClipboardItem empty(idA, QString(), 1.0);
    EXPECT_EQ(empty.dedupeKey(), QStringLiteral("text:"));

    const ClipboardImage image(QByteArray("png bytes"), QStringLiteral("public.png"));
    const ClipboardItem imageItem(idA, ClipboardContent::image(image), 1.0);
    EXPECT_EQ(imageItem.dedupeKey(), QStringLiteral("image:") + Sha256::hexDigest("png bytes"));
}

TEST(ClipboardItem, EqualityIsMemberwiseWhileTheKeyIgnoresMetadata)
{
    const ClipboardItem base(idA, QStringLiteral("hello"), 100.25, true, {idA, idB},
                             ClipboardSourceApp(QStringLiteral("Notes"), QStringLiteral("org.notes")));
    EXPECT_EQ(base, base);

    std::vector<ClipboardItem> variants;
    variants.push_back(ClipboardItem(idB, base.content(), base.createdAt(), true, {idA, idB}, base.sourceApp()));
    variants.push_back(ClipboardItem(idA, base.content(), 100.250000001, true, {idA, idB}, base.sourceApp()));
    variants.push_back(ClipboardItem(idA, base.content(), base.createdAt(), false, {idA, idB}, base.sourceApp()));
    variants.push_back(ClipboardItem(idA, base.content(), base.createdAt(), true, {idB, idA}, base.sourceApp()));
    variants.push_back(ClipboardItem(idA, base.content(), base.createdAt(), true, {idA, idB}, std::nullopt));
    for (const ClipboardItem& other : variants) {
        EXPECT_NE(base, other);
        EXPECT_EQ(base.dedupeKey(), other.dedupeKey());
    }
}

TEST(ClipboardItem, TextsCompareUnderCanonicalEquivalence)
{
    const QString composed = QString::fromUtf8("caf\xC3\xA9");   // é as one code point
    const QString decomposed = QString::fromUtf8("cafe\xCC\x81"); // e + combining acute
    ASSERT_NE(composed, decomposed);
    EXPECT_EQ(ClipboardItem(idA, composed, 1.0), ClipboardItem(idA, decomposed, 1.0));
    EXPECT_TRUE(UnicodeText::canonicallyEqual(ClipboardItem(idA, composed, 1.0).dedupeKey(),
                                              ClipboardItem(idA, decomposed, 1.0).dedupeKey()));
    EXPECT_EQ(UnicodeText::canonicalForm(decomposed), composed);
    EXPECT_NE(ClipboardItem(idA, QStringLiteral("Cafe"), 1.0), ClipboardItem(idA, QStringLiteral("cafe"), 1.0));
}

TEST(ClipboardItem, ConvenienceInitialiserMakesAFreshUnpinnedTextClip)
{
    const double before = ReferenceDate::now();
    const ClipboardItem a(QStringLiteral("  spaced  "));
    const ClipboardItem b(QStringLiteral("  spaced  "));
    const double after = ReferenceDate::now();
    EXPECT_NE(a.id(), b.id());
    EXPECT_FALSE(a.id().isNull());
    EXPECT_EQ(a.content().textValue(), QStringLiteral("  spaced  "));
    EXPECT_GE(a.createdAt(), before);
    EXPECT_LE(a.createdAt(), after);
    EXPECT_FALSE(a.isPinned());
    EXPECT_TRUE(a.pinboardIDs().isEmpty());
    EXPECT_FALSE(a.sourceApp().has_value());
    EXPECT_FALSE(a.originalPayload().has_value());
}

TEST(ClipboardSourceApp, InitialiserTrimsNameAndKeepsIdentifier)
{
    const ClipboardSourceApp blank(QStringLiteral("  \n"));
    EXPECT_EQ(blank.name(), QStringLiteral("Unknown App"));
    EXPECT_FALSE(blank.bundleIdentifier().has_value());
    EXPECT_EQ(blank.searchIdentifier(), QStringLiteral("Unknown App"));

    const ClipboardSourceApp notes(QStringLiteral(" Notes "), QString(QLatin1String("")));
    EXPECT_EQ(notes.name(), QStringLiteral("Notes"));
    ASSERT_TRUE(notes.bundleIdentifier().has_value());
    EXPECT_TRUE(notes.bundleIdentifier()->isEmpty());
    EXPECT_EQ(notes.searchIdentifier(), QString());

    const ClipboardSourceApp stored = ClipboardSourceApp::fromStored(QString(), std::nullopt);
    EXPECT_EQ(stored.name(), QString());

    EXPECT_NE(ClipboardSourceApp(QStringLiteral("A"), QStringLiteral("x")), ClipboardSourceApp(QStringLiteral("A")));
    EXPECT_EQ(ClipboardSourceApp(QStringLiteral("A"), QStringLiteral("x")),
              ClipboardSourceApp(QStringLiteral("A "), QStringLiteral("x")));
}
