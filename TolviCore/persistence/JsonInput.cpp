#include "TolviCore/persistence/JsonInput.h"

#include "TolviCore/persistence/Base64.h"
#include "TolviCore/persistence/PersistenceError.h"

#include <simdjson.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tolvi {

static_assert(simdjson::SIMDJSON_PADDING <= JsonInput::padding);

namespace {
// How much of a regular file is looked through for long Base64 at a time.
constexpr std::size_t defaultPieceBytes = 4 * 1024 * 1024;
} // namespace

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

// What is given back of the input as it is read, at a time.
constexpr std::size_t releaseStep = 2 * 1024 * 1024;

// A string of the file to leave out of the copy: where its text is in the file.
struct Cut {
    std::size_t offset;
    std::size_t length;
};

// Whether a string's text is strict Base64: of the alphabet, but for up to two "=" at its end,
// and of a length and last four bytes that Base64 has.
bool isStrictBase64(std::string_view text)
{
    if (text.size() % 4 != 0 || text.empty())
        return false;
    std::string_view letters = text;
    for (int i = 0; i < 2 && !letters.empty() && letters.back() == '='; ++i)
        letters.remove_suffix(1);
    return Base64::isAlphabet(letters) && Base64::isValid(text.substr(text.size() - 4));
}

// Finds the strings of strict Base64 of at least `minimum` bytes in the `size` bytes of `mapped`,
// whose pages are put in place `pieceBytes` at a time, with one call, just before they are looked
// at; the pages inside a string found are given back at once, so that the images of a large
// history are never all in memory. A string's quotes are found as the parser finds them: a quote
// begins a string, and ends it unless an odd number of backslashes comes just before it. Only a
// string long enough is looked at for its letters.
void findLongBase64(const MappedFile& mapped, std::size_t size, std::size_t minimum, std::size_t pieceBytes,
                    std::vector<Cut>& cuts)
{
    const char* const file = mapped.data();
    std::size_t populated = 0; // the bytes from the start whose pages have been put in place
    // The next quote at or after `at` in the file, or `size`.
    const auto nextQuote = [&](std::size_t at) {
        while (at < size) {
            if (at >= populated) {
                const std::size_t end = std::min(size, at + pieceBytes);
                // Not worth a call for a few pages.
                if (end - at >= 64 * 1024)
                    mapped.populate(file + at, file + end);
                populated = end;
            }
            const void* found = std::memchr(file + at, '"', populated - at);
            if (found)
                return static_cast<std::size_t>(static_cast<const char*>(found) - file);
            at = populated;
        }
        return size;
    };
    std::size_t at = 0;
    while (at < size) {
        const std::size_t open = nextQuote(at);
        if (open >= size)
            return;
        const std::size_t start = open + 1;
        std::size_t close = nextQuote(start);
        for (;;) {
            if (close >= size)
                return; // the file ends in the string
            std::size_t run = 0;
            while (close - run > start && file[close - run - 1] == '\\')
                ++run;
            if (run % 2 == 0)
                break;
            close = nextQuote(close + 1);
        }
        const std::string_view text(file + start, close - start);
        if (text.size() >= minimum && isStrictBase64(text)) {
            cuts.push_back({start, text.size()});
            mapped.release(text.data(), text.data() + text.size());
        }
        at = close + 1;
    }
}

} // namespace

const std::string_view* JsonInput::cutStringAt(const char* token) const
{
    const auto found = std::lower_bound(cuts_.begin(), cuts_.end(), token,
                                        [](const CutString& cut, const char* at) { return cut.token < at; });
    return found != cuts_.end() && found->token == token ? &found->text : nullptr;
}

void JsonInput::releaseReadBefore(const char* end) const
{
    const char* const parsed = data();
    if (!mapped_ || end <= parsed)
        return;
    const std::size_t before = std::min<std::size_t>(end - parsed, size_) / releaseStep * releaseStep;
    if (before <= readReleased_)
        return;
    if (copy_)
        ::madvise(copy_.get() + readReleased_, before - readReleased_, MADV_DONTNEED);
    else
        mapped_->release(parsed + readReleased_, parsed + before);
    readReleased_ = before;
}

void JsonInput::Unmap::operator()(char* data) const
{
    ::munmap(data, bytes);
}

JsonInput JsonInput::readFile(int fd)
{
    return readFile(fd, defaultPieceBytes);
}

JsonInput JsonInput::readFile(int fd, std::size_t pieceBytes)
{
    return readMapped(MappedFile::map(fd, padding), fd, pieceBytes);
}

JsonInput JsonInput::readKeptFile(int fd, const QString& copyFolder)
{
    return readMapped(MappedFile::mapKept(fd, padding, copyFolder), fd, defaultPieceBytes);
}

JsonInput JsonInput::readMapped(std::optional<MappedFile> mapped, int fd, std::size_t pieceBytes)
{
    if (!mapped)
        return readAll(fd);
    if (mapped->size() > maximumSize)
        throw PersistenceError::decoding(
            QStringLiteral("The file is too large to be read (%1 bytes).").arg(mapped->size()));
    JsonInput input;
    input.size_ = mapped->size();
    input.capacity_ = mapped->capacity() - padding;
    std::vector<Cut> cuts;
    findLongBase64(*mapped, input.size_, cutStringMinimum, std::max<std::size_t>(1, pieceBytes), cuts);
    if (cuts.empty()) {
        // Read where it lies, its pages in place already.
        input.mapped_ = std::make_shared<const MappedFile>(std::move(*mapped));
        return input;
    }

    // The copy: the file but for the strings left out, then zero pages (the padding among them).
    std::size_t leftOut = 0;
    for (const Cut& cut : cuts)
        leftOut += cut.length;
    static const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    const std::size_t copyBytes = (input.size_ - leftOut + padding + page - 1) / page * page;
    // In small pages, as LoadedTextBlocks has them and for the same reason.
    void* const mappedCopy =
        ::mmap(nullptr, copyBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    char* const copy = mappedCopy == MAP_FAILED ? nullptr : static_cast<char*>(mappedCopy);
    if (!copy) {
        mapped->populate();
        input.mapped_ = std::make_shared<const MappedFile>(std::move(*mapped));
        return input;
    }
    input.copy_ = std::unique_ptr<char, Unmap>(copy, Unmap{copyBytes});
    input.cuts_.reserve(cuts.size());
    const char* const file = mapped->data();
    std::size_t written = 0;
    std::size_t from = 0;
    for (const Cut& cut : cuts) {
        std::memcpy(copy + written, file + from, cut.offset - from);
        written += cut.offset - from;
        // The string's opening quote, now that of an empty string.
        input.cuts_.push_back({copy + written - 1, std::string_view(file + cut.offset, cut.length)});
        from = cut.offset + cut.length;
    }
    std::memcpy(copy + written, file + from, input.size_ - from);
    written += input.size_ - from;
    // What was copied is read from the copy from now on; the images' pages come back from the
    // file when something reads them.
    mapped->release(file, file + input.size_);
    input.size_ = written;
    input.capacity_ = copyBytes - padding;
    input.mapped_ = std::make_shared<const MappedFile>(std::move(*mapped));
    return input;
}

} // namespace tolvi
