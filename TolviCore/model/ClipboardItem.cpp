#include "TolviCore/model/ClipboardItem.h"

#include "TolviCore/model/ReferenceDate.h"
#include "TolviCore/model/UnicodeText.h"

namespace tolvi {

ClipboardItem::ClipboardItem(QUuid id, ClipboardContent content, double createdAt, bool isPinned,
                             QList<QUuid> pinboardIDs, std::optional<ClipboardSourceApp> sourceApp,
                             std::optional<ClipboardOriginalPayload> originalPayload)
    : d(new Data(id, std::move(content), createdAt, isPinned, std::move(pinboardIDs), std::move(sourceApp),
                 std::move(originalPayload)))
{
}

ClipboardItem::ClipboardItem(QUuid id, QString text, double createdAt, bool isPinned, QList<QUuid> pinboardIDs,
                             std::optional<ClipboardSourceApp> sourceApp,
                             std::optional<ClipboardOriginalPayload> originalPayload)
    : ClipboardItem(id, ClipboardContent::text(std::move(text)), createdAt, isPinned, std::move(pinboardIDs),
                    std::move(sourceApp), std::move(originalPayload))
{
}

ClipboardItem::ClipboardItem(QString text)
    : ClipboardItem(QUuid::createUuid(), ClipboardContent::text(std::move(text)), ReferenceDate::now())
{
}

QString ClipboardItem::dedupeKey() const
{
    QString contentKey = d->content.dedupeKey();
    if (!d->originalPayload)
        return contentKey;
    return QStringLiteral("original:") + QString::number(UnicodeText::utf8Length(contentKey)) + QLatin1Char(':')
           + contentKey + QLatin1Char(':') + d->originalPayload->fingerprint();
}

bool operator==(const ClipboardItem& a, const ClipboardItem& b)
{
    if (a.d == b.d)
        return true;
    const ClipboardItem::Data& x = *a.d;
    const ClipboardItem::Data& y = *b.d;
    return x.id == y.id && x.content == y.content && x.createdAt == y.createdAt && x.isPinned == y.isPinned
           && x.pinboardIDs == y.pinboardIDs && x.sourceApp == y.sourceApp && x.originalPayload == y.originalPayload;
}

} // namespace tolvi
