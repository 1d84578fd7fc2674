#include "TolviCore/archive/ClipboardHistoryArchive.h"

#include "TolviCore/archive/TextLimits.h"
#include "TolviCore/persistence/HistoryJsonCodec.h"
#include "TolviCore/persistence/HistoryJsonReader.h"
#include "TolviCore/persistence/JsonInput.h"
#include "TolviCore/persistence/JsonStreamWriter.h"
#include "TolviCore/persistence/OutputSink.h"
#include "TolviCore/persistence/PersistenceError.h"
#include "TolviCore/persistence/PrivateAtomicFileWriter.h"

#include <QSet>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>
#include <algorithm>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tolvi::ClipboardHistoryArchive {

namespace {

using Case = ClipboardHistoryImportError::Case;
using HistoryJsonReader::Path;
using simdjson::ondemand::json_type;
using simdjson::ondemand::value;

[[noreturn]] void refuse(Case errorCase)
{
    throw ClipboardHistoryImportError(errorCase);
}

// Passes bytes on until the archive would pass its size limit.
class BoundedSink final : public OutputSink {
public:
    explicit BoundedSink(OutputSink& inner) : inner_(inner) {}
    void write(const char* data, std::size_t size) override
    {
        if (size > maximumBytes - written_)
            refuse(Case::tooLarge);
        inner_.write(data, size);
        written_ += size;
    }

private:
    OutputSink& inner_;
    std::size_t written_ = 0;
};

// Collects the archive in one buffer reserved up front: growing a buffer of tens of megabytes
// step by step costs as much again as the encoding.
class ReservedByteArraySink final : public OutputSink {
public:
    explicit ReservedByteArraySink(qsizetype capacity) { bytes_.reserve(capacity); }
    void write(const char* data, std::size_t size) override { bytes_.append(data, static_cast<qsizetype>(size)); }
    QByteArray takeBytes() { return std::move(bytes_); }

private:
    QByteArray bytes_;
};

qsizetype base64Length(qsizetype bytes)
{
    return (bytes + 2) / 3 * 4;
}

// A close upper estimate of the archive's length, at most one byte past the limit (encoding stops
// there anyway). Text counts three bytes per code unit, the most UTF-8 needs for one; the fixed
// amounts cover keys, ids, numbers and indentation. Reserved memory that is never written is
// never touched.
qsizetype estimatedArchiveBytes(const ClipboardHistoryState& state)
{
    constexpr qsizetype limit = static_cast<qsizetype>(maximumBytes) + 1;
    qsizetype total = 256 + 256 * state.pinboards.size();
    for (const Pinboard& board : state.pinboards)
        total += 3 * (board.name().size() + board.systemName().size());
    for (const ClipboardItem& item : state.items) {
        total += 640 + 48 * item.pinboardIDs().size();
        if (const std::optional<QByteArrayView> utf8 = item.content().utf8TextIf()) {
            total += utf8->size();
        } else if (const QString* text = item.content().textIf()) {
            total += 3 * text->size();
        } else {
            const ClipboardImage& image = item.content().imageValue();
            total += base64Length(image.byteCount()) + 3 * image.typeIdentifier().size();
            if (image.recognizedText())
                total += 3 * image.recognizedText()->size();
        }
        if (const auto& app = item.sourceApp())
            total += 3 * (app->name().size() + (app->bundleIdentifier() ? app->bundleIdentifier()->size() : 0));
        if (const auto& payload = item.originalPayload()) {
            total += base64Length(payload->rtf() ? payload->rtf()->size() : 0)
                     + base64Length(payload->html() ? payload->html()->size() : 0);
            for (const QString& url : payload->fileURLs())
                total += 16 + 3 * url.size();
        }
        if (total >= limit)
            return limit;
    }
    return std::min(total, limit);
}

// Passes bytes on and reports how much of the estimated archive is written, about every megabyte.
class ProgressSink final : public OutputSink {
public:
    ProgressSink(OutputSink& inner, const Progress& progress, qsizetype estimate)
        : inner_(inner), progress_(progress), estimate_(std::max<qsizetype>(estimate, 1))
    {
    }
    void write(const char* data, std::size_t size) override
    {
        inner_.write(data, size);
        written_ += static_cast<qsizetype>(size);
        if (written_ - reported_ < (1 << 20))
            return;
        reported_ = written_;
        if (progress_ && !progress_(std::min(1.0, double(written_) / double(estimate_))))
            throw Cancelled();
    }

private:
    OutputSink& inner_;
    const Progress& progress_;
    qsizetype estimate_;
    qsizetype written_ = 0;
    qsizetype reported_ = 0;
};

void writeEnvelope(const ClipboardHistoryState& state, OutputSink& sink)
{
    BoundedSink bounded(sink);
    JsonStreamWriter writer(bounded);
    writer.beginObject();
    writer.key("format");
    writer.string(std::string_view(formatName));
    writer.key("history");
    HistoryJsonCodec::writeState(writer, state);
    writer.key("version");
    writer.integer(currentVersion);
    writer.endObject();
    writer.flush();
}

// A document held with the zeroed padding the parser reads past its end.
struct PaddedBytes {
    std::unique_ptr<char[]> buffer;
    std::size_t size = 0;

