#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <string>

#include "SwfTestUtil.h"
#include "swf/CSWFObject.h"

using swftest::Encode;
using swftest::Hex;

namespace {

struct RectCase {
    float xmin, ymin, xmax, ymax;
    const char* bytes;
};

void PrintTo(const RectCase& c, std::ostream* os) {
    *os << c.xmin << ", " << c.ymin << ", " << c.xmax << ", " << c.ymax;
}

class RectangleCase : public ::testing::TestWithParam<RectCase> {};

TEST_P(RectangleCase, Encodes) {
    const RectCase& c = GetParam();
    CSWFRectangle r;
    r.SetRect(c.xmin, c.ymin, c.xmax, c.ymax);
    EXPECT_EQ(Encode(r), Hex(c.bytes));
    EXPECT_TRUE(r.IsValid());
}

INSTANTIATE_TEST_SUITE_P(WorkedExamples, RectangleCase,
                         ::testing::Values(RectCase{0, 0, 100, 50, "60 00 3E 80 00 1F 40"},
                                           RectCase{0, 0, 200, 200, "68 00 1F 40 00 07 D0 00"},
                                           RectCase{0, 0, 320, 240, "70 00 0C 80 00 00 96 00"},
                                           RectCase{0, 0, 0, 0, "08 00"},
                                           RectCase{0, 0, 2, 2, "38 05 00 14 00"}));

INSTANTIATE_TEST_SUITE_P(EdgeCases, RectangleCase,
                         ::testing::Values(
                             // 256 twips is an exact power of two: width 10, not 9.
                             RectCase{0, 0, 12.8f, 10, "50 00 80 00 06 40"},
                             // The negative coordinate decides the width (M = 2000, width 12).
                             RectCase{-100, 0, 10, 10, "64 18 06 40 00 06 40"},
                             // Truncation: 0.04 px is 0 twips, 0.35 px is 6, -0.06 px is -1.
                             RectCase{0, 0, 0.04f, 0, "08 00"},
                             RectCase{0, 0, 0.35f, 0, "20 30 00"},
                             RectCase{-0.06f, 0, 0, 0, "16 00"}));

// Beyond 32767 twips the field widens instead of wrapping.
INSTANTIATE_TEST_SUITE_P(
    WideFields, RectangleCase,
    ::testing::Values(RectCase{0, 0, 1638.4f, 0, "88 00 01 00 00 00 00 00 00 00"},
                      RectCase{0, 0, 2000, 1000, "88 00 01 38 80 00 00 27 10 00"},
                      RectCase{0, 0, 8191, 8191, "98 00 00 4F FD 80 00 01 3F F6 00"},
                      RectCase{0, 0, 50000000, 0,
                               "F8 00 00 00 07 73 59 40 00 00 00 00 00 00 00 00 00"}));

TEST(RectangleTest, NeverSetIsAllZeros) {
    CSWFRectangle r;
    EXPECT_EQ(Encode(r), Hex("08 00"));
}

TEST(RectangleTest, EncodingTwiceGivesEqualBytes) {
    CSWFRectangle r;
    r.SetRect(0, 0, 320, 240);
    const auto first = Encode(r);
    EXPECT_EQ(Encode(r), first);
    EXPECT_EQ(r.GetSize(), 8);
}

TEST(RectangleTest, ValuesBeyondThirtyOneBitsSaturateAndAreFlagged) {
    const float bad[] = {1e12f, -1e12f, 60000000.0f, std::nanf(""),
                         std::numeric_limits<float>::infinity()};
    for (float v : bad) {
        CSWFRectangle r;
        r.SetRect(0, 0, v, 0);
        EXPECT_FALSE(r.IsValid()) << v;
        const auto bytes = Encode(r);
        ASSERT_FALSE(bytes.empty());
        EXPECT_LE(bytes[0] >> 3, 31) << v;  // never a wrapped width
    }
    CSWFRectangle r;
    r.SetRect(0, 0, 1e12f, 0);
    EXPECT_EQ(Encode(r), Hex("F8 00 00 00 07 FF FF FF E0 00 00 00 00 00 00 00 00"));
    r.SetRect(0, 0, 100, 50);  // a later SetRect with good values is valid again
    EXPECT_TRUE(r.IsValid());
}

struct MatrixCase {
    const char* name;
    bool set;
    float v[6];
    const char* bytes;
};

void PrintTo(const MatrixCase& c, std::ostream* os) { *os << c.name; }

class MatrixEncoding : public ::testing::TestWithParam<MatrixCase> {};

TEST_P(MatrixEncoding, Encodes) {
    const MatrixCase& c = GetParam();
    CSWFMatrix m;
    if (c.set) m.SetMatrix(c.v[0], c.v[1], c.v[2], c.v[3], c.v[4], c.v[5]);
    EXPECT_EQ(Encode(m), Hex(c.bytes));
    EXPECT_TRUE(m.IsValid());
}

const MatrixCase kMatrixCases[] = {
    {"Identity", false, {}, "00"},
    {"SixZeros", true, {0, 0, 0, 0, 0, 0}, "00"},
    {"BitmapFillScale20", true, {20, 20, 0, 0, 0, 0}, "D9 40 00 05 00 00 00"},
    {"ScaleOneIsWidth18", true, {1, 1, 0, 0, 0, 0}, "C9 00 00 40 00 00"},
    {"NegativeScale", true, {-1, 1, 0, 0, 0, 0}, "CB 00 00 40 00 00"},
    {"TranslateOnly", true, {0, 0, 0, 0, 10, 5}, "12 C8 32 00"},
    {"ScaleHalfIsWidth17", true, {0.5f, 0.5f, 0, 0, 0, 0}, "C5 00 00 80 00 00"},
    {"ScaleOneAndAHalfIsWidth18", true, {1.5f, -1.5f, 0, 0, 0, 0}, "C9 80 00 A0 00 00"},
    {"RotateOnly", true, {0, 0, 0.5f, -0.5f, 0, 0}, "62 80 00 C0 00 00"},
    {"AllThreeParts", true, {2, 3, 0.25f, -0.25f, -1, 1}, "CD 00 00 30 00 0C 48 00 1C 00 03 58 A0"},
    {"TranslationTruncates", true, {0, 0, 0, 0, -0.05f, 0}, "05 80"},
    {"LargestScale", true, {16383.5f, 1, 0, 0, 0, 0}, "FD FF FC 00 00 00 10 00 00 00"},
};

INSTANTIATE_TEST_SUITE_P(Records, MatrixEncoding, ::testing::ValuesIn(kMatrixCases),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(MatrixTest, SetMatrixReplacesThePreviousValues) {
    CSWFMatrix m;
    m.SetMatrix(20, 20, 0, 0, 0, 0);
    m.SetMatrix(0, 0, 0, 0, 10, 5);
    EXPECT_EQ(Encode(m), Hex("12 C8 32 00"));
}

TEST(MatrixTest, FactorsBeyondTheFieldSaturateAndAreFlagged) {
    CSWFMatrix scale;
    scale.SetMatrix(16384, 1, 0, 0, 0, 0);
    EXPECT_FALSE(scale.IsValid());
    const auto bytes = Encode(scale);
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(bytes[0] >> 2, 0x20 | 31);  // HasScale, NScaleBits 31: the widest field

    CSWFMatrix translate;
    translate.SetMatrix(0, 0, 0, 0, 1e10f, 0);
    EXPECT_FALSE(translate.IsValid());
    CSWFMatrix nan;
    nan.SetMatrix(std::nanf(""), 1, 0, 0, 0, 0);
    EXPECT_FALSE(nan.IsValid());
}

struct ColorCase {
    const char* name;
    bool fromTerms;
    float terms[8];
    const char* bytes;
};

void PrintTo(const ColorCase& c, std::ostream* os) { *os << c.name; }

class ColorTransformEncoding : public ::testing::TestWithParam<ColorCase> {};

TEST_P(ColorTransformEncoding, Encodes) {
    const ColorCase& c = GetParam();
    CSWFColorTransform t = c.fromTerms ? CSWFColorTransform(c.terms) : CSWFColorTransform();
    EXPECT_TRUE(t.IsValid());
    EXPECT_EQ(Encode(t), Hex(c.bytes));
}

const ColorCase kColorCases[] = {
    {"FromNothing", false, {}, "E8 00 00 00 00 00 00 00 00 00 00"},
    {"AllZero", true, {0, 0, 0, 0, 0, 0, 0, 0}, "E8 00 00 00 00 00 00 00 00 00 00"},
    {"IdentityFactors", true, {1, 1, 1, 1, 0, 0, 0, 0}, "E9 00 40 10 04 00 00 00 00 00 00"},
    {"MixedTerms", true, {1, 0.5f, 0.25f, 1, -255, 255, 0, 10}, "E9 00 20 04 04 03 01 3F C0 00 28"},
    {"Width11", true, {0, 0, 0, 0, 512, 0, 0, 0}, "EC 00 00 00 00 00 10 00 00 00 00 00"},
    {"Width15FromAddTerm",
     true,
     {0, 0, 0, 0, 0, 0, 0, -8447},
     "FC 00 00 00 00 00 00 00 00 00 00 00 00 01 7C 04"},
    {"Width15FromFactor",
     true,
     {32.99f, 1, 1, 1, 0, 0, 0, 0},
     "FD 07 E8 10 00 20 00 40 00 00 00 00 00 00 00 00"},
    // A negative factor fits the signed field like any other term.
    {"NegativeFactor", true, {-1, 1, 1, 1, 0, 0, 0, 0}, "EB 00 40 10 04 00 00 00 00 00 00"},
};

INSTANTIATE_TEST_SUITE_P(Records, ColorTransformEncoding, ::testing::ValuesIn(kColorCases),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(ColorTransformTest, NullTermsAreAllZero) {
    CSWFColorTransform t(nullptr);
    EXPECT_EQ(Encode(t), Hex("E8 00 00 00 00 00 00 00 00 00 00"));
}

TEST(ColorTransformTest, TermsBeyondTheWidestFieldAreRefused) {
    const float bad[][8] = {
        {33, 1, 1, 1, 0, 0, 0, 0},    {1, 1, 1, -33, 0, 0, 0, 0},
        {1, 1, 1, 1, 8448, 0, 0, 0},  {1, 1, 1, 1, 0, 0, 0, -8448},
        {1e20f, 1, 1, 1, 0, 0, 0, 0}, {1, 1, 1, 1, 0, std::nanf(""), 0, 0},
    };
    for (const auto& terms : bad) {
        CSWFColorTransform t(terms);
        EXPECT_FALSE(t.IsValid());
        EXPECT_EQ(t.GetData(), nullptr);
        EXPECT_EQ(t.GetSize(), 0);
    }
}

TEST(ColorTransformTest, EncodingTwiceGivesEqualBytes) {
    const float terms[8] = {1, 1, 1, 1, 0, 0, 0, 0};
    CSWFColorTransform t(terms);
    const auto first = Encode(t);
    EXPECT_EQ(Encode(t), first);
}

}  // namespace
