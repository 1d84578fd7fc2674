#include "TolviCore/model/Pinboard.h"

#include "TolviCore/model/ReferenceDate.h"
#include "TolviCore/model/UnicodeText.h"

namespace tolvi {

bool operator==(const Pinboard& a, const Pinboard& b)
{
    return a.id_ == b.id_ && UnicodeText::canonicallyEqual(a.name_, b.name_)
           && UnicodeText::canonicallyEqual(a.systemName_, b.systemName_) && a.createdAt_ == b.createdAt_;
}

namespace DefaultPinboards {

QUuid workID()
{
    static const QUuid id(QStringLiteral("11111111-1111-1111-1111-111111111111"));
    return id;
}

QUuid codeID()
{
    static const QUuid id(QStringLiteral("22222222-2222-2222-2222-222222222222"));
    return id;
}

QUuid screenshotsID()
{
    static const QUuid id(QStringLiteral("33333333-3333-3333-3333-333333333333"));
    return id;
}

QUuid personalID()
{
    static const QUuid id(QStringLiteral("44444444-4444-4444-4444-444444444444"));
    return id;
}

const QList<Pinboard>& all()
{
    static const QList<Pinboard> boards = [] {
        QList<Pinboard> list;
        list.append(Pinboard(workID(), QStringLiteral("Work"), QStringLiteral("briefcase"), ReferenceDate::now()));
        list.append(Pinboard(codeID(), QStringLiteral("Code"), QStringLiteral("chevron.left.forwardslash.chevron.right"),
                             ReferenceDate::now()));
        list.append(Pinboard(screenshotsID(), QStringLiteral("Screenshots"), QStringLiteral("photo"),
                             ReferenceDate::now()));
        list.append(Pinboard(personalID(), QStringLiteral("Personal"), QStringLiteral("person"), ReferenceDate::now()));
        return list;
    }();
    return boards;
}

} // namespace DefaultPinboards
} // namespace tolvi
