#pragma once

// Test GIFs made on the spot: GifBuilder writes well-formed files with giflib's encoder; the
// Raw* helpers let a test write bytes field by field, for files the encoder refuses to make
// (no colour table, indices above the table, broken records).

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "support/TestFiles.h"

struct GifRgb {
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;
    bool operator==(const GifRgb&) const = default;
};
void PrintTo(const GifRgb& color, std::ostream* os);  // for test failure messages

inline constexpr GifRgb kRed{255, 0, 0};
inline constexpr GifRgb kGreen{0, 255, 0};
inline constexpr GifRgb kBlue{0, 0, 255};
inline constexpr GifRgb kYellow{255, 255, 0};
inline constexpr GifRgb kWhite{255, 255, 255};
inline constexpr GifRgb kBlack{0, 0, 0};

// One image of a GIF, with the graphic control extension that precedes it.
struct GifImage {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;      // width * height colour indices, top row first
    std::vector<GifRgb> localColors;  // empty: no local colour table; else 2 to 256 entries
    bool interlace = false;           // rows are written in the four interlace passes

    bool control = false;  // write a graphic control extension with the three fields below
    int delay = 0;         // hundredths of a second
    int disposal = 0;      // 0 to 7
    int transparent = -1;  // -1: none
};

class GifBuilder {
public:
    GifBuilder(int width, int height) : m_width(width), m_height(height) {}

    // A global colour table (2 to 256 entries; padded with black to a power of two).
    GifBuilder& GlobalColors(std::vector<GifRgb> colors, int backgroundIndex = 0);
    // A "NETSCAPE2.0" application extension with this loop count (0: for ever), written before
    // the images.
    GifBuilder& Loop(int count);
    GifBuilder& Comment(std::string text);
    GifBuilder& Image(GifImage image);
    // An image of one colour index, `fill`, over the rect; with a graphic control extension
    // (delay, disposal, transparent index) unless delay is negative.
    GifBuilder& Solid(int left, int top, int width, int height, uint8_t fill, int delay = -1,
                      int disposal = 0, int transparent = -1);

    // The whole file, trailer included; empty if giflib refused something (see Error()).
    std::vector<uint8_t> Build() const;
    // Writes Build() to path; false on failure.
    bool Write(const std::filesystem::path& path) const;
    const std::string& Error() const { return m_error; }

private:
    struct Item {
        enum Kind { kImage, kComment } kind;
        GifImage image;
        std::string text;
    };

    int m_width;
    int m_height;
    std::vector<GifRgb> m_globalColors;
    int m_background = 0;
    int m_loop = -1;
    std::vector<Item> m_items;
    mutable std::string m_error;
};

// The row order in which an image of `height` rows is stored: top to bottom, or in the four
// interlace passes (rows 0, 8, 16, ..., then 4, 12, ..., then 2, 6, ..., then 1, 3, 5, ...).
std::vector<int> GifRowOrder(int height, bool interlace);

// --- Writing GIFs byte by byte ---

void RawAppend16(std::vector<uint8_t>& out, int value);  // little-endian
void RawAppend(std::vector<uint8_t>& out, std::initializer_list<int> bytes);
// "GIF89a", the logical screen descriptor, and the global colour table if colors is not empty
// (its size must be a power of two from 2 to 256).
void RawHeader(std::vector<uint8_t>& out, int width, int height,
               const std::vector<GifRgb>& colors = {}, int backgroundIndex = 0);
// A graphic control extension.
void RawControl(std::vector<uint8_t>& out, int delay, int disposal = 0, int transparent = -1);
// An image descriptor without a local colour table, then its pixel data.
void RawImage(std::vector<uint8_t>& out, int left, int top, int width, int height,
              const std::vector<uint8_t>& pixels);
// Image data: LZW minimum code size 8, then the indices coded so that every code is a literal
// (any index 0 to 255, whatever the colour table), in sub-blocks, then the block terminator.
std::vector<uint8_t> RawImageData(const std::vector<uint8_t>& pixels);
void RawTrailer(std::vector<uint8_t>& out);
