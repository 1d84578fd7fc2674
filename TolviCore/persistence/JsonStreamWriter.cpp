#include "TolviCore/persistence/JsonStreamWriter.h"

#include "TolviCore/persistence/Base64.h"
#include "TolviCore/persistence/PersistenceError.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <exception>
#include <type_traits>

namespace tolvi {

JsonStreamWriter::JsonStreamWriter(OutputSink& sink, std::size_t bufferSize)
    : sink_(sink), buffer_(new char[bufferSize < 64 ? 64 : bufferSize]), capacity_(bufferSize < 64 ? 64 : bufferSize)
{
}

JsonStreamWriter::~JsonStreamWriter()
{
    if (std::uncaught_exceptions() == 0 && used_ > 0) {
        try {
            flush();
        } catch (...) {
        }
    }
}

void JsonStreamWriter::flush()
{
    if (used_ == 0)
        return;
    const std::size_t size = used_;
    used_ = 0;
    sink_.write(buffer_.get(), size);
    flushed_ += size;
}

void JsonStreamWriter::ensure(std::size_t size)
{
    if (capacity_ - used_ < size)
        flush();
}

void JsonStreamWriter::put(std::string_view text)
{
    while (!text.empty()) {
        if (used_ == capacity_)
            flush();
        const std::size_t n = std::min(text.size(), capacity_ - used_);
        std::memcpy(buffer_.get() + used_, text.data(), n);
        used_ += n;
        text.remove_prefix(n);
    }
}

void JsonStreamWriter::newline()
{
    put('\n');
    for (std::size_t i = 0; i < levels_.size(); ++i)
        put("  ");
}

void JsonStreamWriter::beforeValue()
{
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (!levels_.empty()) {
        Level& level = levels_.back();
        if (!level.empty)
            put(',');
        level.empty = false;
        newline();
    }
}

void JsonStreamWriter::beginObject()
{
    beforeValue();
    put('{');
    levels_.push_back({true, true});
}

void JsonStreamWriter::endObject()
{
    const bool empty = levels_.back().empty;
    levels_.pop_back();
    if (!empty)
        newline();
    put('}');
}

void JsonStreamWriter::beginArray()
{
    beforeValue();
    put('[');
    levels_.push_back({false, true});
}

void JsonStreamWriter::endArray()
{
    const bool empty = levels_.back().empty;
    levels_.pop_back();
    if (!empty)
        newline();
    put(']');
}

void JsonStreamWriter::key(std::string_view key)
{
    beforeValue();
    putQuoted(key);
    put(" : ");
    afterKey_ = true;
}

namespace {

const char hexDigits[] = "0123456789abcdef";

} // namespace

void JsonStreamWriter::string(std::string_view utf8)
{
    beforeValue();
    putQuoted(utf8);
}

void JsonStreamWriter::putQuoted(std::string_view utf8)
{
    put('"');
    for (char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            put('\\');
            put(static_cast<char>(c));
        } else if (c < 0x20) {
            char esc[6] = {'\\', 'u', '0', '0', hexDigits[c >> 4], hexDigits[c & 15]};
            put(std::string_view(esc, 6));
        } else {
            put(static_cast<char>(c));
        }
    }
    put('"');
}

void JsonStreamWriter::string(const QString& value)
{
    beforeValue();
    putText(reinterpret_cast<const char16_t*>(value.constData()), value.size());
}

void JsonStreamWriter::string(QLatin1StringView value)
{
    beforeValue();
    putText(reinterpret_cast<const uchar*>(value.data()), value.size());
}

void JsonStreamWriter::string(QUtf8StringView value)
{
    beforeValue();
    putText(value.data(), value.size());
}

