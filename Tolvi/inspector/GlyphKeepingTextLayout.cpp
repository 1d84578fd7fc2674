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
    if (block.isValid() && block.userState() != keepingGlyphsState) {
        QTextLayout* layout = block.layout();
        if (layout->lineCount() == 0 && keepsGlyphsOf(block.text())) {
            layout->setCacheEnabled(true);
            QTextBlock(block).setUserState(keepingGlyphsState);
            m_keepsAny = true;
        }
    }
    return QPlainTextDocumentLayout::blockBoundingRect(block);
}

void GlyphKeepingTextLayout::forgetGlyphs()
{
    if (!m_keepsAny)
        return;
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        // Setting the text of a paragraph's layout drops what it shaped (the paragraph's own
        // text is what it shapes again) and its lines, so the paragraph is laid out anew.
        if (block.userState() == keepingGlyphsState)
            block.layout()->setText(QString());
    }
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
