// Base64 of our own: the history file carries hundreds of megabytes of image bytes, and the
// library decoders either accept unpadded or otherwise malformed input or run at a fraction of
// the speed this needs.
#include "TolviCore/persistence/Base64.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <immintrin.h>
#include <sys/mman.h>
#include <unistd.h>

namespace tolvi::Base64 {

namespace {

constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Two characters for each 12-bit value.
struct PairTable {
    std::array<uint16_t, 4096> pairs{};
    constexpr PairTable()
    {
        for (int i = 0; i < 4096; ++i) {
            const char a = alphabet[i >> 6];
            const char b = alphabet[i & 63];
            // Stored in memory order: first character first.
            pairs[static_cast<std::size_t>(i)] =
                static_cast<uint16_t>(static_cast<unsigned char>(a) | (static_cast<unsigned char>(b) << 8));
        }
    }
};
constexpr PairTable pairTable;

// Decoded value of each character, shifted into place for each of the four positions; an
// invalid character sets bit 31 in every table.
struct DecodeTables {
    std::array<std::array<uint32_t, 256>, 4> shifted{};
    constexpr DecodeTables()
    {
        for (auto& table : shifted)
            for (auto& v : table)
                v = 0x80000000u;
        for (uint32_t i = 0; i < 64; ++i) {
            const auto c = static_cast<unsigned char>(alphabet[i]);
            shifted[0][c] = i << 18;
            shifted[1][c] = i << 12;
            shifted[2][c] = i << 6;
            shifted[3][c] = i;
        }
    }
};
constexpr DecodeTables decodeTables;

// A large output buffer is fresh memory that the decoding would fault in one page at a time: its
// pages are put in place with one call instead (Linux 5.14 and later; elsewhere the call fails
// and the pages come as they are written).
void prefault(char* begin, std::size_t size)
{
#ifdef MADV_POPULATE_WRITE
    constexpr std::size_t worthIt = 256 * 1024;
    if (size < worthIt)
        return;
    static const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const std::uintptr_t first = (reinterpret_cast<std::uintptr_t>(begin) + page - 1) & ~(page - 1);
    const std::uintptr_t last = (reinterpret_cast<std::uintptr_t>(begin) + size) & ~(page - 1);
    if (last > first)
        ::madvise(reinterpret_cast<void*>(first), last - first, MADV_POPULATE_WRITE);
#else
    (void)begin;
    (void)size;
#endif
}

// The padding a text of a multiple of four characters ends with.
std::size_t paddingOf(std::string_view text)
{
    const std::size_t n = text.size();
    if (n == 0 || text[n - 1] != '=')
        return 0;
    return text[n - 2] == '=' ? 2 : 1;
}

// Decodes the final group of a padded text (`padding` of 1 or 2); false when it is not valid.
bool decodeLastGroup(const unsigned char* in, std::size_t padding, unsigned char* out)
{
    const auto& t = decodeTables.shifted;
    if (padding == 2) {
        const uint32_t v = t[0][in[0]] | t[1][in[1]];
        if ((v & 0x80000000u) || (v & 0xffff))
            return false;
        out[0] = static_cast<unsigned char>(v >> 16);
        return true;
    }
    const uint32_t v = t[0][in[0]] | t[1][in[1]] | t[2][in[2]];
    if ((v & 0x80000000u) || (v & 0xff))
        return false;
    out[0] = static_cast<unsigned char>(v >> 16);
    out[1] = static_cast<unsigned char>(v >> 8);
    return true;
}

bool alphabetOnlyScalar(const unsigned char* in, std::size_t n)
{
    const auto& t = decodeTables.shifted[3];
    uint32_t invalid = 0;
    for (std::size_t i = 0; i < n; ++i)
        invalid |= t[in[i]];
    return !(invalid & 0x80000000u);
}

// Thirty-two characters at a time: each must fall in one of the alphabet's ranges (bytes above
// 0x7f compare as negative and fall in none).
__attribute__((target("avx2"))) inline __m256i within(__m256i c, char low, char high)
{
    return _mm256_and_si256(_mm256_cmpgt_epi8(c, _mm256_set1_epi8(static_cast<char>(low - 1))),
                            _mm256_cmpgt_epi8(_mm256_set1_epi8(static_cast<char>(high + 1)), c));
}

__attribute__((target("avx2"))) bool alphabetOnlyAVX2(const unsigned char* in, std::size_t n)
{
    __m256i all = _mm256_set1_epi8(-1);
    std::size_t i = 0;
    for (; i + 32 <= n; i += 32) {
        const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i));
        const __m256i ok = _mm256_or_si256(
            _mm256_or_si256(within(c, 'A', 'Z'), within(c, 'a', 'z')),
            _mm256_or_si256(within(c, '0', '9'), _mm256_or_si256(_mm256_cmpeq_epi8(c, _mm256_set1_epi8('+')),
                                                                 _mm256_cmpeq_epi8(c, _mm256_set1_epi8('/')))));
        all = _mm256_and_si256(all, ok);
    }
    if (_mm256_movemask_epi8(all) != -1)
        return false;
    return alphabetOnlyScalar(in + i, n - i);
}

