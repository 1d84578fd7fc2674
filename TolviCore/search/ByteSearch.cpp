#include "TolviCore/search/ByteSearch.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define TOLVI_BYTE_SEARCH_X86 1
#endif

namespace tolvi::ByteSearch {

namespace {

const char* findTail(const char* h, std::size_t from, std::size_t n, const char* needle, std::size_t m)
{
    for (std::size_t i = from; i + m <= n; ++i) {
        if (h[i] == needle[0] && std::memcmp(h + i, needle, m) == 0)
            return h + i;
    }
    return nullptr;
}

#if TOLVI_BYTE_SEARCH_X86
// The candidates of one block, a bit each where the needle's first and last bytes both match:
// the first whose middle matches too.
inline const char* confirmCandidates(unsigned mask, const char* block, const char* needle, std::size_t m)
{
    while (mask) {
        const unsigned bit = unsigned(__builtin_ctz(mask));
        if (std::memcmp(block + bit + 1, needle + 1, m - 2) == 0)
            return block + bit;
        mask &= mask - 1;
    }
    return nullptr;
}

const char* findSSE2(const char* h, std::size_t n, const char* needle, std::size_t m)
{
    const __m128i first = _mm_set1_epi8(needle[0]);
    const __m128i last = _mm_set1_epi8(needle[m - 1]);
    std::size_t i = 0;
    for (; i + m - 1 + 16 <= n; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(h + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(h + i + m - 1));
        const unsigned mask = unsigned(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last))));
        if (const char* match = confirmCandidates(mask, h + i, needle, m))
            return match;
    }
    return findTail(h, i, n, needle, m);
}

__attribute__((target("avx2"))) const char* findAVX2(const char* h, std::size_t n, const char* needle, std::size_t m)
{
    const __m256i first = _mm256_set1_epi8(needle[0]);
    const __m256i last = _mm256_set1_epi8(needle[m - 1]);
    std::size_t i = 0;
    for (; i + m - 1 + 32 <= n; i += 32) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(h + i));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(h + i + m - 1));
        const unsigned mask = unsigned(_mm256_movemask_epi8(_mm256_and_si256(_mm256_cmpeq_epi8(a, first), _mm256_cmpeq_epi8(b, last))));
        if (const char* match = confirmCandidates(mask, h + i, needle, m))
            return match;
    }
    return findTail(h, i, n, needle, m);
}

bool hasAVX2()
{
    static const bool available = __builtin_cpu_supports("avx2");
    return available;
}
#endif

// Whether the needle stands at h (its first and last units already matched).
template <typename Unit>
inline bool maskedMatchAt(const Unit* h, const Unit* needle, const Unit* masks, std::size_t m)
{
    for (std::size_t j = 1; j + 1 < m; ++j) {
        if (Unit(h[j] | masks[j]) != needle[j])
            return false;
    }
    return true;
}

const char* findMasked8Tail(const char* h, std::size_t from, std::size_t n, const char* needle, const char* masks,
                            std::size_t m)
{
    for (std::size_t i = from; i + m <= n; ++i) {
        if (char(h[i] | masks[0]) == needle[0] && char(h[i + m - 1] | masks[m - 1]) == needle[m - 1]
            && maskedMatchAt(h + i, needle, masks, m))
            return h + i;
    }
    return nullptr;
}

const char16_t* findMasked16Tail(const char16_t* h, std::size_t from, std::size_t n, const char16_t* needle,
                                 const char16_t* masks, std::size_t m)
{
    for (std::size_t i = from; i + m <= n; ++i) {
        if (char16_t(h[i] | masks[0]) == needle[0] && char16_t(h[i + m - 1] | masks[m - 1]) == needle[m - 1]
            && maskedMatchAt(h + i, needle, masks, m))
            return h + i;
    }
    return nullptr;
}

#if TOLVI_BYTE_SEARCH_X86
// The candidates of one block of units, two mask bits each (the even bit is looked at).
inline const char16_t* confirmCandidates16(unsigned mask, const char16_t* block, const char16_t* needle,
                                           const char16_t* masks, std::size_t m)
{
    mask &= 0x55555555u;
    while (mask) {
        const unsigned unit = unsigned(__builtin_ctz(mask)) / 2;
        if (maskedMatchAt(block + unit, needle, masks, m))
            return block + unit;
        mask &= mask - 1;
    }
    return nullptr;
}

