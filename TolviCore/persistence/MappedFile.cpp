#include "TolviCore/persistence/MappedFile.h"

#include "TolviCore/persistence/FileCopy.h"
#include "TolviCore/persistence/FileLease.h"
#include "TolviCore/persistence/PersistenceError.h"

#include <atomic>
#include <csignal>
#include <cstdint>
#include <mutex>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tolvi {

namespace {

// The live mappings, as the fault handler sees them. A slot is claimed by its `used` flag; its
// range is published after the mapping exists and cleared before it goes away.
struct GuardSlot {
    std::atomic<bool> used{false};
    std::atomic<std::uintptr_t> begin{0};
    std::atomic<std::uintptr_t> end{0};
    std::atomic<bool> lost{false};
};
static_assert(std::atomic<std::uintptr_t>::is_always_lock_free && std::atomic<bool>::is_always_lock_free);

constexpr int guardSlotCount = 32;
GuardSlot guardSlots[guardSlotCount];
std::uintptr_t pageSize = 4096;
struct sigaction previousBusAction {};
std::once_flag handlerInstalled;

void onBusError(int signal, siginfo_t* info, void* context)
{
    const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
    for (GuardSlot& slot : guardSlots) {
        const std::uintptr_t begin = slot.begin.load(std::memory_order_acquire);
        const std::uintptr_t end = slot.end.load(std::memory_order_acquire);
        if (begin == 0 || address < begin || address >= end)
            continue;
        // The file ends before this page now: everything from here to the end of the mapping
        // reads as zeros from now on, which no history decodes as.
        const std::uintptr_t page = address & ~(pageSize - 1);
        void* replaced = ::mmap(reinterpret_cast<void*>(page), end - page, PROT_READ,
                                MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
        if (replaced != MAP_FAILED) {
            slot.lost.store(true, std::memory_order_release);
            return;
        }
        break;
    }
    // Not ours: whoever handled it before, or the default action.
    if (previousBusAction.sa_flags & SA_SIGINFO) {
        if (previousBusAction.sa_sigaction) {
            previousBusAction.sa_sigaction(signal, info, context);
            return;
        }
    } else if (previousBusAction.sa_handler != SIG_DFL && previousBusAction.sa_handler != SIG_IGN) {
        previousBusAction.sa_handler(signal);
        return;
    }
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    ::sigaction(SIGBUS, &fallback, nullptr);
    ::raise(SIGBUS);
}

void installHandler()
{
    std::call_once(handlerInstalled, [] {
        pageSize = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
        struct sigaction action {};
        action.sa_sigaction = onBusError;
        action.sa_flags = SA_SIGINFO | SA_ONSTACK;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGBUS, &action, &previousBusAction);
    });
}

int claimSlot()
{
    for (int i = 0; i < guardSlotCount; ++i) {
        bool expected = false;
        if (guardSlots[i].used.compare_exchange_strong(expected, true))
            return i;
    }
    return -1;
}

std::size_t roundUp(std::size_t value, std::size_t unit)
{
    return (value + unit - 1) / unit * unit;
}

bool sameTime(const struct timespec& a, const struct timespec& b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

} // namespace

// What keeps a mapping as the file was: the lease, and the state of the move onto a private copy.
// Shared with the lease's break handler, which runs on the lease thread.
struct MappedFile::Keeper {
    QString copyFolder;
    struct stat identity {}; // of the file once leased
    std::unique_ptr<FileLease> lease;
    std::atomic<bool> onCopy{false}; // the mapping reads a private copy of the file as it was
    std::atomic<bool> lost{false};   // what the mapping reads may not be the file as it was

    std::mutex mutex; // for the two below and the move
    char* data = nullptr; // the mapping, while it exists
    std::size_t size = 0;

    // Whether the leased file is still as it was when the lease was taken: the kernel lets a
    // writer in once a break has gone unanswered for too long, and every write or truncation
    // moves the file's modification time before its bytes change. (Its change time moves for
    // other reasons too: the rename of a save over it, a second name.)
    bool fileUnchanged() const
    {
        struct stat now {};
        return ::fstat(lease->fd(), &now) == 0 && now.st_size == identity.st_size
               && sameTime(now.st_mtim, identity.st_mtim);
    }

    bool changed() const
    {
        if (lost.load(std::memory_order_acquire))
            return true;
        return !onCopy.load(std::memory_order_acquire) && !fileUnchanged();
    }

