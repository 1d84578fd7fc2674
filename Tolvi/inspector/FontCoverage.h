#pragma once

#include <QChar>
#include <QFont>
#include <QString>
#include <QStringList>

#include <bitset>
#include <memory>

namespace tolvi {

// Which characters of the Basic Multilingual Plane some font of the machine can show, and the
// character the editors show in place of one that none can.
//
// Qt looks for the font of a character that its font lacks through every font the font
// configuration lists as a fallback, one after another, and keeps no note of characters that
// none of them has: with a few hundred fonts installed and none for a script (Noto without its
// CJK fonts, say), each such character of a screenful is looked for in each font again, which
// takes a tenth of a second and more every time a piece of text is laid out. Shown as a box of
// its own, the character looks as it would have (the box of a missing glyph) and costs nothing.
//
// The same search makes the first emoji laid out in a font of another size or weight take a
// tenth of a second (the fonts before the emoji fonts are each matched anew for every such
// font): the families that show emoji are found once, with the rest, and the editors name them
// after their own family for a text that holds emoji.
class FontCoverage {
public:
    // Characters `shown` shows; the box is the first of U+25A1 (white square) and U+FFFD that one
    // of them is, or none. Emoji are shown by `pictographFamilies`, the first that has each (none:
    // by the font itself, or not known).
    explicit FontCoverage(const std::bitset<0x10000>& shown, QStringList pictographFamilies = {});

    // The coverage of the fonts the font configuration lists, worked out once a process on a
    // worker thread; null until it is ready (the first call starts the work).
    static std::shared_ptr<const FontCoverage> installed();
    // The same, waiting for the work to end (for tests).
    static std::shared_ptr<const FontCoverage> installedWhenReady();

    bool shows(char16_t c) const { return m_shown.test(c); }
    // What an editor shows for a character of the plane (not half of a surrogate pair): the
    // character itself, or the box where no font shows it and no more than a box would be lost.
    char16_t shownAs(char16_t c) const
    {
        if (c < 0x80 || m_box == 0 || m_shown.test(c) || !isDrawnAlone(c))
            return c;
        return m_box;
    }
    char16_t box() const { return m_box; }
    const QStringList& pictographFamilies() const { return m_pictographFamilies; }
    // The font with the families that show emoji named after its own.
    QFont withPictographFamilies(QFont font) const;
    // The text with shownAs() applied to each character of the plane (one for one).
    QString shown(QString text) const;

private:
    // Marks, format and control characters, separators, surrogates: never a box of their own.
    static bool isDrawnAlone(char16_t c);

    std::bitset<0x10000> m_shown;
    char16_t m_box = 0;
    QStringList m_pictographFamilies;
};

} // namespace tolvi
