#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/BgrPixels.h"
#include "swf/CSWFObject.h"

// How the pixels of a lossless bitmap are laid out in its zlib data.
struct LosslessLayout {
    uint8_t format = 5;   // 3: colour table and rows of 1-byte indices; 5: 4 bytes per pixel
    bool alpha = false;   // colours carry alpha (DefineBitsLossless2), else DefineBitsLossless
    uint16_t width = 0;   // pixels
    uint16_t height = 0;  // pixels
    uint16_t colors = 0;  // format 3: entries in the colour table, 1 to 256
};

// The uncompressed data of a lossless bitmap and its layout: format 3 (a table of the colours
// used, in the order they first appear, transparency counting as one colour) when the pixels
// hold at most 256, format 5 otherwise. Alpha only when a pixel is transparent. Transparent
// colours are written 0, 0, 0, 0, as players read colours premultiplied by alpha.
std::vector<uint8_t> PackLossless(const BgrPixels& pixels, LosslessLayout& layout);
// The same, always as format 5.
std::vector<uint8_t> PackDirect(const BgrPixels& pixels, LosslessLayout& layout);

// A zlib stream (RFC 1950) of size bytes at kLosslessLevel; empty when compression failed.
std::vector<uint8_t> CompressZlib(const uint8_t* data, std::size_t size);

// The compression level of every lossless bitmap (libdeflate's scale, 1 to 12). Fixed, so that
// a movie's bytes depend on its GIF only.
constexpr int kLosslessLevel = 6;
// A zlib stream of packed data. Colour-mapped data of at most kRunColors colours is also tried
// with zlib's run-length strategy, which suits flat pixel art and sparse two-colour pictures
// better than general matching; the smaller stream is kept. Empty when compression failed.
constexpr uint16_t kRunColors = 16;
std::vector<uint8_t> CompressLossless(const std::vector<uint8_t>& packed,
                                      const LosslessLayout& layout);

// One lossless bitmap as a DefineBitsLossless (or, with alpha, DefineBitsLossless2) tag, built
// in the constructor from its layout and zlib stream.
class CSWFBitmapLossless : public CSWFObject {
public:
    // A layout that is not format 3 or 5, an empty size, a colour count outside 1 to 256 for
    // format 3, no data, or data too long for the tag gives an object without a tag: GetData
    // null, GetSize 0.
    CSWFBitmapLossless(uint16_t id, const LosslessLayout& layout, const uint8_t* zlib,
                       std::size_t size);

    const uint8_t* GetData() override { return m_data.empty() ? nullptr : m_data.data(); }
    int GetSize() const override { return static_cast<int>(m_data.size()); }

private:
    std::vector<uint8_t> m_data;
};
