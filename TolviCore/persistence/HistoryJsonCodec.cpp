// Reading history files and archives: the value readers, and the clips read on a thread of their own.

#include "TolviCore/persistence/HistoryJsonCodec.h"

#include "TolviCore/model/UnicodeText.h"
#include "TolviCore/model/UuidText.h"
#include "TolviCore/persistence/Base64.h"
#include "TolviCore/persistence/HistoryJsonReader.h"
#include "TolviCore/persistence/LoadedTextBlocks.h"
#include "TolviCore/persistence/PersistenceError.h"

#include <QUrl>

#include <algorithm>
#include <array>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <exception>
#include <limits>
#include <mutex>
#include <optional>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

namespace tolvi {

// ---------------------------------------------------------------------------------------------
// Reading

namespace HistoryJsonReader {

using simdjson::ondemand::value;
using simdjson::ondemand::json_type;

QString Path::toString() const
{
    QStringList parts;
    for (const Path* p = this; p; p = p->parent) {
        if (p->key)
            parts.prepend(QLatin1Char('.') + QString::fromUtf8(p->key));
        else if (p->parent)
            parts.prepend(QStringLiteral("[%1]").arg(p->index));
    }
    QString joined = parts.join(QString());
    if (joined.startsWith(QLatin1Char('.')))
        joined.remove(0, 1);
    return joined.isEmpty() ? QStringLiteral("the top level") : joined;
}

void fail(const Path& path, const QString& message)
{
    throw PersistenceError::decoding(path.toString() + QStringLiteral(": ") + message);
}

void fail(const Path& path, simdjson::error_code error)
{
    fail(path, QString::fromUtf8(simdjson::error_message(error)));
}

namespace {

template <typename T>
T take(simdjson::simdjson_result<T>&& result, const Path& path)
{
    T out{};
    if (const auto error = std::move(result).get(out))
        fail(path, error);
    return out;
}

bool isNull(value& v, const Path& path)
{
    json_type type{};
    if (const auto error = v.type().get(type))
        fail(path, error);
    return type == json_type::null;
}

// The input parsed on this thread, whose long Base64 strings may have been left out of what is
// parsed (see JsonInput).
thread_local const JsonInput* parsedInput = nullptr;

// The text of the string value `v`, when it was left out.
const std::string_view* cutStringOf(value& v)
{
    if (!parsedInput || !parsedInput->hasCutStrings())
        return nullptr;
    return parsedInput->cutStringAt(v.raw_json_token().data());
}

std::string_view readRawString(value& v, const Path& path)
{
    // A string cut out is valid Base64: nothing in it is escaped.
    if (const std::string_view* cut = cutStringOf(v))
        return *cut;
    return take(v.get_string(), path);
}

QString readString(value& v, const Path& path)
{
    const std::string_view text = readRawString(v, path);
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

bool readBool(value& v, const Path& path)
{
    return take(v.get_bool(), path);
}

double readDate(value& v, const Path& path)
{
    const double date = take(v.get_double(), path);
    if (!std::isfinite(date))
        fail(path, QStringLiteral("the date is not a finite number"));
    return date;
}

// The largest width or height believed. A size beyond it, or below one pixel, reads as no size:
// a damaged or hostile file must not make a list show an impossible one.
constexpr qint64 maximumPixelSide = 1'000'000;

std::optional<qint64> readPixelSize(value& v, const Path& path)
{
    if (isNull(v, path))
        return std::nullopt;
    simdjson::ondemand::number number = take(v.get_number(), path);
    qint64 size = 0;
    switch (number.get_number_type()) {
    case simdjson::ondemand::number_type::signed_integer:
        size = number.get_int64();
        break;
    case simdjson::ondemand::number_type::unsigned_integer:
        return std::nullopt; // beyond every signed integer
    case simdjson::ondemand::number_type::floating_point_number: {
        const double d = number.get_double();
        if (std::trunc(d) != d)
            fail(path, QStringLiteral("the number is not an integer"));
        if (d < 1 || d > double(maximumPixelSide))
            return std::nullopt;
        size = static_cast<qint64>(d);
        break;
    }
    }
    if (size < 1 || size > maximumPixelSide)
        return std::nullopt;
    return size;
}

QUuid readUuid(value& v, const Path& path)
{
    const std::string_view text = readRawString(v, path);
    const std::optional<QUuid> uuid = UuidText::parse(text);
    if (!uuid)
        fail(path, QStringLiteral("not a valid UUID"));
    return *uuid;
}

// The input whose decoded Base64 text the readers on this thread give back (JsonInput::release).
thread_local const JsonInput* consumedInput = nullptr;

// The same input when it is a mapped file, whose large images are left there in Base64 until they
// are needed (see StoredImageBytes); null when every image is decoded as read.
thread_local const JsonInput* storingInput = nullptr;

// Where the ASCII texts read on this thread are kept; null when each is kept on its own.
thread_local LoadedTextBlocks* textBlocks = nullptr;
// The bytes that the texts read on this thread have taken from its heap, at most.
thread_local std::size_t heapTextBytes = 0;

// Smaller images are decoded as they are read: not worth keeping the file for. Larger ones are
// those the parsed copy of the file leaves out.
constexpr std::size_t storedBase64Minimum = JsonInput::cutStringMinimum;

// Image bytes left in Base64 in the mapped history file. The mapping stays while an image reads
// from it; its pages are given back each time they have been read, and they read as the file was
// when it was opened, whatever has been done to the file since (a save putting another in its
// place, another program writing into it: see MappedFile::mapKept). Should the mapping say that
// what it read may differ all the same, those bytes are nothing, never another image's.
class MappedBase64Bytes final : public StoredImageBytes {
public:
    MappedBase64Bytes(std::shared_ptr<const MappedFile> file, std::string_view text)
        : input_(std::move(file)), text_(text)
    {
    }

    std::optional<QByteArray> decode() const override
    {
        if (input_->changedWhileRead())
            return std::nullopt;
        std::optional<QByteArray> bytes = Base64::decode(text_);
        input_->release(text_.data(), text_.data() + text_.size());
        if (input_->changedWhileRead())
            return std::nullopt;
        return bytes;
    }

    bool intact() const override { return !input_->changedWhileRead(); }

    bool writeBase64(const std::function<void(std::string_view)>& write) const override
    {
        constexpr std::size_t piece = 1024 * 1024;
        for (std::size_t at = 0; at < text_.size(); at += piece) {
            if (input_->changedWhileRead())
                return false;
            const std::string_view part = text_.substr(at, piece);
            write(part);
            input_->release(part.data(), part.data() + part.size());
        }
        return !input_->changedWhileRead();
    }

private:
    const std::shared_ptr<const MappedFile> input_;
    const std::string_view text_; // in the mapping
};

// An image's bytes as read: decoded, or left stored with what the image needs to know of them.
struct ImageBytes {
    QByteArray data;
    std::shared_ptr<const StoredImageBytes> stored;
    qint64 byteCount = 0;
    size_t quickKey = 0;
};

// The Base64 text of a string value as it lies in the document, without its quotes, when it
// carries no escapes.
std::optional<std::string_view> unescapedRawString(value& v)
{
    if (const std::string_view* cut = cutStringOf(v))
        return *cut;
    std::string_view raw = v.raw_json_token();
    while (!raw.empty() && (raw.back() == ' ' || raw.back() == '\n' || raw.back() == '\r' || raw.back() == '\t'))
        raw.remove_suffix(1);
    if (raw.size() >= 2 && raw.front() == '"' && raw.back() == '"'
        && std::memchr(raw.data() + 1, '\\', raw.size() - 2) == nullptr)
        return raw.substr(1, raw.size() - 2);
    return std::nullopt;
}

void requireBase64String(value& v, const Path& path)
{
    json_type type{};
    if (const auto error = v.type().get(type))
        fail(path, error);
    if (type != json_type::string)
        fail(path, QStringLiteral("expected a Base64 string"));
}

// Base64 strings are read from the raw document text where they carry no escapes (`text`), so
// that hundreds of megabytes of image data are not first copied into the parser's string buffer.
QByteArray decodeBase64(value& v, const Path& path, const std::optional<std::string_view>& text)
{
    std::optional<QByteArray> bytes;
    if (text) {
        bytes = Base64::decode(*text);
        if (bytes && consumedInput)
            consumedInput->release(text->data(), text->data() + text->size());
    } else {
        bytes = Base64::decode(readRawString(v, path));
    }
    if (!bytes)
        fail(path, QStringLiteral("not valid Base64"));
    return std::move(*bytes);
}

QByteArray readBase64(value& v, const Path& path)
{
    requireBase64String(v, path);
    return decodeBase64(v, path, unescapedRawString(v));
}

// An image's Base64 bytes: a large one of a mapped history file is checked and left where it
// is, anything else decoded.
ImageBytes readImageBytes(value& v, const Path& path)
{
    requireBase64String(v, path);
    const bool leftOut = cutStringOf(v) != nullptr; // and checked as it was
    const std::optional<std::string_view> text = unescapedRawString(v);
    ImageBytes bytes;
    // Kept where it lies in the file's mapping, when it lies there (not in the parsed copy).
    if (storingInput && text && text->size() >= storedBase64Minimum && storingInput->inMapping(*text)) {
        if (!leftOut && !Base64::isValid(*text))
            fail(path, QStringLiteral("not valid Base64"));
        bytes.byteCount = static_cast<qint64>(Base64::decodedLength(*text));
        bytes.quickKey = ClipboardImage::quickKeyOf(bytes.byteCount, [&](qint64 offset, qint64 length) {
            return Base64::decodeRange(*text, static_cast<std::size_t>(offset), static_cast<std::size_t>(length));
        });
        storingInput->release(text->data(), text->data() + text->size());
        bytes.stored = std::make_shared<MappedBase64Bytes>(storingInput->mapping(), *text);
        return bytes;
    }
    bytes.data = decodeBase64(v, path, text);
    return bytes;
}

template <typename Handler>
void forEachField(value& v, const Path& path, Handler&& handler)
{
    simdjson::ondemand::object object = take(v.get_object(), path);
    for (auto field : object) {
        std::string_view key;
        if (const auto error = field.unescaped_key().get(key))
            fail(path, error);
        value fieldValue;
        if (const auto error = field.value().get(fieldValue))
            fail(path, error);
        handler(key, fieldValue);
    }
}

template <typename Handler>
void forEachElement(value& v, const Path& path, Handler&& handler)
{
    simdjson::ondemand::array array = take(v.get_array(), path);
    qsizetype index = 0;
    for (auto element : array) {
        value elementValue;
        if (const auto error = element.get(elementValue))
            fail(path.element(index), error);
        handler(index, elementValue);
        ++index;
    }
}

void requireKey(bool present, const Path& path, const char* key)
{
    if (!present)
        fail(path, QStringLiteral("the required key \"%1\" is missing").arg(QLatin1String(key)));
}

ClipboardImage readImage(value& v, const Path& path)
{
    std::optional<ImageBytes> data;
    std::optional<QString> typeIdentifier;
    std::optional<qint64> width, height;
    std::optional<QString> recognizedText;
    forEachField(v, path, [&](std::string_view key, value& field) {
        if (key == "data") {
            data = readImageBytes(field, path.child("data"));
        } else if (key == "typeIdentifier") {
            typeIdentifier = readString(field, path.child("typeIdentifier"));
        } else if (key == "pixelWidth") {
            width = readPixelSize(field, path.child("pixelWidth"));
        } else if (key == "pixelHeight") {
            height = readPixelSize(field, path.child("pixelHeight"));
        } else if (key == "recognizedText") {
            const Path p = path.child("recognizedText");
            recognizedText = isNull(field, p) ? std::nullopt : std::optional<QString>(readString(field, p));
        }
    });
    requireKey(data.has_value(), path, "data");
    requireKey(typeIdentifier.has_value(), path, "typeIdentifier");
    if (data->stored)
        return ClipboardImage(std::move(data->stored), data->byteCount, data->quickKey, std::move(*typeIdentifier),
                              width, height, std::move(recognizedText));
    return ClipboardImage(std::move(data->data), std::move(*typeIdentifier), width, height, std::move(recognizedText));
}

ClipboardContent readContent(value& v, const Path& path)
{
    simdjson::ondemand::object object = take(v.get_object(), path);
    value typeValue;
    if (const auto error = object.find_field_unordered("type").get(typeValue)) {
        if (error == simdjson::NO_SUCH_FIELD)
            requireKey(false, path, "type");
        fail(path, error);
    }
    const std::string_view type = readRawString(typeValue, path.child("type"));
    if (type == "text") {
        value textValue;
        if (const auto error = object.find_field_unordered("text").get(textValue)) {
            if (error == simdjson::NO_SUCH_FIELD)
                requireKey(false, path, "text");
            fail(path, error);
        }
        const std::string_view text = readRawString(textValue, path.child("text"));
        // A long text is kept as its UTF-8 bytes where they take no more than its UTF-16 form
        // would (ASCII takes half). Below this size the bytes' own header and the QString made
        // when the text is read would cost more than the UTF-16 form saves.
        constexpr std::size_t bytesKeptFrom = 64;
        const auto size = static_cast<qsizetype>(text.size());
        const qsizetype units =
            text.size() >= bytesKeptFrom ? UnicodeText::utf16Length(QByteArrayView(text.data(), size)) : 0;
        if (text.size() >= bytesKeptFrom && size <= 2 * units) {
            if (textBlocks) {
                if (std::optional<ClipboardContent> kept = textBlocks->text(text, units))
                    return std::move(*kept);
            }
            heapTextBytes += text.size();
            return ClipboardContent::utf8Text(QByteArray(text.data(), size));
        }
        // UTF-16 takes no more than two bytes for each byte of UTF-8.
        heapTextBytes += 2 * text.size();
        return ClipboardContent::text(QString::fromUtf8(text.data(), size));
    }
    if (type == "image") {
        value imageValue;
        if (const auto error = object.find_field_unordered("image").get(imageValue)) {
            if (error == simdjson::NO_SUCH_FIELD)
                requireKey(false, path, "image");
            fail(path, error);
        }
        return ClipboardContent::image(readImage(imageValue, path.child("image")));
    }
    fail(path.child("type"), QStringLiteral("unknown content type \"%1\"")
                                 .arg(QString::fromUtf8(type.data(), static_cast<qsizetype>(type.size()))));
}

ClipboardOriginalPayload readPayload(value& v, const Path& path)
{
    std::optional<QByteArray> rtf, html;
    QStringList fileURLs;
    forEachField(v, path, [&](std::string_view key, value& field) {
        if (key == "rtf") {
            const Path p = path.child("rtf");
            rtf = isNull(field, p) ? std::nullopt : std::optional<QByteArray>(readBase64(field, p));
        } else if (key == "html") {
            const Path p = path.child("html");
            html = isNull(field, p) ? std::nullopt : std::optional<QByteArray>(readBase64(field, p));
        } else if (key == "fileURLs") {
            const Path p = path.child("fileURLs");
            fileURLs.clear();
            if (isNull(field, p))
                return;
            forEachElement(field, p, [&](qsizetype index, value& element) {
                const Path ep = p.element(index);
                QString url = readString(element, ep);
                if (url.isEmpty() || !QUrl(url, QUrl::StrictMode).isValid())
                    fail(ep, QStringLiteral("not a valid URL"));
                fileURLs.append(std::move(url));
            });
        }
    });
    std::optional<ClipboardOriginalPayload> payload =
        ClipboardOriginalPayload::create(std::move(rtf), std::move(html), std::move(fileURLs));
    if (!payload)
        fail(path, QStringLiteral("Unsupported original clipboard payload"));
    return std::move(*payload);
}

// The applications read last on this thread, by the bytes of their name and identifier: a history
// holds a few applications many times over, and each clip read then shares their strings.
struct RecentApp {
    std::string name;
    std::optional<std::string> bundleIdentifier;
    ClipboardSourceApp app;
};
thread_local std::array<std::optional<RecentApp>, 4> recentApps;
thread_local std::size_t nextRecentApp = 0;

ClipboardSourceApp readSourceApp(value& v, const Path& path)
{
    std::optional<std::string_view> name;
    std::optional<std::string_view> bundleIdentifier;
    // The strings read stay where the parser put them until the next clip.
    forEachField(v, path, [&](std::string_view key, value& field) {
        if (key == "name") {
            name = readRawString(field, path.child("name"));
        } else if (key == "bundleIdentifier") {
            const Path p = path.child("bundleIdentifier");
            bundleIdentifier = isNull(field, p) ? std::nullopt : std::optional(readRawString(field, p));
        }
    });
    requireKey(name.has_value(), path, "name");
    for (const std::optional<RecentApp>& recent : recentApps) {
        if (recent && recent->name == *name && recent->bundleIdentifier == bundleIdentifier)
            return recent->app;
    }
    const auto string = [](std::string_view text) {
        return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    };
    ClipboardSourceApp app = ClipboardSourceApp::fromStored(
        string(*name), bundleIdentifier ? std::optional(string(*bundleIdentifier)) : std::nullopt);
    recentApps[nextRecentApp++ % recentApps.size()] =
        RecentApp{std::string(*name), bundleIdentifier ? std::optional(std::string(*bundleIdentifier)) : std::nullopt,
                  app};
    return app;
}

} // namespace

ClipboardItem readItem(value v, const Path& path)
{
    std::optional<QUuid> id;
    std::optional<ClipboardContent> content;
    std::optional<double> createdAt;
    bool isPinned = false;
    QList<QUuid> pinboardIDs;
    std::optional<ClipboardSourceApp> sourceApp;
    std::optional<ClipboardOriginalPayload> payload;
    forEachField(v, path, [&](std::string_view key, value& field) {
        if (key == "id") {
            id = readUuid(field, path.child("id"));
        } else if (key == "content") {
            content = readContent(field, path.child("content"));
        } else if (key == "createdAt") {
            createdAt = readDate(field, path.child("createdAt"));
        } else if (key == "isPinned") {
            const Path p = path.child("isPinned");
            isPinned = isNull(field, p) ? false : readBool(field, p);
        } else if (key == "pinboardIDs") {
            const Path p = path.child("pinboardIDs");
            pinboardIDs.clear();
            if (isNull(field, p))
                return;
            forEachElement(field, p,
                           [&](qsizetype index, value& element) { pinboardIDs.append(readUuid(element, p.element(index))); });
        } else if (key == "sourceApp") {
            const Path p = path.child("sourceApp");
            sourceApp = isNull(field, p) ? std::nullopt : std::optional<ClipboardSourceApp>(readSourceApp(field, p));
        } else if (key == "originalPayload") {
            const Path p = path.child("originalPayload");
            payload = isNull(field, p) ? std::nullopt : std::optional<ClipboardOriginalPayload>(readPayload(field, p));
        }
    });
    requireKey(id.has_value(), path, "id");
    requireKey(content.has_value(), path, "content");
    requireKey(createdAt.has_value(), path, "createdAt");
    return ClipboardItem(*id, std::move(*content), *createdAt, isPinned, std::move(pinboardIDs), std::move(sourceApp),
                         std::move(payload));
}

Pinboard readBoard(value v, const Path& path)
{
    std::optional<QUuid> id;
    std::optional<QString> name, systemName;
    std::optional<double> createdAt;
    forEachField(v, path, [&](std::string_view key, value& field) {
        if (key == "id")
            id = readUuid(field, path.child("id"));
        else if (key == "name")
            name = readString(field, path.child("name"));
        else if (key == "systemName")
            systemName = readString(field, path.child("systemName"));
        else if (key == "createdAt")
            createdAt = readDate(field, path.child("createdAt"));
    });
    requireKey(id.has_value(), path, "id");
    requireKey(name.has_value(), path, "name");
    requireKey(systemName.has_value(), path, "systemName");
    requireKey(createdAt.has_value(), path, "createdAt");
    return Pinboard(*id, std::move(*name), std::move(*systemName), *createdAt);
}

QList<ClipboardItem> readItems(value v, const Path& path)
{
    QList<ClipboardItem> items;
    forEachElement(v, path, [&](qsizetype index, value& element) { items.append(readItem(element, path.element(index))); });
    return items;
}

ClipboardHistoryState readState(value v, const Path& path)
{
    std::optional<QList<ClipboardItem>> items;
    std::optional<QList<Pinboard>> boards;
    forEachField(v, path, [&](std::string_view key, value& field) {
        if (key == "items") {
            items = readItems(field, path.child("items"));
        } else if (key == "pinboards") {
            const Path p = path.child("pinboards");
            QList<Pinboard> list;
            forEachElement(field, p,
                           [&](qsizetype index, value& element) { list.append(readBoard(element, p.element(index))); });
            boards = std::move(list);
        }
    });
    requireKey(items.has_value(), path, "items");
    requireKey(boards.has_value(), path, "pinboards");
    return ClipboardHistoryState{std::move(*items), std::move(*boards)};
}

simdjson::ondemand::document iterate(simdjson::ondemand::parser& parser, const char* data, std::size_t size,
                                     std::size_t capacity)
{
    const Path top;
    if (size > JsonInput::maximumSize)
        fail(top, QStringLiteral("the document is too large"));
    simdjson::ondemand::document document;
    if (const auto error = parser.iterate(data, size, capacity + JsonInput::padding).get(document))
        fail(top, error);
    return document;
}

void expectEnd(simdjson::ondemand::document& document)
{
    if (document.current_location().error() != simdjson::OUT_OF_BOUNDS)
        fail(Path{}, QStringLiteral("unexpected content after the end of the document"));
}

namespace {

// The clips of a history file, read on a worker thread (started with the first clip, joined by
// finish()); a small file is read on the reading thread alone. The reading thread only finds
// where each clip's object begins and ends, which the parser's index of the whole document makes
// cheap, and hands runs of consecutive clips to the worker, which parses them again with a parser
// of its own and reads them there, images decoded and hashed included; the Base64 text of the
// images is given back as it is decoded. A run stops at its first failure, and the one reported
// is the first in document order: every run was handed over before the point where the reading
// thread stopped, so a failure in a run comes before any failure of the reading thread. The outcome and the message are those of reading the clips one after another, except
// for a clip whose braces and brackets do not pair up, whose failure names the clip alone.
class ParallelItemReader {
public:
    // With `storesImages`, `input` is a mapped file whose large images may be left there.
    ParallelItemReader(const JsonInput& input, bool storesImages)
        : input_(input), storesImages_(storesImages), maximumWorkers_(workersFor(input.size()))
    {
    }
    ~ParallelItemReader() { joinWorkers(); }
    ParallelItemReader(const ParallelItemReader&) = delete;
    ParallelItemReader& operator=(const ParallelItemReader&) = delete;

