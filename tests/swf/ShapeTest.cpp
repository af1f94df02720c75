#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <ostream>
#include <string>

#include "SwfTestUtil.h"
#include "support/SwfReader.h"
#include "swf/BitWriter.h"
#include "swf/CSWFShape.h"

using swftest::Encode;
using swftest::Hex;

namespace {

const uint32_t kTransparentBlack = SWFColor(0, 0, 0, 0);
const float kOrigin[2] = {0, 0};

// The decoded form of a shape's tag.
swftest::ShapeInfo Decode(CSWFShape& shape) {
    swftest::SwfTag tag;
    const auto bytes = Encode(shape);
    EXPECT_GE(bytes.size(), 6u);
    if (bytes.size() < 6) return {};
    tag.code = static_cast<uint16_t>((bytes[0] | bytes[1] << 8) >> 6);
    tag.body.assign(bytes.begin() + 6, bytes.end());
    return swftest::ParseDefineShape3(tag);
}

struct ShapeCase {
    const char* name;
    std::function<CSWFShape()> build;
    const char* bytes;
};

void PrintTo(const ShapeCase& c, std::ostream* os) { *os << c.name; }

class ShapeExample : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(ShapeExample, EncodesByteForByte) {
    CSWFShape shape = GetParam().build();
    const auto expected = Hex(GetParam().bytes);
    EXPECT_EQ(Encode(shape), expected);
    EXPECT_EQ(shape.GetSize(), static_cast<int>(expected.size()));
}

const ShapeCase kShapeExamples[] = {
    {"BitmapFilledSquare2x2",
     [] {
         CSWFShape s(4, 0, 0, 2, 2, 4);
         s.AddBitmapFillStyle(3, 0, 0, 1, 1, 0, 0, 1, 1);
         s.ChangeStyle(kOrigin, 0);
         s.AddStraightEdge(1, 0);
         s.AddStraightEdge(0, 1);
         s.AddStraightEdge(-1, 0);
         s.AddStraightEdge(0, -1);
         return s;
     },
     "3F 08 21 00 00 00 04 00 38 05 00 14 00 01 41 03 00 D9 40 00 05 00 00 00 00 10 "
     "3C 25 A5 40 34 80 A6 9B 00 D2 05 80 00"},
    {"FrameShape100x50",
     [] {
         CSWFShape s(4, 0, 0, 100, 50, 4);
         s.AddBitmapFillStyle(3, 0, 0, 99, 49, 0, 0, 99, 49);
         s.ChangeStyle(kOrigin, 0);
         s.AddStraightEdge(99, 0);
         s.AddStraightEdge(0, 49);
         s.AddStraightEdge(-99, 0);
         s.AddStraightEdge(0, -49);
         return s;
     },
     "3F 08 28 00 00 00 04 00 60 00 3E 80 00 1F 40 01 41 03 00 D9 40 00 05 00 00 00 00 10 "
     "3C 25 D5 EF 00 03 98 00 7A 9D 61 10 00 39 80 08 58 00"},
    {"HitArea2x2",
     [] {
         CSWFShape s(1, 0, 0, 2, 2, 1);
         s.AddLineStyle(kTransparentBlack);
         s.AddSolidFillStyle(kTransparentBlack);
         s.ChangeStyle(kOrigin, 1);
         s.AddStraightEdge(1, 0);
         s.AddStraightEdge(0, 1);
         s.AddStraightEdge(-1, 0);
         s.AddStraightEdge(0, -1);
         return s;
     },
     "3F 08 22 00 00 00 01 00 38 05 00 14 00 01 00 00 00 00 00 01 14 00 00 00 00 00 11 "
     "3C 25 D2 A0 1A 40 53 4D 80 69 02 C0 00"},
    // No styles: counts 00 00, style bits 00, and the style change carries no index bits:
    // 001110 then the end record 000000.
    {"NoStyles",
     [] {
         CSWFShape s(5, 0, 0, 0, 0, 5);
         s.ChangeStyle(nullptr, 0);
         return s;
     },
     "3F 08 09 00 00 00 05 00 08 00 00 00 00 38 00"},
    // Zero-length edge: 11 0000 1 00 00, then the end record spills into a third byte.
    {"ZeroLengthEdge",
     [] {
         CSWFShape s(5, 0, 0, 0, 0, 5);
         s.AddStraightEdge(0, 0);
         return s;
     },
     "3F 08 0A 00 00 00 05 00 08 00 00 00 00 C2 00 00"},
    // Colours keep their byte order R, G, B, A.
    {"ColourByteOrder",
     [] {
         CSWFShape s(6, 0, 0, 0, 0, 6);
         s.AddSolidFillStyle(SWFColor(0x11, 0x22, 0x33, 0x44));
         s.AddLineStyle(SWFColor(0xAA, 0xBB, 0xCC, 0xDD));
         return s;
     },
     "3F 08 13 00 00 00 06 00 08 00 01 00 11 22 33 44 01 14 00 AA BB CC DD 11 00"},
};

INSTANTIATE_TEST_SUITE_P(Shapes, ShapeExample, ::testing::ValuesIn(kShapeExamples),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(ShapeTest, ColourHelperStoresBytesInMemoryOrder) {
    const uint32_t c = SWFColor(1, 2, 3, 4);
    uint8_t bytes[4];
    std::memcpy(bytes, &c, 4);
    EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 4), Hex("01 02 03 04"));
}

