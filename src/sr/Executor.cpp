#include "Executor.h"

#include <algorithm>

namespace sr {

std::uint8_t byteFromModel(float value)
{
    // Two roundings (the build never contracts), as the GPU's kernel does: a fused
    // multiply-add could put a value right at a boundary on the other byte.
    const float x = value * 255.0f + 0.5f;
    // Branch-free: it runs for every channel of every output pixel. NaN fails x < 255: 255.
    return std::uint8_t(x < 255.0f ? std::max(x, 0.0f) : 255.0f);
}

float* Executor::slotInput(int)
{
    return input();
}

void Executor::start(int, const Region& region)
{
    m_answer = run();
    m_region = region;
}

void Executor::finish(int, std::uint8_t* target, std::int64_t stride)
{
    writeAnswerBytes(m_answer, outputShape(), m_region, target, stride);
}

void writeAnswerBytes(const float* answer, const Shape& shape, const Region& region,
                      std::uint8_t* target, std::int64_t stride)
{
    const std::int64_t rowStep = shape[3];
    const std::int64_t plane = shape[2] * rowStep;
    const float* first = answer + region.y * rowStep + region.x;
    for (int r = 0; r < region.height; ++r) {
        const float* red = first + r * rowStep;
        std::uint8_t* pixel = target + r * stride;
        for (int c = 0; c < region.width; ++c, pixel += 4) {
            pixel[0] = byteFromModel(red[c]);
            pixel[1] = byteFromModel(red[c + plane]);
            pixel[2] = byteFromModel(red[c + 2 * plane]);
            pixel[3] = 255;
        }
    }
}

} // namespace sr
