#pragma once

#include <cstddef>

namespace tolvi::HugePageMemory {

// The huge page size of x86-64 and most other systems.
constexpr std::size_t pageBytes = 2 * 1024 * 1024;

// `bytes` (a multiple of pageBytes) of zeroed memory, aligned to pageBytes so that all of it can
// be huge pages; with `huge`, asked to be (where the system has them, as they are first written).
// Null when none can be mapped. Given back with munmap().
char* map(std::size_t bytes, bool huge = true);

} // namespace tolvi::HugePageMemory
