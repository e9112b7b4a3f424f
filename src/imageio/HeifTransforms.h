#pragma once

#include <QIODevice>
#include <QImage>
#include <cstdint>
#include <map>
#include <vector>

// The rotations and mirrors a HEIF file attaches to its items (irot and imir properties), read
// from the container's boxes: libheif applies them while decoding but offers no way to ask for
// them, and a stored thumbnail needs the picture's when it carries none of its own.
namespace HeifTransforms {

struct Step {
    enum class Kind { rotate, mirror };
    Kind kind;
    // rotate: quarter turns anticlockwise (1…3); mirror: true flips left and right, false top
    // and bottom (the axis as libheif reads it).
    int quarterTurns = 0;
    bool leftRight = false;
};
using Steps = std::vector<Step>;

// Steps per item id, in the order they apply. Empty when the file holds none or cannot be
// parsed; never reads more than the file's metadata box.
std::map<std::uint32_t, Steps> read(QIODevice& file);

// True when the steps turn the picture by an odd number of quarter turns.
bool swapsSides(const Steps& steps);

// The image with the steps applied in order.
QImage apply(QImage image, const Steps& steps);

} // namespace HeifTransforms