    static PaddedBytes allocate(std::size_t size)
    {
        PaddedBytes bytes;
        // Not zeroed: the caller fills the document at once.
        bytes.buffer = std::make_unique_for_overwrite<char[]>(size + JsonInput::padding);
        std::memset(bytes.buffer.get() + size, 0, JsonInput::padding);
        bytes.size = size;
        return bytes;
    }
};

template <typename T>
T take(simdjson::simdjson_result<T>&& result)
{
    T out{};
    if (std::move(result).get(out))
        refuse(Case::invalidArchive);
    return out;
}

// The progress of the decoding under way on this thread, if it is watched: the document, and the
// part of the whole job its decoding stands for.
struct DecodeProgress {
    const char* start = nullptr;
    std::size_t size = 0;
    const Progress* progress = nullptr;
    double from = 0;
    double to = 1;

    // Reports how far into the document `at` lies; stops the job when asked to.
    void reach(const char* at) const
    {
        if (!progress || !*progress || size == 0)
            return;
        const double part = std::clamp(static_cast<double>(at - start) / static_cast<double>(size), 0.0, 1.0);
        if (!(*progress)(from + (to - from) * part))
            throw Cancelled();
    }
};
thread_local const DecodeProgress* currentDecode = nullptr;

// An array of at most `maximum` elements, each read by `read`. Past the maximum it stops
// rather than decode the rest.
template <typename T>
QList<T> readBoundedArray(value v, const Path& path, qsizetype maximum, T (*read)(value, const Path&))
{
    QList<T> elements;
    simdjson::ondemand::array array = take(v.get_array());
    qsizetype index = 0;
    for (auto element : array) {
        if (index >= maximum)
            refuse(Case::tooLarge);
        value elementValue = take(std::move(element));
        if (currentDecode)
            currentDecode->reach(elementValue.raw_json_token().data());
        elements.append(read(elementValue, path.element(index)));
        ++index;
    }
    return elements;
}

// {"items": [...], "pinboards": [...]}; other keys are ignored.
ClipboardHistoryState readHistory(simdjson::ondemand::object object, const Path& path)
{
    std::optional<QList<ClipboardItem>> items;
    std::optional<QList<Pinboard>> boards;
    for (auto field : object) {
        std::string_view key = take(field.unescaped_key());
        value fieldValue = take(field.value());
        if (key == "items")
            items = readBoundedArray(fieldValue, path.child("items"), maximumItems, &HistoryJsonReader::readItem);
        else if (key == "pinboards")
            boards = readBoundedArray(fieldValue, path.child("pinboards"), maximumBoards, &HistoryJsonReader::readBoard);
    }
    if (!items || !boards)
        refuse(Case::invalidArchive);
    return ClipboardHistoryState{std::move(*items), std::move(*boards)};
}

// Deepest nesting of arrays and objects accepted in a value the reader does not use. An archive's
// own values nest a few levels; this bounds the walk below, which recurses once per level.
constexpr int maximumNesting = 512;

// Reads a value through to its end, so that any syntax error inside it is found.
void requireWellFormed(value v, int depth = 0)
{
    switch (take(v.type())) {
    case json_type::object:
        if (depth >= maximumNesting)
            refuse(Case::invalidArchive);
        for (auto field : take(v.get_object())) {
            take(field.unescaped_key());
            requireWellFormed(take(field.value()), depth + 1);
        }
        break;
    case json_type::array:
        if (depth >= maximumNesting)
            refuse(Case::invalidArchive);
        for (auto element : take(v.get_array()))
            requireWellFormed(take(std::move(element)), depth + 1);
        break;
    case json_type::string: {
        // The parser has checked the encoding of the whole document already; only escapes can
        // still be wrong. Most strings (Base64 data above all) have none and need no copy.
        const std::string_view raw = v.raw_json_token();
        if (raw.find('\\') != std::string_view::npos)
            take(v.get_string());
        break;
    }
    case json_type::number:
        take(v.get_number());
        break;
    case json_type::boolean:
        take(v.get_bool());
        break;
    case json_type::null:
        if (!take(v.is_null()))
            refuse(Case::invalidArchive);
        break;
    }
}

ClipboardHistoryState decodePadded(const char* data, std::size_t size)
{
    simdjson::ondemand::parser parser;
    simdjson::ondemand::document document = HistoryJsonReader::iterate(parser, data, size, size);

    // First pass: the whole document must be JSON (the reader of the second pass skips what it
    // does not know without looking inside); and is this an envelope with our format and version?
    bool isEnvelope = false;
    bool formatMatches = false;
    bool versionMatches = false;
    if (take(document.type()) != json_type::object)
        refuse(Case::invalidArchive);
    simdjson::ondemand::object top = take(document.get_object());
    for (auto field : top) {
        std::string_view key = take(field.unescaped_key());
        value fieldValue = take(field.value());
        const json_type type = take(fieldValue.type());
        if (key == "format" && type == json_type::string) {
            isEnvelope = true;
            formatMatches = take(fieldValue.get_string()) == formatName;
        } else if (key == "version" && type == json_type::number) {
            isEnvelope = true;
            double number = 0;
            versionMatches = !fieldValue.get_double().get(number) && number == currentVersion;
        } else {
            isEnvelope = isEnvelope || key == "format" || key == "version";
            requireWellFormed(fieldValue);
        }
    }
    HistoryJsonReader::expectEnd(document);

    // Second pass: the history itself.
    document.rewind();
    ClipboardHistoryState state;
    if (isEnvelope) {
        if (!formatMatches)
            refuse(Case::invalidArchive);
        if (!versionMatches)
            refuse(Case::unsupportedVersion);
        simdjson::ondemand::object top = take(document.get_object());
        bool found = false;
        for (auto field : top) {
            std::string_view key = take(field.unescaped_key());
            if (key == "history" && !found) {
                value history = take(field.value());
                state = readHistory(take(history.get_object()), Path{}.child("history"));
                found = true;
            }
        }
        if (!found)
            refuse(Case::invalidArchive);
    } else {
        if (take(document.type()) != json_type::object)
            refuse(Case::invalidArchive);
        state = readHistory(take(document.get_object()), Path{});
    }
    HistoryJsonReader::expectEnd(document);
    return state;
}

// Reads up to maximumBytes + 1 bytes, so that a source larger than an archive may be is refused
// having held no more than that, whatever size it claims. A regular file is read straight into a
// buffer of its size (plus one byte, to see the end); a pipe, or a file that grows while it is
// read, into a buffer that doubles up to the limit.
PaddedBytes readBounded(int fd, const Progress& progress, double share)
{
    constexpr std::size_t limit = maximumBytes + 1;
    // Read in steps, so that a watcher sees progress and can stop a long read.
    constexpr std::size_t step = 4u << 20;
    std::size_t capacity = 1u << 20;
    std::size_t expected = 0; // the size of a regular file
    struct stat status {};
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_size >= 0) {
        capacity = std::min<std::size_t>(limit, static_cast<std::size_t>(status.st_size) + 1);
        expected = static_cast<std::size_t>(status.st_size);
    }