TEST(ShapeTest, TagLengthIsSizeMinusSixInTheLongForm) {
    CSWFShape s(9, 0, 0, 0, 0, 9);
    const auto bytes = Encode(s);
    ASSERT_GE(bytes.size(), 6u);
    EXPECT_EQ(bytes[0], 0x3F);  // long form although the body is short
    EXPECT_EQ(bytes[1], 0x08);
    const uint32_t length = bytes[2] | bytes[3] << 8 | bytes[4] << 16 | bytes[5] << 24;
    EXPECT_EQ(length, bytes.size() - 6);
    EXPECT_EQ(s.GetKind(), SWF_KIND_SHAPE);
    EXPECT_EQ(s.GetDepth(), 9);
}

// Style counts of 255 or more use FF and a 16-bit count. Bounds 0, 0, 0, 0 put the fill count
// at offset 10.
TEST(ShapeTest, StyleCountForms) {
    const struct {
        std::size_t count;
        const char* countBytes;
        unsigned indexBits;
    } cases[] = {{254, "FE", 8}, {255, "FF FF 00", 8}, {256, "FF 00 01", 9}};
    for (const auto& c : cases) {
        const auto countBytes = Hex(c.countBytes);
        CSWFShape fills(1, 0, 0, 0, 0, 1);
        for (std::size_t i = 0; i < c.count; ++i) ASSERT_TRUE(fills.AddSolidFillStyle(0));
        const auto f = Encode(fills);
        ASSERT_GT(f.size(), 10 + countBytes.size() + c.count * 5 + 1);
        EXPECT_EQ(std::vector<uint8_t>(f.begin() + 10, f.begin() + 10 + countBytes.size()),
                  countBytes);
        const std::size_t afterFills = 10 + countBytes.size() + c.count * 5;
        EXPECT_EQ(f[afterFills], 0x00);                  // no line styles
        EXPECT_EQ(f[afterFills + 1], c.indexBits << 4);  // NumFillBits, NumLineBits

        CSWFShape lines(1, 0, 0, 0, 0, 1);
        for (std::size_t i = 0; i < c.count; ++i) ASSERT_TRUE(lines.AddLineStyle(0));
        const auto l = Encode(lines);
        ASSERT_GT(l.size(), 11 + countBytes.size() + c.count * 6 + 1);
        EXPECT_EQ(l[10], 0x00);
        EXPECT_EQ(std::vector<uint8_t>(l.begin() + 11, l.begin() + 11 + countBytes.size()),
                  countBytes);
        EXPECT_EQ(l[11 + countBytes.size() + c.count * 6], c.indexBits);
    }
}

