#pragma once

#include "TolviCore/persistence/MappedFile.h"

#include <QByteArrayView>
#include <QString>

#include <cstddef>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace tolvi {

// JSON text with the zeroed tail padding that the parser reads past the end: in a buffer of its
// own, or a regular file. A regular file is mapped where it lies (see MappedFile) and parsed
// there, unless it holds long strings of strict Base64 (an image's bytes), which are most of a
// large history and which nothing needs the parser for: then it is read into a copy that leaves
// out their contents. Each reads in the copy as an empty string, and cutStringAt() gives its text
// in the mapping. The copy goes with the input; the mapping stays as long as anything holds it
// (see mapping()), and its pages are read only when something asks for them.
class JsonInput {
public:
    static constexpr std::size_t padding = 64;
    // The shortest string the copy of a file leaves out.
    static constexpr std::size_t cutStringMinimum = 64 * 1024;
    // The parser's addressing limit; larger inputs are refused before anything is read.
    static constexpr std::size_t maximumSize = 0xFFFFFFFFu - padding;

    static JsonInput copyOf(QByteArrayView bytes);
    // Reads a file descriptor to its end. Throws PersistenceError::system on a read failure
    // and PersistenceError::decoding when the content is larger than maximumSize.
    static JsonInput readAll(int fd);
    // A regular file mapped and read, anything else read to its end. The same failures as readAll.
    static JsonInput readFile(int fd);
    // The same, with a regular file looked through for long Base64 `pieceBytes` at a time.
    static JsonInput readFile(int fd, std::size_t pieceBytes);
    // The same for a file whose long strings must stay as they are now for as long as anything
    // holds the mapping, whoever writes to the file meanwhile (see MappedFile::mapKept); `fd`
    // open read-only.
    static JsonInput readKeptFile(int fd, const QString& copyFolder);

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
    bool changedWhileRead() const { return mapped_ && mapped_->changedWhileRead(); }
    // For a mapped file: gives back the memory of consumed bytes (see MappedFile::release) when
    // they were read from the mapping itself.
    void release(const char* begin, const char* end) const
    {
        if (inMapping({begin, static_cast<std::size_t>(end - begin)}))
            mapped_->release(begin, end);
    }

    // For a mapped file: gives back the memory of what is parsed before `end`, which has been read
    // and will not be read again (2 MB at a time, from where the last call left off); the pages
    // of the mapping come back from the file if it is read after all.
    void releaseReadBefore(const char* end) const;

    // The text of the string left out of the copy whose empty string's opening quote is at
    // `token`; null for any other.
    const std::string_view* cutStringAt(const char* token) const;
    bool hasCutStrings() const { return !cuts_.empty(); }

    // For a mapped file: the mapping, and whether `bytes` lie in it.
    std::shared_ptr<const MappedFile> mapping() const { return mapped_; }
    bool inMapping(std::string_view bytes) const
    {
        return mapped_ && bytes.data() >= mapped_->data()
               && bytes.data() + bytes.size() <= mapped_->data() + mapped_->size();
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
    static JsonInput readMapped(std::optional<MappedFile> mapped, int fd, std::size_t pieceBytes);

    std::unique_ptr<char[]> buffer_;
    std::shared_ptr<const MappedFile> mapped_;
    std::unique_ptr<char, Unmap> copy_; // of the mapped file, but for its long Base64
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
    struct CutString {
        const char* token;
        std::string_view text;
    };
    std::vector<CutString> cuts_; // in the order of their tokens
    mutable std::size_t readReleased_ = 0; // the bytes given back from the start of what is parsed
};

} // namespace tolvi
