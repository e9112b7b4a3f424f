#include "SvgDocument.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace SvgDocument {

namespace {
void appendHexByte(std::string& out, long value)
{
    static const char digits[] = "0123456789abcdef";
    // Palette values are means of bytes; the clamp only guards the two-digit form.
    const long byte = std::clamp(value, 0L, 255L);
    out += digits[byte / 16];
    out += digits[byte % 16];
}
} // namespace

void appendFixed2(std::string& out, double value)
{
    // The longest fixed form of a double has 309 integer digits.
    char buffer[400];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 2);
    out.append(buffer, result.ptr);
}

std::string fill(const TraceColour& colour)
{
    std::string out = "#";
    appendHexByte(out, std::lround(colour.r));
    appendHexByte(out, std::lround(colour.g));
    appendHexByte(out, std::lround(colour.b));
    return out;
}

std::string opacity(const TraceColour& colour)
{
    std::string out;
    appendFixed2(out, colour.a / 255.0);
    return out;
}

std::string pathElement(const TraceColour& colour, const std::string& data)
{
    return "<path fill=\"" + fill(colour) + "\" fill-opacity=\"" + opacity(colour) + "\" d=\"" +
           data + "\"/>";
}

std::string text(int width, int height, const std::vector<std::string>& paths)
{
    const std::string w = std::to_string(width), h = std::to_string(height);
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
                      w + "\" height=\"" + h + "\" viewBox=\"0 0 " + w + " " + h + "\">\n" +
                      "<title>Tolvane color vector trace</title>\n"
                      "<g fill-rule=\"evenodd\" stroke=\"none\">";
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (i > 0)
            out += '\n';
        out += paths[i];
    }
    out += "</g>\n</svg>";
    return out;
}

} // namespace SvgDocument
