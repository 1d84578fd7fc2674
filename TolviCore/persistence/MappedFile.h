#pragma once

#include <cstddef>
#include <optional>

namespace tolvi {

// A regular file mapped read-only and private, followed by at least `padding` readable zero
// bytes (what the JSON parser reads past the end). Reading it copies nothing: the pages are the
// page cache's own until they are touched.
//
// A file that another program truncates while it is mapped would end this process with SIGBUS
// at the first read of a vanished page. A handler installed with the first mapping catches that
// fault for the pages of live mappings only: it puts zero pages in place of the vanished part,
// the read goes on, and the mapping reports it through changedWhileRead(). Faults anywhere else
// go to the handler that was there before (or end the process as they would have).
//
// A file replaced by a rename (as every save does) is not disturbed: the mapping keeps the old
// file's pages. A file rewritten in place while it is read may show a mixture of both contents,
// as any reader would see it.
class MappedFile {
public:
    // Maps the open file descriptor: nothing when it is not a regular file or cannot be mapped
    // (the caller reads it instead). Throws PersistenceError::system when fstat fails.
    static std::optional<MappedFile> map(int fd, std::size_t padding);

    MappedFile(MappedFile&& other) noexcept;
    MappedFile& operator=(MappedFile&& other) noexcept;
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    ~MappedFile();

    const char* data() const { return data_; }
    std::size_t size() const { return size_; }
    // Readable bytes from data(): the size and the padding after it.
    std::size_t capacity() const { return capacity_; }

    // Whether part of the file vanished (it was truncated) while it was mapped and read.
    bool changedWhileRead() const;

    // Puts all of the file's pages in place at once, for a file about to be read from end to end
    // (Linux 5.14 and later; elsewhere the pages come as they are read).
    void populate() const;
    // The same for the pages that [begin, end) touches.
    void populate(const char* begin, const char* end) const;

    // Drops the pages that lie wholly inside [begin, end) from this process's memory; reading
    // them again brings them back from the file. For bytes that have been consumed.
    void release(const char* begin, const char* end) const;

private:
    MappedFile() = default;
    void unmap();

    char* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
    std::size_t mappedBytes_ = 0; // the whole reservation, padding pages included
    int slot_ = -1;               // in the fault handler's table; -1 when not guarded
};

} // namespace tolvi
