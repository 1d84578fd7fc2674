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

} // namespace
} // namespace tolvi
