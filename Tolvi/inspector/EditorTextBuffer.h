#pragma once

#include "Tolvi/inspector/FontCoverage.h"

#include <QString>

#include <memory>
#include <vector>

namespace tolvi {

// The text a plain-text editor shows for a stored text, and the stored text that the editor's
// content stands for after the user's edits.
//
// A text document keeps paragraphs, not line-break characters: CR LF, a lone CR, LF, U+2029 and
// the two characters U+FDD0 and U+FDD1 all become its one paragraph separator, so reading an
// editor back would rewrite every clip that breaks its lines with anything but LF. The buffer
// keeps the stored text beside what the editor shows and follows each change the editor
// reports: what the user did not touch comes back exactly as stored (wherever it lies, between
// any number of edits); what the user typed or pasted comes back as typed, each new line break
// in the stored text's own style (CR LF when every break of the stored text is a CR LF, a lone
// CR when every break is one, LF otherwise). Text that goes back to what it was (typing and
// deleting again, undo) counts as untouched again.
//
// A line of many thousands of characters is one paragraph that the editor lays out whole on
// every keystroke (hundreds of milliseconds for a line of a million characters). Such lines are
// shown cut into pieces of about a thousand characters at spaces where possible (a piece is laid
// out whole whenever the cursor or the view comes to it, and ideographs look for their font
// character by character); the cuts exist only in the editor and never reach the stored text
// or a copy of a selection.
//
// Bidirectional formatting characters (an RLO, say) are shown as visible marks, one for one,
// instead of reordering what follows them: the stored text keeps them where they were. So are
// characters that no font of the machine shows, as a box (see FontCoverage).
//
// The buffer holds no display of its own: it shares the stored text with its caller, notes
// where the display differs from it in length (a CR LF pair, a cut), and builds the display a
// range at a time, so the editor can be given a text of a million characters in pieces.
//
// Positions and lengths are in the editor's characters (UTF-16 code units, one per paragraph
// separator). Main thread; plain value.
class EditorTextBuffer {
public:
    explicit EditorTextBuffer(const QString& stored = QString());

    // Starts again from a stored text, untouched; the editor is to show displayText().
    void load(const QString& stored);
    // Characters no font shows are shown as the coverage's box (one for one) in the display of
    // texts loaded from now on; none: every character as itself.
    void setFontCoverage(std::shared_ptr<const FontCoverage> coverage) { m_nextCoverage = std::move(coverage); }
    // What the editor shows for the text loaded last (paragraph separators as U+2029): all of
    // it, or its `length` characters from `from` (clamped to the display).
    QString displayText() const;
    QString displayText(qsizetype from, qsizetype length) const;
    qsizetype loadedDisplayLength() const { return m_baseLength; }
    // The paragraphs of that display (one more than its separators).
    qsizetype loadedParagraphCount() const { return m_baseParagraphs; }
    // The text loaded last, as stored.
    const QString& loadedText() const { return m_base; }

    // The editor replaced `removed` characters at `position` with `added` (its own characters,
    // paragraph separators as U+2029). False, changing nothing, when the range lies outside.
    bool replace(qsizetype position, qsizetype removed, const QString& added);
    // Brings the buffer to the editor's whole text when a change could not be followed: the
    // parts before and after the first and last difference keep their stored form.
    void resynchronize(const QString& editorText);

    qsizetype displayLength() const { return m_length; }
    // What the editor shows now, as the buffer understands it.
    QString currentDisplayText() const;
    // The stored text the editor's content stands for.
    QString storedText() const;
    // The same for the editor's characters [from, to), for a copy of a selection.
    QString storedText(qsizetype from, qsizetype to) const;
    // Nothing differs from the text loaded last.
    bool isUntouched() const;
    // The stored text becomes the loaded text (after a save). What the editor is to show for it
    // (displayText()) is what it shows already, unless the cuts of a long line moved.
    void rebase();

    // The line break new paragraphs get in the stored text.
    const QString& lineBreak() const { return m_lineBreak; }

    // Lines longer than this are shown in pieces of about pieceLength characters.
    static constexpr qsizetype longLineLength = 10'000;
    static constexpr qsizetype pieceLength = 1'000;

private:
    struct Segment {
        // A piece of the loaded text's display [start, start + length), or a piece of new text.
        bool original = true;
        qsizetype start = 0;
        qsizetype length = 0;
        QString text;
    };

    qsizetype storedPosition(qsizetype displayPosition) const;
    void appendStored(QString& out, const Segment& segment, qsizetype from, qsizetype to) const;
    void appendNew(QString& out, QStringView text) const;
    void normalize();

    QString m_base;
    // Taken at load(), so that the display of one loaded text never changes.
    std::shared_ptr<const FontCoverage> m_coverage;
    std::shared_ptr<const FontCoverage> m_nextCoverage;
    // The length of the loaded text's display.
    qsizetype m_baseLength = 0;
    qsizetype m_baseParagraphs = 1;
    QString m_lineBreak = QStringLiteral("\n");
    // Positions in the loaded text's display whose character stands for other than one stored
    // character: a CR LF pair (two) or a cut of a long line (none); and the sum of the
    // differences up to and including each. Every other character of the display stands for
    // the one stored in its place, shown as itself, as a paragraph separator (a line break of
    // its own), as a visible mark (a bidirectional control) or as a box (a character no font
    // shows, see FontCoverage).
    std::vector<qsizetype> m_points;
    std::vector<qsizetype> m_shiftAfter;
    std::vector<Segment> m_segments;
    qsizetype m_length = 0;
};

} // namespace tolvi
