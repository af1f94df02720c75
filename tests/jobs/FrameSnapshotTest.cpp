#include <gtest/gtest.h>

#include <thread>

#include "jobs/FrameSnapshot.h"
#include "support/GifBuilder.h"

namespace {

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
           uint32_t(b[at + 3]) << 24;
}
uint16_t Le16(const std::vector<uint8_t>& b, size_t at) { return uint16_t(b[at] | b[at + 1] << 8); }

// A FreeImage pixel by GIF coordinates (FreeImage counts rows from the bottom).
GifRgb ImageAt(FIBITMAP* image, int x, int y) {
    RGBQUAD q{};
    EXPECT_TRUE(FreeImage_GetPixelColor(image, unsigned(x),
                                        FreeImage_GetHeight(image) - 1 - unsigned(y), &q));
    return {q.rgbRed, q.rgbGreen, q.rgbBlue};
}


// A 3 x 2 frame: top row red, green, blue; bottom row transparent, so white shows through.
GifBuilder ThreeByTwo() {
    GifImage image;
    image.width = 3;
    image.height = 2;
    image.pixels = {0, 1, 2, 3, 3, 3};
    image.control = true;
    image.delay = 4;
    image.transparent = 3;
    return std::move(GifBuilder(3, 2).GlobalColors({kRed, kGreen, kBlue, {9, 9, 9}}).Image(image));
}

class FrameSnapshotTest : public ::testing::Test {
protected:
    void OpenThreeByTwo() {
        const std::string path = (dir / "frame.gif").string();
        ASSERT_TRUE(ThreeByTwo().Write(path));
        settings.m_strGifPath = path;
        ASSERT_EQ(OpenSettingsGif(settings, gif), 0);
        ASSERT_EQ(gif.NextFrame(), 40);
    }
    void ExpectThreeByTwo(FIBITMAP* image) {
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(FreeImage_GetWidth(image), 3u);
        EXPECT_EQ(FreeImage_GetHeight(image), 2u);
        EXPECT_EQ(FreeImage_GetBPP(image), 24u);
        EXPECT_EQ(ImageAt(image, 0, 0), kRed);  // row 0 is the top row
        EXPECT_EQ(ImageAt(image, 1, 0), kGreen);
        EXPECT_EQ(ImageAt(image, 2, 0), kBlue);
        for (int x = 0; x < 3; ++x) EXPECT_EQ(ImageAt(image, x, 1), kWhite);
    }

    ScratchDir dir;
    ConversionSettings settings;
    CGifAnimation gif;
};

TEST(FrameBmp, HeadersDescribeATopDown24BitSurface) {
    const struct {
        int width, height;
        uint32_t size;
    } cases[] = {
        {3, 2, 54 + 2 * 12}, {1, 1, 54 + 4}, {4, 1, 54 + 12}, {5, 3, 54 + 3 * 16}, {0, 0, 54}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        std::vector<uint8_t> bmp(7, 0xAA);
        const DrawingSurface surface = PrepareFrameBmp(bmp, c.width, c.height);
        ASSERT_EQ(bmp.size(), c.size);
        EXPECT_EQ(bmp[0], 'B');
        EXPECT_EQ(bmp[1], 'M');
        EXPECT_EQ(Le32(bmp, 2), c.size);  // bfSize
        EXPECT_EQ(Le32(bmp, 6), 0u);      // both reserved words
        EXPECT_EQ(Le32(bmp, 10), 54u);    // bfOffBits
        EXPECT_EQ(Le32(bmp, 14), 40u);    // biSize
        EXPECT_EQ(Le32(bmp, 18), uint32_t(c.width));
        EXPECT_EQ(int32_t(Le32(bmp, 22)), -c.height);
        EXPECT_EQ(Le16(bmp, 26), 1);   // biPlanes
        EXPECT_EQ(Le16(bmp, 28), 24);  // biBitCount
        for (size_t at = 30; at < 54; at += 4) EXPECT_EQ(Le32(bmp, at), 0u) << "offset " << at;
        EXPECT_EQ(surface.pBits, bmp.data() + 54);
        EXPECT_EQ(surface.nWidth, c.width);
        EXPECT_EQ(surface.nHeight, c.height);
        EXPECT_EQ(surface.nStride, CGifAnimation::StrideFor(c.width));
        EXPECT_EQ(surface.nBitsPerPixel, 24);
    }
}

