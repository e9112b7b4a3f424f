#include "PixelEdgeContourDetector.h"

#include <cmath>
#include <limits>
#include <utility>

namespace {

// Directions in screen order (y down): east, south, west, north. Contours keep the dark pixels
// on their right, so a right turn is +1.
constexpr int stepX[4] = {1, 0, -1, 0};
constexpr int stepY[4] = {0, 1, 0, -1};

// Walks the edges of one mask. The dark pixels are copied into a bitmap with a light border of
// one pixel, so the walk never needs a bounds check.
class EdgeFollower {
public:
    explicit EdgeFollower(const GreyMask& mask);
    ContourPath trace();

private:
    void follow(int x, int y, ContourPath& path);
    int turn(int vx, int vy, int direction) const;
    QPointF point(std::pair<int, int> vertex) const
    {
        return {m_xs[std::size_t(vertex.first)], m_ys[std::size_t(vertex.second)]};
    }

    int m_width;
    int m_height;
    int m_stride;
    int m_aheadRight[4];
    int m_aheadLeft[4];
    std::vector<std::uint8_t> m_dark;
    std::vector<std::uint8_t> m_topVisited;
    std::vector<double> m_xs;
    std::vector<double> m_ys;
    std::vector<std::pair<int, int>> m_corners;
};

EdgeFollower::EdgeFollower(const GreyMask& mask)
    : m_width(mask.width), m_height(mask.height), m_stride(mask.width + 2),
      m_dark(std::size_t(m_stride) * std::size_t(m_height + 2), 0), m_topVisited(m_dark.size(), 0)
{
    for (int y = 0; y < m_height; ++y) {
        const std::uint8_t* in = mask.bytes.data() + std::size_t(y) * std::size_t(m_width);
        std::uint8_t* out = m_dark.data() + std::size_t(y + 1) * std::size_t(m_stride) + 1;
        for (int x = 0; x < m_width; ++x)
            out[x] = in[x] < 128;
    }
    // Pixels around vertex (vx, vy), relative to the padded index of its top-left pixel.
    const int topLeft = 0, topRight = 1, bottomLeft = m_stride, bottomRight = m_stride + 1;
    const int right[4] = {bottomRight, bottomLeft, topLeft, topRight};
    const int left[4] = {topRight, bottomRight, bottomLeft, topLeft};
    for (int d = 0; d < 4; ++d) {
        m_aheadRight[d] = right[d];
        m_aheadLeft[d] = left[d];
    }
    m_xs.reserve(std::size_t(m_width) + 1);
    for (int k = 0; k <= m_width; ++k)
        m_xs.push_back(PixelEdgeContourDetector::normalisedX(k, m_width));
    m_ys.reserve(std::size_t(m_height) + 1);
    for (int k = 0; k <= m_height; ++k)
        m_ys.push_back(PixelEdgeContourDetector::normalisedY(k, m_height));
}

// Every contour has a top edge (dark below, light above) that the scan meets first; marking
// top edges as they are walked keeps each contour from being traced twice.
ContourPath EdgeFollower::trace()
{
    ContourPath path;
    for (int y = 0; y < m_height; ++y) {
        const std::size_t row = std::size_t(y + 1) * std::size_t(m_stride) + 1;
        const std::uint8_t* dark = m_dark.data() + row;
        const std::uint8_t* above = dark - m_stride;
        const std::uint8_t* visited = m_topVisited.data() + row;
        for (int x = 0; x < m_width; ++x)
            if (dark[x] && !above[x] && !visited[x])
                follow(x, y, path);
    }
    return path;
}

// The next direction at a vertex. Right first: dark pixels meeting at a corner only stay apart.
int EdgeFollower::turn(int vx, int vy, int direction) const
{
    const std::uint8_t* topLeft = m_dark.data() + std::size_t(vy) * std::size_t(m_stride) + vx;
    if (!topLeft[m_aheadRight[direction]])
        return (direction + 1) & 3;
    if (!topLeft[m_aheadLeft[direction]])
        return direction;
    return (direction + 3) & 3;
}

void EdgeFollower::follow(int x, int y, ContourPath& path)
{
    m_corners.clear();
    int vx = x, vy = y, direction = 0;
    do {
        if (direction == 0)
            m_topVisited[std::size_t(vy + 1) * std::size_t(m_stride) + std::size_t(vx) + 1] = 1;
        vx += stepX[direction];
        vy += stepY[direction];
        const int next = turn(vx, vy, direction);
        if (next != direction)
            m_corners.emplace_back(vx, vy);
        direction = next;
    } while (vx != x || vy != y || direction != 0);

    // The corners form a cycle; the last one found is the start.
    path.moveTo(point(m_corners.back()));
    for (std::size_t i = 0; i + 1 < m_corners.size(); ++i)
        path.lineTo(point(m_corners[i]));
    path.closeSubpath();
}

} // namespace

ContourPath PixelEdgeContourDetector::detect(const GreyMask& mask) const
{
    if (mask.width <= 0 || mask.height <= 0 ||
        mask.bytes.size() < std::size_t(mask.width) * std::size_t(mask.height))
        return {};
    return EdgeFollower(mask).trace();
}

double PixelEdgeContourDetector::normalisedX(int k, int n)
{
    if (n <= 0)
        return 0.0;
    const double target = k;
    double x = target / double(n);
    while (double(n) * x < target)
        x = std::nextafter(x, std::numeric_limits<double>::infinity());
    return x;
}

double PixelEdgeContourDetector::normalisedY(int k, int n)
{
    if (n <= 0)
        return 0.0;
    const double target = k;
    double y = double(n - k) / double(n);
    // Near 0 a step of y may not change 1 - y, hence possibly many small steps.
    while (double(n) * (1.0 - y) < target)
        y = std::nextafter(y, -std::numeric_limits<double>::infinity());
    return y;
}
