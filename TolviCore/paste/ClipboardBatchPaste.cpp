#include "TolviCore/paste/ClipboardBatchPaste.h"

namespace tolvi::ClipboardBatchPaste {

ClipboardBatchPayload payload(const QList<ClipboardItem>& items)
{
    if (items.isEmpty())
        return ClipboardBatchPayload::empty();
    QList<ClipboardImage> images;
    for (const ClipboardItem& item : items) {
        if (const ClipboardImage* image = item.content().imageIf())
            images.append(*image);
    }
    if (images.size() == items.size())
        return ClipboardBatchPayload::images(images);
    if (!images.isEmpty()) {
        QList<ClipboardContent> contents;
        contents.reserve(items.size());
        for (const ClipboardItem& item : items)
            contents.append(item.content());
        return ClipboardBatchPayload::mixed(contents);
    }
    return ClipboardBatchPayload::text(text(items));
}

QString text(const QList<ClipboardItem>& items)
{
    QStringList segments;
    segments.reserve(items.size());
    for (const ClipboardItem& item : items)
        segments.append(textSegment(item));
    return segments.join(QLatin1Char('\n'));
}

QString textSegment(const ClipboardItem& item)
{
    if (const ClipboardImage* image = item.content().imageIf())
        return QStringLiteral("[Image ") + image->pixelDescription() + QLatin1Char(']');
    return item.content().textValue();
}

} // namespace tolvi::ClipboardBatchPaste
