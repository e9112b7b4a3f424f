#pragma once

#include "ContourDetector.h"

// Follows the edges between pixels: a pixel in column c spans c…c+1, so outlines of
// neighbouring masks share their edges exactly and a one-pixel shape keeps its area. Only
// collinear points are merged; nothing is smoothed. Dark pixels that touch at a corner only
// belong to separate contours. Each contour is a move, one line per further corner and a close.
class PixelEdgeContourDetector : public ContourDetector {
public:
    ContourPath detect(const GreyMask& mask) const override;

    // The normalised coordinates of the vertical edge k of n columns and of the horizontal
    // edge k (counted from the top) of n rows. Nudged by at most a few units in the last place so
    // that n * x and n * (1 - y) never come out below k: an edge on a border maps to 0, not -0.
    static double normalisedX(int k, int n);
    static double normalisedY(int k, int n);
};