TEST_F(FrameSnapshotTest, ComposedFrameLandsInTheBmpTopRowFirst) {
    OpenThreeByTwo();
    std::vector<uint8_t> bmp;
    EXPECT_EQ(ComposeFrameBmp(gif, bmp), 2);
    ASSERT_EQ(bmp.size(), 78u);
    const std::vector<uint8_t> pixels(bmp.begin() + 54, bmp.end());
    const std::vector<uint8_t> expected = {
        0,   0,   255, 0,   255, 0,   255, 0,   0,   0, 0, 0,  // red, green, blue (BGR), pad
        255, 255, 255, 255, 255, 255, 255, 255, 255, 0, 0, 0,  // white shows through
    };
    EXPECT_EQ(pixels, expected);
}

TEST_F(FrameSnapshotTest, FreeImageReadsTheTopDownBmpTheRightWayUp) {
    OpenThreeByTwo();
    std::vector<uint8_t> bmp;
    ComposeFrameBmp(gif, bmp);
    const FreeImageBitmap image = LoadFrameImage(bmp);
    ExpectThreeByTwo(image.get());
}

TEST_F(FrameSnapshotTest, BmpBuiltOnOneThreadLoadsOnAnother) {
    OpenThreeByTwo();
    std::vector<uint8_t> bmp;
    ComposeFrameBmp(gif, bmp);
    FreeImageBitmap image;
    std::thread loader([&image, frame = std::move(bmp)] { image = LoadFrameImage(frame); });
    loader.join();
    ExpectThreeByTwo(image.get());
}

TEST_F(FrameSnapshotTest, SnapshotDrawsIntoTheSurfaceBufferItself) {
    OpenThreeByTwo();
    FrameSurface surface = CreateDrawingSurface(gif.Width(), gif.Height());
    ASSERT_EQ(surface.surface.pBits, surface.bmp.data() + kBmpHeaderSize);
    FrameSnapshot snapshot = SnapshotFrame(gif, surface);
    EXPECT_EQ(snapshot.bmp, surface.bmp.data());  // no copy of the frame
    EXPECT_EQ(snapshot.size, 78u);
    EXPECT_EQ(surface.bmp[54 + 2], 255);  // the red pixel, written by Draw in place
    ExpectThreeByTwo(snapshot.image.get());
    ReleaseFrameSnapshot(snapshot);
    EXPECT_EQ(snapshot.image, nullptr);
    ReleaseDrawingSurface(surface);
    EXPECT_TRUE(surface.bmp.empty());
    EXPECT_EQ(surface.surface.pBits, nullptr);
}

TEST_F(FrameSnapshotTest, OpenSettingsGifReturnsWhatLoadReturns) {
    const std::string name = (dir / "bildschirm ünïcødé 動画.gif").string();  // UTF-8
    ASSERT_TRUE(ThreeByTwo().Write(name));
    settings.m_strGifPath = name;
    EXPECT_EQ(OpenSettingsGif(settings, gif), 0);
    EXPECT_EQ(gif.Width(), 3);
    EXPECT_EQ(gif.Height(), 2);

    settings.m_strGifPath = (dir / "missing.gif").string();
    EXPECT_EQ(OpenSettingsGif(settings, gif), -1);
    EXPECT_EQ(gif.Width(), 0);

    std::vector<uint8_t> huge;
    RawHeader(huge, 9000, 9000, {kRed, kGreen});
    RawTrailer(huge);
    settings.m_strGifPath = (dir / "huge.gif").string();
    ASSERT_TRUE(WriteBytes(settings.m_strGifPath, huge));
    EXPECT_EQ(OpenSettingsGif(settings, gif), -3);
}

TEST_F(FrameSnapshotTest, EmptySurfaceHasOnlyTheHeaders) {
    FrameSurface surface = CreateDrawingSurface(0, 0);
    EXPECT_EQ(surface.bmp.size(), kBmpHeaderSize);
    EXPECT_EQ(surface.surface.nWidth, 0);
    FrameSnapshot snapshot = SnapshotFrame(gif, surface);  // nothing open: nothing drawn
    EXPECT_EQ(snapshot.size, kBmpHeaderSize);
    ReleaseFrameSnapshot(snapshot);
    EXPECT_EQ(CreateDrawingSurface(-4, 2).bmp.size(), kBmpHeaderSize);
}

}  // namespace
