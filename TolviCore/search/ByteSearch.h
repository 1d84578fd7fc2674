#pragma once

#include <cstddef>

namespace tolvi::ByteSearch {

// The first occurrence of `needle` in `haystack` (as memmem), or nullptr. Candidates are found 16
// or 32 bytes at a time by the needle's first and last byte together, which keeps the cost of a
// miss close to that of reading the text once even when the needle's letters are common.
const char* find(const char* haystack, std::size_t haystackLength, const char* needle, std::size_t needleLength);

} // namespace tolvi::ByteSearch
