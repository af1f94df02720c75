// Transparent GIFs kept transparent: the bitmaps' alpha, the extracted frames' alpha, and
// changed-area movies that show the stage exactly where no image covers the frame.

#include <FreeImage.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>

#include "support/Inflate.h"
#include "jobs/convert/BitmapEncoder.h"
#include "support/TestJob.h"
#include "jobs/ConvertJob.h"
#include "jobs/ExtractJob.h"
#include "jobs/FreeImageLibrary.h"
#include "support/GifBuilder.h"
#include "support/SwfReader.h"
#include "swf/SwfTestUtil.h"

namespace fs = std::filesystem;
using namespace swftest;

namespace {

std::vector<uint8_t> Tag(const BitmapEncoder& encoder, const EncodedFrame& frame) {
    return Encode(*encoder.MakeBitmap(3, frame));
}

uint16_t TagCode(const std::vector<uint8_t>& tag) {
    return tag.size() < 2 ? 0xFFFF : static_cast<uint16_t>((tag[0] | tag[1] << 8) >> 6);
}

// A 2 x 2 frame: red, green over blue, white; the green pixel is transparent.
TEST(TransparentBitmapTest, TwoByTwoFrameWithOneClearPixelGivesAlphaTags) {
    uint8_t bgr[2][6] = {{0, 0, 255, 0, 255, 0}, {255, 0, 0, 255, 255, 255}};  // top first
    const uint8_t clear[4] = {0, 1, 0, 0};
    const BgrPixels image{bgr[0], 6, 2, 2, clear}, opaque{bgr[0], 6, 2, 2, nullptr};

    // DefineBitsLossless2, format 3: an RGBA table in order of appearance, the clear colour all
    // zeros (premultiplied), then two rows of indices padded to four bytes.
    const LosslessBitmapEncoder lossless;
    const EncodedFrame exact = lossless.Encode(image);
    ASSERT_TRUE(exact.ok) << exact.error;
    EXPECT_EQ(Inflate(exact.data.data(), exact.data.size()),
              Hex("FF 00 00 FF 00 00 00 00 00 00 FF FF FF FF FF FF 00 01 00 00 02 03 00 00"));
    EXPECT_EQ(Tag(lossless, exact),
              Hex("3F 09 21 00 00 00 03 00 03 02 00 02 00 03 78 01 FB CF C0 F0 9F 01 0C FE 83 01 "
                  "03 23 03 03 13 33 03 03 00 71 BE 07 FF"));

    // DefineBitsJPEG3: the id, the JPEG's length, the JPEG of the picture with the clear pixel
    // black, then the alpha plane.
    const JpegBitmapEncoder jpeg(Quality::Normal);
    const EncodedFrame lossy = jpeg.Encode(image);
    ASSERT_TRUE(lossy.ok) << lossy.error;
    bgr[0][4] = 0;  // the green pixel, premultiplied
    const EncodedFrame premultiplied = jpeg.Encode(opaque);
    EXPECT_EQ(lossy.data, premultiplied.data);
    EXPECT_EQ(lossy.alpha, Hex("78 9C 01 04 00 FB FF FF 00 FF FF 06 FD 02 FE"));
    EXPECT_EQ(Inflate(lossy.alpha.data(), lossy.alpha.size()), Hex("FF 00 FF FF"));
    const auto size = static_cast<uint32_t>(lossy.data.size());
    const uint32_t body = 6 + size + static_cast<uint32_t>(lossy.alpha.size());
    std::vector<uint8_t> expected = {0xFF, 0x08, uint8_t(body), uint8_t(body >> 8), 0, 0,
                                     3,    0,    uint8_t(size), uint8_t(size >> 8), 0, 0};
    expected.insert(expected.end(), lossy.data.begin(), lossy.data.end());
    expected.insert(expected.end(), lossy.alpha.begin(), lossy.alpha.end());
    EXPECT_EQ(Tag(jpeg, lossy), expected);

    // Nothing transparent: the tags without alpha.
    const uint8_t none[4] = {};
    const BgrPixels noneClear{bgr[0], 6, 2, 2, none};
    EXPECT_EQ(TagCode(Tag(jpeg, jpeg.Encode(noneClear))), kTagDefineBitsJPEG2);
    EXPECT_EQ(TagCode(Tag(lossless, lossless.Encode(noneClear))), kTagDefineBitsLossless);
}

constexpr RgbColor kStage = 0x123456;

// 12 x 8 pixels, index 3 transparent: a frame clear on its right half, a square there restored
// to the background, one covering less than the square before it, a whole-stage image restored
// to the one before, and the left half restored to the background.
fs::path WriteTransparentGif(const fs::path& path) {
    GifBuilder gif(12, 8);
    gif.GlobalColors({kRed, kGreen, kBlue, kYellow});
    GifImage first;
    first.width = 12, first.height = 8, first.control = true, first.delay = 10;
    first.transparent = 3, first.disposal = 1;
    for (int i = 0; i < 96; ++i) first.pixels.push_back(i % 12 < 6 ? 0 : 3);
    gif.Image(first);
    gif.Solid(7, 2, 3, 3, 1, 10, 2, 3);
    gif.Solid(8, 4, 2, 2, 2, 10, 1, 3);
    gif.Solid(0, 0, 12, 8, 1, 10, 3);
    gif.Solid(0, 0, 1, 1, 2, 10, 1);
    gif.Solid(0, 0, 6, 8, 0, 10, 2, 3);
    gif.Solid(11, 7, 1, 1, 2, 10);
    EXPECT_TRUE(gif.Write(path)) << gif.Error();
    return path;
}

class TransparentJobTest : public ::testing::Test {
protected:
    TestJob Settings(ExtractFormat format = ExtractFormat::Png) {
        TestJob settings;
        settings.gif = WriteTransparentGif(dir / "clear.gif").string();
        settings.output = dir.Path().string();
        settings.extract.format = format;
        settings.convert.background = settings.extract.background = kStage;
        settings.convert.transparent = settings.extract.transparent = true;
        return settings;
    }

