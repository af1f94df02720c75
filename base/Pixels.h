#pragma once

#include <cstdint>

// A colour as 0xRRGGBB: the one colour type of the core.
using RgbColor = uint32_t;
constexpr RgbColor kWhiteRgb = 0xFFFFFF;

// A rectangle of pixels: left and top inclusive, right and bottom exclusive.
struct PixelRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    bool Empty() const { return left >= right || top >= bottom; }
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool operator==(const PixelRect&) const = default;
};