template <typename Unit>
void JsonStreamWriter::putText(const Unit* s, qsizetype n)
{
    put('"');
    qsizetype i = 0;
    while (i < n) {
        ensure(16);
        char* out = buffer_.get() + used_;
        // Fast path for runs of plain ASCII.
        const std::size_t room = capacity_ - used_ - 12;
        std::size_t produced = 0;
        while (i < n && produced < room) {
            const char16_t c = static_cast<std::make_unsigned_t<Unit>>(s[i]);
            if (c >= 0x20 && c < 0x80 && c != '"' && c != '\\') {
                out[produced++] = static_cast<char>(c);
                ++i;
                continue;
            }
            if (c < 0x80) {
                out[produced++] = '\\';
                switch (c) {
                case '"': out[produced++] = '"'; break;
                case '\\': out[produced++] = '\\'; break;
                case '\n': out[produced++] = 'n'; break;
                case '\r': out[produced++] = 'r'; break;
                case '\t': out[produced++] = 't'; break;
                case '\b': out[produced++] = 'b'; break;
                case '\f': out[produced++] = 'f'; break;
                default:
                    out[produced++] = 'u';
                    out[produced++] = '0';
                    out[produced++] = '0';
                    out[produced++] = hexDigits[c >> 4];
                    out[produced++] = hexDigits[c & 15];
                }
                ++i;
                continue;
            }
            if constexpr (std::is_same_v<Unit, char>) {
                // UTF-8 stays as it is.
                out[produced++] = static_cast<char>(c);
                ++i;
                continue;
            }
            char32_t cp = c;
            if constexpr (sizeof(Unit) == 1) {
                ++i;
            } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
                cp = 0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(s[i + 1]) - 0xDC00);
                i += 2;
            } else {
                if (c >= 0xD800 && c <= 0xDFFF)
                    cp = 0xFFFD;
                ++i;
            }
            if (cp < 0x800) {
                out[produced++] = static_cast<char>(0xC0 | (cp >> 6));
                out[produced++] = static_cast<char>(0x80 | (cp & 0x3F));
            } else if (cp < 0x10000) {
                out[produced++] = static_cast<char>(0xE0 | (cp >> 12));
                out[produced++] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
                out[produced++] = static_cast<char>(0x80 | (cp & 0x3F));
            } else {
                out[produced++] = static_cast<char>(0xF0 | (cp >> 18));
                out[produced++] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
                out[produced++] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
                out[produced++] = static_cast<char>(0x80 | (cp & 0x3F));
            }
        }
        used_ += produced;
    }
    put('"');
}

void JsonStreamWriter::number(double value)
{
    if (!std::isfinite(value))
        throw PersistenceError::encoding(QStringLiteral("Cannot write a non-finite number: %1").arg(value));
    beforeValue();
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value);
    put(std::string_view(text, static_cast<std::size_t>(result.ptr - text)));
}

void JsonStreamWriter::integer(qint64 value)
{
    beforeValue();
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    put(std::string_view(text, static_cast<std::size_t>(result.ptr - text)));
}

void JsonStreamWriter::boolean(bool value)
{
    beforeValue();
    put(value ? std::string_view("true") : std::string_view("false"));
}

void JsonStreamWriter::null()
{
    beforeValue();
    put(std::string_view("null"));
}

void JsonStreamWriter::base64(QByteArrayView bytes)
{
    beforeValue();
    put('"');
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t remaining = static_cast<std::size_t>(bytes.size());
    while (remaining > 0) {
        if (capacity_ - used_ < 8)
            flush();
        // Whole groups of three bytes that fit into the free space (the last group may be short).
        std::size_t groups = (capacity_ - used_) / 4;
        std::size_t take = std::min(remaining, groups * 3);
        if (take < remaining)
            take -= take % 3;
        Base64::encode(data, take, buffer_.get() + used_);
        used_ += Base64::encodedLength(take);
        data += take;
        remaining -= take;
    }
    put('"');
}

void JsonStreamWriter::beginVerbatimString()
{
    beforeValue();
    put('"');
}

} // namespace tolvi
