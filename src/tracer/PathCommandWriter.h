#pragma once

#include <QPointF>
#include <QSize>
#include <QtGlobal>
#include <span>
#include <string>

class CancelToken;

// Turns the elements of a detected contour path into SVG path commands in the input image's
// pixel grid, counting the points written over all colours of one trace.
class PathCommandWriter {
public:
    // Mask points are normalised with the origin at the bottom-left of a mask of the traced size
    // plus `margin` pixels on every side; commands use the image's own size, origin top-left.
    PathCommandWriter(QSize imageSize, QSize traceSize, int margin, qint64 pointLimit,
                      const CancelToken& token);

    // Empties the commands for the next colour; the point count carries on.
    void clearCommands() { m_commands.clear(); }

    // Appends "M", "L", "Q", "C" or "Z" for element types 0 to 4. Ignores unknown types, elements
    // with too few points, and everything once the count is above the limit or the token is set.
    void add(int type, std::span<const QPointF> points);

    // The commands so far, separated by single spaces.
    const std::string& commands() const { return m_commands; }
    qint64 pointCount() const { return m_pointCount; }

    // X = W·(pw·x − margin) ÷ w and Y = H·(ph·(1 − y) − margin) ÷ h, in this order.
    QPointF map(QPointF normalised) const;

private:
    double m_imageWidth;
    double m_imageHeight;
    double m_traceWidth;
    double m_traceHeight;
    double m_maskWidth;
    double m_maskHeight;
    double m_margin;
    qint64 m_pointLimit;
    const CancelToken& m_token;
    qint64 m_pointCount = 0;
    std::string m_commands;
};
