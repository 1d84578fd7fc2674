#include "TolviCore/search/ByteSearch.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

namespace tolvi {
namespace {

std::ptrdiff_t position(const std::string& haystack, const std::string& needle)
{
    const char* hit = ByteSearch::find(haystack.data(), haystack.size(), needle.data(), needle.size());
    return hit ? hit - haystack.data() : -1;
}

TEST(ByteSearch, FindsTheFirstOccurrenceAtEveryOffset)
{
    // Needles at every position, including the last bytes that the wide loops leave to the tail.
    for (std::size_t length : {1u, 2u, 3u, 7u, 16u, 17u, 33u, 40u}) {
        const std::string needle = std::string(length - 1, 'a') + "b";
        for (std::size_t size = length; size < 100; ++size) {
            for (std::size_t at = 0; at + length <= size; at += 5) {
                std::string haystack(size, 'a');
                haystack.replace(at, length, needle);
                ASSERT_EQ(position(haystack, needle), std::ptrdiff_t(haystack.find(needle))) << length << " " << size << " " << at;
            }
            ASSERT_EQ(position(std::string(size, 'a'), needle), -1);
        }
    }
}

TEST(ByteSearch, AgreesWithTheStandardSearchOnRandomText)
{
    std::mt19937 random(42);
    std::uniform_int_distribution<int> letter('a', 'd');
    for (int round = 0; round < 2000; ++round) {
        std::string haystack(std::size_t(random() % 300), ' ');
        for (char& c : haystack)
            c = char(letter(random));
        std::string needle(1 + std::size_t(random() % 6), ' ');
        for (char& c : needle)
            c = char(letter(random));
        const std::size_t expected = haystack.find(needle);
        ASSERT_EQ(position(haystack, needle), expected == std::string::npos ? -1 : std::ptrdiff_t(expected))
            << haystack << " / " << needle;
    }
    EXPECT_EQ(position("abc", ""), 0);
    EXPECT_EQ(position("", "a"), -1);
    EXPECT_EQ(position("ab", "abc"), -1);
    EXPECT_EQ(position(std::string("\xC3\xA9t\xC3\xA9", 6), std::string("t\xC3\xA9", 3)), 2);
}

// The reference: the first i where every unit, lower-cased if an ASCII capital, equals the needle's.
std::ptrdiff_t caselessAsciiPosition(const std::u16string& haystack, const std::u16string& needle)
{
    auto lower = [](char16_t u) { return u >= u'A' && u <= u'Z' ? char16_t(u + 32) : u; };
    for (std::size_t i = 0; i + needle.size() <= haystack.size(); ++i) {
        std::size_t j = 0;
        while (j < needle.size() && lower(haystack[i + j]) == needle[j])
            ++j;
        if (j == needle.size())
            return std::ptrdiff_t(i);
    }
    return -1;
}

TEST(ByteSearch, MaskedUtf16SearchMatchesAsciiLettersOfEitherCaseAndOtherUnitsExactly)
{
    std::mt19937 random(7);
    // Letters of both cases, the units a 0x20 mask would confuse ('@' and '`', '[' and '{'), and
    // units beyond ASCII.
    const std::u16string alphabet = u"aAbBzZ@`[{ 1\u00e9\u00c9\u0100\u4e2d";
    for (int round = 0; round < 3000; ++round) {
        std::u16string haystack(std::size_t(random() % 90), u' ');
        for (char16_t& u : haystack)
            u = alphabet[random() % alphabet.size()];
        std::u16string needle(1 + std::size_t(random() % 5), u' ');
        for (char16_t& u : needle) {
            u = alphabet[random() % alphabet.size()];
            if (u >= u'A' && u <= u'Z')
                u = char16_t(u + 32); // needles are folded
        }
        std::u16string masks;
        for (char16_t u : needle)
            masks.push_back(u >= u'a' && u <= u'z' ? 0x20 : 0);
        const char16_t* hit = ByteSearch::findMasked16(haystack.data(), haystack.size(), needle.data(), masks.data(),
                                                       needle.size());
        ASSERT_EQ(hit ? hit - haystack.data() : -1, caselessAsciiPosition(haystack, needle)) << round;

        const std::u16string exact(needle.size(), 0);
        const char16_t* exactHit = ByteSearch::findMasked16(haystack.data(), haystack.size(), needle.data(),
                                                            exact.data(), needle.size());
        const std::size_t expected = haystack.find(needle);
        ASSERT_EQ(exactHit ? exactHit - haystack.data() : -1,
                  expected == std::u16string::npos ? -1 : std::ptrdiff_t(expected)) << round;
    }
}

TEST(ByteSearch, MaskedByteSearchMatchesAsciiLettersOfEitherCaseAndOtherBytesExactly)
{
    std::mt19937 random(11);
    // Letters of both cases, the bytes a 0x20 mask would confuse, and bytes of other kinds.
    const std::string alphabet = "aAbBzZ@`[{ 1\n\x7f";
    for (int round = 0; round < 3000; ++round) {
        // Long enough for whole blocks of 16 and 32 bytes and a tail.
        std::string haystack(std::size_t(random() % 120), ' ');
        for (char& c : haystack)
            c = alphabet[random() % alphabet.size()];
        std::string needle(1 + std::size_t(random() % 5), ' ');
        for (char& c : needle) {
            c = alphabet[random() % alphabet.size()];
            if (c >= 'A' && c <= 'Z')
                c = char(c + 32);
        }
        std::string masks;
        for (char c : needle)
            masks.push_back(c >= 'a' && c <= 'z' ? 0x20 : 0);
        const char* hit = ByteSearch::findMasked8(haystack.data(), haystack.size(), needle.data(), masks.data(),
                                                  needle.size());
        const std::u16string wide(haystack.cbegin(), haystack.cend());
        const std::u16string wideNeedle(needle.cbegin(), needle.cend());
        ASSERT_EQ(hit ? hit - haystack.data() : -1, caselessAsciiPosition(wide, wideNeedle)) << round;

        const std::string exact(needle.size(), 0);
        const char* exactHit =
            ByteSearch::findMasked8(haystack.data(), haystack.size(), needle.data(), exact.data(), needle.size());
        const std::size_t expected = haystack.find(needle);
        ASSERT_EQ(exactHit ? exactHit - haystack.data() : -1,
                  expected == std::string::npos ? -1 : std::ptrdiff_t(expected)) << round;
    }
}

TEST(ByteSearch, TellsAsciiUtf16TextAtEveryLength)
{
    for (std::size_t size = 0; size < 70; ++size) {
        std::u16string text(size, u'x');
        EXPECT_TRUE(ByteSearch::isAscii16(text.data(), text.size()));
        for (std::size_t at = 0; at < size; ++at) {
            std::u16string marked = text;
            marked[at] = at % 2 ? u'\u0080' : u'\xff00';
            ASSERT_FALSE(ByteSearch::isAscii16(marked.data(), marked.size())) << size << " " << at;
        }
    }
}

} // namespace
} // namespace tolvi
