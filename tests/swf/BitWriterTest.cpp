#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <ostream>
#include <string>

#include "SwfTestUtil.h"
#include "swf/BitWriter.h"
#include "swf/SwfTag.h"

using swftest::Hex;

namespace {

struct BitCase {
    const char* name;
    std::function<void(BitWriter&)> write;
    const char* bytes;
    std::size_t bits;
};

void PrintTo(const BitCase& c, std::ostream* os) { *os << c.name; }

class BitWriterCase : public ::testing::TestWithParam<BitCase> {};

TEST_P(BitWriterCase, WritesExpectedBytes) {
    BitWriter w;
    GetParam().write(w);
    EXPECT_EQ(w.Bytes(), Hex(GetParam().bytes));
    EXPECT_EQ(w.BitCount(), GetParam().bits);
}

const BitCase kBitCases[] = {
    {"UnsignedByteThenSignedMinusThree",
     [](BitWriter& w) {
         w.WriteUBits(8, 0b01010101);
         w.WriteSBits(3, -3);  // 101
     },
     "55 A0", 11},
    {"SingleBitFillsFromTheTop", [](BitWriter& w) { w.WriteUBits(1, 1); }, "80", 1},
    {"OnlyTheLowBitsAreKept", [](BitWriter& w) { w.WriteUBits(3, 0xFF); }, "E0", 3},
    {"SignedMinimum", [](BitWriter& w) { w.WriteSBits(5, -16); }, "80", 5},
    {"SignedMinusOneIsAllOnes", [](BitWriter& w) { w.WriteSBits(32, -1); }, "FF FF FF FF", 32},
    {"ThirtyTwoBitsMostSignificantFirst", [](BitWriter& w) { w.WriteUBits(32, 0xDEADBEEF); },
     "DE AD BE EF", 32},
    {"FieldsStraddleBytes",
     [](BitWriter& w) {
         w.WriteUBits(4, 0xA);
         w.WriteUBits(12, 0xBCD);
     },
     "AB CD", 16},
    {"ZeroWidthWritesNothing",
     [](BitWriter& w) {
         w.WriteUBits(0, 0xFFFFFFFF);
         w.WriteSBits(0, -1);
     },
     "", 0},
    {"AlignCompletesTheByte",
     [](BitWriter& w) {
         w.WriteUBits(1, 1);
         w.Align();
         w.WriteUBits(1, 1);
     },
     "80 80", 9},
    {"AlignOnABoundaryAddsNothing",
     [](BitWriter& w) {
         w.WriteUBits(8, 0x12);
         w.Align();
         w.WriteUBits(8, 0x34);
     },
     "12 34", 16},
    {"ByteWritesAlignFirstAndAreLittleEndian",
     [](BitWriter& w) {
         w.WriteUBits(3, 7);
         w.WriteU16(0x1234);
         w.WriteU32(0x89ABCDEF);
         w.WriteU8(0x5A);
     },
     "E0 34 12 EF CD AB 89 5A", 64},
    {"BitsAfterBytesStartANewByte",
     [](BitWriter& w) {
         w.WriteU8(0xFF);
         w.WriteSBits(2, 1);
     },
     "FF 40", 10},
};

INSTANTIATE_TEST_SUITE_P(Primitives, BitWriterCase, ::testing::ValuesIn(kBitCases),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(BitWriterTest, TakeBytesLeavesTheWriterEmpty) {
    BitWriter w;
    w.WriteUBits(4, 0xF);
    EXPECT_EQ(w.TakeBytes(), Hex("F0"));
    EXPECT_TRUE(w.Bytes().empty());
    w.WriteUBits(4, 0x1);  // starts a fresh byte, not the free half of the old one
    EXPECT_EQ(w.Bytes(), Hex("10"));
}

TEST(LittleEndianTest, PutAndAppend) {
    uint8_t b[4] = {};
    PutU32LE(b, 0x12345678);
    EXPECT_EQ(std::vector<uint8_t>(b, b + 4), Hex("78 56 34 12"));
    PutU16LE(b, 0xBEEF);
    EXPECT_EQ(std::vector<uint8_t>(b, b + 2), Hex("EF BE"));
    std::vector<uint8_t> v;
    AppendU16LE(v, 0x0C00);
    AppendU32LE(v, 28);
    EXPECT_EQ(v, Hex("00 0C 1C 00 00 00"));
}

TEST(WidthTest, SignedWidthFromLargestMagnitude) {
    const struct {
        uint32_t magnitude;
        unsigned bits;
    } cases[] = {{0, 1},
                 {1, 2},
                 {20, 6},
                 {200, 9},
                 {980, 11},
                 {1980, 12},
                 {2000, 12},
                 {2048, 13},
                 {4000, 13},
                 {4096, 14},
                 {65535, 17},
                 {65536, 18},
                 {(1u << 30) - 1, 31},
                 {1u << 30, 32},
                 {1u << 31, 33}};
    for (const auto& c : cases) EXPECT_EQ(CountSignedBits(c.magnitude), c.bits) << c.magnitude;
}

TEST(WidthTest, SignedWidthOfAGroupCountsNegativesByMagnitude) {
    EXPECT_EQ(CountSignedBits({0, 0, 0, 0}), 1u);
    EXPECT_EQ(CountSignedBits({-2000, 200, 0, 200}), 12u);
    EXPECT_EQ(CountSignedBits({-1, 0}), 2u);  // -1 needs two bits: 11
    EXPECT_EQ(CountSignedBits({-256, 255}), 10u);
    EXPECT_EQ(CountSignedBits({std::numeric_limits<int32_t>::min()}), 33u);
    EXPECT_EQ(Magnitude(std::numeric_limits<int32_t>::min()), 1u << 31);
}

TEST(WidthTest, UnsignedWidthIsTheStyleIndexWidth) {
    const std::pair<uint32_t, unsigned> cases[] = {{0, 0},   {1, 1},      {2, 2},     {3, 2},
                                                   {4, 3},   {7, 3},      {8, 4},     {254, 8},
                                                   {255, 8}, {32767, 15}, {32768, 16}};
    for (const auto& [count, bits] : cases) EXPECT_EQ(CountUnsignedBits(count), bits) << count;
}

TEST(WidthTest, FixedWidthFromTheIntegerPart) {
    const std::pair<uint32_t, unsigned> cases[] = {{0, 17},  {1, 18},     {2, 19},
                                                   {20, 22}, {16383, 31}, {16384, 32}};
    for (const auto& [t, bits] : cases) EXPECT_EQ(CountFixedBits(t), bits) << t;
}

TEST(WidthTest, ColorTermWidthFromTermMagnitudeShiftedBy8) {
    const std::pair<uint32_t, unsigned> cases[] = {{0, 10},    {255, 10},  {256, 10},  {511, 10},
                                                   {512, 11},  {767, 11},  {768, 12},  {1279, 12},
                                                   {1280, 13}, {2303, 13}, {2304, 14}, {4351, 14},
                                                   {4352, 15}, {8447, 15}, {8448, 16}};
    for (const auto& [t, bits] : cases) EXPECT_EQ(CountColorTermBits(t), bits) << t;
}

TEST(ConversionTest, TwipsTruncateTowardZeroInDoublePrecision) {
    const std::pair<float, int32_t> cases[] = {{12.34f, 246},     {0.04f, 0},     {-0.06f, -1},
                                               {0.35f, 6},        {100.0f, 2000}, {-100.0f, -2000},
                                               {1638.35f, 32766}, {-0.04f, 0}};
    for (const auto& [px, twips] : cases) EXPECT_EQ(PixelsToTwips(px), twips) << px;
}

TEST(ConversionTest, TwipsSaturateInsteadOfOverflowing) {
    EXPECT_EQ(PixelsToTwips(1e30f), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(PixelsToTwips(-1e30f), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(PixelsToTwips(std::numeric_limits<float>::infinity()),
              std::numeric_limits<int32_t>::max());
    EXPECT_EQ(PixelsToTwips(std::nanf("")), 0);
}

TEST(ConversionTest, FixedPointTruncates) {
    EXPECT_EQ(ToFixed16(1.0f), 65536);
    EXPECT_EQ(ToFixed16(-0.5f), -32768);
    EXPECT_EQ(ToFixed16(20.0f), 1310720);
    EXPECT_EQ(ToFixed16(-1.0f / 65536.0f * 1.5f), -1);
    EXPECT_EQ(ToFixed8(1.0f), 256);
    EXPECT_EQ(ToFixed8(0.999f), 255);
    EXPECT_EQ(ToFixed8(-0.999f), -255);
}

// The short form holds lengths to 62; 63 and above, or a forced long form, take six bytes.
TEST(TagHeaderTest, ShortOrLongFromCodeAndLength) {
    const struct {
        SwfTagCode code;
        uint32_t length;
        SwfTagForm form;
        const char* bytes;
    } cases[] = {
        {SwfTagCode::End, 0, SwfTagForm::Fit, "00 00"},
        {SwfTagCode::ShowFrame, 0, SwfTagForm::Fit, "40 00"},
        {SwfTagCode::SetBackgroundColor, 3, SwfTagForm::Fit, "43 02"},
        {SwfTagCode::PlaceObject2, 62, SwfTagForm::Fit, "BE 06"},
        {SwfTagCode::PlaceObject2, 63, SwfTagForm::Fit, "BF 06 3F 00 00 00"},
        {SwfTagCode::PlaceObject2, 6, SwfTagForm::Long, "BF 06 06 00 00 00"},
        {SwfTagCode::DefineShape3, 0x12345678, SwfTagForm::Fit, "3F 08 78 56 34 12"},
    };
    for (const auto& c : cases) {
        BitWriter w;
        WriteTagHeader(w, c.code, c.length, c.form);
        EXPECT_EQ(w.Bytes(), swftest::Hex(c.bytes)) << c.bytes;
    }
    EXPECT_EQ(MakeTag(SwfTagCode::SetBackgroundColor, {1, 2, 3}), swftest::Hex("43 02 01 02 03"));
}

}  // namespace
