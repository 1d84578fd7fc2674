#include "TolviCore/text/MediumDate.h"
#include "TolviCore/text/TextCharacters.h"

#include <QDateTime>

#include <gtest/gtest.h>

#include <ostream>

// Readable failure messages for Qt strings.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

#include <cmath>
#include <limits>

namespace tolvi {
namespace {

TEST(TextCharacters, CountsAndCutsWholeCharacters)
{
    const QString family = QString::fromUtf8("\U0001F468\u200D\U0001F469\u200D\U0001F467"); // one emoji, five scalars
    const QString text = QStringLiteral("ab") + family + QString::fromUtf8("e\u0301\r\nz");
    EXPECT_EQ(TextCharacters::characterCount(text), 6);
    EXPECT_EQ(TextCharacters::characterCount(text, 3), 3);
    EXPECT_EQ(TextCharacters::characterPrefix(text, 3).toString(), QStringLiteral("ab") + family);
    EXPECT_EQ(TextCharacters::characterPrefix(text, 5).toString(), QStringLiteral("ab") + family + QString::fromUtf8("e\u0301\r\n"));
    EXPECT_EQ(TextCharacters::characterPrefix(text, 0).size(), 0);
    EXPECT_EQ(TextCharacters::characterPrefix(text, -3).size(), 0);
    EXPECT_EQ(TextCharacters::characterPrefix(text, 100).toString(), text);
}

TEST(TextCharacters, FoldsCaseFullyWithTheLocalesDottedI)
{
    EXPECT_EQ(TextCharacters::caseFolded(QString::fromUtf8("Stra\u00dfe"), QLocale::c()), QStringLiteral("strasse"));
    EXPECT_EQ(TextCharacters::caseFolded(QStringLiteral("I"), QLocale(QLocale::Turkish)), QString::fromUtf8("\u0131"));
    EXPECT_EQ(TextCharacters::caseFolded(QStringLiteral("I"), QLocale(QLocale::English)), QStringLiteral("i"));
}

// A character said to fold to itself is one that folding a text's case and composing it (NFC)
// leaves as it is, in either rule for the dotted i, between ASCII letters or others of its kind;
// over every assigned code point.
TEST(TextCharacters, CharactersThatFoldToThemselvesDoSoInEveryPlace)
{
    const QLocale turkish(QLocale::Turkish);
    const QString neighbours[] = {QStringLiteral("a"), QStringLiteral("Z"), QString::fromUtf8("\u00e9")};
    qsizetype said = 0;
    for (char32_t c = 0x80; c <= 0x10FFFF; ++c) {
        if ((c >= 0xD800 && c <= 0xDFFF) || QChar::category(c) == QChar::Other_NotAssigned)
            continue;
        const QString character = QString::fromUcs4(&c, 1);
        const QByteArray utf8 = character.toUtf8();
        if (!TextCharacters::foldsToItselfBeyondAscii(std::string_view(utf8.constData(), size_t(utf8.size()))))
            continue;
        ++said;
        for (const QString& neighbour : neighbours) {
            const QString text = neighbour + character + neighbour;
            const QString lowered = neighbour.toLower() + character + neighbour.toLower();
            for (const QLocale& locale : {QLocale::c(), turkish}) {
                ASSERT_EQ(TextCharacters::caseFolded(text, locale).normalized(QString::NormalizationForm_C), lowered)
                    << unsigned(c);
            }
        }
    }
    // Most characters are such, and the ones folding changes or that compose are not.
    EXPECT_GT(said, 100'000);
    for (const char* changed : {"\u00c9", "\u00df", "\u0130", "\u212a", "\u0301", "\u1161", "\u01c5", "\uff21"})
        EXPECT_FALSE(TextCharacters::foldsToItselfBeyondAscii(changed)) << changed;
    EXPECT_TRUE(TextCharacters::foldsToItselfBeyondAscii("Caf\u00e9 I \u4e2d\u6587 \U0001F44D"));
}

TEST(MediumDate, FormatsInTheLocaleAndZoneAndClampsAbsurdValues)
{
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const double instant = QDateTime(QDate(2026, 12, 8), QTime(23, 30), QTimeZone("UTC")).toSecsSinceEpoch();
    EXPECT_EQ(MediumDate::format(instant, english, QTimeZone("UTC")), QStringLiteral("Dec 8, 2026"));
    EXPECT_EQ(MediumDate::format(instant, english, QTimeZone("Asia/Tokyo")), QStringLiteral("Dec 9, 2026"));
    EXPECT_EQ(MediumDate::format(instant, QLocale(QLocale::German, QLocale::Germany), QTimeZone("UTC")),
              QStringLiteral("08.12.2026"));
    EXPECT_EQ(MediumDate::format(std::numeric_limits<double>::infinity(), english, QTimeZone("UTC")),
              QStringLiteral("Dec 31, 9999"));
    EXPECT_FALSE(MediumDate::format(std::nan(""), english, QTimeZone("UTC")).isEmpty());
    EXPECT_FALSE(MediumDate::format(-1e300, english, QTimeZone("UTC")).isEmpty());
}

} // namespace
} // namespace tolvi
