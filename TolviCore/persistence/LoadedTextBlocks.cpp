#include "TolviCore/persistence/LoadedTextBlocks.h"

#include <atomic>
#include <cstdint>
#include <cstring>

#include <sys/mman.h>
#include <unistd.h>

namespace tolvi {

namespace {

constexpr std::size_t blockBytes = 2 * 1024 * 1024;

std::size_t pageBytes()
{
    static const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    return page;
}

} // namespace

// A block, with a count for each of its pages of the texts that lie on it (a page shared by two
// texts counts both). A text counts itself on its pages before its bytes are written there, so
// that a page another text lets go of at the same moment is never given back under it.
class LoadedTextBlocks::Block final : public ClipboardContent::TextMemory {
public:
    // A block in small pages; null when none can be mapped. A huge page is zeroed whole as it is
    // first written, and on the virtual machines this runs on that is often memory the host has
    // yet to back: several times what small pages cost.
    static std::shared_ptr<Block> map()
    {
        void* const mapped = ::mmap(nullptr, blockBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped == MAP_FAILED)
            return nullptr;
        char* const base = static_cast<char*>(mapped);
#ifdef MADV_POPULATE_WRITE
        // Put in place at once: all its pages with one call rather than one fault each (Linux
        // 5.14 and later; elsewhere the pages come as they are written).
        ::madvise(base, blockBytes, MADV_POPULATE_WRITE);
#endif
        return std::shared_ptr<Block>(new Block(base));
    }

    ~Block() override { ::munmap(base_, blockBytes); }
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;

    char* base() const { return base_; }

    // A text is put at `offset`, `size` bytes long (at least one).
    void count(std::size_t offset, std::size_t size)
    {
        const std::size_t page = pageBytes();
        for (std::size_t p = offset / page; p <= (offset + size - 1) / page; ++p)
            users_[p].fetch_add(1, std::memory_order_relaxed);
    }

    // Gives back the pages from the one that holds `offset` on, which no text has been put on.
    void giveBackFrom(std::size_t offset) const
    {
        const std::size_t page = pageBytes();
        const std::size_t first = (offset + page - 1) / page * page;
        if (first < blockBytes)
            ::madvise(base_ + first, blockBytes - first, MADV_DONTNEED);
    }

    void letGo(const char* data, qsizetype size) const override
    {
        if (size <= 0)
            return;
        const std::size_t page = pageBytes();
        const auto offset = static_cast<std::size_t>(data - base_);
        const std::size_t last = (offset + static_cast<std::size_t>(size) - 1) / page;
        // Runs of pages that this text was the last on, each given back with one call.
        std::size_t runStart = 0, runLength = 0;
        const auto giveBackRun = [&] {
            if (runLength > 0)
                ::madvise(base_ + runStart * page, runLength * page, MADV_DONTNEED);
            runLength = 0;
        };
        for (std::size_t p = offset / page; p <= last; ++p) {
            if (users_[p].fetch_sub(1, std::memory_order_acq_rel) != 1) {
                giveBackRun();
                continue;
            }
            if (runLength == 0)
                runStart = p;
            ++runLength;
        }
        giveBackRun();
    }

private:
    explicit Block(char* base) : base_(base), users_(new std::atomic<std::uint32_t>[blockBytes / pageBytes()]())
    {
    }

    char* const base_;
    const std::unique_ptr<std::atomic<std::uint32_t>[]> users_;
};

LoadedTextBlocks::~LoadedTextBlocks()
{
    endBlock();
}

void LoadedTextBlocks::endBlock()
{
    if (block_)
        block_->giveBackFrom(used_);
    block_.reset();
    used_ = 0;
}

std::optional<ClipboardContent> LoadedTextBlocks::text(std::string_view utf8, qsizetype units)
{
    if (utf8.empty() || utf8.size() > largestText)
        return std::nullopt;
    if (!block_ || blockBytes - used_ < utf8.size()) {
        endBlock();
        block_ = Block::map();
        if (!block_)
            return std::nullopt;
    }
    block_->count(used_, utf8.size());
    char* const at = block_->base() + used_;
    std::memcpy(at, utf8.data(), utf8.size());
    used_ += utf8.size();
    return ClipboardContent::utf8Text(QByteArrayView(at, static_cast<qsizetype>(utf8.size())), units, block_);
}

} // namespace tolvi
