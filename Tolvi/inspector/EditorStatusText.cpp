#include "Tolvi/inspector/EditorStatusText.h"

namespace tolvi::EditorStatusText {

QString characterCount(qsizetype count)
{
    return QString::number(count) + QStringLiteral(" chars");
}

QString characterStatus(qsizetype editedCount, qsizetype savedCount, bool hasUnsavedChanges)
{
    QString status = characterCount(editedCount);
    if (!hasUnsavedChanges)
        return status;
    const qsizetype difference = editedCount - savedCount;
    status += QStringLiteral(", ");
    if (difference >= 0)
        status += QLatin1Char('+');
    return status + QString::number(difference);
}

} // namespace tolvi::EditorStatusText