    // Hands the clips of a list to the worker; takeList() gives them after finish(). `path` is the
    // list's own: the top level, or the "items" key of the top level.
    int readList(value v, const Path& path)
    {
        const int list = listCount_++;
        const bool underItemsKey = path.key != nullptr;
        Run* run = nullptr;
        std::size_t runBytes = 0;
        try {
            forEachElement(v, path, [&](qsizetype index, value& element) {
                const Path elementPath = path.element(index);
                simdjson::ondemand::object object = take(element.get_object(), elementPath);
                const std::string_view text = take(object.raw_json(), elementPath);
                if (!run) {
                    run = &runs_.emplace_back();
                    run->list = list;
                    run->underItemsKey = underItemsKey;
                    run->firstIndex = index;
                    runBytes = 0;
                }
                run->texts.push_back(text);
                runBytes += text.size();
                if (runBytes >= runBytesTarget) {
                    start(*run);
                    run = nullptr;
                }
            });
        } catch (...) {
            // The clips before the failure are read all the same: a failure among them comes first.
            if (run)
                start(*run);
            throw;
        }
        if (run)
            start(*run);
        return list;
    }

    // Waits for the worker; throws the first failure in document order.
    void finish()
    {
        joinWorkers();
        for (const Run& run : runs_) {
            if (run.failure)
                std::rethrow_exception(run.failure);
        }
    }

