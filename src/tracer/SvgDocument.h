#pragma once

#include "ColourPalette.h"

#include <string>
#include <vector>

// The text of the traced SVG file. Numbers never depend on the locale.
namespace SvgDocument {

// Appends `value` as printf's "%.2f" writes it in the C locale.
void appendFixed2(std::string& out, double value);

// "#rrggbb" from R, G and B rounded half away from zero.
std::string fill(const TraceColour& colour);

// A ÷ 255 as "%.2f".
std::string opacity(const TraceColour& colour);

// <path fill=".." fill-opacity=".." d=".."/> for one colour and its path data.
std::string pathElement(const TraceColour& colour, const std::string& data);

// The whole document: declaration, an svg element of width x height with the same viewBox, the
// title, and one even-odd group holding the path elements in order. No line feed at the end.
std::string text(int width, int height, const std::vector<std::string>& paths);

} // namespace SvgDocument
