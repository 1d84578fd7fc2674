#include "HeapUsage.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstddef>

#include <malloc.h>

// The C library's own allocator under its internal names (glibc).
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void* __libc_valloc(std::size_t size);
void* __libc_pvalloc(std::size_t size);
void __libc_free(void* pointer);
}

namespace {

// Constant-initialised: the loader allocates before any constructor of this program runs.
std::atomic<std::int64_t> held{0};
std::atomic<std::int64_t> highest{0};

void added(void* pointer)
{
    if (!pointer)
        return;
    const std::int64_t now = held.fetch_add(std::int64_t(malloc_usable_size(pointer)), std::memory_order_relaxed)
        + std::int64_t(malloc_usable_size(pointer));
    std::int64_t peak = highest.load(std::memory_order_relaxed);
    while (now > peak && !highest.compare_exchange_weak(peak, now, std::memory_order_relaxed)) {
    }
}

void removed(void* pointer)
{
    if (pointer)
        held.fetch_sub(std::int64_t(malloc_usable_size(pointer)), std::memory_order_relaxed);
}

} // namespace

extern "C" {

void* malloc(std::size_t size)
{
    void* pointer = __libc_malloc(size);
    added(pointer);
    return pointer;
}

void* calloc(std::size_t count, std::size_t size)
{
    void* pointer = __libc_calloc(count, size);
    added(pointer);
    return pointer;
}

void* realloc(void* pointer, std::size_t size)
{
    const std::int64_t before = pointer ? std::int64_t(malloc_usable_size(pointer)) : 0;
    void* moved = __libc_realloc(pointer, size);
    if (!moved) {
        // realloc(p, 0) may free p; a failed realloc keeps it.
        if (pointer && size == 0)
            held.fetch_sub(before, std::memory_order_relaxed);
        return moved;
    }
    held.fetch_sub(before, std::memory_order_relaxed);
    added(moved);
    return moved;
}

void free(void* pointer)
{
    removed(pointer);
    __libc_free(pointer);
}

void* memalign(std::size_t alignment, std::size_t size)
{
    void* pointer = __libc_memalign(alignment, size);
    added(pointer);
    return pointer;
}

void* aligned_alloc(std::size_t alignment, std::size_t size)
{
    return memalign(alignment, size);
}

int posix_memalign(void** out, std::size_t alignment, std::size_t size)
{
    if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0)
        return EINVAL;
    void* pointer = memalign(alignment, size);
    if (!pointer && size != 0)
        return ENOMEM;
    *out = pointer;
    return 0;
}

void* valloc(std::size_t size)
{
    void* pointer = __libc_valloc(size);
    added(pointer);
    return pointer;
}

void* pvalloc(std::size_t size)
{
    void* pointer = __libc_pvalloc(size);
    added(pointer);
    return pointer;
}

} // extern "C"

namespace tolvi::bench::HeapUsage {

std::int64_t current()
{
    return held.load(std::memory_order_relaxed);
}

std::int64_t peak()
{
    return std::max(highest.load(std::memory_order_relaxed), current());
}

void resetPeak()
{
    highest.store(current(), std::memory_order_relaxed);
}

void trim()
{
    malloc_trim(0);
}

} // namespace tolvi::bench::HeapUsage
