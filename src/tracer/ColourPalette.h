#pragma once

#include <QtGlobal>
#include <vector>

class CancelToken;
class PixelBuffer;

// A colour as four doubles R, G, B, A on the 0…255 scale.
struct TraceColour {
    double r = 0;
    double g = 0;
    double b = 0;
    double a = 0;
    bool operator==(const TraceColour&) const = default;
};

// The opaque pixels of one coarse colour cell: the top 3 bits of R, G and B and the top 2 of A.
struct ColourBin {
    int key = 0;
    double sum[4] = {0, 0, 0, 0};
    qint64 count = 0;
    TraceColour mean() const;
};

// The reduction of an image to at most 8 flat colours. Every pass visits the bins in ascending
// key order and sums in the pixels' row-major order, so the result is reproducible to the bit.
namespace ColourPalette {

// Pixels with less alpha are transparent: they are counted nowhere and never traced.
constexpr int alphaThreshold = 32;
constexpr int maxColours = 8;
constexpr int refineIterations = 7;

// dR² + dG² + dB² + 0.4·dA², without a square root, in a fixed evaluation order.
double distance(const TraceColour& a, const TraceColour& b);

// Index of the closest palette colour; the lowest index on equal distances. -1 for an empty
// palette.
int nearest(const std::vector<TraceColour>& palette, const TraceColour& colour);

// The bins of the pixels with alpha >= 32, in ascending key order. Checks `token` once per row.
std::vector<ColourBin> countBins(const PixelBuffer& pixels, const CancelToken& token);

// Up to min(8, bins) colours: the mean of the most populous bin (the smaller key on ties), then
// repeatedly the bin farthest from the palette weighted by √count, while that score is above 1.
std::vector<TraceColour> seed(const std::vector<ColourBin>& bins);

// Seven rounds of count-weighted k-means over the bins. A colour that draws no bin keeps its
// value. Checks `token` before each round.
void refine(std::vector<TraceColour>& palette, const std::vector<ColourBin>& bins,
            const CancelToken& token);

// The palette index of every pixel, row-major from the top; -1 for pixels with alpha < 32 and
// for every pixel when the palette is empty. Checks `token` once per row.
std::vector<qint8> label(const PixelBuffer& pixels, const std::vector<TraceColour>& palette,
                         const CancelToken& token);

} // namespace ColourPalette