const char16_t* findMasked16SSE2(const char16_t* h, std::size_t n, const char16_t* needle, const char16_t* masks,
                                 std::size_t m)
{
    const __m128i first = _mm_set1_epi16(short(needle[0]));
    const __m128i firstMask = _mm_set1_epi16(short(masks[0]));
    const __m128i last = _mm_set1_epi16(short(needle[m - 1]));
    const __m128i lastMask = _mm_set1_epi16(short(masks[m - 1]));
    std::size_t i = 0;
    for (; i + m - 1 + 8 <= n; i += 8) {
        const __m128i a = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(h + i)), firstMask);
        const __m128i b = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(h + i + m - 1)), lastMask);
        const unsigned mask = unsigned(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi16(a, first), _mm_cmpeq_epi16(b, last))));
        if (const char16_t* match = confirmCandidates16(mask, h + i, needle, masks, m))
            return match;
    }
    return findMasked16Tail(h, i, n, needle, masks, m);
}

__attribute__((target("avx2"))) const char16_t* findMasked16AVX2(const char16_t* h, std::size_t n,
                                                                 const char16_t* needle, const char16_t* masks,
                                                                 std::size_t m)
{
    const __m256i first = _mm256_set1_epi16(short(needle[0]));
    const __m256i firstMask = _mm256_set1_epi16(short(masks[0]));
    const __m256i last = _mm256_set1_epi16(short(needle[m - 1]));
    const __m256i lastMask = _mm256_set1_epi16(short(masks[m - 1]));
    std::size_t i = 0;
    for (; i + m - 1 + 16 <= n; i += 16) {
        const __m256i a = _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(h + i)), firstMask);
        const __m256i b =
            _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(h + i + m - 1)), lastMask);
        const unsigned mask =
            unsigned(_mm256_movemask_epi8(_mm256_and_si256(_mm256_cmpeq_epi16(a, first), _mm256_cmpeq_epi16(b, last))));
        if (const char16_t* match = confirmCandidates16(mask, h + i, needle, masks, m))
            return match;
    }
    return findMasked16Tail(h, i, n, needle, masks, m);
}

// The candidates of one block of bytes, a bit each.
inline const char* confirmCandidates8(unsigned mask, const char* block, const char* needle, const char* masks,
                                      std::size_t m)
{
    while (mask) {
        const unsigned at = unsigned(__builtin_ctz(mask));
        if (maskedMatchAt(block + at, needle, masks, m))
            return block + at;
        mask &= mask - 1;
    }
    return nullptr;
}

const char* findMasked8SSE2(const char* h, std::size_t n, const char* needle, const char* masks, std::size_t m)
{
    const __m128i first = _mm_set1_epi8(needle[0]);
    const __m128i firstMask = _mm_set1_epi8(masks[0]);
    const __m128i last = _mm_set1_epi8(needle[m - 1]);
    const __m128i lastMask = _mm_set1_epi8(masks[m - 1]);
    std::size_t i = 0;
    for (; i + m - 1 + 16 <= n; i += 16) {
        const __m128i a = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(h + i)), firstMask);
        const __m128i b = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(h + i + m - 1)), lastMask);
        const unsigned mask = unsigned(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last))));
        if (const char* match = confirmCandidates8(mask, h + i, needle, masks, m))
            return match;
    }
    return findMasked8Tail(h, i, n, needle, masks, m);
}

__attribute__((target("avx2"))) const char* findMasked8AVX2(const char* h, std::size_t n, const char* needle,
                                                            const char* masks, std::size_t m)
{
    const __m256i first = _mm256_set1_epi8(needle[0]);
    const __m256i firstMask = _mm256_set1_epi8(masks[0]);
    const __m256i last = _mm256_set1_epi8(needle[m - 1]);
    const __m256i lastMask = _mm256_set1_epi8(masks[m - 1]);
    std::size_t i = 0;
    for (; i + m - 1 + 32 <= n; i += 32) {
        const __m256i a = _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(h + i)), firstMask);
        const __m256i b =
            _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(h + i + m - 1)), lastMask);
        const unsigned mask =
            unsigned(_mm256_movemask_epi8(_mm256_and_si256(_mm256_cmpeq_epi8(a, first), _mm256_cmpeq_epi8(b, last))));
        if (const char* match = confirmCandidates8(mask, h + i, needle, masks, m))
            return match;
    }
    return findMasked8Tail(h, i, n, needle, masks, m);
}

