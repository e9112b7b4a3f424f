#include "PathCommandWriter.h"

#include "ContourPath.h"
#include "SvgDocument.h"
#include "core/CancelToken.h"

PathCommandWriter::PathCommandWriter(QSize imageSize, QSize traceSize, int margin,
                                     qint64 pointLimit, const CancelToken& token)
    : m_imageWidth(imageSize.width()), m_imageHeight(imageSize.height()),
      m_traceWidth(traceSize.width()), m_traceHeight(traceSize.height()),
      m_maskWidth(traceSize.width() + 2 * margin), m_maskHeight(traceSize.height() + 2 * margin),
      m_margin(margin), m_pointLimit(pointLimit), m_token(token)
{
}

QPointF PathCommandWriter::map(QPointF p) const
{
    const double x = m_imageWidth * (m_maskWidth * p.x() - m_margin) / m_traceWidth;
    const double y = m_imageHeight * (m_maskHeight * (1.0 - p.y()) - m_margin) / m_traceHeight;
    return {x, y};
}

void PathCommandWriter::add(int type, std::span<const QPointF> points)
{
    // Letters and point counts of the element types, in type order.
    static constexpr char letters[] = {'M', 'L', 'Q', 'C', 'Z'};
    static constexpr std::size_t pointCounts[] = {1, 1, 2, 3, 0};
    if (m_pointCount > m_pointLimit || m_token.isCancelled())
        return;
    if (type < ContourPath::move || type > ContourPath::close)
        return;
    const std::size_t count = pointCounts[type];
    if (points.size() < count)
        return;
    if (!m_commands.empty())
        m_commands += ' ';
    m_commands += letters[type];
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0)
            m_commands += ' ';
        const QPointF p = map(points[i]);
        SvgDocument::appendFixed2(m_commands, p.x());
        m_commands += ' ';
        SvgDocument::appendFixed2(m_commands, p.y());
    }
    m_pointCount += qint64(count);
}
