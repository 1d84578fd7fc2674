#include "Tolvi/inspector/GlyphKeepingTextLayout.h"

#include "TolviCore/text/TextCharacters.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

namespace tolvi {

GlyphKeepingTextLayout::GlyphKeepingTextLayout(QTextDocument* document)
    : QPlainTextDocumentLayout(document)
{
}

QRectF GlyphKeepingTextLayout::blockBoundingRect(const QTextBlock& block) const
{
    // Decided just before a paragraph is laid out (it has no lines yet), from its text.
    if (block.isValid()) {
        QTextLayout* layout = block.layout();
        if (layout->lineCount() == 0 && !layout->cacheEnabled() && keepsGlyphsOf(block.text()))
            layout->setCacheEnabled(true);
    }
    return QPlainTextDocumentLayout::blockBoundingRect(block);
}

bool GlyphKeepingTextLayout::keepsGlyphsOf(QStringView text)
{
    if (text.isEmpty())
        return false;
    qsizetype last = text.size() - 1;
    if (last > 0 && text[last].isLowSurrogate() && text[last - 1].isHighSurrogate())
        --last;
    const bool cut = TextCharacters::continuesCharacterAt(text, 0)
        || TextCharacters::extendsPreviousCharacter(TextCharacters::codePointAt(text, last));
    return cut && TextCharacters::holdsPictograph(text);
}

} // namespace tolvi
