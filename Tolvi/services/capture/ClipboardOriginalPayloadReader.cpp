#include "Tolvi/services/capture/ClipboardOriginalPayloadReader.h"

#include "Tolvi/platform/pasteboard/Pasteboard.h"
#include "Tolvi/platform/pasteboard/PasteboardTypes.h"

#include <QUrl>

namespace tolvi::ClipboardOriginalPayloadReader {

std::optional<QByteArray> bounded(Pasteboard& pasteboard, const QString& type)
{
    std::optional<QByteArray> data = pasteboard.data(type);
    if (!data || data->isEmpty() || data->size() > ClipboardOriginalPayload::maximumRepresentationBytes)
        return std::nullopt;
    return data;
}

namespace {

bool isFileItem(Pasteboard& pasteboard, int index)
{
    return pasteboard.itemTypes(index).contains(PasteboardTypes::fileURL);
}

std::optional<Result> readFiles(Pasteboard& pasteboard, int itemCount)
{
    if (itemCount > ClipboardOriginalPayload::maximumFileCount)
        return std::nullopt;
    QStringList urls;
    QStringList paths;
    for (int i = 0; i < itemCount; ++i) {
        if (!isFileItem(pasteboard, i))
            return std::nullopt;
        const std::optional<QByteArray> bytes = pasteboard.itemData(i, PasteboardTypes::fileURL);
        if (!bytes || bytes->size() > ClipboardOriginalPayload::maximumFileURLBytes)
            return std::nullopt;
        const QString string = QString::fromUtf8(*bytes);
        const QUrl url(string, QUrl::StrictMode);
        if (!url.isValid() || !ClipboardOriginalPayload::isSupportedFileURL(string))
            return std::nullopt;
        urls.append(string);
        // The path only: a "localhost" host names this machine too.
        paths.append(url.path(QUrl::FullyDecoded));
    }
    std::optional<ClipboardOriginalPayload> payload = ClipboardOriginalPayload::create(std::nullopt, std::nullopt, urls);
    if (!payload)
        return std::nullopt;
    return Result{paths.join(QLatin1Char('\n')), std::move(payload)};
}

} // namespace

std::optional<Result> read(Pasteboard& pasteboard)
{
    const int itemCount = pasteboard.itemCount();
    for (int i = 0; i < itemCount; ++i) {
        if (isFileItem(pasteboard, i))
            return readFiles(pasteboard, itemCount);
    }

    const std::optional<QString> text = pasteboard.string(PasteboardTypes::plainText);
    if (!text || text->trimmed().isEmpty())
        return std::nullopt;
    if (itemCount >= 2)
        return Result{*text, std::nullopt};
    std::optional<QByteArray> rtf = bounded(pasteboard, PasteboardTypes::rtf);
    std::optional<QByteArray> html = bounded(pasteboard, PasteboardTypes::html);
    return Result{*text, ClipboardOriginalPayload::create(std::move(rtf), std::move(html), {})};
}

} // namespace tolvi::ClipboardOriginalPayloadReader