    // The transparent frames as red, green, blue rows over `under`.
    void Expected(std::vector<std::vector<uint8_t>>& rgb, const std::vector<uint8_t>& under) {
        const JobResult result = ExtractFrames(Settings());
        ASSERT_TRUE(result.Succeeded()) << result.error;
        for (const std::string& path : result.outputs) {
            // FreeImage writes a frame without transparent pixels as a 24-bit PNG.
            const FreeImageBitmap loaded(FreeImage_Load(FIF_PNG, path.c_str(), 0));
            const FreeImageBitmap image(loaded ? FreeImage_ConvertTo32Bits(loaded.get()) : nullptr);
            ASSERT_TRUE(image) << path;
            rgb.emplace_back();
            for (int y = 7; y >= 0; --y) {
                const uint8_t* p = FreeImage_GetScanLine(image.get(), y);
                for (int x = 0; x < 12; ++x, p += 4) {
                    const std::vector<uint8_t> shown = {p[FI_RGBA_RED], p[FI_RGBA_GREEN],
                                                        p[FI_RGBA_BLUE]};
                    rgb.back().insert(rgb.back().end(),
                                      p[FI_RGBA_ALPHA] ? shown.begin() : under.begin(),
                                      p[FI_RGBA_ALPHA] ? shown.end() : under.end());
                }
            }
        }
    }

    ScratchDir dir;
};

TEST_F(TransparentJobTest, PngAndTgaFramesHaveAlphaAndBmpAndJpgStay24Bit) {
    const std::pair<ExtractFormat, unsigned> formats[] = {{ExtractFormat::Png, 32},
                                                          {ExtractFormat::Tga, 32},
                                                          {ExtractFormat::Bmp, 24},
                                                          {ExtractFormat::Jpg, 24}};
    for (const auto& [format, bits] : formats) {
        const JobResult result = ExtractFrames(Settings(format));
        ASSERT_TRUE(result.Succeeded()) << result.error;
        ASSERT_EQ(result.outputs.size(), 7u);
        const std::string& last = result.outputs.back();  // not all opaque
        const FreeImageBitmap image(
            FreeImage_Load(FreeImage_GetFileType(last.c_str()), last.c_str()));
        ASSERT_TRUE(image) << last;
        EXPECT_EQ(FreeImage_GetBPP(image.get()), bits) << last;
        if (bits != 32) continue;
        // The left half is restored to the background, the corner pixel blue.
        EXPECT_EQ(FreeImage_GetScanLine(image.get(), 7)[FI_RGBA_ALPHA], 0) << last;
        EXPECT_EQ(FreeImage_GetScanLine(image.get(), 0)[4 * 11 + FI_RGBA_ALPHA], 255) << last;
    }
}

// Lossless movies, whole frames and changed areas, show the stage exactly where nothing covers
// the frame, also where pixels become transparent again over older pictures.
TEST_F(TransparentJobTest, LosslessMoviesShowTheStageExactlyWhereNothingCovers) {
    // Played on another stage colour, so that only what is transparent shows it.
    const std::vector<uint8_t> under = Hex("AB CD EF");
    std::vector<std::vector<uint8_t>> expected;
    ASSERT_NO_FATAL_FAILURE(Expected(expected, under));
    ASSERT_EQ(expected.size(), 7u);
    for (const bool changedAreas : {false, true}) {
        SCOPED_TRACE(changedAreas);
        TestJob settings = Settings();
        settings.convert.bitmaps = BitmapKind::Lossless;
        settings.convert.changedAreas = changedAreas;
        ASSERT_TRUE(ConvertFile(settings).Succeeded());
        SwfFile swf = ReadSwfFile(dir / "clear.swf");
        ASSERT_TRUE(swf.ok) << swf.error;
        ASSERT_EQ(swf.tags.at(0).code, kTagSetBackgroundColor);
        EXPECT_EQ(swf.tags[0].body, Hex("12 34 56"));
        swf.tags[0].body = under;
        EXPECT_GT(swf.CountTags(kTagDefineBitsLossless2), 0);
        std::string error;
        const auto played = PlayLosslessMovie(swf, error);
        ASSERT_EQ(played.size(), expected.size()) << error;
        for (std::size_t i = 0; i < played.size(); ++i) EXPECT_EQ(played[i], expected[i]) << i;
        // Pictures that would show through clear pixels leave the stage.
        EXPECT_GT(swf.CountTags(kTagRemoveObject2), 0);
    }
}

}  // namespace
