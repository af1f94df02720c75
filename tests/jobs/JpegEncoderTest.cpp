// The conversion's JPEG frames are FreeImage's, byte for byte: our encoder on libjpeg against
// FreeImage's own JPEG writer with the flags the conversion once gave it.

#include <FreeImage.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "jobs/convert/BitmapEncoder.h"

namespace {

enum class Content { Flat, Noise, Gradient };

struct IdentityCase {
    int width;
    int height;
    int padding;    // bytes after each row's pixels, filled with junk
    Content content;
    bool masked;  // some pixels transparent: the JPEG is of the frame with them black
};

uint8_t Channel(const IdentityCase& c, int x, int y, int channel) {
    switch (c.content) {
        case Content::Flat:
            return static_cast<uint8_t>(40 + 80 * channel);
        case Content::Noise: {
            uint32_t h = static_cast<uint32_t>(x) * 73856093u ^
                         static_cast<uint32_t>(y) * 19349663u ^
                         static_cast<uint32_t>(channel) * 83492791u;
            h ^= h >> 13;
            h *= 0x5bd1e995u;
            return static_cast<uint8_t>(h >> 24);
        }
        case Content::Gradient:
            break;
    }
    const int along[] = {x * 255 / c.width, y * 255 / c.height,
                         (x + y) * 255 / (c.width + c.height)};
    return static_cast<uint8_t>(along[channel]);
}

bool Clear(const IdentityCase& c, int x, int y) { return c.masked && (7 * x + 3 * y) % 5 == 0; }

// FreeImage's JPEG of the frame (premultiplied), as the conversion wrote it before.
std::vector<uint8_t> FreeImageJpeg(const IdentityCase& c, int flags) {
    FIBITMAP* image = FreeImage_Allocate(c.width, c.height, 24);
    FreeImage_SetDotsPerMeterX(image, 0);  // the frames had no resolution
    FreeImage_SetDotsPerMeterY(image, 0);
    for (int y = 0; y < c.height; ++y) {
        BYTE* row = FreeImage_GetScanLine(image, c.height - 1 - y);
        for (int x = 0; x < c.width; ++x)
            for (int i = 0; i < 3; ++i) row[3 * x + i] = Clear(c, x, y) ? 0 : Channel(c, x, y, i);
    }
    FIMEMORY* stream = FreeImage_OpenMemory();
    BYTE* data = nullptr;
    DWORD size = 0;
    std::vector<uint8_t> jpeg;
    if (FreeImage_SaveToMemory(FIF_JPEG, image, stream, flags) &&
        FreeImage_AcquireMemory(stream, &data, &size))
        jpeg.assign(data, data + size);
    FreeImage_CloseMemory(stream);
    FreeImage_Unload(image);
    return jpeg;
}

TEST(JpegEncoderTest, WritesWhatFreeImageWritesForEveryQuality) {
    const IdentityCase cases[] = {
        {1, 1, 0, Content::Flat, false},        {1, 1, 3, Content::Noise, false},
        {1, 7, 1, Content::Gradient, false},     {7, 1, 3, Content::Noise, false},
        {2, 2, 0, Content::Flat, true},         {15, 9, 3, Content::Gradient, false},
        {16, 16, 0, Content::Noise, false},     {17, 33, 1, Content::Gradient, true},
        {64, 48, 0, Content::Noise, false},      {96, 64, 0, Content::Flat, false},
        {333, 17, 1, Content::Gradient, false}, {257, 255, 5, Content::Noise, true},
        {640, 480, 0, Content::Gradient, true},  {1023, 767, 3, Content::Noise, false},
    };
    const std::pair<Quality, int> qualities[] = {
        {Quality::Low, JPEG_PROGRESSIVE | JPEG_QUALITYNORMAL},
        {Quality::Normal, JPEG_PROGRESSIVE | JPEG_QUALITYGOOD},
        {Quality::High, JPEG_PROGRESSIVE | JPEG_QUALITYSUPERB | JPEG_SUBSAMPLING_444},
    };
    for (const IdentityCase& c : cases) {
        const int stride = 3 * c.width + c.padding;
        std::vector<uint8_t> rows(static_cast<std::size_t>(stride) * c.height, 0xA5);
        std::vector<uint8_t> mask;
        for (int y = 0; y < c.height; ++y) {
            uint8_t* row = rows.data() + y * stride;
            for (int x = 0; x < c.width; ++x) {
                for (int i = 0; i < 3; ++i) row[3 * x + i] = Channel(c, x, y, i);
                mask.push_back(Clear(c, x, y) ? 1 : 0);
            }
        }
        BgrPixels pixels;
        pixels.top = rows.data();
        pixels.stride = stride;
        pixels.width = c.width;
        pixels.height = c.height;
        pixels.transparent = c.masked ? mask.data() : nullptr;
        for (const auto& [quality, flags] : qualities) {
            SCOPED_TRACE(::testing::Message() << c.width << " x " << c.height << ", content "
                                              << int(c.content) << ", quality " << int(quality));
            const EncodedFrame ours = JpegBitmapEncoder(quality).Encode(pixels);
            ASSERT_TRUE(ours.ok) << ours.error;
            EXPECT_EQ(ours.alpha.empty(), !c.masked);
            const std::vector<uint8_t> expected = FreeImageJpeg(c, flags);
            ASSERT_FALSE(expected.empty());
            EXPECT_TRUE(ours.data == expected)
                << ours.data.size() << " bytes, FreeImage's " << expected.size();
        }
    }
}

// libjpeg's refusals come back as results, never as an exit.
TEST(JpegEncoderTest, FramesLibjpegRefusesFailWithItsReason) {
    const uint8_t pixel[3] = {};
    for (const int width : {0, 70000}) {
        const EncodedFrame frame = JpegBitmapEncoder(Quality::Normal).Encode({pixel, 0, width, 1});
        EXPECT_FALSE(frame.ok);
        EXPECT_FALSE(frame.outOfMemory);
        EXPECT_FALSE(frame.error.empty());
        EXPECT_TRUE(frame.data.empty());
    }
}

}  // namespace