    QList<ClipboardItem> takeList(int list)
    {
        qsizetype count = 0;
        for (const Run& run : runs_)
            count += run.list == list ? run.items.size() : 0;
        QList<ClipboardItem> items;
        items.reserve(count);
        for (Run& run : runs_) {
            if (run.list != list)
                continue;
            for (ClipboardItem& item : run.items)
                items.append(std::move(item));
            run.items = {};
        }
        return items;
    }

private:
    // Clips handed over at a time: enough text for a task to be worth its hand-over; a large image
    // is a run of its own.
    static constexpr std::size_t runBytesTarget = 256 * 1024;
    // Below this size starting threads costs more than they save.
    static constexpr std::size_t parallelSize = 1024 * 1024;
    // One worker, however large the file: with more, loading ends sooner but costs much more CPU
    // time, as every thread of the process adds its own heap to grow and its own page faults, and
    // each page given back or mapped has to be forgotten by every processor they run on.
    static std::size_t workersFor(std::size_t inputBytes) { return inputBytes < parallelSize ? 0 : 1; }

    struct Run {
        int list = 0;
        bool underItemsKey = false; // the list's path: the "items" key, or the top level
        qsizetype firstIndex = 0;
        std::vector<std::string_view> texts;
        QList<ClipboardItem> items;
        std::exception_ptr failure;
    };