    auto buffer = std::make_unique_for_overwrite<char[]>(capacity + JsonInput::padding);
    std::size_t total = 0;
    while (true) {
        if (total == capacity) {
            if (capacity == limit)
                break;
            const std::size_t grown = std::min(limit, capacity * 2);
            auto larger = std::make_unique_for_overwrite<char[]>(grown + JsonInput::padding);
            std::memcpy(larger.get(), buffer.get(), total);
            buffer = std::move(larger);
            capacity = grown;
        }
        const ssize_t got = ::read(fd, buffer.get() + total, std::min(step, capacity - total));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            throwSystemError("read");
        }
        if (got == 0)
            break;
        total += static_cast<std::size_t>(got);
        if (progress && !progress(expected > 0 ? share * std::min(1.0, double(total) / double(expected)) : 0.0))
            throw Cancelled();
    }
    if (total > maximumBytes)
        refuse(Case::tooLarge);

    std::memset(buffer.get() + total, 0, JsonInput::padding);
    PaddedBytes bytes;
    bytes.buffer = std::move(buffer);
    bytes.size = total;
    return bytes;
}

} // namespace

void validate(const ClipboardHistoryState& state)
{
    if (state.items.size() > maximumItems)
        refuse(Case::tooLarge);
    if (state.pinboards.size() > maximumBoards)
        refuse(Case::tooLarge);

    QSet<QUuid> boardIDs;
    boardIDs.reserve(state.pinboards.size());
    for (const Pinboard& board : state.pinboards) {
        if (boardIDs.contains(board.id()))
            refuse(Case::invalidArchive);
        boardIDs.insert(board.id());
    }
    QSet<QUuid> itemIDs;
    itemIDs.reserve(state.items.size());
    for (const ClipboardItem& item : state.items) {
        if (itemIDs.contains(item.id()))
            refuse(Case::invalidArchive);
        itemIDs.insert(item.id());
    }
    for (const Pinboard& board : state.pinboards) {
        if (TextLimits::isBlank(board.name())
            || TextLimits::exceedsCharacterLimit(board.name(), maximumBoardNameCharacters)
            || TextLimits::exceedsCharacterLimit(board.systemName(), maximumBoardSymbolCharacters))
            refuse(Case::invalidArchive);
    }
    for (const ClipboardItem& item : state.items) {
        for (const QUuid& id : item.pinboardIDs()) {
            if (!boardIDs.contains(id))
                refuse(Case::invalidArchive);
        }
        if (!std::isfinite(item.createdAt()))
            refuse(Case::invalidArchive);
    }
}

