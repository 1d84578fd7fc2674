#include "TolviCore/persistence/JsonInput.h"

#include "TolviCore/persistence/Base64.h"
#include "TolviCore/persistence/HugePageMemory.h"
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
constexpr std::size_t hugePage = HugePageMemory::pageBytes;

// A string of the file to leave out of the copy: where its text is in the file.
struct Cut {
    std::size_t offset;
    std::size_t length;
};

// Finds the strings of strict Base64 of at least `minimum` bytes in the `size` bytes of `file`
// (a mapping), looking at them `pieceBytes` at a time: each piece's pages are put in place with
// one call before it is looked at, and the pages inside a string found are given back at once,
// so that the images of a large history are never all in memory. A string's quotes are found as
// the parser finds them: a quote begins a string, and ends it unless an odd number of
// backslashes comes just before it. Only the first bytes of a string are looked at until it is
// known to be all of the alphabet; one that is not ends in the next quote that has no odd run of
// backslashes before it.
void findLongBase64(const MappedFile& mapped, std::size_t size, std::size_t minimum, std::size_t pieceBytes,
                    std::vector<Cut>& cuts)
{
    const char* const file = mapped.data();
    bool inString = false;
    std::size_t backslashes = 0; // in the string, just before the next byte
    std::size_t stringStart = 0; // just past the opening quote
    bool alphabet = false;       // the string so far is all of the alphabet, but for "=" at its end
    std::size_t equals = 0;      // the "=" at its end so far
    char tail[4] = {};           // the string's last four bytes so far
    for (std::size_t read = 0; read < size;) {
        const std::size_t got = std::min(pieceBytes, size - read);
        const char* const c = file + read;
#ifdef MADV_POPULATE_READ
        if (got >= 64 * 1024) {
            static const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
            const auto first = reinterpret_cast<std::uintptr_t>(c) & ~(page - 1);
            ::madvise(reinterpret_cast<void*>(first), reinterpret_cast<std::uintptr_t>(c) + got - first,
                      MADV_POPULATE_READ);
        }
#endif
        std::size_t at = 0;
        while (at < got) {
            const void* found = std::memchr(c + at, '"', got - at);
            const std::size_t quote = found ? static_cast<std::size_t>(static_cast<const char*>(found) - c) : got;
            if (!inString) {
                at = found ? quote + 1 : got;
                if (found) {
                    inString = true;
                    stringStart = read + at;
                    alphabet = true;
                    equals = 0;
                    backslashes = 0;
                }
                continue;
            }
            // The string's bytes up to the quote (or the end of the piece), and whether it closes.
            std::size_t run = 0;
            while (quote - run > at && c[quote - run - 1] == '\\')
                ++run;
            if (quote - run == at)
                run += backslashes;
            const bool closes = found && run % 2 == 0;
            const std::size_t contentEnd = closes ? quote : (found ? quote + 1 : got);
            const std::string_view content(c + at, contentEnd - at);
            backslashes = found && !closes ? 0 : run;
            if (alphabet) {
                // Padding may end the string, here or in a later piece; anything after it may not.
                std::string_view letters = content;
                std::size_t trailing = 0;
                while (!letters.empty() && letters.back() == '=') {
                    letters.remove_suffix(1);
                    ++trailing;
                }
                bool still = true;
                if (!letters.empty()) {
                    still = equals == 0 && Base64::isAlphabet(letters);
                    equals = trailing;
                } else {
                    equals += trailing;
                }
                if (!still || equals > 2)
                    alphabet = false;
            }
            for (const char byte : content.substr(content.size() > 4 ? content.size() - 4 : 0)) {
                std::memmove(tail, tail + 1, 3);
                tail[3] = byte;
            }
            at = contentEnd;
            if (!closes)
                continue;
            const std::size_t length = read + quote - stringStart;
            if (alphabet && length >= minimum && length % 4 == 0 && Base64::isValid(std::string_view(tail, 4))) {
                cuts.push_back({stringStart, length});
                mapped.release(file + stringStart, file + stringStart + length);
            }
            at = quote + 1;
            inString = false;
        }
        read += got;
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
    const std::size_t before = std::min<std::size_t>(end - parsed, size_) / hugePage * hugePage;
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
    return readFile(fd, 4 * 1024 * 1024);
}

JsonInput JsonInput::readFile(int fd, std::size_t pieceBytes)
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
    const std::size_t copySize = input.size_ - leftOut;
    const std::size_t copyBytes = (copySize + padding + hugePage - 1) / hugePage * hugePage;
    // In small pages, as LoadedTextBlocks has them and for the same reason.
    char* const copy = HugePageMemory::map(copyBytes, false);
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
