#pragma once

#include "TolviCore/persistence/MappedFile.h"

#include <QByteArrayView>

#include <cstddef>
#include <memory>
#include <optional>
#include <string_view>

namespace tolvi {

// JSON text with the zeroed tail padding that the parser reads past the end: in a buffer of its
// own, or a regular file. A regular file is mapped where it lies (see MappedFile), and read into
// a copy in huge pages that the parser reads instead: reading a mapping of small pages costs the
// processor a walk of the page tables for every page, several times what copying it costs. The
// copy goes with the input; the mapping stays as long as anything holds it (see mapping()), and
// its pages are read only when something asks for them.
class JsonInput {
public:
    static constexpr std::size_t padding = 64;
    // The parser's addressing limit; larger inputs are refused before anything is read.
    static constexpr std::size_t maximumSize = 0xFFFFFFFFu - padding;

    static JsonInput copyOf(QByteArrayView bytes);
    // Reads a file descriptor to its end. Throws PersistenceError::system on a read failure
    // and PersistenceError::decoding when the content is larger than maximumSize.
    static JsonInput readAll(int fd);
    // A regular file mapped and read, anything else read to its end. The same failures as readAll.
    static JsonInput readFile(int fd);

    JsonInput(JsonInput&& other) noexcept = default;
    JsonInput& operator=(JsonInput&& other) noexcept = default;
    ~JsonInput();

    const char* data() const { return copy_ ? copy_.get() : mapped_ ? mapped_->data() : buffer_.get(); }
    std::size_t size() const { return size_; }
    std::size_t capacity() const { return capacity_; }
    std::string_view view() const { return {data(), size_}; }

    bool isMapped() const { return mapped_ != nullptr; }
    // For a mapped file: whether the file was truncated while it was read, so that part of
    // what was read is missing or zeros instead of the file's bytes.
    bool changedWhileRead() const { return mapped_ && (readShort_ || mapped_->changedWhileRead()); }
    // For a mapped file: gives back the memory of consumed bytes (see MappedFile::release) when
    // they were read from the mapping itself.
    void release(const char* begin, const char* end) const
    {
        if (mapped_ && !copy_)
            mapped_->release(begin, end);
    }

    // For a mapped file read into a copy: gives back the copy's memory before `end`, which has
    // been read and will not be read again (whole huge pages, from where the last call left off).
    void releaseReadBefore(const char* end) const;

    // For a mapped file: the mapping, and where bytes read through data() lie in it.
    std::shared_ptr<const MappedFile> mapping() const { return mapped_; }
    std::string_view inMapping(std::string_view read) const
    {
        return {mapped_->data() + (read.data() - data()), read.size()};
    }

private:
    struct Unmap {
        Unmap() noexcept : bytes(0) {}
        explicit Unmap(std::size_t mapped) noexcept : bytes(mapped) {}
        void operator()(char* data) const;
        std::size_t bytes;
    };

    JsonInput() = default;
    void reserve(std::size_t capacity);

    std::unique_ptr<char[]> buffer_;
    std::shared_ptr<const MappedFile> mapped_;
    std::unique_ptr<char, Unmap> copy_; // of the mapped file, in huge pages
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
    bool readShort_ = false; // the file ended before its size while it was copied
    mutable std::size_t copyReleased_ = 0; // the copy's bytes given back from its start
};

} // namespace tolvi