QByteArray encode(const ClipboardHistoryState& state)
{
    validate(state);
    ReservedByteArraySink sink(estimatedArchiveBytes(state));
    writeEnvelope(state, sink);
    return sink.takeBytes();
}

void writeFile(const ClipboardHistoryState& state, const QString& path, const Progress& progress)
{
    validate(state);
    const qsizetype estimate = progress ? estimatedArchiveBytes(state) : 1;
    PrivateAtomicFileWriter::writeStreaming(
        path,
        [&](int fd) {
            FileDescriptorSink file(fd);
            ProgressSink sink(file, progress, estimate);
            writeEnvelope(state, sink);
        },
        [&](const QString&) {
            // The last moment a cancel can be honoured: the complete file has not taken the name
            // yet, and the old file (if any) is still there. Once renamed, the export has happened.
            if (progress && !progress(1.0))
                throw Cancelled();
        });
}

ClipboardHistoryState decode(QByteArrayView data)
{
    if (static_cast<std::size_t>(data.size()) > maximumBytes)
        refuse(Case::tooLarge);
    PaddedBytes bytes = PaddedBytes::allocate(static_cast<std::size_t>(data.size()));
    if (!data.isEmpty())
        std::memcpy(bytes.buffer.get(), data.data(), bytes.size);
    try {
        ClipboardHistoryState state = decodePadded(bytes.buffer.get(), bytes.size);
        bytes = PaddedBytes();
        validate(state);
        return state;
    } catch (const ClipboardHistoryImportError&) {
        throw;
    } catch (...) {
        refuse(Case::invalidArchive);
    }
}

ClipboardHistoryState read(int fd, const Progress& progress)
{
    // Reading the bytes and decoding them take about as long as each other.
    constexpr double readingShare = 0.5;
    PaddedBytes bytes = readBounded(fd, progress, readingShare);
    const DecodeProgress watched{bytes.buffer.get(), bytes.size, &progress, readingShare, 1.0};
    struct Watch {
        explicit Watch(const DecodeProgress* decode) { currentDecode = decode; }
        ~Watch() { currentDecode = nullptr; }
    } watch(progress ? &watched : nullptr);
    try {
        ClipboardHistoryState state = decodePadded(bytes.buffer.get(), bytes.size);
        bytes = PaddedBytes();
        validate(state);
        if (progress && !progress(1.0))
            throw Cancelled();
        return state;
    } catch (const ClipboardHistoryImportError&) {
        throw;
    } catch (const Cancelled&) {
        throw;
    } catch (...) {
        refuse(Case::invalidArchive);
    }
}

ClipboardHistoryState readFile(const QString& path)
{
    const QByteArray encoded = path.toLocal8Bit();
    int fd;
    do {
        fd = ::open(encoded.constData(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        throwSystemError("open");
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    return read(fd);
}

} // namespace tolvi::ClipboardHistoryArchive
