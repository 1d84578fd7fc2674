#include "TolviCore/persistence/JsonInput.h"

#include "TolviCore/persistence/PersistenceError.h"

#include <simdjson.h>

#include <cerrno>
#include <cstring>
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
    input.mapped_ = std::move(mapped);
    return input;
}

} // namespace tolvi
