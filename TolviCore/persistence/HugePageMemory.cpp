#include "TolviCore/persistence/HugePageMemory.h"

#include <cstdint>

#include <sys/mman.h>

namespace tolvi::HugePageMemory {

char* map(std::size_t bytes, bool huge)
{
    // A page more than asked for, and what lies outside the aligned stretch given back.
    void* reserved =
        ::mmap(nullptr, bytes + pageBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (reserved == MAP_FAILED)
        return nullptr;
    const auto start = reinterpret_cast<std::uintptr_t>(reserved);
    const std::uintptr_t aligned = (start + pageBytes - 1) & ~std::uintptr_t(pageBytes - 1);
    if (aligned > start)
        ::munmap(reserved, aligned - start);
    if (const std::uintptr_t after = start + bytes + pageBytes - (aligned + bytes))
        ::munmap(reinterpret_cast<void*>(aligned + bytes), after);
    char* const memory = reinterpret_cast<char*>(aligned);
    if (huge)
        ::madvise(memory, bytes, MADV_HUGEPAGE);
    return memory;
}

} // namespace tolvi::HugePageMemory
