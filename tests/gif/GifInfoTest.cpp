#include <gtest/gtest.h>

#include "gif/CGifAnimation.h"
#include "gif/GifInfo.h"
#include "support/GifBuilder.h"

namespace {

struct ScanCase {
    const char* name;
    std::vector<int> delays;  // one image each; negative: no graphic control extension
    int loop;                 // -1: no NETSCAPE2.0 extension
};

// The scan must agree with what the compositor really composes from the same bytes.
class GifInfoTest : public ::testing::TestWithParam<ScanCase> {};

TEST_P(GifInfoTest, AgreesWithTheCompositor) {
    const ScanCase& c = GetParam();
    GifBuilder gif(12, 5);
    gif.GlobalColors({{255, 0, 0}, {0, 0, 255}});
    if (c.loop >= 0) gif.Loop(c.loop);
    for (std::size_t i = 0; i < c.delays.size(); ++i)
        gif.Solid(0, 0, 12, 5, static_cast<uint8_t>(i % 2), c.delays[i]);
    const std::vector<uint8_t> bytes = gif.Build();
    ASSERT_FALSE(bytes.empty()) << gif.Error();

    CGifAnimation reader;
    ASSERT_EQ(reader.Load(bytes.data(), bytes.size()), 0);
    int frames = 0;
    while (reader.NextFrame() > 0) ++frames;
    // Browsers show every image, one of 10 ms or less (or without a delay) for 100 ms.
    int64_t shownMs = 0;
    for (const int delay : c.delays) shownMs += delay <= 1 ? 100 : delay * 10;

    ScratchDir dir;
    ASSERT_TRUE(WriteBytes(dir / "scan.gif", bytes));
    const GifInfo info = ScanGifFile((dir / "scan.gif").string());
    EXPECT_TRUE(info.opened);
    EXPECT_EQ(info.error, "");
    EXPECT_EQ(info.width, 12);
    EXPECT_EQ(info.height, 5);
    EXPECT_EQ(info.images, static_cast<int>(c.delays.size()));
    EXPECT_EQ(info.frames, frames);
    EXPECT_EQ(info.durationMs, shownMs);
    EXPECT_EQ(ScanGifFile((dir / "scan.gif").string(), kBrowserFrames).durationMs, shownMs);
    EXPECT_EQ(info.loopExtension, reader.LoopExtension());
}

INSTANTIATE_TEST_SUITE_P(
    Delays, GifInfoTest,
    ::testing::Values(ScanCase{"plain", {10, 20, 30}, 0}, ScanCase{"noControl", {-1, -1}, -1},
                      ScanCase{"zeroMerges", {0, 0, 7, 5}, 3},
                      ScanCase{"zeroAtTheEnd", {4, 0, 0}, 1}, ScanCase{"staticZero", {0}, -1}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(GifInfoFile, ReportsFilesThatAreNotGifsOrBreakOff) {
    ScratchDir dir;
    ASSERT_TRUE(WriteBytes(dir / "text.gif", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'}));
    GifInfo info = ScanGifFile((dir / "text.gif").string());
    EXPECT_FALSE(info.opened);
    EXPECT_TRUE(info.notGif);
    EXPECT_EQ(info.error, "Data is not in GIF format");

    info = ScanGifFile((dir / "missing.gif").string());
    EXPECT_FALSE(info.opened);
    EXPECT_FALSE(info.notGif);
    EXPECT_EQ(info.error, "No such file or directory");

    // Two whole images, then the file stops inside the third.
    std::vector<uint8_t> bytes;
    RawHeader(bytes, 4, 4, {{0, 0, 0}, {255, 255, 255}});
    for (int i = 0; i < 3; ++i) {
        RawControl(bytes, 5);
        RawImage(bytes, 0, 0, 4, 4, std::vector<uint8_t>(16, 1));
    }
    bytes.resize(bytes.size() - 6);
    ASSERT_TRUE(WriteBytes(dir / "cut.gif", bytes));
    info = ScanGifFile((dir / "cut.gif").string());
    EXPECT_TRUE(info.opened);
    EXPECT_EQ(info.frames, 2);
    EXPECT_EQ(info.durationMs, 100);
    EXPECT_FALSE(info.error.empty());
}

}  // namespace
