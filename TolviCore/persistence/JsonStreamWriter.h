#pragma once

#include "TolviCore/persistence/OutputSink.h"

#include <QByteArrayView>
#include <QString>

#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

namespace tolvi {

// A streaming, pretty-printing JSON writer: two-space indentation, one member per line,
// "key" : value. It never builds a document in memory; bytes go to the sink in large chunks.
// Callers write the keys of each object in sorted order. Strings are written as UTF-8 (a lone
// surrogate becomes U+FFFD); doubles in the shortest form that reads back to the same value;
// a non-finite double is refused, since JSON cannot hold it.
class JsonStreamWriter {
public:
    explicit JsonStreamWriter(OutputSink& sink, std::size_t bufferSize = 1 << 20);
    ~JsonStreamWriter();
    JsonStreamWriter(const JsonStreamWriter&) = delete;
    JsonStreamWriter& operator=(const JsonStreamWriter&) = delete;

    void beginObject();
    void endObject();
    void beginArray();
    void endArray();
    // An object member's key (escaped like any string).
    void key(std::string_view key);

    void string(const QString& value);
    // A string given as Latin-1 (ASCII, say): written as string() writes the same QString.
    void string(QLatin1StringView value);
    // A string given as well-formed UTF-8: written as string() writes the same QString.
    void string(QUtf8StringView value);
    // A string given as UTF-8 bytes (escaped, not validated).
    void string(std::string_view utf8);
    // Throws PersistenceError::encoding for NaN and infinities.
    void number(double value);
    void integer(qint64 value);
    void boolean(bool value);
    void null();
    // The bytes as a standard Base64 string.
    void base64(QByteArrayView bytes);
    // A string whose text the caller gives in pieces, already as it must stand between the
    // quotes (Base64 text, say): written unchanged.
    void beginVerbatimString();
    void verbatim(std::string_view text) { put(text); }
    void endVerbatimString() { put('"'); }

    // Writes what is buffered to the sink (also done by the destructor when nothing failed).
    void flush();
    // Total bytes produced so far.
    std::size_t bytesWritten() const { return flushed_ + used_; }

private:
    void beforeValue();
    void newline();
    void ensure(std::size_t size);
    void put(char c)
    {
        if (used_ == capacity_)
            flush();
        buffer_[used_++] = c;
    }
    void put(std::string_view text);
    void putQuoted(std::string_view utf8);
    // The text of string(): `Unit` is char16_t (UTF-16), uchar (Latin-1) or char (UTF-8).
    template <typename Unit>
    void putText(const Unit* s, qsizetype n);

    struct Level {
        bool isObject;
        bool empty;
    };

    OutputSink& sink_;
    std::unique_ptr<char[]> buffer_;
    std::size_t capacity_;
    std::size_t used_ = 0;
    std::size_t flushed_ = 0;
    std::vector<Level> levels_;
    bool afterKey_ = false;
};

} // namespace tolvi