    void start(Run& run)
    {
        if (maximumWorkers_ == 0) {
            read(run, ownParsing_);
            return;
        }
        {
            std::lock_guard lock(mutex_);
            waiting_.push_back(&run);
        }
        workAvailable_.notify_one();
        if (workers_.size() < maximumWorkers_)
            workers_.emplace_back([this] { work(); });
    }

    void work()
    {
        HeapReserve reserve(std::min<std::size_t>(heapReserveLimit, input_.size() / maximumWorkers_));
        ClipParsing parsing;
        for (;;) {
            Run* run = nullptr;
            {
                std::unique_lock lock(mutex_);
                workAvailable_.wait(lock, [this] { return closed_ || !waiting_.empty(); });
                if (waiting_.empty())
                    return;
                run = waiting_.front();
                waiting_.pop_front();
            }
            reserve.prepareFor(*run);
            const std::size_t heapBefore = heapTextBytes;
            read(*run, parsing);
            reserve.learnFrom(*run, heapTextBytes - heapBefore);
        }
    }

    // The allocator grows a thread's own heap by just what each allocation needs, a system call
    // each time, and each such call waits for the page faults of the other threads; and the page
    // faults themselves, one per page of what the clips keep, cost more than the decoding. Before
    // its first clip, the worker takes about what its clips will keep from its heap, in blocks just
    // below the size the allocator maps on their own, and gives them back but the last: the one
    // next to the heap's free end stays taken until the worker is done, so that the others stay in
    // the heap as one stretch of free memory, which the clips' allocations are cut from one after
    // another, rather than joining the free end, which gives its pages back at once. Before each
    // run, the pages its clips will take from that stretch are put in place with one call (Linux
    // 5.14 and later; elsewhere the call fails and the pages come as they are written). A clip
    // large enough to be mapped on its own (an image) takes none of them, nor does a text kept as
    // its bytes (those go to LoadedTextBlocks). What the clips leave over goes back with the rest
    // of the free memory after loading.
    static constexpr std::size_t heapReserveLimit = 16 * 1024 * 1024;
    static constexpr std::size_t heapReserveBlock = 120 * 1024;
    class HeapReserve {
    public:
        explicit HeapReserve(std::size_t bytes)
        {
            std::vector<char*> blocks;
            blocks.reserve(bytes / heapReserveBlock + 1);
            for (std::size_t held = 0; held < bytes; held += heapReserveBlock) {
                if (char* block = static_cast<char*>(std::malloc(heapReserveBlock)))
                    blocks.push_back(block);
            }
            if (blocks.empty())
                return;
            std::sort(blocks.begin(), blocks.end());
            // Only a stretch of neighbouring blocks is known to become one stretch of free memory
            // (each block's own header sits in the small gap before it).
            constexpr std::uintptr_t neighbourGap = 64;
            bool neighbours = true;
            for (std::size_t i = 1; i < blocks.size() && neighbours; ++i) {
                const auto previousEnd = reinterpret_cast<std::uintptr_t>(blocks[i - 1]) + heapReserveBlock;
                const auto at = reinterpret_cast<std::uintptr_t>(blocks[i]);
                neighbours = at >= previousEnd && at - previousEnd <= neighbourGap;
            }
            if (neighbours && blocks.size() > 1) {
                next_ = reinterpret_cast<std::uintptr_t>(blocks.front());
                end_ = reinterpret_cast<std::uintptr_t>(blocks.back());
            }
            held_ = blocks.back();
            blocks.pop_back();
            for (char* block : blocks)
                std::free(block);
        }
        ~HeapReserve() { std::free(held_); }
        HeapReserve(const HeapReserve&) = delete;
        HeapReserve& operator=(const HeapReserve&) = delete;

