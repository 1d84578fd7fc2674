#include "TolviCore/persistence/JsonInput.h"

#include "TolviCore/persistence/PersistenceError.h"

#include <simdjson.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tolvi {

static_assert(simdjson::SIMDJSON_PADDING <= JsonInput::padding);

void JsonInput::reserve(std::size_t capacity)
{
    std::unique_ptr<char[]> buffer(new char[capacity + padding]);
    if (size_ > 0)
        std::memcpy(buffer.get(), buffer_.get(), size_);
    std::memset(buffer.get() + size_, 0, capacity + padding - size_);
    buffer_ = std::move(buffer);
    capacity_ = capacity;
}

JsonInput JsonInput::copyOf(QByteArrayView bytes)
{
    JsonInput input;
    const auto size = static_cast<std::size_t>(bytes.size());
    input.buffer_.reset(new char[size + padding]);
    if (size > 0)
        std::memcpy(input.buffer_.get(), bytes.data(), size);
    std::memset(input.buffer_.get() + size, 0, padding);
    input.size_ = size;
    input.capacity_ = size;
    return input;
}

JsonInput JsonInput::readAll(int fd)
{
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        throwSystemError("fstat");
    JsonInput input;
    std::size_t expected = info.st_size > 0 ? static_cast<std::size_t>(info.st_size) : 0;
    if (expected > maximumSize)
        throw PersistenceError::decoding(QStringLiteral("The file is too large to be read (%1 bytes).").arg(expected));
    // One byte more than the size, so that reaching the end needs no second buffer.
    input.buffer_.reset(new char[expected + 1 + padding]);
    input.capacity_ = expected + 1;
    for (;;) {
        if (input.size_ == input.capacity_) {
            if (input.capacity_ >= maximumSize)
                throw PersistenceError::decoding(QStringLiteral("The file is too large to be read."));
            input.reserve(std::min(maximumSize, input.capacity_ * 2 + 4096));
        }
        const ssize_t got = ::read(fd, input.buffer_.get() + input.size_, input.capacity_ - input.size_);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            throwSystemError("read");
        }
        if (got == 0)
            break;
        input.size_ += static_cast<std::size_t>(got);
    }
    std::memset(input.buffer_.get() + input.size_, 0, input.capacity_ + padding - input.size_);
    return input;
}

JsonInput::~JsonInput() = default;

namespace {
constexpr std::size_t hugePage = 2 * 1024 * 1024;
}

void JsonInput::releaseReadBefore(const char* end) const
{
    if (!copy_ || end <= copy_.get())
        return;
    const std::size_t before = static_cast<std::size_t>(end - copy_.get()) / hugePage * hugePage;
    if (before <= copyReleased_)
        return;
    ::madvise(copy_.get() + copyReleased_, before - copyReleased_, MADV_DONTNEED);
    copyReleased_ = before;
}

void JsonInput::Unmap::operator()(char* data) const
{
    ::munmap(data, bytes);
}

JsonInput JsonInput::readFile(int fd)
{
    std::optional<MappedFile> mapped = MappedFile::map(fd, padding);
    if (!mapped)
        return readAll(fd);
    if (mapped->size() > maximumSize)
        throw PersistenceError::decoding(
            QStringLiteral("The file is too large to be read (%1 bytes).").arg(mapped->size()));
    JsonInput input;
    input.size_ = mapped->size();
    input.capacity_ = mapped->capacity() - padding;

    // The copy: zero pages from the mapping on (the padding among them), aligned to the huge
    // page size so that all of it can be huge pages.
    const std::size_t copyBytes = (input.size_ + padding + hugePage - 1) / hugePage * hugePage;
    void* reserved = input.size_ > 0 ? ::mmap(nullptr, copyBytes + hugePage, PROT_READ | PROT_WRITE,
                                              MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0)
                                     : MAP_FAILED;
    if (reserved == MAP_FAILED) {
        // Read where it lies: its pages put in place at once rather than one fault at a time.
        mapped->populate();
        input.mapped_ = std::make_shared<const MappedFile>(std::move(*mapped));
        return input;
    }
    const auto start = reinterpret_cast<std::uintptr_t>(reserved);
    const std::uintptr_t aligned = (start + hugePage - 1) & ~std::uintptr_t(hugePage - 1);
    if (aligned > start)
        ::munmap(reserved, aligned - start);
    if (const std::uintptr_t after = start + copyBytes + hugePage - (aligned + copyBytes))
        ::munmap(reinterpret_cast<void*>(aligned + copyBytes), after);
    input.copy_ = std::unique_ptr<char, Unmap>(reinterpret_cast<char*>(aligned), Unmap{copyBytes});
    ::madvise(input.copy_.get(), copyBytes, MADV_HUGEPAGE);
    std::size_t copied = 0;
    while (copied < input.size_) {
        const ssize_t got =
            ::pread(fd, input.copy_.get() + copied, input.size_ - copied, static_cast<off_t>(copied));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            throwSystemError("read");
        }
        if (got == 0)
            break;
        copied += static_cast<std::size_t>(got);
    }
    if (copied < input.size_) {
        // Cut short since it was mapped: what is read is the part that is left.
        input.readShort_ = true;
        input.size_ = copied;
    }
    input.capacity_ = copyBytes - padding;
    input.mapped_ = std::make_shared<const MappedFile>(std::move(*mapped));
    return input;
}

} // namespace tolvi
