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
