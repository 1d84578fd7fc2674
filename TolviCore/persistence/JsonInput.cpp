#include "TolviCore/persistence/JsonInput.h"

#include "TolviCore/persistence/Base64.h"
#include "TolviCore/persistence/HugePageMemory.h"
#include "TolviCore/persistence/PersistenceError.h"

#include <simdjson.h>

#include <algorithm>
#include <cerrno>
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

constexpr std::size_t hugePage = HugePageMemory::pageBytes;

// Reads `size` bytes of `fd` from `offset` to `out`; fewer when the file ends first.
std::size_t readAt(int fd, char* out, std::size_t size, std::size_t offset)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::pread(fd, out + done, size - done, static_cast<off_t>(offset + done));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            throwSystemError("read");
        }
        if (got == 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

// A string of the copy that is left out: where its empty string's opening quote is in the copy,
// and where its text is in the file.
struct Cut {
    std::size_t token;
    std::size_t offset;
    std::size_t length;
};

// Copies the first `size` bytes of the file to `out` (room for `size`), reading them a piece at a
// time, but for the contents of strings of strict Base64 of at least `minimum` bytes, which are
// listed in `cuts` instead. A string's quotes are found as the parser finds them: a quote begins
// a string, and ends it unless an odd number of backslashes comes just before it. While a string
// is all of the alphabet, its first `minimum` bytes are copied and the rest is not; when it turns
// out to be something else, the rest is read again and copied after all. Returns the bytes of
// the file read (fewer than `size` when it ends first) and sets `written` to the copy's size.
std::size_t copyLeavingOutLongBase64(int fd, std::size_t size, std::size_t minimum, std::size_t pieceBytes, char* out,
                                     std::size_t& written, std::vector<Cut>& cuts)
{
    const std::unique_ptr<char[]> piece(new char[pieceBytes]);
    constexpr std::size_t none = std::size_t(-1);
    written = 0;
    bool inString = false;
    std::size_t backslashes = 0; // in the string, just before the next byte
    std::size_t stringStart = 0; // in the file, just past the opening quote
    std::size_t copyStart = 0;   // the same in the copy
    bool alphabet = false;       // the string so far is all of the alphabet, but for "=" at its end
    std::size_t equals = 0;      // the "=" at its end so far
    std::size_t skipped = none;  // where in the file the string's bytes stopped being copied
    char tail[4] = {};           // the string's last four bytes so far
    std::size_t read = 0;
    // Copies what was left out from `skipped` up to `end` in the file after all.
    const auto copySkipped = [&](std::size_t end) {
        if (skipped == none)
            return;
        written += readAt(fd, out + written, end - skipped, skipped);
        skipped = none;
    };
    while (read < size) {
        const std::size_t got = readAt(fd, piece.get(), std::min(pieceBytes, size - read), read);
        if (got == 0)
            break;
        const char* const c = piece.get();
        std::size_t at = 0;
        while (at < got) {
            const void* found = std::memchr(c + at, '"', got - at);
            const std::size_t quote = found ? static_cast<std::size_t>(static_cast<const char*>(found) - c) : got;
            if (!inString) {
                const std::size_t end = found ? quote + 1 : got;
                std::memcpy(out + written, c + at, end - at);
                written += end - at;
                at = end;
                if (found) {
                    inString = true;
                    stringStart = read + at;
                    copyStart = written;
                    alphabet = true;
                    equals = 0;
                    skipped = none;
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
            std::string_view content(c + at, contentEnd - at);
            backslashes = found && !closes ? 0 : run;
            const std::size_t before = read + at - stringStart; // the string's bytes before these
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
                if (!still || equals > 2) {
                    alphabet = false;
                    copySkipped(read + at);
                }
            }
            for (const char byte : content.substr(content.size() > 4 ? content.size() - 4 : 0)) {
                std::memmove(tail, tail + 1, 3);
                tail[3] = byte;
            }
            // Copied: everything of a string that is not all of the alphabet, and the first
            // `minimum` bytes of one that is.
            std::size_t copied = content.size();
            if (alphabet)
                copied = before >= minimum ? 0 : std::min(copied, minimum - before);
            std::memcpy(out + written, content.data(), copied);
            written += copied;
            if (copied < content.size() && skipped == none)
                skipped = read + at + copied;
            at = contentEnd;
            if (!closes)
                continue;
            const std::size_t length = read + quote - stringStart;
            if (alphabet && length >= minimum && length % 4 == 0 && Base64::isValid(std::string_view(tail, 4))) {
                written = copyStart;
                cuts.push_back({copyStart - 1, stringStart, length});
                skipped = none;
            } else {
                copySkipped(read + quote);
            }
            out[written++] = '"';
            at = quote + 1;
            inString = false;
        }
        read += got;
    }
    // A string that the file ends in.
    if (inString)
        copySkipped(read);
    return read;
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
    return readFile(fd, 1024 * 1024);
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

    // The copy: zero pages (the padding among them), aligned to the huge page size so that all of
    // it can be huge pages.
    const std::size_t copyBytes = (input.size_ + padding + hugePage - 1) / hugePage * hugePage;
    // A small file is not worth a huge page.
    char* const copy = input.size_ > 0 ? HugePageMemory::map(copyBytes, input.size_ >= hugePage / 2) : nullptr;
    if (!copy) {
        // Read where it lies: its pages put in place at once rather than one fault at a time.
        mapped->populate();
        input.mapped_ = std::make_shared<const MappedFile>(std::move(*mapped));
        return input;
    }
    input.copy_ = std::unique_ptr<char, Unmap>(copy, Unmap{copyBytes});
    std::vector<Cut> cuts;
    std::size_t written = 0;
    // Cut short since it was mapped: what is read is the part that is left.
    input.readShort_ =
        copyLeavingOutLongBase64(fd, input.size_, cutStringMinimum, std::max<std::size_t>(1, pieceBytes),
                                 input.copy_.get(), written, cuts) < input.size_;
    input.size_ = written;
    input.capacity_ = copyBytes - padding;
    input.cuts_.reserve(cuts.size());
    for (const Cut& cut : cuts)
        input.cuts_.push_back(
            {input.copy_.get() + cut.token, std::string_view(mapped->data() + cut.offset, cut.length)});
    input.mapped_ = std::make_shared<const MappedFile>(std::move(*mapped));
    return input;
}

} // namespace tolvi
