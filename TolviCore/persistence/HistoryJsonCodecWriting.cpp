// Writing history files and archives: clips, boards and the history as streamed JSON.

#include "TolviCore/persistence/HistoryJsonCodec.h"

#include "TolviCore/model/UuidText.h"
#include "TolviCore/persistence/Base64.h"
#include "TolviCore/persistence/PersistenceError.h"

#include <cmath>
#include <string_view>

namespace tolvi {

namespace {

void writeUuid(JsonStreamWriter& writer, const QUuid& uuid)
{
    const QByteArray text = uuid.toByteArray(QUuid::WithoutBraces).toUpper();
    writer.string(std::string_view(text.constData(), static_cast<std::size_t>(text.size())));
}

void writeDate(JsonStreamWriter& writer, double date, const char* what)
{
    if (!std::isfinite(date))
        throw PersistenceError::encoding(QStringLiteral("The %1 date is not a finite number.").arg(QLatin1String(what)));
    writer.number(date);
}

// Whether the image's bytes can no longer be had: they were left in the history file they were
// loaded from, which has changed since (decoding them failed, so data() holds none).
bool isUnreadable(const ClipboardImage& image)
{
    return !image.storedBytes() && image.data().size() != image.byteCount();
}

void writeImage(JsonStreamWriter& writer, const ClipboardImage& image)
{
    writer.beginObject();
    writer.key("data");
    // Bytes still stored in Base64 (in the history file they were loaded from) are copied as
    // they are, not decoded to be encoded again; if that file changed while they were copied,
    // what was written is not the image, and the save fails rather than keep it.
    if (const StoredImageBytes* stored = image.storedBytes()) {
        writer.beginVerbatimString();
        if (!stored->writeBase64([&writer](std::string_view part) { writer.verbatim(part); }))
            throw PersistenceError::encoding(QStringLiteral("The history file an image was read from changed while "
                                                            "it was copied."));
        writer.endVerbatimString();
    } else {
        if (isUnreadable(image))
            throw PersistenceError::encoding(QStringLiteral("An image could no longer be read from the history file "
                                                            "it was kept in."));
        writer.base64(image.data());
    }
    if (image.pixelHeight()) {
        writer.key("pixelHeight");
        writer.integer(*image.pixelHeight());
    }
    if (image.pixelWidth()) {
        writer.key("pixelWidth");
        writer.integer(*image.pixelWidth());
    }
    if (image.recognizedText()) {
        writer.key("recognizedText");
        writer.string(*image.recognizedText());
    }
    writer.key("typeIdentifier");
    writer.string(image.typeIdentifier());
    writer.endObject();
}

void writeContent(JsonStreamWriter& writer, const ClipboardContent& content)
{
    writer.beginObject();
    if (const ClipboardImage* image = content.imageIf()) {
        writer.key("image");
        writeImage(writer, *image);
        writer.key("type");
        writer.string(std::string_view("image"));
    } else {
        writer.key("text");
        if (const std::optional<QByteArrayView> utf8 = content.utf8TextIf())
            writer.string(QUtf8StringView(*utf8));
        else
            writer.string(content.textValue());
        writer.key("type");
        writer.string(std::string_view("text"));
    }
    writer.endObject();
}

void writePayload(JsonStreamWriter& writer, const ClipboardOriginalPayload& payload)
{
    writer.beginObject();
    writer.key("fileURLs");
    writer.beginArray();
    for (const QString& url : payload.fileURLs())
        writer.string(url);
    writer.endArray();
    if (payload.html()) {
        writer.key("html");
        writer.base64(*payload.html());
    }
    if (payload.rtf()) {
        writer.key("rtf");
        writer.base64(*payload.rtf());
    }
    writer.endObject();
}

void writeSourceApp(JsonStreamWriter& writer, const ClipboardSourceApp& app)
{
    writer.beginObject();
    if (app.bundleIdentifier()) {
        writer.key("bundleIdentifier");
        writer.string(*app.bundleIdentifier());
    }
    writer.key("name");
    writer.string(app.name());
    writer.endObject();
}

} // namespace

void HistoryJsonCodec::writeItem(JsonStreamWriter& writer, const ClipboardItem& item)
{
    writer.beginObject();
    writer.key("content");
    writeContent(writer, item.content());
    writer.key("createdAt");
    writeDate(writer, item.createdAt(), "clip");
    writer.key("id");
    writeUuid(writer, item.id());
    writer.key("isPinned");
    writer.boolean(item.isPinned());
    if (item.originalPayload()) {
        writer.key("originalPayload");
        writePayload(writer, *item.originalPayload());
    }
    writer.key("pinboardIDs");
    writer.beginArray();
    for (const QUuid& id : item.pinboardIDs())
        writeUuid(writer, id);
    writer.endArray();
    if (item.sourceApp()) {
        writer.key("sourceApp");
        writeSourceApp(writer, *item.sourceApp());
    }
    writer.endObject();
}

void HistoryJsonCodec::writeBoard(JsonStreamWriter& writer, const Pinboard& board)
{
    writer.beginObject();
    writer.key("createdAt");
    writeDate(writer, board.createdAt(), "board");
    writer.key("id");
    writeUuid(writer, board.id());
    writer.key("name");
    writer.string(board.name());
    writer.key("systemName");
    writer.string(board.systemName());
    writer.endObject();
}

void HistoryJsonCodec::writeState(JsonStreamWriter& writer, const ClipboardHistoryState& state,
                                  QList<LeftOutClip>* leftOut)
{
    writer.beginObject();
    writer.key("items");
    writer.beginArray();
    for (const ClipboardItem& item : state.items) {
        if (const ClipboardImage* image = item.content().imageIf(); image && isUnreadable(*image)) {
            if (leftOut)
                leftOut->append({item.id(), image->bytesIdentity()});
            continue;
        }
        writeItem(writer, item);
    }
    writer.endArray();
    writer.key("pinboards");
    writer.beginArray();
    for (const Pinboard& board : state.pinboards)
        writeBoard(writer, board);
    writer.endArray();
    writer.endObject();
}

void HistoryJsonCodec::encodeState(const ClipboardHistoryState& state, OutputSink& sink, QList<LeftOutClip>* leftOut)
{
    JsonStreamWriter writer(sink);
    writeState(writer, state, leftOut);
    writer.flush();
}

QByteArray HistoryJsonCodec::encodeState(const ClipboardHistoryState& state)
{
    ByteArraySink sink;
    encodeState(state, sink);
    return sink.takeBytes();
}

} // namespace tolvi