bool alphabetOnly(const unsigned char* in, std::size_t n)
{
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return avx2 ? alphabetOnlyAVX2(in, n) : alphabetOnlyScalar(in, n);
}

} // namespace

void encode(const unsigned char* data, std::size_t size, char* out)
{
    std::size_t i = 0;
    const auto& pairs = pairTable.pairs;
    for (; i + 3 <= size; i += 3) {
        const uint32_t v = (uint32_t(data[i]) << 16) | (uint32_t(data[i + 1]) << 8) | data[i + 2];
        std::memcpy(out, &pairs[v >> 12], 2);
        std::memcpy(out + 2, &pairs[v & 0xfff], 2);
        out += 4;
    }
    const std::size_t rest = size - i;
    if (rest == 1) {
        const uint32_t v = uint32_t(data[i]) << 16;
        out[0] = alphabet[(v >> 18) & 63];
        out[1] = alphabet[(v >> 12) & 63];
        out[2] = '=';
        out[3] = '=';
    } else if (rest == 2) {
        const uint32_t v = (uint32_t(data[i]) << 16) | (uint32_t(data[i + 1]) << 8);
        out[0] = alphabet[(v >> 18) & 63];
        out[1] = alphabet[(v >> 12) & 63];
        out[2] = alphabet[(v >> 6) & 63];
        out[3] = '=';
    }
}

QByteArray encode(QByteArrayView data)
{
    QByteArray out(static_cast<qsizetype>(encodedLength(static_cast<std::size_t>(data.size()))), Qt::Uninitialized);
    encode(reinterpret_cast<const unsigned char*>(data.data()), static_cast<std::size_t>(data.size()), out.data());
    return out;
}

std::optional<QByteArray> decode(std::string_view text)
{
    const std::size_t n = text.size();
    if (n % 4 != 0)
        return std::nullopt;
    if (n == 0)
        return QByteArray();
    const std::size_t padding = paddingOf(text);
    const std::size_t outSize = n / 4 * 3 - padding;
    QByteArray result(static_cast<qsizetype>(outSize), Qt::Uninitialized);
    prefault(result.data(), outSize);
    auto* out = reinterpret_cast<unsigned char*>(result.data());
    const auto* in = reinterpret_cast<const unsigned char*>(text.data());
    const auto& t = decodeTables.shifted;

    const std::size_t fullGroups = n / 4 - (padding ? 1 : 0);
    uint32_t invalid = 0;
    for (std::size_t g = 0; g < fullGroups; ++g) {
        const uint32_t v = t[0][in[0]] | t[1][in[1]] | t[2][in[2]] | t[3][in[3]];
        invalid |= v;
        out[0] = static_cast<unsigned char>(v >> 16);
        out[1] = static_cast<unsigned char>(v >> 8);
        out[2] = static_cast<unsigned char>(v);
        in += 4;
        out += 3;
    }
    if (invalid & 0x80000000u)
        return std::nullopt;
    if (padding && !decodeLastGroup(in, padding, out))
        return std::nullopt;
    return result;
}

bool isValid(std::string_view text)
{
    const std::size_t n = text.size();
    if (n % 4 != 0)
        return false;
    if (n == 0)
        return true;
    const std::size_t padding = paddingOf(text);
    const std::size_t fullChars = (n / 4 - (padding ? 1 : 0)) * 4;
    const auto* in = reinterpret_cast<const unsigned char*>(text.data());
    if (!alphabetOnly(in, fullChars))
        return false;
    unsigned char scratch[2];
    return !padding || decodeLastGroup(in + fullChars, padding, scratch);
}

bool isAlphabet(std::string_view text)
{
    return alphabetOnly(reinterpret_cast<const unsigned char*>(text.data()), text.size());
}

std::size_t decodedLength(std::string_view text)
{
    return text.size() / 4 * 3 - paddingOf(text);
}

QByteArray decodeRange(std::string_view text, std::size_t offset, std::size_t length)
{
    if (length == 0)
        return QByteArray();
    // The whole groups of four characters that hold the range: a group is three bytes.
    const std::size_t firstGroup = offset / 3;
    const std::size_t endGroup = (offset + length + 2) / 3;
    const std::optional<QByteArray> groups = decode(text.substr(firstGroup * 4, (endGroup - firstGroup) * 4));
    if (!groups)
        return QByteArray();
    return groups->mid(static_cast<qsizetype>(offset - firstGroup * 3), static_cast<qsizetype>(length));
}

} // namespace tolvi::Base64
