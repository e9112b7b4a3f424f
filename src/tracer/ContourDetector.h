#pragma once

#include "ContourPath.h"

#include <cstdint>
#include <vector>

// An 8-bit grey picture, rows from top to bottom without gaps.
struct GreyMask {
    std::vector<std::uint8_t> bytes;
    int width = 0;
    int height = 0;
};

// Finds the outlines of the dark shapes of a grey mask.
class ContourDetector {
public:
    virtual ~ContourDetector() = default;

    // Every contour around the pixels darker than mid-grey (outer outlines, holes and islands
    // in holes) as one path, in coordinates normalised to 0…1 of the mask's width and height
    // with the origin at the bottom-left. An empty path when there is no dark pixel.
    virtual ContourPath detect(const GreyMask& mask) const = 0;
};
