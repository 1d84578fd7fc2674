#pragma once

#include <QString>
#include <QStringView>

namespace tolvi {

// Whether `position` (0 to text.size()) separates two user-perceived characters whatever the
// text around it: the ends, after a line break, before one (but never inside CR LF), and between
// two characters of the common scripts that no rule of grapheme clustering ever joins with a
// neighbour (ASCII, Latin, Greek, Cyrillic, Hebrew and Arabic letters, CJK ideographs, kana,
// Hangul syllables). Clustering of the text on either side of such a position never looks
// across it, so each side can be counted on its own. False means "not known", not "no boundary".
bool isDefiniteCharacterBoundary(QStringView text, qsizetype position);

// The number of user-perceived characters (grapheme clusters) of a text that changes a little at
// a time, as an editor's text does: after the first count, each new version is counted by
// looking at the stretch that differs from the version before and the few characters around it,
// not at the whole text (counting a million characters takes milliseconds, every keystroke).
// The result is always the one UnicodeText::characterCount gives. A text in one of the scripts
// whose clusters depend on a whole run of text (Thai, Lao, Tibetan, Myanmar, Khmer) is counted
// whole each time.
class IncrementalCharacterCount {
public:
    qsizetype count(const QString& text);
    void reset();
    // Starts from a count made elsewhere (off the main thread) of this text, and from whether it
    // holds one of the scripts counted whole (holdsTailoredScript, found there too).
    void seed(const QString& text, qsizetype count, bool tailored);
    // Whether a text holds a script whose clusters depend on a whole run of text.
    static bool holdsTailoredScript(QStringView text);
    // The count UnicodeText::characterCount gives, made a piece at a time between definite
    // boundaries: the table of boundaries Qt makes for a count takes a byte a code unit, fifty
    // megabytes for a text of fifty million characters.
    static qsizetype countInPieces(const QString& text);

    // The length of the pieces countInPieces counts.
    static constexpr qsizetype countedPieceLength = 65'536;

    // How far the search for a definite boundary goes on each side of a change before the
    // whole text is counted instead.
    static constexpr qsizetype searchLimit = 4'096;

private:
    QString m_text;
    qsizetype m_count = -1;
    bool m_tailored = false;
};

} // namespace tolvi
