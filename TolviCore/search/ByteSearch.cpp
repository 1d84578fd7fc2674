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

template <typename Unit>
const Unit* findMaskedTail(const Unit* h, std::size_t from, std::size_t n, const Unit* needle, const Unit* masks,
                           std::size_t m)
{
    for (std::size_t i = from; i + m <= n; ++i) {
        if (Unit(h[i] | masks[0]) == needle[0] && Unit(h[i + m - 1] | masks[m - 1]) == needle[m - 1]
            && maskedMatchAt(h + i, needle, masks, m))
            return h + i;
    }
    return nullptr;
}

#if TOLVI_BYTE_SEARCH_X86
// The candidates of one block: `mask` has a bit for each byte, so sizeof(Unit) bits a unit (the
// lowest is looked at).
template <typename Unit>
inline const Unit* confirmMaskedCandidates(unsigned mask, const Unit* block, const Unit* needle, const Unit* masks,
                                           std::size_t m)
{
    if constexpr (sizeof(Unit) == 2)
        mask &= 0x55555555u;
    while (mask) {
        const unsigned unit = unsigned(__builtin_ctz(mask)) / sizeof(Unit);
        if (maskedMatchAt(block + unit, needle, masks, m))
            return block + unit;
        mask &= mask - 1;
    }
    return nullptr;
}

// The lanes of one width for units of one size.
template <typename Unit>
struct Lanes128 {
    static __m128i all(Unit u) { return sizeof(Unit) == 1 ? _mm_set1_epi8(char(u)) : _mm_set1_epi16(short(u)); }
    static __m128i equal(__m128i a, __m128i b)
    {
        return sizeof(Unit) == 1 ? _mm_cmpeq_epi8(a, b) : _mm_cmpeq_epi16(a, b);
    }
};

template <typename Unit>
const Unit* findMaskedSSE2(const Unit* h, std::size_t n, const Unit* needle, const Unit* masks, std::size_t m)
{
    using L = Lanes128<Unit>;
    constexpr std::size_t step = 16 / sizeof(Unit);
    const __m128i first = L::all(needle[0]);
    const __m128i firstMask = L::all(masks[0]);
    const __m128i last = L::all(needle[m - 1]);
    const __m128i lastMask = L::all(masks[m - 1]);
    std::size_t i = 0;
    for (; i + m - 1 + step <= n; i += step) {
        const __m128i a = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(h + i)), firstMask);
        const __m128i b = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(h + i + m - 1)), lastMask);
        const unsigned mask = unsigned(_mm_movemask_epi8(_mm_and_si128(L::equal(a, first), L::equal(b, last))));
        if (const Unit* match = confirmMaskedCandidates(mask, h + i, needle, masks, m))
            return match;
    }
    return findMaskedTail(h, i, n, needle, masks, m);
}

template <typename Unit>
__attribute__((target("avx2"))) const Unit* findMaskedAVX2(const Unit* h, std::size_t n, const Unit* needle,
                                                           const Unit* masks, std::size_t m)
{
    constexpr std::size_t step = 32 / sizeof(Unit);
    const auto all = [](Unit u) __attribute__((target("avx2"))) {
        if constexpr (sizeof(Unit) == 1)
            return _mm256_set1_epi8(char(u));
        else
            return _mm256_set1_epi16(short(u));
    };
    const __m256i first = all(needle[0]);
    const __m256i firstMask = all(masks[0]);
    const __m256i last = all(needle[m - 1]);
    const __m256i lastMask = all(masks[m - 1]);
    std::size_t i = 0;
    for (; i + m - 1 + step <= n; i += step) {
        const __m256i a = _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(h + i)), firstMask);
        const __m256i b =
            _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(h + i + m - 1)), lastMask);
        __m256i hits;
        if constexpr (sizeof(Unit) == 1)
            hits = _mm256_and_si256(_mm256_cmpeq_epi8(a, first), _mm256_cmpeq_epi8(b, last));
        else
            hits = _mm256_and_si256(_mm256_cmpeq_epi16(a, first), _mm256_cmpeq_epi16(b, last));
        const unsigned mask = unsigned(_mm256_movemask_epi8(hits));
        if (const Unit* match = confirmMaskedCandidates(mask, h + i, needle, masks, m))
            return match;
    }
    return findMaskedTail(h, i, n, needle, masks, m);
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

namespace {

template <typename Unit>
const Unit* findMasked(const Unit* haystack, std::size_t n, const Unit* needle, const Unit* masks, std::size_t m)
{
    if (m == 0)
        return haystack;
    if (n < m)
        return nullptr;
#if TOLVI_BYTE_SEARCH_X86
    return hasAVX2() ? findMaskedAVX2(haystack, n, needle, masks, m) : findMaskedSSE2(haystack, n, needle, masks, m);
#else
    return findMaskedTail(haystack, 0, n, needle, masks, m);
#endif
}

} // namespace

const char16_t* findMasked16(const char16_t* haystack, std::size_t n, const char16_t* needle, const char16_t* masks,
                             std::size_t m)
{
    return findMasked(haystack, n, needle, masks, m);
}

const char* findMasked8(const char* haystack, std::size_t n, const char* needle, const char* masks, std::size_t m)
{
    return findMasked(haystack, n, needle, masks, m);
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
