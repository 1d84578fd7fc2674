#include "ocr-protocol/OCRReadingOrder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

using namespace tolvi::OCRReadingOrder;

namespace {

// A box of height 0.01 whose vertical centre is `middle`.
Box at(double left, double middle, double width = 0.1)
{
    return Box{left, middle - 0.005, width, 0.01};
}

std::vector<int> order(const std::vector<Box>& boxes)
{
    return readingOrder(boxes);
}

} // namespace

TEST(OCRReadingOrder, EmptyAndSingle)
{
    EXPECT_TRUE(order({}).empty());
    EXPECT_EQ(order({at(0.3, 0.3)}), std::vector<int>({0}));
}

TEST(OCRReadingOrder, NearlyEqualHeightsFormOneLineOrderedLeftToRight)
{
    EXPECT_EQ(order({at(0.6, 0.5), at(0.1, 0.485)}), std::vector<int>({1, 0}));
    // The left box sitting slightly lower still comes first within its line.
    EXPECT_EQ(order({at(0.5, 0.5), at(0.2, 0.49)}), std::vector<int>({1, 0}));
}

TEST(OCRReadingOrder, DistantHeightsFormSeparateLinesTopFirst)
{
    EXPECT_EQ(order({at(0.1, 0.47), at(0.6, 0.5)}), std::vector<int>({1, 0}));
}

TEST(OCRReadingOrder, TheLineReferenceIsItsHighestBox)
{
    // 0.4875 joins 0.5; 0.475 is 0.025 below the reference and opens a new line although it
    // is only 0.0125 below the previous box.
    EXPECT_EQ(order({at(0.3, 0.5), at(0.1, 0.4875), at(0.0, 0.475)}), std::vector<int>({1, 0, 2}));
}

TEST(OCRReadingOrder, TiesFallBackToTheInputIndex)
{
    EXPECT_EQ(order({at(0.2, 0.5), at(0.2, 0.5), at(0.2, 0.5)}), std::vector<int>({0, 1, 2}));
}

TEST(OCRReadingOrder, NegativeWidthsUseTheirSmallestX)
{
    const std::vector<Box> boxes{Box{0.5, 0.5, 0.1, 0.01}, Box{0.45, 0.5, -0.2, 0.01}};
    EXPECT_EQ(order(boxes), std::vector<int>({1, 0}));
}

TEST(OCRReadingOrder, InputOrderDoesNotMatter)
{
    std::vector<Box> boxes;
    for (int row = 0; row < 6; ++row)
        for (int column = 0; column < 4; ++column)
            boxes.push_back(at(0.2 * column, 0.9 - 0.1 * row + 0.003 * ((row + column) % 3)));
    const std::vector<int> reference = order(boxes);
    std::vector<int> shuffledIndex(boxes.size());
    for (size_t i = 0; i < shuffledIndex.size(); ++i)
        shuffledIndex[i] = int(i);
    std::mt19937 random(3);
    for (int attempt = 0; attempt < 20; ++attempt) {
        std::shuffle(shuffledIndex.begin(), shuffledIndex.end(), random);
        std::vector<Box> shuffled;
        for (const int i : shuffledIndex)
            shuffled.push_back(boxes[i]);
        std::vector<int> mapped;
        for (const int i : order(shuffled))
            mapped.push_back(shuffledIndex[i]);
        EXPECT_EQ(mapped, reference);
    }
    // Rows top to bottom, columns left to right.
    std::vector<int> expected(boxes.size());
    for (size_t i = 0; i < expected.size(); ++i)
        expected[i] = int(i);
    EXPECT_EQ(reference, expected);
}

TEST(OCRReadingOrder, NotANumberSortsLastAndAlwaysOpensItsOwnLine)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<Box> boxes{at(0.5, nan), at(0.1, 0.8), Box{nan, 0.495, 0.1, 0.01}, at(0.2, 0.5), at(0.3, nan)};
    const std::vector<int> result = order(boxes);
    // A permutation, numbers first, NaN heights last (each on its own line, by left x).
    EXPECT_EQ(result, std::vector<int>({1, 3, 2, 4, 0}));
}

TEST(OCRReadingOrder, ManyNotANumberBoxesKeepTheSortWellDefined)
{
    // With an ordering that is not strict-weak, std::sort may read out of bounds; this runs the
    // sort over enough mixed values to cross its insertion-sort threshold many times.
    std::mt19937 random(11);
    std::uniform_real_distribution<double> unit(0, 1);
    std::vector<Box> boxes;
    for (int i = 0; i < 2000; ++i) {
        const bool nanY = random() % 4 == 0;
        const bool nanX = random() % 5 == 0;
        boxes.push_back(Box{nanX ? std::nan("") : unit(random), nanY ? std::nan("") : unit(random), 0.05, 0.01});
    }
    std::vector<int> result = order(boxes);
    ASSERT_EQ(result.size(), boxes.size());
    // Every box with a NaN centre comes after every box with a numeric one.
    bool seenNaN = false;
    for (const int index : result) {
        const bool isNaN = std::isnan(boxes[index].midY());
        EXPECT_FALSE(seenNaN && !isNaN);
        seenNaN = seenNaN || isNaN;
    }
    std::sort(result.begin(), result.end());
    for (size_t i = 0; i < result.size(); ++i)
        ASSERT_EQ(result[i], int(i));
}
