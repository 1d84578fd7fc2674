#pragma once

#include <QString>

#include <array>

namespace tolvi::test {

// Texts a history file can hold that are hard to show: each stresses another part of text layout
// (one huge line, sheer size, one huge user-perceived character, a whole line without a space,
// hundreds of thousands of paragraphs).
struct HostileText {
    const char* name;
    QString (*make)();
};

inline QString longUrlLine()
{
    QString text = QStringLiteral("https://example.com/search?q=");
    text += QString(2'000'020 - text.size(), QLatin1Char('a'));
    return text;
}

inline QString fiftyMillionCharacters()
{
    const QString sentence = QStringLiteral("The quick brown fox jumps over the lazy dog while the clipboard keeps it. ");
    QString text;
    text.reserve(50'000'006 + sentence.size());
    int count = 0;
    while (text.size() < 50'000'006) {
        text += sentence;
        if (++count % 8 == 0)
            text += QLatin1Char('\n');
    }
    text.truncate(50'000'006);
    return text;
}

inline QString combiningAccents()
{
    return QStringLiteral("e") + QString(49'999, QChar(0x0301));
}

inline QString joinedEmoji()
{
    const QString woman = QString::fromUcs4(U"\U0001F469", 1);
    QString text;
    text.reserve(16'000 * 3);
    for (int i = 0; i < 16'000; ++i) {
        if (i > 0)
            text += QChar(0x200D);
        text += woman;
    }
    return text;
}

inline QString ideographLine()
{
    QString text;
    text.reserve(820'001);
    for (int i = 0; i < 820'001; ++i)
        text += QChar(0x4E00 + i % 2000);
    return text;
}

// Fifty million characters in short lines: a paragraph every 27 characters.
inline QString fiftyMillionCharactersInShortLines()
{
    const QString line = QStringLiteral("lorem ipsum dolor sit amet\n");
    QString text = QStringLiteral("BIG-");
    text.reserve(50'000'006 + line.size());
    while (text.size() < 50'000'006)
        text += line;
    text.truncate(50'000'006);
    return text;
}

inline QString fiveMillionOneCharacterLines()
{
    const QString line = QStringLiteral("x\n");
    QString text;
    text.reserve(10'000'000);
    for (int i = 0; i < 5'000'000; ++i)
        text += line;
    return text;
}

inline const std::array<HostileText, 7>& hostileTexts()
{
    static const std::array<HostileText, 7> texts{{
        {"UrlOfTwoMillionCharactersOnOneLine", longUrlLine},
        {"FiftyMillionCharacters", fiftyMillionCharacters},
        {"LetterWithFiftyThousandAccents", combiningAccents},
        {"SixteenThousandJoinedEmoji", joinedEmoji},
        {"IdeographLineOfEightHundredThousand", ideographLine},
        {"FiftyMillionCharactersInShortLines", fiftyMillionCharactersInShortLines},
        {"FiveMillionOneCharacterLines", fiveMillionOneCharacterLines},
    }};
    return texts;
}

} // namespace tolvi::test
