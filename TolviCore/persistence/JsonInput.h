#pragma once

#include "TolviCore/persistence/MappedFile.h"

#include <QByteArrayView>

#include <cstddef>
#include <memory>
#include <optional>
#include <string_view>

namespace tolvi {

// JSON text with the zeroed tail padding that the parser reads past the end: in a buffer of its
// own, or a regular file mapped where it lies (see MappedFile).
class JsonInput {
public:
    static constexpr std::size_t padding = 64;
    // The parser's addressing limit; larger inputs are refused before anything is read.
    static constexpr std::size_t maximumSize = 0xFFFFFFFFu - padding;

    static JsonInput copyOf(QByteArrayView bytes);
    // Reads a file descriptor to its end. Throws PersistenceError::system on a read failure
    // and PersistenceError::decoding when the content is larger than maximumSize.
    static JsonInput readAll(int fd);
    // A regular file mapped, anything else read to its end. The same failures as readAll.
    static JsonInput readFile(int fd);

    const char* data() const { return mapped_ ? mapped_->data() : buffer_.get(); }
    std::size_t size() const { return size_; }
    std::size_t capacity() const { return capacity_; }
    std::string_view view() const { return {data(), size_}; }

    bool isMapped() const { return mapped_.has_value(); }
    // For a mapped file: whether the file was truncated while it was read, so that part of
    // what was read is zeros instead of the file's bytes.
    bool changedWhileRead() const { return mapped_ && mapped_->changedWhileRead(); }
    // For a mapped file: gives back the memory of consumed bytes (see MappedFile::release).
    void release(const char* begin, const char* end) const
    {
        if (mapped_)
            mapped_->release(begin, end);
    }

private:
    JsonInput() = default;
    void reserve(std::size_t capacity);

    std::unique_ptr<char[]> buffer_;
    std::optional<MappedFile> mapped_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

} // namespace tolvi
