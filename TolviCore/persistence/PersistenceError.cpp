#include "TolviCore/persistence/PersistenceError.h"

#include <cerrno>
#include <cstring>

namespace tolvi {

PersistenceError::PersistenceError(Kind kind, int code, QString message)
    : kind_(kind), code_(code), message_(std::move(message)), what_(message_.toStdString())
{
}

PersistenceError PersistenceError::system(int errnoValue, const QString& operation)
{
    QString text = QString::fromLocal8Bit(std::strerror(errnoValue));
    if (!operation.isEmpty())
        text = operation + QStringLiteral(": ") + text;
    return PersistenceError(Kind::system, errnoValue, text);
}

PersistenceError PersistenceError::encoding(const QString& message)
{
    return PersistenceError(Kind::encoding, 0, message);
}

PersistenceError PersistenceError::decoding(const QString& message)
{
    return PersistenceError(Kind::decoding, 0, message);
}

void throwSystemError(const char* operation)
{
    const int code = errno;
    throw PersistenceError::system(code, QString::fromLatin1(operation));
}

} // namespace tolvi
