#pragma once

#include <cstddef>

namespace tolvi::ByteSearch {

// The first occurrence of `needle` in `haystack` (as memmem), or nullptr. Candidates are found 16
// or 32 bytes at a time by the needle's first and last byte together, which keeps the cost of a
// miss close to that of reading the text once even when the needle's letters are common.
const char* find(const char* haystack, std::size_t haystackLength, const char* needle, std::size_t needleLength);

// The first position of `needle` in UTF-16 `haystack`, where a unit u stands for the needle's
// unit n at the same place when (u | mask) == n with that place's mask: a mask of 0x20 under a
// lower-case ASCII letter lets the upper-case letter stand for it, a mask of 0 asks for the unit
// itself. Found the same way as find(), 16 units at a time. nullptr when there is none.
const char16_t* findMasked16(const char16_t* haystack, std::size_t haystackLength, const char16_t* needle,
                             const char16_t* masks, std::size_t needleLength);

// The same for bytes: a byte b stands for the needle's byte n when (b | mask) == n.
const char* findMasked8(const char* haystack, std::size_t haystackLength, const char* needle, const char* masks,
                        std::size_t needleLength);

// Whether UTF-16 text holds only ASCII (every unit below 0x80).
bool isAscii16(const char16_t* text, std::size_t length);

} // namespace tolvi::ByteSearch
