#pragma once

#include <cstdint>

namespace tolvi::bench {

// The bytes the process holds from the C allocator (malloc and everything built on it: new,
// Qt's containers and strings, images and pixmaps of the raster paint engine, FreeType), counted
// exactly at every allocation and release, and the most it held since the last reset. Memory
// mapped by other means (library and font files, thread stacks) is not counted.
//
// Only a program that links the TolviHeapUsage object library counts: it puts its own malloc
// family in front of the C library's.
namespace HeapUsage {

std::int64_t current();
std::int64_t peak();
// The peak starts again from what is held now.
void resetPeak();
// Gives the allocator's free pages back to the system (malloc_trim), so that what a measured
// step takes shows in the resident size too.
void trim();

} // namespace HeapUsage
} // namespace tolvi::bench
