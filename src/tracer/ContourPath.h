#pragma once

#include <QPointF>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <span>
#include <vector>

// A sequence of path elements as a contour detector hands them over: the element type and its
// points, in order. Types 0 to 4 are move, line, quadratic curve, cubic curve and close; other
// types may occur and are for the reader to skip.
class ContourPath {
public:
    enum Type : int { move = 0, line = 1, quadCurve = 2, cubicCurve = 3, close = 4 };

    void moveTo(QPointF point) { append(move, {point}); }
    void lineTo(QPointF point) { append(line, {point}); }
    void quadTo(QPointF control, QPointF end) { append(quadCurve, {control, end}); }
    void cubicTo(QPointF control1, QPointF control2, QPointF end)
    {
        append(cubicCurve, {control1, control2, end});
    }
    void closeSubpath() { append(close, {}); }
    // Any element, including types this class does not name.
    void append(int type, std::initializer_list<QPointF> points);

    bool isEmpty() const { return m_elements.empty(); }
    qsizetype elementCount() const { return qsizetype(m_elements.size()); }

    // Calls `visit` once per element, in order, with its type and its points.
    void apply(const std::function<void(int type, std::span<const QPointF> points)>& visit) const;

private:
    struct Element {
        std::int32_t type;
        std::int32_t pointCount;
    };
    std::vector<Element> m_elements;
    std::vector<QPointF> m_points;
};
