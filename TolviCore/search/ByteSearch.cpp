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

} // namespace

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
