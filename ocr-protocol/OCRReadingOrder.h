#pragma once

// Puts the text boxes of a line-based recogniser into reading order: lines from the top of
// the image to the bottom, the boxes of one visual line from left to right. Boxes whose
// vertical centres lie within lineTolerance of the first (highest) box of a line belong to
// that line, even when the recogniser reported a line as several boxes.

#include <vector>

namespace tolvi::OCRReadingOrder {

// Normalised image coordinates: 0 to 1, origin at the lower left, y growing upward.
struct Box {
    double x = 0;      // left edge
    double y = 0;      // bottom edge
    double width = 0;
    double height = 0;

    double minX() const { return width >= 0 ? x : x + width; }
    double midY() const { return y + height / 2; }
};

inline constexpr double lineTolerance = 0.02;

// A permutation of 0..boxes.size()-1 in reading order. Coordinates that are not numbers
// sort after every number (a total order), and such a box always opens a line of its own.
std::vector<int> readingOrder(const std::vector<Box>& boxes);

} // namespace tolvi::OCRReadingOrder
