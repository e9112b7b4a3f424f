#include "ContourPath.h"

void ContourPath::append(int type, std::initializer_list<QPointF> points)
{
    m_elements.push_back({type, std::int32_t(points.size())});
    m_points.insert(m_points.end(), points);
}

void ContourPath::apply(
    const std::function<void(int type, std::span<const QPointF> points)>& visit) const
{
    std::size_t first = 0;
    for (const Element& element : m_elements) {
        const auto count = std::size_t(element.pointCount);
        visit(element.type, std::span<const QPointF>(m_points.data() + first, count));
        first += count;
    }
}