// The index fields are at most 15 bits wide (NumFillBits is four bits), so the lists stop at
// 32767 styles.
TEST(ShapeTest, StyleListsStopWhereTheIndexFieldEnds) {
    CSWFShape s(1, 0, 0, 0, 0, 1);
    for (std::size_t i = 0; i < CSWFShape::kMaxStyles; ++i) {
        ASSERT_TRUE(s.AddSolidFillStyle(0));
        ASSERT_TRUE(s.AddLineStyle(0));
    }
    EXPECT_FALSE(s.AddSolidFillStyle(0));
    EXPECT_FALSE(s.AddBitmapFillStyle(3, 0, 0, 1, 1, 0, 0, 1, 1));
    EXPECT_FALSE(s.AddLineStyle(0));
    const auto info = Decode(s);
    ASSERT_TRUE(info.ok) << info.error;
    EXPECT_EQ(info.fills.size(), CSWFShape::kMaxStyles);
    EXPECT_EQ(info.numFillBits, 15u);
    EXPECT_EQ(info.numLineBits, 15u);
}

TEST(ShapeTest, IndexWiderThanItsFieldKeepsItsLowBits) {
    CSWFShape s(1, 0, 0, 0, 0, 1);
    s.AddLineStyle(0);  // NumLineBits 1
    s.ChangeStyle(nullptr, 5);
    const auto info = Decode(s);
    ASSERT_TRUE(info.ok) << info.error;
    ASSERT_EQ(info.records.size(), 2u);
    EXPECT_EQ(info.records[0].lineStyle, 1u);
}

TEST(ShapeTest, StyleChangeFlagsAndMove) {
    CSWFShape s(1, 0, 0, 0, 0, 1);
    s.AddSolidFillStyle(0);
    s.AddLineStyle(0);
    const float point[2] = {-3.5f, 12.34f};
    s.ChangeStyle(point, 1);
    s.ChangeStyle(nullptr, 0);
    const auto info = Decode(s);
    ASSERT_TRUE(info.ok) << info.error;
    ASSERT_EQ(info.records.size(), 3u);
    const auto& moved = info.records[0];
    EXPECT_EQ(moved.flags, 0x0F);
    EXPECT_EQ(moved.x, -70);
    EXPECT_EQ(moved.y, 246);  // truncated, not rounded
    EXPECT_EQ(moved.bits, 9u);
    EXPECT_EQ(moved.fillStyle0, 1u);
    EXPECT_EQ(moved.fillStyle1, 0u);
    EXPECT_EQ(moved.lineStyle, 1u);
    EXPECT_EQ(info.records[1].flags, 0x0E);
    EXPECT_EQ(info.records[2].kind, swftest::ShapeRecordInfo::kEnd);
}

// Edge widths: at least 2, else the signed width of the deltas; horizontal and vertical edges
// still carry both deltas.
TEST(ShapeTest, EdgeWidths) {
    const struct {
        float dx, dy;
        unsigned bits;
        int32_t x, y;
    } cases[] = {{0, 0, 2, 0, 0},
                 {0.05f, 0, 2, 1, 0},
                 {1, 0, 6, 20, 0},
                 {0, 99, 12, 0, 1980},
                 {102.4f, 0, 13, 2048, 0},
                 {-0.06f, 0, 2, -1, 0},
                 {3276.75f, -1, 17, 65535, -20}};
    for (const auto& c : cases) {
        CSWFShape s(1, 0, 0, 0, 0, 1);
        s.AddStraightEdge(c.dx, c.dy);
        const auto info = Decode(s);
        ASSERT_TRUE(info.ok) << info.error;
        ASSERT_EQ(info.records.size(), 2u) << c.dx;
        EXPECT_EQ(info.records[0].kind, swftest::ShapeRecordInfo::kStraightEdge);
        EXPECT_EQ(info.records[0].bits, c.bits) << c.dx;
        EXPECT_EQ(info.records[0].x, c.x) << c.dx;
        EXPECT_EQ(info.records[0].y, c.y) << c.dx;
    }
}