        // What a run took from the heap for its texts, as a share of what its clips take in the
        // file, is about what the next one takes: texts kept as their bytes are in
        // LoadedTextBlocks, the others take up to twice their size in UTF-16. The first run is
        // taken to need as much as its clips take in the file. Besides its text, each clip takes a
        // few hundred bytes.
        void learnFrom(const Run& run, std::size_t heapBytes)
        {
            const std::size_t bytes = clipBytes(run);
            textShare_ = bytes > 0 ? std::min(2.0, double(heapBytes) / double(bytes)) : textShare_;
        }

        void prepareFor(const Run& run)
        {
#ifdef MADV_POPULATE_WRITE
            constexpr std::size_t clipOverhead = 512;
            const auto bytes = static_cast<std::size_t>(textShare_ * double(clipBytes(run)))
                               + clipOverhead * run.texts.size();
            static const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
            const std::uintptr_t first = (next_ + page - 1) & ~(page - 1);
            const std::uintptr_t last = std::min(end_, next_ + bytes) & ~(page - 1);
            if (last > first)
                ::madvise(reinterpret_cast<void*>(first), last - first, MADV_POPULATE_WRITE);
            next_ = std::min(end_, next_ + bytes);
#else
            (void)run;
#endif
        }

    private:
        // The bytes of a run's clips, but those mapped on their own (such as an image's).
        static std::size_t clipBytes(const Run& run)
        {
            constexpr std::size_t mappedOnItsOwn = 128 * 1024;
            std::size_t bytes = 0;
            for (const std::string_view text : run.texts)
                bytes += text.size() < mappedOnItsOwn ? text.size() : 0;
            return bytes;
        }

