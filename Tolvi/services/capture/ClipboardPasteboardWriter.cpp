#include "Tolvi/services/capture/ClipboardPasteboardWriter.h"

#include "Tolvi/platform/pasteboard/Pasteboard.h"
#include "Tolvi/platform/pasteboard/PasteboardTypes.h"

#include "ocr-protocol/OCRRasterPolicy.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImage>
#include <QUrl>

namespace tolvi::ClipboardPasteboardWriter {

namespace {

bool writeSingleImage(const ClipboardImage& image, Pasteboard& pasteboard, Pasteboard::WriteKind kind)
{
    const std::optional<OCRRasterPolicy::Metadata> metadata = OCRRasterPolicy::metadata(image.data());
    if (!metadata)
        return false;
    PasteboardItem item;
    item.setData(metadata->typeIdentifier, image.data());
    // PNG is the form every Linux program reads; other formats get a PNG copy beside them.
    if (metadata->typeIdentifier != PasteboardTypes::png) {
        const QImage decoded = OCRRasterPolicy::validatedImage(image.data());
        if (!decoded.isNull()) {
            QByteArray png;
            QBuffer buffer(&png);
            buffer.open(QIODevice::WriteOnly);
            if (decoded.save(&buffer, "PNG"))
                item.setData(PasteboardTypes::png, png);
        }
    }
    return pasteboard.write({item}, kind);
}

bool writeFiles(const QStringList& urls, Pasteboard& pasteboard, Pasteboard::WriteKind kind, const CaptureLogSink& log)
{
    QList<PasteboardItem> items;
    for (const QString& url : urls) {
        const QString path = QUrl(url).path(QUrl::FullyDecoded);
        const QFileInfo info(path);
        if (path.isEmpty() || !info.exists() || !info.isReadable()) {
            if (log)
                log(QStringLiteral("Tolvi could not copy file references: a referenced file is unavailable or unreadable"));
            return false;
        }
        PasteboardItem item;
        item.setData(PasteboardTypes::fileURL, url.toUtf8());
        item.setString(PasteboardTypes::plainText, path);
        items.append(item);
    }
    return pasteboard.write(items, kind);
}

} // namespace

bool writeText(const QString& text, Pasteboard& pasteboard, Pasteboard::WriteKind kind)
{
    PasteboardItem item;
    item.setString(PasteboardTypes::plainText, text);
    return pasteboard.write({item}, kind);
}

bool write(const ClipboardItem& item, Pasteboard& pasteboard, Pasteboard::WriteKind kind, const CaptureLogSink& log)
{
    const std::optional<ClipboardOriginalPayload>& payload = item.originalPayload();
    if (payload && !payload->fileURLs().isEmpty())
        return writeFiles(payload->fileURLs(), pasteboard, kind, log);
    if (const ClipboardImage* image = item.content().imageIf())
        return writeSingleImage(*image, pasteboard, kind);

    const std::optional<PasteboardItem> one = textItem(item);
    return one && pasteboard.write({*one}, kind);
}

std::optional<PasteboardItem> textItem(const ClipboardItem& item)
{
    const std::optional<ClipboardOriginalPayload>& payload = item.originalPayload();
    if ((payload && !payload->fileURLs().isEmpty()) || item.content().imageIf())
        return std::nullopt;
    PasteboardItem one;
    one.setString(PasteboardTypes::plainText, item.content().textValue());
    if (payload && payload->rtf())
        one.setData(PasteboardTypes::rtf, *payload->rtf());
    if (payload && payload->html())
        one.setData(PasteboardTypes::html, *payload->html());
    return one;
}

} // namespace tolvi::ClipboardPasteboardWriter
