#pragma once

#include <QPlainTextDocumentLayout>
#include <QStringView>

namespace tolvi {

// The layout of a plain-text editor's document that keeps the shaped glyphs of a paragraph that
// is a piece of one character of many joined emoji (see keepsGlyphsOf()) once it is laid out. A
// text layout drops its glyphs when its lines are made and shapes the paragraph again to paint
// it; with a colour emoji font every emoji shaped is a picture the font decodes to measure it (Qt
// does not keep the measures of such a font), so a screenful of such pieces would be decoded once
// to lay it out and again on every paint. Other paragraphs are laid out as before, keeping
// nothing: kept glyphs take tens of bytes a character for as long as the paragraph keeps its
// lines, which in an editor is until its width changes. A change of the paragraph's text or of
// the document's font shapes it anew, as for any paragraph.
class GlyphKeepingTextLayout : public QPlainTextDocumentLayout {
    Q_OBJECT
public:
    explicit GlyphKeepingTextLayout(QTextDocument* document);

    QRectF blockBoundingRect(const QTextBlock& block) const override;

    // Whether a layout of this text is to keep its glyphs: it shows emoji and is a piece of one
    // character cut for display (it begins with a mark or joiner that continues a character, or
    // ends with one that the next piece's character continues).
    static bool keepsGlyphsOf(QStringView text);
};

} // namespace tolvi