        void* held_ = nullptr;
        std::uintptr_t next_ = 0; // the free stretch whose pages are not in place yet
        std::uintptr_t end_ = 0;
        double textShare_ = 1.0;
    };

    // Lets the workers finish what is waiting, then ends them.
    void joinWorkers()
    {
        {
            std::lock_guard lock(mutex_);
            closed_ = true;
        }
        workAvailable_.notify_all();
        for (std::thread& worker : workers_)
            worker.join();
        workers_.clear();
    }

    // What a thread reads clips with.
    struct ClipParsing {
        simdjson::ondemand::parser parser; // grown to the largest clip
        LoadedTextBlocks blocks;
    };

    void read(Run& run, ClipParsing& parsing)
    {
        simdjson::ondemand::parser& parser = parsing.parser;
        const JsonInput* previous = std::exchange(consumedInput, &input_);
        const JsonInput* const previousStoring = std::exchange(storingInput, storesImages_ ? &input_ : nullptr);
        LoadedTextBlocks* const previousBlocks = std::exchange(textBlocks, &parsing.blocks);
        const JsonInput* const previousParsed = std::exchange(parsedInput, &input_);
        const Path top;
        const Path list = run.underItemsKey ? top.child("items") : top;
        const char* const end = input_.data() + input_.capacity();
        try {
            run.items.reserve(static_cast<qsizetype>(run.texts.size()));
            for (std::size_t i = 0; i < run.texts.size(); ++i) {
                const Path path = list.element(run.firstIndex + static_cast<qsizetype>(i));
                const std::string_view text = run.texts[i];
                // The parser's buffers are kept from clip to clip; one that is too small for a
                // clip grows to twice its size at least, so that a run of slightly longer clips
                // does not free and allocate them for each (the parser itself would grow them to
                // the clip's size exactly).
                if (parser.capacity() < text.size()) {
                    const std::size_t capacity = std::max(text.size(), 2 * parser.capacity());
                    if (const auto error = parser.allocate(std::min(capacity, JsonInput::maximumSize)))
                        fail(path, error);
                }
                // The padding the parser reads past the clip is the rest of the document.
                auto document = iterate(parser, text.data(), text.size(), static_cast<std::size_t>(end - text.data()));
                value root;
                if (const auto error = document.get_value().get(root))
                    fail(path, error);
                run.items.append(readItem(root, path));
            }
        } catch (...) {
            run.failure = std::current_exception();
        }
        // The reading thread is past this run, and what its clips keep has been copied out or
        // lies in the file's mapping. So are the runs before it, as long as one thread reads them
        // all in order: with more, an earlier run could still be read from the pages given back.
        if (!run.texts.empty() && maximumWorkers_ <= 1)
            input_.releaseReadBefore(run.texts.back().data() + run.texts.back().size());
        consumedInput = previous;
        storingInput = previousStoring;
        textBlocks = previousBlocks;
        parsedInput = previousParsed;
    }

