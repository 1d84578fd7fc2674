#include "TolviCore/text/TextTransform.h"

#include <QLocale>

#include <gtest/gtest.h>

#include <ostream>

// Readable failure messages for Qt strings.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace tolvi {
namespace {

class TextTransformTest : public ::testing::Test {
protected:
    void SetUp() override { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void TearDown() override { QLocale::setDefault(QLocale::c()); }

    static QString apply(TextTransform t, const QString& text) { return t.apply(text); }
    static QString u8(const char* text) { return QString::fromUtf8(text); }
};

TEST_F(TextTransformTest, CatalogueHasEighteenCasesInOrderWithTitlesAndRawValues)
{
    const QList<TextTransform> all = TextTransform::allCases();
    ASSERT_EQ(all.size(), 18);
    EXPECT_EQ(all.first().rawValue(), QStringLiteral("trimWhitespace"));
    EXPECT_EQ(all[11].rawValue(), QStringLiteral("deduplicateLines"));
    EXPECT_EQ(all[11].title(), QStringLiteral("Remove Duplicate Lines"));
    EXPECT_EQ(all.last().title(), QStringLiteral("Markdown Link"));
    // A pasted result is named after what it is, not after the transform.
    EXPECT_EQ(all[11].resultTitle(), QStringLiteral("Unique Lines"));
    EXPECT_EQ(TextTransform(TextTransform::trimWhitespace).resultTitle(), QStringLiteral("Trimmed Text"));
    EXPECT_EQ(TextTransform(TextTransform::prettyJSON).resultTitle(), QStringLiteral("Pretty JSON"));
    for (int i = 0; i < all.size(); ++i) {
        EXPECT_EQ(all[i].value(), TextTransform::Case(i));
        EXPECT_EQ(TextTransform::fromRawValue(all[i].rawValue()), all[i]);
        EXPECT_EQ(all[i].id(), all[i].rawValue());
    }
    EXPECT_FALSE(TextTransform::fromRawValue(u"TrimWhitespace"));
    EXPECT_FALSE(TextTransform::fromRawValue(u""));
}

TEST_F(TextTransformTest, AvailabilityDependsOnJSONAndWebAddresses)
{
    QList<TextTransform> always;
    for (int i = 0; i < 15; ++i)
        always.append(TextTransform::Case(i));
    EXPECT_EQ(TextTransform::available(QStringLiteral("hello")), always);
    const QList<TextTransform> withJSON = always + QList<TextTransform>{TextTransform::prettyJSON};
    const QList<TextTransform> withURL = always + QList<TextTransform>{TextTransform::cleanURL, TextTransform::markdownLink};
    EXPECT_EQ(TextTransform::available(QStringLiteral("{\"a\": [1]}")), withJSON);
    EXPECT_EQ(TextTransform::available(QStringLiteral("[1, 2]")), withJSON);
    EXPECT_EQ(TextTransform::available(QStringLiteral("  https://example.com/a?b=c \n")), withURL);
    EXPECT_EQ(TextTransform::available(QStringLiteral("42")), always);
    EXPECT_EQ(TextTransform::available(QStringLiteral("\"just a string\"")), always);
}

TEST_F(TextTransformTest, RecognisesOnlyHttpAddressesWithAHost)
{
    EXPECT_FALSE(TextTransform::isWebURL(QStringLiteral("ftp://example.com/file")));
    EXPECT_FALSE(TextTransform::isWebURL(QStringLiteral("https://")));
    EXPECT_FALSE(TextTransform::isWebURL(QStringLiteral("https://exa mple.com")));
    EXPECT_FALSE(TextTransform::isWebURL(QStringLiteral("example.com")));
    EXPECT_FALSE(TextTransform::isWebURL(QStringLiteral("see https://example.com")));
    EXPECT_FALSE(TextTransform::isWebURL(u8("https://example.com/\u00a0x")));
    EXPECT_FALSE(TextTransform::isWebURL(QStringLiteral("https:example.com")));
    EXPECT_TRUE(TextTransform::isWebURL(QStringLiteral("HTTPS://example.com")));
    EXPECT_TRUE(TextTransform::isWebURL(QStringLiteral(" \n\thttp://example.com/path \r\n")));
}

TEST_F(TextTransformTest, CleanURLDropsTrackingParametersOnly)
{
    const TextTransform t = TextTransform::cleanURL;
    EXPECT_EQ(apply(t, QStringLiteral("https://example.com/p?utm_source=x&id=7&fbclid=y#top")),
              QStringLiteral("https://example.com/p?id=7#top"));
    EXPECT_EQ(apply(t, QStringLiteral("https://example.com/p?utm_medium=x")), QStringLiteral("https://example.com/p"));
    EXPECT_EQ(apply(t, QStringLiteral("https://example.com/p?UTM_Source=x&utm%5Fsource=y&a=%41&&b")),
              QStringLiteral("https://example.com/p?a=%41&&b"));
    // The host, path and fragment keep their exact text (no lower-casing or decoding).
    EXPECT_EQ(apply(t, QStringLiteral("  https://Example.COM/%7Ex?gclid=1#F%20  ")),
              QStringLiteral("https://Example.COM/%7Ex#F%20"));
}

TEST_F(TextTransformTest, CleanURLNeverAltersASignedAddressOrANonAddress)
{
    const TextTransform t = TextTransform::cleanURL;
    EXPECT_EQ(apply(t, QStringLiteral(" https://s3.example.com/o?X-Amz-Signature=abc&utm_source=x ")),
              QStringLiteral("https://s3.example.com/o?X-Amz-Signature=abc&utm_source=x"));
    EXPECT_EQ(apply(t, QStringLiteral("https://e.com/?utm_source=x&%73ig=1")), QStringLiteral("https://e.com/?utm_source=x&%73ig=1"));
    EXPECT_EQ(apply(t, QStringLiteral("not a url ?utm_source=x")), QStringLiteral("not a url ?utm_source=x"));
}

TEST_F(TextTransformTest, MarkdownLinkUsesTheHostAloneAsTheLabel)
{
    const TextTransform t = TextTransform::markdownLink;
    EXPECT_EQ(apply(t, QStringLiteral(" https://user@docs.example.com:8080/a?b#c ")),
              QStringLiteral("[docs.example.com](https://user@docs.example.com:8080/a?b#c)"));
    EXPECT_EQ(apply(t, QStringLiteral("plain words")), QStringLiteral("plain words"));
}

TEST_F(TextTransformTest, ListTransformsUseTrimmedNonEmptyLines)
{
    const QString text = QStringLiteral("a\n\n  b  \n");
    EXPECT_EQ(apply(TextTransform::numberedList, text), QStringLiteral("1. a\n2. b"));
    EXPECT_EQ(apply(TextTransform::bulletList, text), QStringLiteral("- a\n- b"));
    EXPECT_EQ(apply(TextTransform::checklist, QStringLiteral("x\r\ny\u2028z")), QStringLiteral("- [ ] x\n- [ ] y\n- [ ] z"));
    QString tenLines;
    for (int i = 1; i <= 10; ++i)
        tenLines += QStringLiteral("l%1\n").arg(i);
    EXPECT_TRUE(apply(TextTransform::numberedList, tenLines).endsWith(QStringLiteral("\n10. l10")));

    const QString blank = QStringLiteral(" \n\t\n\r\n  ");
    for (TextTransform t : {TextTransform::bulletList, TextTransform::checklist, TextTransform::numberedList,
                            TextTransform::sortLines, TextTransform::deduplicateLines})
        EXPECT_EQ(apply(t, blank), QString()) << qPrintable(t.rawValue());
}

TEST_F(TextTransformTest, SortLinesIsCaseInsensitiveNumericAndStable)
{
    EXPECT_EQ(apply(TextTransform::sortLines, QStringLiteral("item 10\nItem 2\nbeta\nAlpha\nitem 2\nalpha")),
              QStringLiteral("Alpha\nalpha\nbeta\nItem 2\nitem 2\nitem 10"));
    // Diacritics still order: e before é before f.
    EXPECT_EQ(apply(TextTransform::sortLines, u8("f\né\ne")), u8("e\né\nf"));
}

TEST_F(TextTransformTest, DeduplicateLinesKeepsFirstOccurrences)
{
    EXPECT_EQ(apply(TextTransform::deduplicateLines, QStringLiteral("b\na\n b\nA")), QStringLiteral("b\na\nA"));
    // Composed and decomposed forms of the same letter are one line.
    EXPECT_EQ(apply(TextTransform::deduplicateLines, u8("caf\u00e9\ncafe\u0301\ncafe")), u8("caf\u00e9\ncafe"));
}

TEST_F(TextTransformTest, SentenceCaseCapitalisesAfterSentenceEnds)
{
    EXPECT_EQ(apply(TextTransform::sentenceCase, QStringLiteral("hello WORLD. how are you? fine")),
              QStringLiteral("Hello world. How are you? Fine"));
    EXPECT_EQ(apply(TextTransform::sentenceCase, QStringLiteral("\"quoted START. next")), QStringLiteral("\"quoted start. Next"));
    EXPECT_EQ(apply(TextTransform::sentenceCase, QStringLiteral("  \n 3 apples! ok")), QStringLiteral("  \n 3 apples! Ok"));
    // A letter with a combining accent is one character and is upper-cased whole.
    EXPECT_EQ(apply(TextTransform::sentenceCase, u8("e\u0301TE. \u00c9T\u00c9")), u8("E\u0301te. \u00c9t\u00e9"));
}

TEST_F(TextTransformTest, TitleCaseCapitalisesWordsDelimitedByWhiteSpace)
{
    EXPECT_EQ(apply(TextTransform::titleCase, QStringLiteral("hELLO wORLD\tfoo-bar\nnew LINE")),
              QStringLiteral("Hello World\tFoo-bar\nNew Line"));
    EXPECT_EQ(apply(TextTransform::titleCase, u8("\u00e9cole 'quoted 1st")), u8("\u00c9cole 'Quoted 1St"));
}

TEST_F(TextTransformTest, CaseMappingIsFullAndLocaleIndependent)
{
    QLocale::setDefault(QLocale(QLocale::Turkish, QLocale::Turkey));
    EXPECT_EQ(apply(TextTransform::uppercase, u8("stra\u00dfe i")), u8("STRASSE I"));
    EXPECT_EQ(apply(TextTransform::lowercase, u8("\u039f\u0394\u039f\u03a3 I")), u8("\u03bf\u03b4\u03bf\u03c2 i"));
}

TEST_F(TextTransformTest, EmailDraftWrapsTrimmedLines)
{
    EXPECT_EQ(apply(TextTransform::emailDraft, QStringLiteral("  thanks\r\n  see you  ")),
              QStringLiteral("Hi,\n\nthanks\nsee you\n\nBest,"));
    EXPECT_EQ(apply(TextTransform::emailDraft, QStringLiteral("   ")), QString());
    EXPECT_EQ(apply(TextTransform::emailDraft, QStringLiteral("a\r\rb")), QStringLiteral("Hi,\n\na\n\nb\n\nBest,"));
}

TEST_F(TextTransformTest, CodeBlockKeepsInnerIndentation)
{
    EXPECT_EQ(apply(TextTransform::codeBlock, QStringLiteral("\n  x = 1\n")), QStringLiteral("```\n  x = 1\n```"));
    EXPECT_EQ(apply(TextTransform::codeBlock, QString()), QStringLiteral("```\n\n```"));
}

TEST_F(TextTransformTest, QuoteLinesSplitsOnlyAtLoneLineFeeds)
{
    EXPECT_EQ(apply(TextTransform::quoteLines, QStringLiteral("a\n\nb")), QStringLiteral("> a\n> \n> b"));
    EXPECT_EQ(apply(TextTransform::quoteLines, QStringLiteral("a\r\nb")), QStringLiteral("> a\r\nb"));
    EXPECT_EQ(apply(TextTransform::quoteLines, QString()), QStringLiteral("> "));
    EXPECT_EQ(apply(TextTransform::quoteLines, QStringLiteral(" x\n")), QStringLiteral(">  x\n> "));
}

TEST_F(TextTransformTest, CollapseSpacesKeepsParagraphBreaks)
{
    EXPECT_EQ(apply(TextTransform::collapseSpaces, QStringLiteral("  a   b\t\tc \n\n\n d ")), QStringLiteral("a b c\n\n\nd"));
    EXPECT_EQ(apply(TextTransform::collapseSpaces, QStringLiteral("a \r\n   \r\nb")), QStringLiteral("a\n\nb"));
    // A no-break space is not a blank.
    EXPECT_EQ(apply(TextTransform::collapseSpaces, u8("a\u00a0\u00a0b")), u8("a\u00a0\u00a0b"));
}

TEST_F(TextTransformTest, TrimWhitespaceTrimsUnicodeWhiteSpaceAndLineBreaks)
{
    EXPECT_EQ(apply(TextTransform::trimWhitespace, u8("\u3000 \t\r\n x y \u2029\u0085")), QStringLiteral("x y"));
}

TEST_F(TextTransformTest, SlugifyFoldsAccentsAndJoinsWithDashes)
{
    EXPECT_EQ(apply(TextTransform::slugify, u8("Cr\u00e8me Br\u00fbl\u00e9e -- 2024!")), QStringLiteral("creme-brulee-2024"));
    EXPECT_EQ(apply(TextTransform::slugify, u8("Stra\u00dfe \ufb01sh")), QStringLiteral("strasse-fish"));
    EXPECT_EQ(apply(TextTransform::slugify, u8("\u65e5\u672c -- !!")), QString());
}

TEST_F(TextTransformTest, PrettyJSONAndCleanURLLeaveOtherTextUnchanged)
{
    const QString text = QStringLiteral("  not json, not a url  ");
    EXPECT_EQ(apply(TextTransform::prettyJSON, text), text);
    EXPECT_EQ(apply(TextTransform::cleanURL, text), text);
    EXPECT_EQ(apply(TextTransform::prettyJSON, QStringLiteral("{\"n\":12345678901234567890123}")),
              QStringLiteral("{\n  \"n\" : 12345678901234567890123\n}"));
}

} // namespace
} // namespace tolvi
