#pragma once

#include <cstdint>

// A view over pixel memory that the caller owns: nWidth x nHeight pixels of nBitsPerPixel bits
// (CGifAnimation draws 24-bit surfaces only), bytes blue, green, red, top row first, each row
// nStride bytes (3 * nWidth rounded up to a multiple of 4).
struct DrawingSurface {
    int nWidth = 0;
    int nHeight = 0;
    int nStride = 0;
    int nBitsPerPixel = 24;
    uint8_t* pBits = nullptr;
};
