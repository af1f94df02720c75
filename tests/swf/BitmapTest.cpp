#include <gtest/gtest.h>

#include <limits>
#include <numeric>

#include "SwfTestUtil.h"
#include "swf/CSWFBitmap.h"

using swftest::Encode;
using swftest::Hex;

namespace {

TEST(BitmapTest, HundredByteJpeg) {
    std::vector<uint8_t> jpeg(100);
    std::iota(jpeg.begin(), jpeg.end(), uint8_t{1});
    CSWFBitmap b(0x1234, jpeg.data(), 100);
    const auto tag = Encode(b);
    ASSERT_EQ(tag.size(), 114u);
    EXPECT_EQ(std::vector<uint8_t>(tag.begin(), tag.begin() + 12),
              Hex("7F 05 6C 00 00 00 34 12 FF D9 FF D8"));
    EXPECT_EQ(std::vector<uint8_t>(tag.begin() + 12, tag.begin() + 112), jpeg);
    EXPECT_EQ(std::vector<uint8_t>(tag.end() - 2, tag.end()), Hex("FF D9"));
}

TEST(BitmapTest, EmptyJpegGivesTheFourteenByteTag) {
    const uint8_t none = 0;
    CSWFBitmap b(3, &none, 0);
    EXPECT_EQ(Encode(b), Hex("7F 05 08 00 00 00 03 00 FF D9 FF D8 FF D9"));
}

TEST(BitmapTest, CompleteJpegStreamIsCopiedWhole) {
    const auto jpeg = Hex("FF D8 01 02 FF D9");
    CSWFBitmap b(3, jpeg.data(), static_cast<int32_t>(jpeg.size()));
    EXPECT_EQ(Encode(b), Hex("7F 05 0E 00 00 00 03 00 FF D9 FF D8 FF D8 01 02 FF D9 FF D9"));
    EXPECT_EQ(b.GetKind(), SWF_KIND_BITMAP);
    EXPECT_EQ(b.GetId(), 3);
}

// DefineBitsJPEG3: id, the JPEG's length, the JPEG as it is (no marker pair), then the alpha.
TEST(BitmapTest, JpegWithAlphaIsDefineBitsJpeg3) {
    const auto jpeg = Hex("FF D8 01 02 FF D9");
    const auto alpha = Hex("78 9C 01 02");
    CSWFBitmap b(3, jpeg.data(), static_cast<int32_t>(jpeg.size()), alpha.data(), alpha.size());
    EXPECT_EQ(Encode(b), Hex("FF 08 10 00 00 00 03 00 06 00 00 00 FF D8 01 02 FF D9 78 9C 01 02"));
    CSWFBitmap noAlpha(3, jpeg.data(), static_cast<int32_t>(jpeg.size()), nullptr, 4);
    EXPECT_EQ(noAlpha.GetSize(), 0);
}

TEST(BitmapTest, NoDataGivesNoTag) {
    const uint8_t byte = 0;
    CSWFBitmap null(3, nullptr, 10);
    CSWFBitmap negative(3, &byte, -1);
    CSWFBitmap tooLong(3, &byte, std::numeric_limits<int32_t>::max());
    for (CSWFBitmap* b : {&null, &negative, &tooLong}) {
        EXPECT_EQ(b->GetData(), nullptr);
        EXPECT_EQ(b->GetSize(), 0);
    }
}

}  // namespace
