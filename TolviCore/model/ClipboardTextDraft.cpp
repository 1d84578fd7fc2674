#include "TolviCore/model/ClipboardTextDraft.h"

#include "TolviCore/model/UnicodeText.h"

namespace tolvi {

bool ClipboardTextDraft::canUseEditedText() const
{
    // Trimmed in place: a long draft with blanks at its ends is not copied to find out.
    return !QStringView(editedText).trimmed().isEmpty();
}

bool ClipboardTextDraft::hasUnsavedChanges() const
{
    return !UnicodeText::canonicallyEqual(editedText, originalText);
}

QString ClipboardTextDraft::characterStatus() const
{
    const qsizetype count = UnicodeText::characterCount(editedText);
    QString status = QString::number(count) + QStringLiteral(" chars");
    if (!hasUnsavedChanges())
        return status;
    const qsizetype difference = count - UnicodeText::characterCount(originalText);
    status += QStringLiteral(", ");
    if (difference >= 0)
        status += QLatin1Char('+');
    return status + QString::number(difference);
}

ClipboardTextDraftMutation ClipboardTextDraft::applyAIResult(const QString& text)
{
    editedText = text;
    return ClipboardTextDraftMutation::editBufferOnly();
}

ClipboardTextDraftMutation ClipboardTextDraft::applyAIRewrite(const QString& text)
{
    return applyAIResult(text);
}

void ClipboardTextDraft::markSaved()
{
    originalText = editedText;
}

bool operator==(const ClipboardTextDraft& a, const ClipboardTextDraft& b)
{
    return UnicodeText::canonicallyEqual(a.originalText, b.originalText)
           && UnicodeText::canonicallyEqual(a.editedText, b.editedText);
}

} // namespace tolvi