    // On the lease thread, while the writer waits: the copy, the mapping moved onto it page for
    // page (the same bytes, so readers meanwhile read either), and a last look at the file. Only
    // if the file was still unchanged once the mapping had moved was everything read from it, and
    // the copy, the file as it was.
    void moveToCopy()
    {
        const int copy = privateCopyOf(lease->fd(), copyFolder);
        struct stat copied {};
        bool moved = false;
        if (copy >= 0 && ::fstat(copy, &copied) == 0 && copied.st_size == identity.st_size) {
            const std::lock_guard hold(mutex);
            moved = !data || size == 0
                    || ::mmap(data, size, PROT_READ, MAP_PRIVATE | MAP_FIXED, copy, 0) != MAP_FAILED;
        }
        if (copy >= 0)
            ::close(copy);
        if (moved && fileUnchanged())
            onCopy.store(true, std::memory_order_release);
        else
            lost.store(true, std::memory_order_release);
    }
};

std::optional<MappedFile> MappedFile::mapKept(int fd, std::size_t padding, const QString& copyFolder)
{
    auto keeper = std::make_shared<Keeper>();
    keeper->copyFolder = copyFolder;
    // Held until the mapping is known to the keeper, so that a break meanwhile moves it all the same.
    std::unique_lock hold(keeper->mutex);
    keeper->lease = FileLease::take(fd, [weak = std::weak_ptr<Keeper>(keeper)] {
        if (const std::shared_ptr<Keeper> kept = weak.lock())
            kept->moveToCopy();
    });
    if (!keeper->lease || ::fstat(keeper->lease->fd(), &keeper->identity) != 0) {
        hold.unlock();
        keeper.reset();
        // Without a copy the file is read into memory as a whole: nothing is left in it.
        const int copy = privateCopyOf(fd, copyFolder);
        if (copy < 0)
            return std::nullopt;
        std::optional<MappedFile> mapped = map(copy, padding);
        ::close(copy);
        return mapped;
    }
    std::optional<MappedFile> mapped = map(fd, padding);
    if (!mapped)
        return mapped;
    keeper->data = mapped->data_;
    keeper->size = mapped->size_;
    mapped->keeper_ = std::move(keeper);
    return mapped;
}

std::optional<MappedFile> MappedFile::map(int fd, std::size_t padding)
{
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        throwSystemError("fstat");
    if (!S_ISREG(info.st_mode) || info.st_size < 0)
        return std::nullopt;
    installHandler();
    const int slot = claimSlot();
    if (slot < 0)
        return std::nullopt;

    MappedFile file;
    file.slot_ = slot;
    file.size_ = static_cast<std::size_t>(info.st_size);
    file.mappedBytes_ = roundUp(file.size_ + padding, pageSize);
    file.capacity_ = file.mappedBytes_;
    // Zero pages for the whole range first, then the file over its start: the padding is the
    // rest of the file's last page (zeroed by the kernel) and the zero pages after it.
    void* base = ::mmap(nullptr, file.mappedBytes_, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) {
        guardSlots[slot].used.store(false);
        return std::nullopt;
    }
    file.data_ = static_cast<char*>(base);
    if (file.size_ > 0) {
        void* mapped = ::mmap(base, file.size_, PROT_READ, MAP_PRIVATE | MAP_FIXED, fd, 0);
        if (mapped == MAP_FAILED)
            return std::nullopt; // the destructor gives the reservation and the slot back
        GuardSlot& guard = guardSlots[slot];
        guard.lost.store(false);
        guard.end.store(reinterpret_cast<std::uintptr_t>(base) + roundUp(file.size_, pageSize),
                        std::memory_order_release);
        guard.begin.store(reinterpret_cast<std::uintptr_t>(base), std::memory_order_release);
    }
    return file;
}

MappedFile::MappedFile(MappedFile&& other) noexcept
    : data_(other.data_),
      size_(other.size_),
      capacity_(other.capacity_),
      mappedBytes_(other.mappedBytes_),
      slot_(other.slot_),
      keeper_(std::move(other.keeper_))
{
    other.data_ = nullptr;
    other.slot_ = -1;
    other.size_ = other.capacity_ = other.mappedBytes_ = 0;
}

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept
{
    if (this != &other) {
        unmap();
        data_ = other.data_;
        size_ = other.size_;
        capacity_ = other.capacity_;
        mappedBytes_ = other.mappedBytes_;
        slot_ = other.slot_;
        keeper_ = std::move(other.keeper_);
        other.data_ = nullptr;
        other.slot_ = -1;
        other.size_ = other.capacity_ = other.mappedBytes_ = 0;
    }
    return *this;
}

MappedFile::~MappedFile()
{
    unmap();
}

void MappedFile::unmap()
{
    if (keeper_) {
        // Once the keeper lets go of the range, no break can map a copy into it any more.
        {
            const std::lock_guard hold(keeper_->mutex);
            keeper_->data = nullptr;
        }
        keeper_.reset();
    }
    if (slot_ >= 0) {
        GuardSlot& guard = guardSlots[slot_];
        guard.begin.store(0, std::memory_order_release);
        guard.end.store(0, std::memory_order_release);
    }
    if (data_)
        ::munmap(data_, mappedBytes_);
    if (slot_ >= 0)
        guardSlots[slot_].used.store(false, std::memory_order_release);
    data_ = nullptr;
    slot_ = -1;
}

void MappedFile::populate() const
{
    populate(data_, data_ + size_);
}

void MappedFile::populate(const char* begin, const char* end) const
{
    const auto first = reinterpret_cast<std::uintptr_t>(begin) & ~(pageSize - 1);
    const auto last = reinterpret_cast<std::uintptr_t>(end);
    if (first >= last)
        return;
    ::madvise(reinterpret_cast<void*>(first), last - first, MADV_WILLNEED);
#ifdef MADV_POPULATE_READ
    ::madvise(reinterpret_cast<void*>(first), last - first, MADV_POPULATE_READ);
#endif
}

bool MappedFile::changedWhileRead() const
{
    return (slot_ >= 0 && guardSlots[slot_].lost.load(std::memory_order_acquire)) || (keeper_ && keeper_->changed());
}

void MappedFile::release(const char* begin, const char* end) const
{
    const auto first = roundUp(reinterpret_cast<std::uintptr_t>(begin), pageSize);
    const auto last = reinterpret_cast<std::uintptr_t>(end) & ~(pageSize - 1);
    if (first < last)
        ::madvise(reinterpret_cast<void*>(first), last - first, MADV_DONTNEED);
}

} // namespace tolvi
