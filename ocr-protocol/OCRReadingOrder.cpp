#include "ocr-protocol/OCRReadingOrder.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace tolvi::OCRReadingOrder {

namespace {

// Three-way comparisons over doubles that stay a strict weak ordering with NaN in the data:
// NaN equals NaN and comes after every number, in either direction of the sort.
int compareAscending(double a, double b)
{
    const bool aNaN = std::isnan(a);
    const bool bNaN = std::isnan(b);
    if (aNaN || bNaN)
        return aNaN == bNaN ? 0 : (aNaN ? 1 : -1);
    return a < b ? -1 : (a > b ? 1 : 0);
}

int compareDescending(double a, double b)
{
    const bool aNaN = std::isnan(a);
    const bool bNaN = std::isnan(b);
    if (aNaN || bNaN)
        return aNaN == bNaN ? 0 : (aNaN ? 1 : -1);
    return a > b ? -1 : (a < b ? 1 : 0);
}

} // namespace

std::vector<int> readingOrder(const std::vector<Box>& boxes)
{
    const int count = int(boxes.size());
    std::vector<double> left(boxes.size());
    std::vector<double> middle(boxes.size());
    for (int i = 0; i < count; ++i) {
        left[i] = boxes[i].minX();
        middle[i] = boxes[i].midY();
    }

    std::vector<int> order(boxes.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        if (const int c = compareDescending(middle[a], middle[b]))
            return c < 0;
        if (const int c = compareAscending(left[a], left[b]))
            return c < 0;
        return a < b;
    });

    std::vector<int> result;
    result.reserve(order.size());
    std::vector<int> line;
    double reference = 0;
    auto flushLine = [&] {
        std::stable_sort(line.begin(), line.end(), [&](int a, int b) {
            if (const int c = compareAscending(left[a], left[b]))
                return c < 0;
            if (const int c = compareDescending(middle[a], middle[b]))
                return c < 0;
            return a < b;
        });
        result.insert(result.end(), line.begin(), line.end());
        line.clear();
    };
    for (const int index : order) {
        // The comparison is false for NaN on either side, which opens a new line.
        const bool joins = !line.empty() && reference - middle[index] <= lineTolerance;
        if (!joins) {
            if (!line.empty())
                flushLine();
            reference = middle[index];
        }
        line.push_back(index);
    }
    if (!line.empty())
        flushLine();
    return result;
}

} // namespace tolvi::OCRReadingOrder