// An edge too long for one record is written as several that add up to it, each within the
// 17-bit field.
TEST(ShapeTest, LongEdgesAreSplit) {
    const struct {
        float dx, dy;
        std::size_t edges;
    } cases[] = {{3276.8f, 0, 2},  {5000, -3000, 2}, {0, -6553.6f, 3},
                 {-100000, 7, 31}, {8191, 8191, 3},  {1e9f, -1e9f, 32769}};
    for (const auto& c : cases) {
        CSWFShape s(1, 0, 0, 0, 0, 1);
        s.AddStraightEdge(c.dx, c.dy);
        const auto info = Decode(s);
        ASSERT_TRUE(info.ok) << info.error;
        ASSERT_EQ(info.records.size(), c.edges + 1) << c.dx;
        int64_t x = 0, y = 0;
        for (std::size_t i = 0; i < c.edges; ++i) {
            const auto& r = info.records[i];
            ASSERT_EQ(r.kind, swftest::ShapeRecordInfo::kStraightEdge);
            EXPECT_LE(r.bits, 17u);
            x += r.x;
            y += r.y;
        }
        EXPECT_EQ(x, PixelsToTwips(c.dx)) << c.dx;
        EXPECT_EQ(y, PixelsToTwips(c.dy)) << c.dy;
    }
}

TEST(ShapeTest, BitmapFillScalesDestinationOverSource) {
    CSWFShape s(2, 0, 0, 10, 10, 2);
    s.AddBitmapFillStyle(7, 0, 0, 5, 20, 2, 3, 12, 13);  // x: 10/5, y: 10/20
    const auto info = Decode(s);
    ASSERT_TRUE(info.ok) << info.error;
    ASSERT_EQ(info.fills.size(), 1u);
    const auto& f = info.fills[0];
    EXPECT_EQ(f.type, 0x41);
    EXPECT_EQ(f.bitmapId, 7);
    EXPECT_TRUE(f.matrix.hasScale);
    EXPECT_EQ(f.matrix.scaleX, 40 * 65536);
    EXPECT_EQ(f.matrix.scaleY, 10 * 65536);
    EXPECT_FALSE(f.matrix.hasRotate);
    EXPECT_EQ(f.matrix.translateX, 40);
    EXPECT_EQ(f.matrix.translateY, 60);
}

// A zero-width or zero-height source maps one bitmap pixel to one shape pixel on that axis.
TEST(ShapeTest, ZeroSourceExtentUsesScale20) {
    const struct {
        float sx2, sy2, dx2, dy2;
        int32_t scaleX, scaleY;
    } cases[] = {{0, 0, 0, 0, 20, 20}, {0, 5, 7, 10, 20, 40}, {4, 0, 2, 9, 10, 20}};
    for (const auto& c : cases) {
        CSWFShape s(2, 0, 0, 1, 1, 2);
        s.AddBitmapFillStyle(1, 0, 0, c.sx2, c.sy2, 0, 0, c.dx2, c.dy2);
        const auto info = Decode(s);
        ASSERT_TRUE(info.ok) << info.error;
        ASSERT_EQ(info.fills.size(), 1u);
        EXPECT_EQ(info.fills[0].matrix.scaleX, c.scaleX * 65536);
        EXPECT_EQ(info.fills[0].matrix.scaleY, c.scaleY * 65536);
    }
    // The one-pixel GIF's frame shape: the same fill matrix as in the 2 x 2 example.
    CSWFShape s(4, 0, 0, 1, 1, 4);
    s.AddBitmapFillStyle(3, 0, 0, 0, 0, 0, 0, 0, 0);
    const auto bytes = Encode(s);
    const auto matrix = Hex("41 03 00 D9 40 00 05 00 00 00");
    EXPECT_NE(std::search(bytes.begin(), bytes.end(), matrix.begin(), matrix.end()), bytes.end());
}

TEST(ShapeTest, EncodingTwiceGivesEqualBytes) {
    CSWFShape s(4, 0, 0, 2, 2, 4);
    s.AddBitmapFillStyle(3, 0, 0, 1, 1, 0, 0, 1, 1);
    s.ChangeStyle(kOrigin, 0);
    s.AddStraightEdge(1, 0);
    const auto first = Encode(s);
    EXPECT_EQ(Encode(s), first);
}

}  // namespace
