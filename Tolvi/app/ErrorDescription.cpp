#include "Tolvi/app/ErrorDescription.h"

#include "TolviCore/model/ClipboardHistoryImportError.h"
#include "TolviCore/persistence/PersistenceError.h"

namespace tolvi {

QString errorDescription(const std::exception& error)
{
    if (const auto* importError = dynamic_cast<const ClipboardHistoryImportError*>(&error))
        return importError->errorDescription();
    if (const auto* persistenceError = dynamic_cast<const PersistenceError*>(&error))
        return persistenceError->message();
    return QString::fromLocal8Bit(error.what());
}

} // namespace tolvi