inline bool anyHigh(__m128i units, __m128i high)
{
    return _mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(units, high), _mm_setzero_si128())) != 0xFFFF;
}

bool isAscii16SSE2(const char16_t* text, std::size_t n)
{
    const __m128i high = _mm_set1_epi16(short(0xFF80));
    std::size_t i = 0;
    for (; i + 32 <= n; i += 32) {
        const __m128i* block = reinterpret_cast<const __m128i*>(text + i);
        const __m128i seen = _mm_or_si128(_mm_or_si128(_mm_loadu_si128(block), _mm_loadu_si128(block + 1)),
                                          _mm_or_si128(_mm_loadu_si128(block + 2), _mm_loadu_si128(block + 3)));
        if (anyHigh(seen, high))
            return false;
    }
    for (; i < n; ++i) {
        if (text[i] >= 0x80)
            return false;
    }
    return true;
}

__attribute__((target("avx2"))) bool isAscii16AVX2(const char16_t* text, std::size_t n)
{
    const __m256i high = _mm256_set1_epi16(short(0xFF80));
    std::size_t i = 0;
    for (; i + 64 <= n; i += 64) {
        const __m256i* block = reinterpret_cast<const __m256i*>(text + i);
        const __m256i seen = _mm256_or_si256(_mm256_or_si256(_mm256_loadu_si256(block), _mm256_loadu_si256(block + 1)),
                                             _mm256_or_si256(_mm256_loadu_si256(block + 2), _mm256_loadu_si256(block + 3)));
        if (!_mm256_testz_si256(seen, high))
            return false;
    }
    for (; i < n; ++i) {
        if (text[i] >= 0x80)
            return false;
    }
    return true;
}
#endif

} // namespace

const char16_t* findMasked16(const char16_t* haystack, std::size_t n, const char16_t* needle, const char16_t* masks,
                             std::size_t m)
{
    if (m == 0)
        return haystack;
    if (n < m)
        return nullptr;
#if TOLVI_BYTE_SEARCH_X86
    return hasAVX2() ? findMasked16AVX2(haystack, n, needle, masks, m) : findMasked16SSE2(haystack, n, needle, masks, m);
#else
    return findMasked16Tail(haystack, 0, n, needle, masks, m);
#endif
}

const char* findMasked8(const char* haystack, std::size_t n, const char* needle, const char* masks, std::size_t m)
{
    if (m == 0)
        return haystack;
    if (n < m)
        return nullptr;
#if TOLVI_BYTE_SEARCH_X86
    return hasAVX2() ? findMasked8AVX2(haystack, n, needle, masks, m) : findMasked8SSE2(haystack, n, needle, masks, m);
#else
    return findMasked8Tail(haystack, 0, n, needle, masks, m);
#endif
}

bool isAscii16(const char16_t* text, std::size_t n)
{
#if TOLVI_BYTE_SEARCH_X86
    return hasAVX2() ? isAscii16AVX2(text, n) : isAscii16SSE2(text, n);
#else
    for (std::size_t i = 0; i < n; ++i) {
        if (text[i] >= 0x80)
            return false;
    }
    return true;
#endif
}

const char* find(const char* haystack, std::size_t n, const char* needle, std::size_t m)
{
    if (m == 0)
        return haystack;
    if (n < m)
        return nullptr;
    if (m == 1)
        return static_cast<const char*>(std::memchr(haystack, needle[0], n));
#if TOLVI_BYTE_SEARCH_X86
    return hasAVX2() ? findAVX2(haystack, n, needle, m) : findSSE2(haystack, n, needle, m);
#else
    return static_cast<const char*>(memmem(haystack, n, needle, m));
#endif
}

} // namespace tolvi::ByteSearch