    const JsonInput& input_;
    const bool storesImages_;
    const std::size_t maximumWorkers_;
    ClipParsing ownParsing_; // for a file read without the worker
    std::deque<Run> runs_;
    int listCount_ = 0;

    std::mutex mutex_; // guards the next two
    std::deque<Run*> waiting_;
    bool closed_ = false;
    std::condition_variable workAvailable_;
    std::vector<std::thread> workers_;
};

// The history object with its clips read through `reader`: the list of the "items" key that
// counts (the last one), and the boards.
std::pair<int, QList<Pinboard>> readStateInParallel(value v, ParallelItemReader& reader)
{
    const Path path;
    std::optional<int> items;
    std::optional<QList<Pinboard>> boards;
    forEachField(v, path, [&](std::string_view key, value& field) {
        if (key == "items") {
            items = reader.readList(field, path.child("items"));
        } else if (key == "pinboards") {
            const Path p = path.child("pinboards");
            QList<Pinboard> list;
            forEachElement(field, p,
                           [&](qsizetype index, value& element) { list.append(readBoard(element, p.element(index))); });
            boards = std::move(list);
        }
    });
    requireKey(items.has_value(), path, "items");
    requireKey(boards.has_value(), path, "pinboards");
    return {*items, std::move(*boards)};
}

} // namespace

} // namespace HistoryJsonReader

namespace {

// Top-level value of a document as a value, so the readers above apply to it.
simdjson::ondemand::value topValue(simdjson::ondemand::document& document)
{
    simdjson::ondemand::value value;
    if (const auto error = document.get_value().get(value))
        HistoryJsonReader::fail(HistoryJsonReader::Path{}, error);
    return value;
}

simdjson::ondemand::json_type topType(simdjson::ondemand::document& document)
{
    simdjson::ondemand::json_type type{};
    if (const auto error = document.type().get(type))
        HistoryJsonReader::fail(HistoryJsonReader::Path{}, error);
    return type;
}

} // namespace

ClipboardHistoryState HistoryJsonCodec::decodeState(const JsonInput& input)
{
    simdjson::ondemand::parser parser;
    auto document = HistoryJsonReader::iterate(parser, input.data(), input.size(), input.capacity());
    if (topType(document) != simdjson::ondemand::json_type::object)
        HistoryJsonReader::fail(HistoryJsonReader::Path{}, QStringLiteral("expected a history object"));
    ClipboardHistoryState state = HistoryJsonReader::readState(topValue(document), HistoryJsonReader::Path{});
    HistoryJsonReader::expectEnd(document);
    return state;
}

ClipboardHistoryState HistoryJsonCodec::decodeState(QByteArrayView json)
{
    return decodeState(JsonInput::copyOf(json));
}

namespace {

// Both forms of decodeHistoryFile; with `storesImages`, `input` is a mapped file whose large
// images may be left there.
HistoryJsonCodec::DecodedHistoryFile decodeHistoryFileOwnedBy(const JsonInput& input, bool storesImages)
{
    struct Parsing {
        const JsonInput* previous;
        ~Parsing() { HistoryJsonReader::parsedInput = previous; }
    } parsing{std::exchange(HistoryJsonReader::parsedInput, &input)};
    simdjson::ondemand::parser parser;
    auto document = HistoryJsonReader::iterate(parser, input.data(), input.size(), input.capacity());
    const auto type = topType(document);
    HistoryJsonReader::ParallelItemReader reader(input, storesImages);
    // A failure of the reading thread counts only when no clip handed to the worker failed before it.
    const auto readAll = [&](const auto& read) {
        try {
            read();
        } catch (const PersistenceError&) {
            reader.finish();
            throw;
        }
        reader.finish();
    };
    if (type == simdjson::ondemand::json_type::object) {
        try {
            ClipboardHistoryState state;
            int items = -1;
            readAll([&] {
                std::tie(items, state.pinboards) = HistoryJsonReader::readStateInParallel(topValue(document), reader);
                HistoryJsonReader::expectEnd(document);
            });
            state.items = reader.takeList(items);
            return {std::move(state), HistoryJsonCodec::HistoryFileForm::object};
        } catch (const PersistenceError& error) {
            throw PersistenceError::decoding(
                QStringLiteral("The history file is neither a history object nor a list of clips (%1)")
                    .arg(error.message()));
        }
    }
    if (type != simdjson::ondemand::json_type::array)
        HistoryJsonReader::fail(HistoryJsonReader::Path{}, QStringLiteral("expected a list of clips"));
    int items = -1;
    readAll([&] {
        items = reader.readList(topValue(document), HistoryJsonReader::Path{});
        HistoryJsonReader::expectEnd(document);
    });
    return {ClipboardHistoryState{reader.takeList(items), DefaultPinboards::all()},
            HistoryJsonCodec::HistoryFileForm::legacyArray};
}

} // namespace

HistoryJsonCodec::DecodedHistoryFile HistoryJsonCodec::decodeHistoryFile(const JsonInput& input)
{
    return decodeHistoryFileOwnedBy(input, false);
}

HistoryJsonCodec::DecodedHistoryFile HistoryJsonCodec::decodeHistoryFile(const std::shared_ptr<const JsonInput>& input)
{
    return decodeHistoryFileOwnedBy(*input, input->isMapped());
}

} // namespace tolvi
