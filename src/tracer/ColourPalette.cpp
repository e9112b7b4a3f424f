#include "ColourPalette.h"

#include "core/CancelToken.h"
#include "imageio/PixelBuffer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

TraceColour ColourBin::mean() const
{
    const double n = double(count);
    return {sum[0] / n, sum[1] / n, sum[2] / n, sum[3] / n};
}

namespace ColourPalette {

namespace {
constexpr int binCount = 2048;

int binKey(const std::uint8_t* p)
{
    return p[0] / 32 + 8 * (p[1] / 32) + 64 * (p[2] / 32) + 512 * (p[3] / 64);
}

TraceColour colourOf(const std::uint8_t* p)
{
    return {double(p[0]), double(p[1]), double(p[2]), double(p[3])};
}

const std::uint8_t* rowOf(const PixelBuffer& pixels, qint64 y)
{
    return pixels.data() + y * pixels.bytesPerRow();
}

double nearestDistance(const std::vector<TraceColour>& palette, const TraceColour& colour)
{
    double best = std::numeric_limits<double>::infinity();
    for (const TraceColour& p : palette)
        best = std::min(best, distance(colour, p));
    return best;
}

// The bin with the greatest positive score, the earliest on ties; -1 when none scores above 0.
int farthestBin(const std::vector<TraceColour>& palette, const std::vector<ColourBin>& bins,
                double& bestScore)
{
    int best = -1;
    bestScore = 0.0;
    for (std::size_t i = 0; i < bins.size(); ++i) {
        const double score =
            std::sqrt(double(bins[i].count)) * nearestDistance(palette, bins[i].mean());
        if (score > bestScore) {
            bestScore = score;
            best = int(i);
        }
    }
    return best;
}
} // namespace

double distance(const TraceColour& a, const TraceColour& b)
{
    const double dr = a.r - b.r, dg = a.g - b.g, db = a.b - b.b, da = a.a - b.a;
    return ((dr * dr + dg * dg) + db * db) + (0.4 * da) * da;
}

int nearest(const std::vector<TraceColour>& palette, const TraceColour& colour)
{
    int best = -1;
    double bestDistance = std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < palette.size(); ++i) {
        const double d = distance(colour, palette[i]);
        if (d < bestDistance) {
            bestDistance = d;
            best = int(i);
        }
    }
    return best;
}

std::vector<ColourBin> countBins(const PixelBuffer& pixels, const CancelToken& token)
{
    std::vector<ColourBin> table(binCount);
    for (qint64 y = 0; y < pixels.height(); ++y) {
        token.check();
        const std::uint8_t* p = rowOf(pixels, y);
        for (qint64 x = 0; x < pixels.width(); ++x, p += 4) {
            if (p[3] < alphaThreshold)
                continue;
            ColourBin& bin = table[std::size_t(binKey(p))];
            for (int c = 0; c < 4; ++c)
                bin.sum[c] += double(p[c]);
            ++bin.count;
        }
    }
    std::vector<ColourBin> bins;
    for (int key = 0; key < binCount; ++key)
        if (table[std::size_t(key)].count > 0) {
            bins.push_back(table[std::size_t(key)]);
            bins.back().key = key;
        }
    return bins;
}

std::vector<TraceColour> seed(const std::vector<ColourBin>& bins)
{
    std::vector<TraceColour> palette;
    if (bins.empty())
        return palette;
    const auto largest =
        std::max_element(bins.begin(), bins.end(),
                         [](const ColourBin& a, const ColourBin& b) { return a.count < b.count; });
    palette.push_back(largest->mean());
    const std::size_t limit = std::min<std::size_t>(maxColours, bins.size());
    while (palette.size() < limit) {
        double score = 0.0;
        const int candidate = farthestBin(palette, bins, score);
        if (candidate < 0 || !(score > 1.0))
            break;
        palette.push_back(bins[std::size_t(candidate)].mean());
    }
    return palette;
}

void refine(std::vector<TraceColour>& palette, const std::vector<ColourBin>& bins,
            const CancelToken& token)
{
    if (palette.empty())
        return;
    for (int round = 0; round < refineIterations; ++round) {
        token.check();
        std::vector<std::array<double, 4>> sums(palette.size(), {0, 0, 0, 0});
        std::vector<qint64> counts(palette.size(), 0);
        for (const ColourBin& bin : bins) {
            const auto j = std::size_t(nearest(palette, bin.mean()));
            for (int c = 0; c < 4; ++c)
                sums[j][std::size_t(c)] += bin.sum[c];
            counts[j] += bin.count;
        }
        for (std::size_t i = 0; i < palette.size(); ++i) {
            if (counts[i] == 0)
                continue;
            const double n = double(counts[i]);
            palette[i] = {sums[i][0] / n, sums[i][1] / n, sums[i][2] / n, sums[i][3] / n};
        }
    }
}

std::vector<qint8> label(const PixelBuffer& pixels, const std::vector<TraceColour>& palette,
                         const CancelToken& token)
{
    std::vector<qint8> labels(std::size_t(pixels.width() * pixels.height()), qint8(-1));
    if (palette.empty())
        return labels;
    qint8* out = labels.data();
    for (qint64 y = 0; y < pixels.height(); ++y) {
        token.check();
        const std::uint8_t* p = rowOf(pixels, y);
        for (qint64 x = 0; x < pixels.width(); ++x, p += 4, ++out)
            if (p[3] >= alphaThreshold)
                *out = qint8(nearest(palette, colourOf(p)));
    }
    return labels;
}

} // namespace ColourPalette
