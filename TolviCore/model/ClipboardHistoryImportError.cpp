#include "TolviCore/model/ClipboardHistoryImportError.h"

namespace tolvi {

ClipboardHistoryImportError::ClipboardHistoryImportError(Case errorCase)
    : case_(errorCase), what_(message(errorCase).toStdString())
{
}

QString ClipboardHistoryImportError::errorDescription() const
{
    return message(case_);
}

QString ClipboardHistoryImportError::message(Case errorCase)
{
    switch (errorCase) {
    case Case::tooLarge:
        return QStringLiteral("This archive exceeds the supported size or item limits.");
    case Case::unsupportedVersion:
        return QStringLiteral("This archive was created by an unsupported version of Tolvi.");
    case Case::invalidArchive:
        return QStringLiteral("This file is not a valid Tolvi history archive.");
    case Case::storageUnavailable:
        return QStringLiteral("Resolve the history storage error before importing or editing boards.");
    case Case::invalidBoardName:
        return QStringLiteral("Enter a board name between 1 and 80 characters.");
    case Case::duplicateBoardName:
        return QStringLiteral("A board with that name already exists.");
    case Case::missingBoard:
        return QStringLiteral("The board no longer exists.");
    case Case::invalidBoardOrder:
        return QStringLiteral("The board order must contain every board exactly once.");
    }
    return QString();
}

} // namespace tolvi
