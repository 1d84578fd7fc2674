#pragma once

#include <QString>

#include <cstddef>
#include <memory>
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
// as any reader would see it, unless it is mapped with mapKept().
class MappedFile {
public:
    // Maps the open file descriptor: nothing when it is not a regular file or cannot be mapped
    // (the caller reads it instead). Throws PersistenceError::system when fstat fails.
    static std::optional<MappedFile> map(int fd, std::size_t padding);
    // The same, keeping what is mapped exactly as the file is now, whatever is done to the file
    // later (a backup copied over it, an editor saving in place, a truncation). A read lease on
    // the file (see FileLease) holds back whoever opens it for writing until the mapping has
    // moved onto a private copy of the file, made in `copyFolder` (see privateCopyOf); where no
    // lease is granted, the copy is made at once and mapped instead of the file. The descriptor
    // must be open read-only. Should the file change all the same (the kernel let a writer in
    // before the copy was made), changedWhileRead() says so. Nothing when the file cannot be
    // kept either way, nor mapped (the caller reads it instead).
    static std::optional<MappedFile> mapKept(int fd, std::size_t padding, const QString& copyFolder);

    MappedFile(MappedFile&& other) noexcept;
    MappedFile& operator=(MappedFile&& other) noexcept;
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    ~MappedFile();

    const char* data() const { return data_; }
    std::size_t size() const { return size_; }
    // Readable bytes from data(): the size and the padding after it.
    std::size_t capacity() const { return capacity_; }

    // Whether part of the file vanished (it was truncated) while it was mapped and read; for a
    // kept mapping, whether anything read from it may differ from the file as it was mapped.
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
    struct Keeper;

    MappedFile() = default;
    void unmap();

    char* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
    std::size_t mappedBytes_ = 0; // the whole reservation, padding pages included
    int slot_ = -1;               // in the fault handler's table; -1 when not guarded
    std::shared_ptr<Keeper> keeper_; // for a kept mapping whose file is still leased
};

} // namespace tolvi
