#pragma once

#include <QByteArrayView>

#include <cstddef>
#include <memory>
#include <string_view>

namespace tolvi {

// JSON text in a buffer with the zeroed tail padding that the parser reads past the end.
class JsonInput {
public:
    static constexpr std::size_t padding = 64;
    // The parser's addressing limit; larger inputs are refused before anything is read.
    static constexpr std::size_t maximumSize = 0xFFFFFFFFu - padding;

    static JsonInput copyOf(QByteArrayView bytes);
    // Reads a file descriptor to its end. Throws PersistenceError::system on a read failure
    // and PersistenceError::decoding when the content is larger than maximumSize.
    static JsonInput readAll(int fd);

    const char* data() const { return buffer_.get(); }
    std::size_t size() const { return size_; }
    std::size_t capacity() const { return capacity_; }
    std::string_view view() const { return {buffer_.get(), size_}; }

private:
    JsonInput() = default;
    void reserve(std::size_t capacity);

    std::unique_ptr<char[]> buffer_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

} // namespace tolvi
