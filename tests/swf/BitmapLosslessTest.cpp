#include <gtest/gtest.h>
#include <zlib.h>

#include "support/Inflate.h"
#include "SwfTestUtil.h"
#include "swf/CSWFBitmapLossless.h"

using swftest::Encode;
using swftest::Hex;

namespace {

BgrPixels Pixels(const std::vector<uint8_t>& bgr, int width, int height, std::ptrdiff_t stride,
                 const std::vector<uint8_t>& transparent = {}) {
    return {bgr.data(), stride, width, height, transparent.empty() ? nullptr : transparent.data()};
}

struct LosslessExample {
    const char* name;
    std::vector<uint8_t> bgr;  // rows top first
    int width, height;
    std::ptrdiff_t stride;
    std::vector<uint8_t> transparent;
    bool direct;                  // PackDirect rather than PackLossless
    std::vector<uint8_t> packed;  // the data before compression, as the tag's reader takes it
    std::vector<uint8_t> tag;     // id 3, compressed at kLosslessLevel
};

const LosslessExample kExamples[] = {
    // Red, green over blue, white: a table of four RGB entries in order of appearance, then
    // two rows of indices padded to four bytes.
    {"TwoByTwoFourColours",
     Hex("00 00 FF 00 FF 00 00 00 FF 00 00 FF FF FF 00 00"),
     2,
     2,
     8,
     {},
     false,
     Hex("FF 00 00 00 FF 00 00 00 FF FF FF FF 00 01 00 00 02 03 00 00"),
     // Four colours: zlib's run-length stream (header 78 01) came out smaller than libdeflate's.
     Hex("3F 05 21 00 00 00 03 00 03 02 00 02 00 03 78 01 0D C1 01 01 00 00 08 02 20 CA FF 9B "
         "2D 28 8A 3E C3 86 03 4D DE 06 01")},
    // Format 5: each pixel 0, red, green, blue, without row padding.
    {"ThreeByOneDirect",
     Hex("03 02 01 06 05 04 09 08 07"),
     3,
     1,
     9,
     {},
     true,
     Hex("00 01 02 03 00 04 05 06 00 07 08 09"),
     // libdeflate at level 6 (header 78 9C) stores twelve bytes as they are.
     Hex("3F 05 1E 00 00 00 03 00 05 03 00 01 00 78 9C 01 0C 00 F3 FF 00 01 02 03 00 04 05 06 "
         "00 07 08 09 00 CC 00 2E")},
    // A transparent pixel makes it DefineBitsLossless2: colours with alpha, the transparent
    // one all zeros. Each row is followed by junk up to its stride.
    {"TransparentPixelGivesAlpha", Hex("10 20 30 10 20 30 00 00 00 00 00 00"), 2, 1, 12,
     Hex("01 00"), false, Hex("00 00 00 00 30 20 10 FF 00 01 00 00"),
     Hex("3F 09 1A 00 00 00 03 00 03 02 00 01 00 01 78 01 63 00 02 03 05 81 FF 0C 8C 0C 0C 00 "
         "07 CA 01 61")},
};

class LosslessExampleTest : public ::testing::TestWithParam<LosslessExample> {};

TEST_P(LosslessExampleTest, PacksCompressesAndTagsByteForByte) {
    const LosslessExample& e = GetParam();
    const BgrPixels pixels = Pixels(e.bgr, e.width, e.height, e.stride, e.transparent);
    LosslessLayout layout;
    const std::vector<uint8_t> packed =
        e.direct ? PackDirect(pixels, layout) : PackLossless(pixels, layout);
    EXPECT_EQ(packed, e.packed);
    EXPECT_EQ(layout.width, e.width);
    EXPECT_EQ(layout.height, e.height);
    const std::vector<uint8_t> zlib = CompressLossless(packed, layout);
    EXPECT_EQ(Inflate(zlib), e.packed);
    CSWFBitmapLossless bitmap(3, layout, zlib.data(), zlib.size());
    EXPECT_EQ(Encode(bitmap), e.tag);
    EXPECT_EQ(bitmap.GetKind(), SWF_KIND_BITMAP);
}

INSTANTIATE_TEST_SUITE_P(Bitmaps, LosslessExampleTest, ::testing::ValuesIn(kExamples),
                         [](const auto& example) { return std::string(example.param.name); });

TEST(BitmapLosslessTest, MoreThan256ColoursFallBackToFormat5) {
    for (int colours : {256, 257}) {
        std::vector<uint8_t> bgr;
        for (int i = 0; i < colours; ++i) bgr.insert(bgr.end(), {uint8_t(i), uint8_t(i >> 8), 7});
        LosslessLayout layout;
        const auto packed =
            PackLossless(Pixels(bgr, colours, 1, static_cast<std::ptrdiff_t>(bgr.size())), layout);
        const bool mapped = colours <= 256;
        EXPECT_EQ(layout.format, mapped ? 3 : 5) << colours;
        EXPECT_EQ(layout.colors, mapped ? colours : 0) << colours;
        // Format 3: the table and one row padded to four bytes; format 5: four bytes a pixel.
        EXPECT_EQ(packed.size(), mapped ? 256u * 3 + 256 : 257u * 4) << colours;
        EXPECT_EQ(std::vector<uint8_t>(packed.end() - 4, packed.end()),
                  mapped ? Hex("FC FD FE FF") : Hex("00 07 01 00"))
            << colours;
    }
}

TEST(BitmapLosslessTest, FlatPicturesCompressFarBelowTheirPixels) {
    const std::vector<uint8_t> white(3 * 640 * 480, 0xFF);
    LosslessLayout layout;
    const auto packed = PackLossless(Pixels(white, 640, 480, 3 * 640), layout);
    const auto zlib = CompressLossless(packed, layout);
    EXPECT_EQ(Inflate(zlib), packed);
    EXPECT_LT(zlib.size(), packed.size() / 500);
}

TEST(BitmapLosslessTest, LayoutsThatCannotBeWrittenGiveNoTag) {
    const auto data = Hex("78 DA 03 00 00 00 00 01");
    const LosslessLayout layouts[] = {
        {4, false, 1, 1, 1},   // no such format here
        {3, false, 0, 1, 1},   // empty
        {5, false, 1, 0, 0},   // empty
        {3, false, 1, 1, 0},   // a table without colours
        {3, true, 1, 1, 257},  // more colours than a table holds
    };
    for (const LosslessLayout& layout : layouts) {
        CSWFBitmapLossless bitmap(3, layout, data.data(), data.size());
        EXPECT_EQ(bitmap.GetData(), nullptr);
        EXPECT_EQ(bitmap.GetSize(), 0);
    }
    CSWFBitmapLossless noData(3, {5, false, 1, 1, 0}, nullptr, 8);
    EXPECT_EQ(noData.GetSize(), 0);
}

}  // namespace
