#include "TolviCore/model/ClipboardItem.h"

#include "TolviCore/model/ReferenceDate.h"
#include "TolviCore/model/UnicodeText.h"

namespace tolvi {

ClipboardItem::ClipboardItem(QUuid id, ClipboardContent content, double createdAt, bool isPinned,
                             QList<QUuid> pinboardIDs, std::optional<ClipboardSourceApp> sourceApp,
                             std::optional<ClipboardOriginalPayload> originalPayload)
    : id_(id),
      content_(std::move(content)),
      createdAt_(createdAt),
      isPinned_(isPinned),
      pinboardIDs_(std::move(pinboardIDs)),
      sourceApp_(std::move(sourceApp)),
      originalPayload_(std::move(originalPayload))
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
    QString contentKey = content_.dedupeKey();
    if (!originalPayload_)
        return contentKey;
    return QStringLiteral("original:") + QString::number(UnicodeText::utf8Length(contentKey)) + QLatin1Char(':')
           + contentKey + QLatin1Char(':') + originalPayload_->fingerprint();
}

bool operator==(const ClipboardItem& a, const ClipboardItem& b)
{
    return a.id_ == b.id_ && a.content_ == b.content_ && a.createdAt_ == b.createdAt_ && a.isPinned_ == b.isPinned_
           && a.pinboardIDs_ == b.pinboardIDs_ && a.sourceApp_ == b.sourceApp_
           && a.originalPayload_ == b.originalPayload_;
}

} // namespace tolvi
