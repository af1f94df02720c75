#pragma once

#include <cstddef>
#include <cstdint>

// A view of 24-bit pixels where they lie: rows of blue, green, red, top first, `stride` bytes
// apart. With a mask (rows of width
// bytes), the pixels whose mask byte is not 0 are fully transparent. Every bitmap encoder reads
// its frame through this view.
struct BgrPixels {
    const uint8_t* top = nullptr;
    std::ptrdiff_t stride = 0;
    int width = 0;
    int height = 0;
    const uint8_t* transparent = nullptr;

    const uint8_t* Row(int y) const { return top + y * stride; }
};
