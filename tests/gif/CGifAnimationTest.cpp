#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "gif/CGifAnimation.h"
#include "support/GifBuilder.h"

namespace {

const std::vector<GifRgb> kPalette = {kRed, kGreen, kBlue, kYellow};  // indices 0 to 3

class GifAnimationTest : public ::testing::Test {
protected:
    std::string Save(const GifBuilder& builder, const std::string& name = "test.gif") {
        const std::string path = (dir / name).string();
        EXPECT_TRUE(builder.Write(path)) << builder.Error();
        return path;
    }
    std::string Save(const std::vector<uint8_t>& bytes, const std::string& name = "test.gif") {
        const std::string path = (dir / name).string();
        EXPECT_TRUE(WriteBytes(path, bytes));
        return path;
    }
    int Open(const GifBuilder& builder) { return gif.Load(Save(builder).c_str()); }
    int Open(const std::vector<uint8_t>& bytes) { return gif.Load(Save(bytes).c_str()); }

    // A pixel of the frame area (area 0) or of the base area (area 1).
    GifRgb At(int x, int y, int area = 0) const {
        const uint8_t* p = gif.FrameArea() + (area * gif.Height() + y) * gif.Stride() + 3 * x;
        return {p[2], p[1], p[0]};
    }
    std::vector<GifRgb> Row(int y) const {
        std::vector<GifRgb> row;
        for (int x = 0; x < gif.Width(); ++x) row.push_back(At(x, y));
        return row;
    }

    ScratchDir dir;
    CGifAnimation gif;
};

TEST(GifStride, RoundsThreeBytesAPixelUpToFour) {
    const int cases[][2] = {{0, 0}, {1, 4}, {2, 8}, {3, 12}, {4, 12}, {5, 16}, {8191, 24576}};
    for (const auto& c : cases) EXPECT_EQ(CGifAnimation::StrideFor(c[0]), c[1]) << c[0];
}

TEST_F(GifAnimationTest, EmptyObjectComposesAndDrawsNothing) {
    EXPECT_EQ(gif.Width(), 0);
    EXPECT_EQ(gif.Height(), 0);
    EXPECT_EQ(gif.FrameArea(), nullptr);
    EXPECT_EQ(gif.NextFrame(), -1);
    EXPECT_EQ(gif.GetError(), "no GIF file is open");
    uint8_t pixels[12] = {};
    DrawingSurface surface{2, 2, 8, 24, pixels};
    EXPECT_EQ(gif.Draw(surface), 0);
}

TEST_F(GifAnimationTest, LoadPaintsCanvasWhite) {
    ASSERT_EQ(Open(GifBuilder(5, 3).GlobalColors(kPalette, 2).Solid(0, 0, 5, 3, 0)), 0);
    EXPECT_EQ(gif.GetError(), "");
    EXPECT_EQ(gif.Width(), 5);
    EXPECT_EQ(gif.Height(), 3);
    ASSERT_EQ(gif.Stride(), 16);
    const uint8_t* canvas = gif.FrameArea();
    for (int row = 0; row < 7; ++row) {
        for (int byte = 0; byte < 16; ++byte) {
            // Frame and base area white, padding and the line buffer (row 6) zero.
            const int expected = (row < 6 && byte < 15) ? 255 : 0;
            ASSERT_EQ(canvas[row * 16 + byte], expected) << "row " << row << " byte " << byte;
        }
    }
    EXPECT_EQ(gif.BackgroundColor(), 0x0000FFu);  // blue, entry 2
    EXPECT_EQ(gif.TransparentColor(), 0xFFFFFFu);
    EXPECT_EQ(gif.FrameCount(), 0);
    EXPECT_EQ(gif.LoopCount(), 0);
}

TEST_F(GifAnimationTest, WithoutControlExtensionEveryFrameLasts100Ms) {
    ASSERT_EQ(
        Open(GifBuilder(2, 1).GlobalColors(kPalette).Solid(0, 0, 2, 1, 0).Solid(0, 0, 1, 1, 1)), 0);
    EXPECT_EQ(gif.NextFrame(), 100);
    EXPECT_EQ(Row(0), (std::vector<GifRgb>{kRed, kRed}));
    EXPECT_EQ(gif.NextFrame(), 100);
    EXPECT_EQ(Row(0), (std::vector<GifRgb>{kGreen, kRed}));
    EXPECT_EQ(gif.NextFrame(), 0);
    EXPECT_EQ(gif.NextFrame(), 0);  // stays at the end, without inventing an error
    EXPECT_EQ(gif.GetError(), "");
    EXPECT_EQ(gif.FrameCount(), 2);
}

TEST_F(GifAnimationTest, LocalColorTableServesItsImageOnly) {
    GifImage local;
    local.width = 2;
    local.height = 1;
    local.pixels = {0, 1};
    local.localColors = {kYellow, kBlue};
    local.control = true;
    local.delay = 1;
    ASSERT_EQ(Open(GifBuilder(2, 1).GlobalColors(kPalette).Image(local).Solid(0, 0, 1, 1, 1, 1)),
              0);
    ASSERT_EQ(gif.NextFrame(), 10);
    EXPECT_EQ(Row(0), (std::vector<GifRgb>{kYellow, kBlue}));
    ASSERT_EQ(gif.NextFrame(), 10);
    EXPECT_EQ(Row(0), (std::vector<GifRgb>{kGreen, kBlue}));  // index 1 global: green
}

TEST_F(GifAnimationTest, TransparentPixelsLeaveTheCanvasBelow) {
    GifImage first;  // index 3 transparent: white shows through on the first frame
    first.width = 3;
    first.height = 1;
    first.pixels = {0, 3, 1};
    first.control = true;
    first.delay = 2;
    first.transparent = 3;
    GifImage second = first;
    second.pixels = {3, 2, 3};
    ASSERT_EQ(Open(GifBuilder(3, 1).GlobalColors(kPalette).Image(first).Image(second)), 0);
    ASSERT_EQ(gif.NextFrame(), 20);
    EXPECT_EQ(Row(0), (std::vector<GifRgb>{kRed, kWhite, kGreen}));
    ASSERT_EQ(gif.NextFrame(), 20);
    EXPECT_EQ(Row(0), (std::vector<GifRgb>{kRed, kBlue, kGreen}));
}

// Screen 4 x 1, yellow background (index 3). Frame 1 paints it red, frame 2 paints pixels 1 and
// 2 green with the disposal under test, frame 3 paints pixel 3 blue: pixels 1 and 2 of frame 3
// show what the disposal left.
struct DisposalCase {
    const char* name;
    int disposal;
    int transparent;
    bool globalTable;
    GifRgb expected;
};

class GifDisposalTest : public GifAnimationTest,
                        public ::testing::WithParamInterface<DisposalCase> {};

TEST_P(GifDisposalTest, NextImageSeesWhatTheDisposalLeft) {
    const DisposalCase& c = GetParam();
    GifBuilder builder(4, 1);
    if (c.globalTable) {
        builder.GlobalColors(kPalette, 3);
    }
    auto image = [&](int left, int width, uint8_t fill, int disposal, int transparent) {
        GifImage i;
        i.left = left;
        i.width = width;
        i.height = 1;
        i.pixels.assign(size_t(width), fill);
        if (!c.globalTable) i.localColors = kPalette;
        i.control = true;
        i.delay = 1;
        i.disposal = disposal;
        i.transparent = transparent;
        builder.Image(i);
    };
    image(0, 4, 0, 1, -1);
    image(1, 2, 1, c.disposal, c.transparent);
    image(3, 1, 2, 0, -1);
    ASSERT_EQ(Open(builder), 0);
    ASSERT_EQ(gif.NextFrame(), 10);
    ASSERT_EQ(gif.NextFrame(), 10);
    EXPECT_EQ(Row(0), (std::vector<GifRgb>{kRed, kGreen, kGreen, kRed}));  // shown before disposal
    ASSERT_EQ(gif.NextFrame(), 10);
    EXPECT_EQ(Row(0), (std::vector<GifRgb>{kRed, c.expected, c.expected, kBlue}));
}

INSTANTIATE_TEST_SUITE_P(
    AllMethods, GifDisposalTest,
    ::testing::Values(DisposalCase{"None", 0, -1, true, kGreen},
                      DisposalCase{"Keep", 1, -1, true, kGreen},
                      DisposalCase{"BackgroundColor", 2, -1, true, kYellow},
                      DisposalCase{"BackgroundTransparentIsWhite", 2, 3, true, kWhite},
                      DisposalCase{"BackgroundWithoutGlobalTableIsWhite", 2, -1, false, kWhite},
                      DisposalCase{"Previous", 3, -1, true, kRed},
                      DisposalCase{"Undefined4Keeps", 4, -1, true, kGreen},
                      DisposalCase{"Undefined7Keeps", 7, -1, true, kGreen}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(GifAnimationTest, RestoreToPreviousOfTheFirstImageGivesWhite) {
    ASSERT_EQ(Open(GifBuilder(2, 1)
                       .GlobalColors(kPalette)
                       .Solid(0, 0, 2, 1, 0, 1, 3)
                       .Solid(1, 0, 1, 1, 1, 1)),
              0);
    ASSERT_EQ(gif.NextFrame(), 10);
    EXPECT_EQ(Row(0), (std::vector<GifRgb>{kRed, kRed}));
    ASSERT_EQ(gif.NextFrame(), 10);
    EXPECT_EQ(Row(0), (std::vector<GifRgb>{kWhite, kGreen}));
}

// On a stage of its own colour, with coverage kept: images on a 4 x 1 screen, each drawn from
// `left` with its own disposal and transparent index (and a local table when given); after each
// frame, which pixels an image covers ("1") and, after the last, the colours shown.
struct CoverageCase {
    const char* name;
    struct Img {
        int left;
        std::vector<uint8_t> pixels;
        int disposal;
        int transparent;
        std::vector<GifRgb> localColors;
    };
    std::vector<Img> images;
    std::vector<std::string> coverage;
    std::vector<GifRgb> last;
};

constexpr GifRgb kStage{10, 20, 30};

class GifCoverageTest : public GifAnimationTest,
                        public ::testing::WithParamInterface<CoverageCase> {};

TEST_P(GifCoverageTest, KeepsWhatImagesCoverAndStartsFromTheStageColour) {
    const CoverageCase& c = GetParam();
    GifBuilder builder(4, 1);
    builder.GlobalColors(kPalette, 3);
    for (const CoverageCase::Img& img : c.images) {
        GifImage i;
        i.left = img.left;
        i.width = static_cast<int>(img.pixels.size());
        i.height = 1;
        i.pixels = img.pixels;
        i.localColors = img.localColors;
        i.control = true;
        i.delay = 1;
        i.disposal = img.disposal;
        i.transparent = img.transparent;
        builder.Image(i);
    }
    gif.SetBackground(RgbColor(kStage.r) << 16 | RgbColor(kStage.g) << 8 | RgbColor(kStage.b));
    gif.KeepCoverage(true);
    ASSERT_EQ(Open(builder), 0);
    for (const std::string& expected : c.coverage) {
        ASSERT_EQ(gif.NextFrame(), 10);
        std::string covered;
        for (int x = 0; x < 4; ++x) covered += gif.Coverage()[x] ? '1' : '0';
        EXPECT_EQ(covered, expected);
    }
    EXPECT_EQ(Row(0), c.last);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, GifCoverageTest,
    ::testing::Values(
        CoverageCase{"TransparentIndexInTheFirstFrame",
                     {{0, {0, 3, 1, 3}, 1, 3, {}}},
                     {"1010"},
                     {kRed, kStage, kGreen, kStage}},
        // Restored with a transparent index: the stage colour, and uncovered again.
        CoverageCase{"RestoreToBackground",
                     {{0, {0, 0, 0, 0}, 1, -1, {}}, {1, {1, 1}, 2, 3, {}}, {3, {2}, 0, -1, {}}},
                     {"1111", "1111", "1001"},
                     {kRed, kStage, kStage, kBlue}},
        CoverageCase{
            "RestoreToPrevious",
            {{0, {3, 0, 3, 3}, 1, 3, {}}, {0, {1, 1, 1, 1}, 3, -1, {}}, {3, {2}, 0, -1, {}}},
            {"0100", "1111", "0101"},
            {kStage, kRed, kStage, kBlue}},
        // Index 3 is transparent in the first image only; the second, with a table of its own,
        // draws it and leaves index 0 out.
        CoverageCase{"LocalTableWithAnotherTransparentIndex",
                     {{0, {3, 0, 3, 1}, 1, 3, {}},
                      {0, {0, 0, 3, 3}, 1, 0, {kBlack, kBlack, kBlack, kWhite}}},
                     {"0101", "0111"},
                     {kStage, kRed, kWhite, kWhite}}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(GifRowOrder, InterlacedTenRowsComeInFourPasses) {
    EXPECT_EQ(GifRowOrder(10, true), (std::vector<int>{0, 8, 4, 2, 6, 1, 3, 5, 7, 9}));
    EXPECT_EQ(GifRowOrder(3, false), (std::vector<int>{0, 1, 2}));
}

TEST_F(GifAnimationTest, InterlacedRowsLandWhereTheyBelong) {
    std::vector<GifRgb> colors;
    for (int i = 0; i < 32; ++i) colors.push_back({uint8_t(i * 8), uint8_t(255 - i), 7});
    for (int height : {1, 2, 3, 5, 10, 17, 30}) {
        SCOPED_TRACE(height);
        GifImage image;
        image.width = 2;
        image.height = height;
        image.interlace = true;
        for (int r = 0; r < height; ++r) image.pixels.insert(image.pixels.end(), 2, uint8_t(r));
        ASSERT_EQ(Open(GifBuilder(2, height + 1).GlobalColors(colors).Image(image)), 0);
        ASSERT_EQ(gif.NextFrame(), 100);
        for (int r = 0; r < height; ++r) EXPECT_EQ(At(1, r), colors[size_t(r)]) << "row " << r;
        EXPECT_EQ(At(0, height), kWhite);  // the row below the image is untouched
    }
}

TEST_F(GifAnimationTest, DelayZeroImagesMergeIntoTheNextDelayedImage) {
    ASSERT_EQ(Open(GifBuilder(4, 1)
                       .GlobalColors(kPalette)
                       .Solid(0, 0, 1, 1, 0, 0)
                       .Solid(1, 0, 1, 1, 1, 0)
                       .Solid(2, 0, 1, 1, 2, 5)
                       .Solid(3, 0, 1, 1, 3)),
              0);
    EXPECT_EQ(gif.NextFrame(), 50);
    EXPECT_EQ(Row(0), (std::vector<GifRgb>{kRed, kGreen, kBlue, kWhite}));
    EXPECT_EQ(gif.FrameCount(), 3);
    EXPECT_EQ(gif.NextFrame(), 100);  // each call starts with the default delay again
    EXPECT_EQ(Row(0), (std::vector<GifRgb>{kRed, kGreen, kBlue, kYellow}));
    EXPECT_EQ(gif.NextFrame(), 0);
    EXPECT_EQ(gif.GetError(), "");
}

TEST_F(GifAnimationTest, DelayZeroImagesAtTheEndStillMakeAFrame) {
    ASSERT_EQ(Open(GifBuilder(2, 1)
                       .GlobalColors(kPalette)
                       .Solid(0, 0, 1, 1, 0, 7)
                       .Solid(1, 0, 1, 1, 1, 0)
                       .Solid(0, 0, 1, 1, 2, 0)),
              0);
    EXPECT_EQ(gif.NextFrame(), 70);
    EXPECT_EQ(Row(0), (std::vector<GifRgb>{kRed, kWhite}));
    EXPECT_EQ(gif.NextFrame(), 100);
    EXPECT_EQ(Row(0), (std::vector<GifRgb>{kBlue, kGreen}));
    EXPECT_EQ(gif.NextFrame(), 0);
    EXPECT_EQ(gif.NextFrame(), 0);
    EXPECT_EQ(gif.GetError(), "");
}

TEST_F(GifAnimationTest, StaticGifWithDelayZeroGivesOneFrame) {
    ASSERT_EQ(Open(GifBuilder(2, 2).GlobalColors(kPalette).Solid(0, 0, 2, 2, 1, 0, 0, 3)), 0);
    EXPECT_EQ(gif.NextFrame(), 100);
    EXPECT_EQ(At(1, 1), kGreen);
    EXPECT_EQ(gif.NextFrame(), 0);
    EXPECT_EQ(gif.GetError(), "");
}

TEST_F(GifAnimationTest, TransparentIndexHoldsForImagesWithoutTheirOwnControlBlock) {
    // The control block of the first image (delay 0, index 1 transparent) still holds for the
    // second image of the same frame.
    ASSERT_EQ(Open(GifBuilder(2, 1)
                       .GlobalColors(kPalette)
                       .Solid(0, 0, 2, 1, 0, 0, 0, 1)
                       .Solid(0, 0, 1, 1, 1)),
              0);
    EXPECT_EQ(gif.NextFrame(), 100);
    EXPECT_EQ(Row(0), (std::vector<GifRgb>{kRed, kRed}));
}

TEST_F(GifAnimationTest, NetscapeLoopCountIsStoredMinusOne) {
    const int cases[][2] = {{0, -1}, {1, 0}, {3, 2}, {65535, 65534}};
    for (const auto& c : cases) {
        ASSERT_EQ(Open(GifBuilder(1, 1).GlobalColors(kPalette).Loop(c[0]).Solid(0, 0, 1, 1, 0)), 0);
        EXPECT_EQ(gif.LoopCount(), 0);
        EXPECT_EQ(gif.NextFrame(), 100);
        EXPECT_EQ(gif.LoopCount(), c[1]) << "count " << c[0];
        EXPECT_EQ(gif.LoopExtension(), c[0]);
    }
    // ANIMEXTS1.0 carries the same sub-block, and browsers loop on it alike; another version of
    // either application's extension says nothing about looping.
    const struct {
        const char* application;  // identifier and authentication code, 11 bytes
        int count;
        std::optional<int> extension;
    } applications[] = {{"ANIMEXTS1.0", 0, 0}, {"ANIMEXTS1.0", 3, 3},
                        {"ANIMEXTS2.0", 3, std::nullopt}, {"NETSCAPE1.0", 3, std::nullopt}};
    for (const auto& a : applications) {
        std::vector<uint8_t> bytes;
        RawHeader(bytes, 1, 1, kPalette);
        RawAppend(bytes, {0x21, 0xFF, 11});
        bytes.insert(bytes.end(), a.application, a.application + 11);
        RawAppend(bytes, {3, 1, a.count & 0xFF, a.count >> 8, 0});  // the loop sub-block
        RawImage(bytes, 0, 0, 1, 1, {0});
        RawTrailer(bytes);
        ASSERT_EQ(Open(bytes), 0);
        EXPECT_EQ(gif.NextFrame(), 100);
        EXPECT_EQ(gif.LoopExtension(), a.extension) << a.application << " " << a.count;
        EXPECT_EQ(gif.LoopCount(), a.extension ? *a.extension - 1 : 0) << a.application;
    }
    // Comments and other extensions are passed over; without the extension there is no count.
    ASSERT_EQ(Open(GifBuilder(1, 1).GlobalColors(kPalette).Comment("hi").Solid(0, 0, 1, 1, 0)), 0);
    EXPECT_EQ(gif.NextFrame(), 100);
    EXPECT_EQ(gif.LoopCount(), 0);
    EXPECT_EQ(gif.LoopExtension(), std::nullopt);
}

// A GIF read from memory behaves exactly as the same bytes read from a file: results, frames,
// delays, disposal and errors.
TEST_F(GifAnimationTest, MemoryAndFileReadTheSame) {
    std::vector<uint8_t> truncated =
        GifBuilder(3, 2).GlobalColors(kPalette).Solid(0, 0, 3, 2, 1, 20).Solid(1, 0, 1, 1, 2).Build();
    truncated.resize(truncated.size() - 6);
    const std::vector<std::vector<uint8_t>> files = {
        GifBuilder(3, 2)
            .GlobalColors(kPalette)
            .Solid(0, 0, 3, 2, 1, 0)
            .Solid(1, 0, 1, 1, 2, 7, 2)
            .Solid(0, 1, 2, 1, 3, 30, 3)
            .Build(),
        truncated,
        {'G', 'I', 'F', '8', '9', 'a', 2},  // ends inside the header
        {},
    };
    for (std::size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE("file " + std::to_string(i));
        auto readAll = [this](int loaded) {
            std::vector<std::string> trace = {std::to_string(loaded) + " " + gif.GetError()};
            for (int result = loaded == 0 ? 1 : 0; result > 0;) {
                result = gif.NextFrame();
                trace.push_back(std::to_string(result) + " " + std::to_string(gif.FrameDelay()) +
                                " " + std::to_string(gif.FrameDisposal()) + " " + gif.GetError());
                if (result > 0) trace.push_back(testing::PrintToString(Row(0)) + testing::PrintToString(Row(1)));
            }
            return trace;
        };
        const std::vector<std::string> fromFile = readAll(Open(files[i]));
        const std::vector<std::string> fromMemory = readAll(gif.Load(files[i].data(), files[i].size()));
        EXPECT_EQ(fromMemory, fromFile);
        if (i == 0) {
            EXPECT_EQ(fromFile[1], "70 70 2 ");  // the delay-0 image merged
        }
        if (i >= 2) {
            EXPECT_EQ(fromFile[0], "-1 the file ends inside its header");
        }
    }
}

TEST_F(GifAnimationTest, SecondLoadReleasesTheFirstFile) {
    ASSERT_EQ(Open(GifBuilder(2, 2).GlobalColors(kPalette).Solid(0, 0, 2, 2, 0)), 0);
    ASSERT_EQ(gif.NextFrame(), 100);
    const std::string other =
        Save(GifBuilder(3, 1).GlobalColors(kPalette).Solid(0, 0, 3, 1, 2), "other.gif");
    ASSERT_EQ(gif.Load(other.c_str()), 0);
    EXPECT_EQ(gif.Width(), 3);
    EXPECT_EQ(gif.Height(), 1);
    EXPECT_EQ(gif.FrameCount(), 0);
    EXPECT_EQ(Row(0), (std::vector<GifRgb>{kWhite, kWhite, kWhite}));
    EXPECT_EQ(gif.NextFrame(), 100);
    EXPECT_EQ(Row(0), (std::vector<GifRgb>{kBlue, kBlue, kBlue}));
    EXPECT_EQ(gif.NextFrame(), 0);
}

TEST_F(GifAnimationTest, FileThatIsNotAGifIsRefused) {
    ASSERT_EQ(Open(GifBuilder(2, 2).GlobalColors(kPalette).Solid(0, 0, 2, 2, 0)), 0);
    const std::string text = Save(
        std::vector<uint8_t>{'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', ' ', '!', '\n'},
        "hello.gif");
    EXPECT_EQ(gif.Load(text.c_str()), -1);
    EXPECT_EQ(gif.GetError(), "Data is not in GIF format");
    EXPECT_EQ(gif.Width(), 0);
    EXPECT_EQ(gif.FrameArea(), nullptr);
    EXPECT_EQ(gif.NextFrame(), -1);
    EXPECT_EQ(gif.GetError(), "Data is not in GIF format");  // the cause stays
    uint8_t pixels[12] = {};
    DrawingSurface surface{2, 2, 8, 24, pixels};
    EXPECT_EQ(gif.Draw(surface), 0);

    EXPECT_EQ(gif.Load((dir / "missing.gif").c_str()), -1);
    EXPECT_EQ(gif.GetError(), "No such file or directory");
    EXPECT_EQ(gif.Load(Save(std::vector<uint8_t>{'G', 'I', 'F'}).c_str()), -1);
    EXPECT_FALSE(gif.GetError().empty());
    // A folder, and a FIFO that no one writes to (reading it would wait for ever).
    ASSERT_EQ(::mkfifo((dir / "fifo.gif").c_str(), 0600), 0);
    for (const std::filesystem::path& special : {dir.Path(), dir / "fifo.gif"}) {
        EXPECT_EQ(gif.Load(special.c_str()), -1);
        EXPECT_EQ(gif.GetError(), "not a regular file");
    }
}

TEST_F(GifAnimationTest, EveryTruncationEndsCleanlyAndKeepsEarlierFrames) {
    const std::vector<uint8_t> whole = GifBuilder(6, 5)
                                           .GlobalColors(kPalette)
                                           .Loop(0)
                                           .Solid(0, 0, 6, 5, 0, 10)
                                           .Solid(1, 1, 3, 3, 1, 10, 2)
                                           .Solid(2, 0, 4, 5, 2, 0)
                                           .Solid(0, 2, 6, 2, 3, 10, 3)
                                           .Build();
    ASSERT_FALSE(whole.empty());
    // Frames in the whole file: 3, and the file ends cleanly.
    ASSERT_EQ(Open(whole), 0);
    int frames = 0;
    while (gif.NextFrame() > 0) ++frames;
    ASSERT_EQ(frames, 3);
    ASSERT_EQ(gif.GetError(), "");

    for (size_t cut = 0; cut < whole.size(); ++cut) {
        SCOPED_TRACE("cut at " + std::to_string(cut) + " of " + std::to_string(whole.size()));
        const std::vector<uint8_t> part(whole.begin(), whole.begin() + std::ptrdiff_t(cut));
        const int loaded = Open(part);
        if (loaded != 0) {
            EXPECT_EQ(loaded, -1);
            EXPECT_FALSE(gif.GetError().empty());
            continue;
        }
        int count = 0;
        int result = 0;
        std::vector<uint8_t> pixels(6 * 5 * 3 + 20);
        DrawingSurface surface{6, 5, 20, 24, pixels.data()};
        while ((result = gif.NextFrame()) > 0 && count < 10) {
            ++count;
            EXPECT_EQ(gif.Draw(surface), 5);
        }
        EXPECT_LE(result, 0);
        EXPECT_LE(count, 3);
        EXPECT_FALSE(gif.GetError().empty());  // no trailer: never a clean end
    }
}

TEST_F(GifAnimationTest, FileBreakingOffInsideAnImageReportsIt) {
    std::vector<uint8_t> bytes = GifBuilder(4, 4)
                                     .GlobalColors(kPalette)
                                     .Solid(0, 0, 4, 4, 0, 10)
                                     .Solid(0, 0, 4, 4, 1, 10)
                                     .Build();
    ASSERT_GT(bytes.size(), 10u);
    bytes.resize(bytes.size() - 4);  // into the second image's data
    ASSERT_EQ(Open(bytes), 0);
    EXPECT_EQ(gif.NextFrame(), 100);
    EXPECT_EQ(gif.GetError(), "");
    EXPECT_LT(gif.NextFrame(), 0);
    EXPECT_EQ(gif.GetError(), "the file ends inside image 2");
}

// Rows below the screen are never decoded: an image whose data ends (with the LZW end code) after
// the last row the screen shows composes exactly as the whole image does, interlaced or not.
TEST_F(GifAnimationTest, RowsBelowTheScreenAreNotDecoded) {
    const struct {
        int screenHeight, left, top, height;
        bool interlaced;
        int rowsNeeded;  // in the order they are stored
    } cases[] = {
        {2, 0, 0, 6, false, 2}, {2, 0, 0, 6, true, 4},   // rows 0, 4, 2, 1
        {3, 0, 1, 8, true, 5},                           // rows 0, 4, 2, 6, 1
        {2, 0, 5, 6, true, 0},  {2, 9, 0, 6, false, 0},  // wholly below, wholly to the right
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("image at " + std::to_string(c.top) + ", " + std::to_string(c.height) +
                     " rows" + (c.interlaced ? ", interlaced" : ""));
        const std::vector<int> order = GifRowOrder(c.height, c.interlaced);
        auto compose = [&](int rows) {  // the frame, with the first `rows` stored rows of data
            std::vector<uint8_t> pixels, bytes;
            for (int k = 0; k < rows; ++k) pixels.insert(pixels.end(), 4, uint8_t(order[k] % 4));
            RawHeader(bytes, 4, c.screenHeight, kPalette);
            const std::size_t flags = bytes.size() + 9;
            RawImage(bytes, c.left, c.top, 4, c.height, pixels);
            if (c.interlaced) bytes[flags] |= 0x40;
            RawTrailer(bytes);
            std::vector<std::vector<GifRgb>> frame;
            if (Open(bytes) == 0 && gif.NextFrame() > 0) {
                for (int y = 0; y < c.screenHeight; ++y) frame.push_back(Row(y));
            }
            return frame;
        };
        std::vector<std::vector<GifRgb>> expected;
        for (int y = 0; y < c.screenHeight; ++y) {
            const bool inside = c.left == 0 && y >= c.top && y < c.top + c.height;
            expected.emplace_back(4, inside ? kPalette[(y - c.top) % 4] : kWhite);
        }
        EXPECT_EQ(compose(c.height), expected);
        EXPECT_EQ(compose(c.rowsNeeded), expected);
    }
}

// An image whose LZW minimum code size cannot be decoded ends the frames with a message naming
// the image and the cause; the frames before it stay.
TEST_F(GifAnimationTest, UnusableLzwCodeSizeIsNamed) {
    const struct {
        uint8_t codeSize;
        const char* error;
    } cases[] = {{0, "image 3: its LZW minimum code size 0 is invalid"},
                 {12, "image 3: its LZW minimum code size 12 is invalid"},
                 {9, "image 3: its LZW minimum code size 9 is not supported (at most 8)"}};
    for (const auto& c : cases) {
        std::vector<uint8_t> bytes;
        RawHeader(bytes, 2, 1, kPalette);
        std::size_t codeSizeAt = 0;
        for (uint8_t i = 0; i < 3; ++i) {
            RawControl(bytes, 10);
            codeSizeAt = bytes.size() + 10;
            RawImage(bytes, 0, 0, 2, 1, {i, i});
        }
        bytes[codeSizeAt] = c.codeSize;
        RawTrailer(bytes);
        ASSERT_EQ(Open(bytes), 0);
        EXPECT_EQ(gif.NextFrame(), 100);
        EXPECT_EQ(gif.NextFrame(), 100);
        EXPECT_EQ(Row(0), (std::vector<GifRgb>{kGreen, kGreen}));
        EXPECT_EQ(gif.NextFrame(), -1);
        EXPECT_EQ(gif.GetError(), c.error);
    }
}

TEST_F(GifAnimationTest, ImagesReachingOutsideTheScreenAreClipped) {
    GifImage wide;  // wider than the screen's row, so wider than the line buffer
    wide.left = 2;
    wide.top = 1;
    wide.width = 40;
    wide.height = 3;
    for (int i = 0; i < 120; ++i) wide.pixels.push_back(uint8_t(i % 4));
    ASSERT_EQ(Open(GifBuilder(4, 3)
                       .GlobalColors(kPalette)
                       .Image(wide)
                       .Solid(3, 2, 5, 5, 2, 10, 2)
                       .Solid(100, 100, 2, 2, 1, 10)
                       .Solid(0, 0, 1, 1, 3, 10)),
              0);
    EXPECT_EQ(gif.NextFrame(), 100);
    EXPECT_EQ(Row(0), (std::vector<GifRgb>{kWhite, kWhite, kWhite, kWhite}));
    EXPECT_EQ(Row(1), (std::vector<GifRgb>{kWhite, kWhite, kRed, kGreen}));
    EXPECT_EQ(Row(2), (std::vector<GifRgb>{kWhite, kWhite, kRed, kGreen}));  // 40 % 4 == 0
    EXPECT_EQ(gif.NextFrame(), 100);
    EXPECT_EQ(Row(2), (std::vector<GifRgb>{kWhite, kWhite, kRed, kBlue}));
    EXPECT_EQ(gif.NextFrame(), 100);  // entirely outside: disposal of the clipped part applied
    EXPECT_EQ(Row(2), (std::vector<GifRgb>{kWhite, kWhite, kRed, kRed}));  // background red
    EXPECT_EQ(gif.NextFrame(), 100);
    EXPECT_EQ(Row(0), (std::vector<GifRgb>{kYellow, kWhite, kWhite, kWhite}));
    EXPECT_EQ(gif.NextFrame(), 0);
    EXPECT_EQ(gif.GetError(), "");
}

TEST_F(GifAnimationTest, ColorIndicesOutsideTheTableAreBlack) {
    std::vector<uint8_t> bytes;
    RawHeader(bytes, 5, 1, {kRed, kGreen});            // 2-entry global table
    RawImage(bytes, 0, 0, 5, 1, {0, 1, 2, 128, 255});  // three indices beyond it
    RawTrailer(bytes);
    ASSERT_EQ(Open(bytes), 0);
    ASSERT_EQ(gif.NextFrame(), 100);
    EXPECT_EQ(Row(0), (std::vector<GifRgb>{kRed, kGreen, kBlack, kBlack, kBlack}));
    EXPECT_EQ(gif.NextFrame(), 0);
    EXPECT_EQ(gif.GetError(), "");
}

// By default an image with delay 0 merges into the next one and an area restored to the
// background takes the screen's background colour; browsers show every image (delay 0 lasting
// 100 ms) and the page where an area is restored.
TEST_F(GifAnimationTest, FrameRulesOfTheOriginalAndOfBrowsers) {
    std::vector<uint8_t> bytes;
    RawHeader(bytes, 2, 1, kPalette, 2);  // background: blue
    RawControl(bytes, 0, 2);              // delay 0, restore to background, nothing transparent
    RawImage(bytes, 0, 0, 2, 1, {0, 0});  // red, red
    RawControl(bytes, 5);
    RawImage(bytes, 0, 0, 1, 1, {1});  // green on the left
    RawTrailer(bytes);
    const struct {
        FrameRules rules;
        std::vector<std::pair<int, std::vector<GifRgb>>> frames;  // delay, row
    } cases[] = {
        {{false, false}, {{50, {kGreen, kBlue}}}},
        {{true, false}, {{100, {kRed, kRed}}, {50, {kGreen, kBlue}}}},
        {{true, true}, {{100, {kRed, kRed}}, {50, {kGreen, kWhite}}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.rules.everyImage) + std::to_string(c.rules.restoreToStage));
        gif.SetRules(c.rules);
        ASSERT_EQ(Open(bytes), 0);
        for (const auto& [delay, row] : c.frames) {
            EXPECT_EQ(gif.NextFrame(), delay);
            EXPECT_EQ(Row(0), row);
        }
        EXPECT_EQ(gif.NextFrame(), 0);
    }
}

TEST_F(GifAnimationTest, ImageWithoutAnyColorTableIsBlack) {
    std::vector<uint8_t> bytes;
    RawHeader(bytes, 3, 1, {}, 5);  // no global table; background index 5 means nothing
    RawControl(bytes, 4, 2, 2);     // delay 40 ms, restore to background, index 2 transparent
    RawImage(bytes, 0, 0, 3, 1, {0, 1, 2});
    RawImage(bytes, 2, 0, 1, 1, {7});  // no control block: the next call starts afresh
    RawTrailer(bytes);
    ASSERT_EQ(Open(bytes), 0);
    EXPECT_EQ(gif.BackgroundColor(), 0xFFFFFFu);
    ASSERT_EQ(gif.NextFrame(), 40);
    EXPECT_EQ(Row(0), (std::vector<GifRgb>{kBlack, kBlack, kWhite}));
    ASSERT_EQ(gif.NextFrame(), 100);  // a new call: default delay, no transparency
    EXPECT_EQ(Row(0), (std::vector<GifRgb>{kWhite, kWhite, kBlack}));
}

TEST_F(GifAnimationTest, BackgroundIndexOutsideTheGlobalTableIsBlack) {
    std::vector<uint8_t> bytes;
    RawHeader(bytes, 1, 1, {kRed, kGreen}, 9);
    RawTrailer(bytes);
    ASSERT_EQ(Open(bytes), 0);
    EXPECT_EQ(gif.BackgroundColor(), 0u);
    EXPECT_EQ(gif.NextFrame(), 0);  // no image at all: no frame
}

TEST_F(GifAnimationTest, ImagesWithoutPixelsAndOddExtensionsAreHarmless) {
    std::vector<uint8_t> bytes;
    RawHeader(bytes, 2, 1, {kRed, kGreen});
    RawAppend(bytes, {0x21, 0xF9, 0});           // graphic control without data: ignored
    RawAppend(bytes, {0x21, 0xF9, 2, 0, 9, 0});  // too short to hold the fields: ignored
    RawAppend(bytes, {0x21, 0xFF, 3, 'a', 'b', 'c', 3, 1, 5, 0, 0});  // not NETSCAPE2.0
    RawImage(bytes, 0, 0, 0, 1, {});                                  // zero width
    RawImage(bytes, 0, 0, 2, 1, {1, 0});
    RawTrailer(bytes);
    ASSERT_EQ(Open(bytes), 0);
    EXPECT_EQ(gif.NextFrame(), 100);
    EXPECT_EQ(gif.FrameCount(), 1);
    EXPECT_EQ(gif.NextFrame(), 100);
    EXPECT_EQ(Row(0), (std::vector<GifRgb>{kGreen, kRed}));
    EXPECT_EQ(gif.LoopCount(), 0);
    EXPECT_EQ(gif.NextFrame(), 0);
    EXPECT_EQ(gif.GetError(), "");
}

TEST_F(GifAnimationTest, UnknownRecordEndsTheFileAfterPendingImages) {
    std::vector<uint8_t> bytes;
    RawHeader(bytes, 1, 1, {kRed, kGreen});
    RawControl(bytes, 0);
    RawImage(bytes, 0, 0, 1, 1, {1});
    RawAppend(bytes, {0x99});  // not a record
    ASSERT_EQ(Open(bytes), 0);
    EXPECT_EQ(gif.NextFrame(), 100);  // the delay-0 image is not lost
    EXPECT_EQ(At(0, 0), kGreen);
    EXPECT_FALSE(gif.GetError().empty());
    EXPECT_EQ(gif.NextFrame(), 0);
}

struct ScreenCase {
    int width;
    int height;
    int expected;
    const char* error;
};

TEST_F(GifAnimationTest, EmptyAndOversizedScreensAreRefused) {
    const ScreenCase cases[] = {
        {0, 10, -3, "the logical screen of 0 x 10 pixels is empty"},
        {10, 0, -3, "the logical screen of 10 x 0 pixels is empty"},
        {0, 0, -3, "the logical screen of 0 x 0 pixels is empty"},
        {8192, 1, -3, "the logical screen of 8192 x 1 pixels is too large"},
        {1, 8192, -3, "the logical screen of 1 x 8192 pixels is too large"},
        {65535, 65535, -3, "the logical screen of 65535 x 65535 pixels is too large"},
        {4096, 4096, -3, "the logical screen of 4096 x 4096 pixels is too large"},
        {8191, 1, 0, ""},
        {1, 8191, 0, ""},
        {4095, 4097, 0, ""},  // 16777215 pixels: the largest screen taken
    };
    for (const ScreenCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        std::vector<uint8_t> bytes;
        RawHeader(bytes, c.width, c.height, {kRed, kGreen});
        RawTrailer(bytes);
        ASSERT_EQ(Open(bytes), c.expected);
        EXPECT_EQ(gif.GetError().substr(0, std::strlen(c.error)), c.error);
        EXPECT_EQ(gif.Width(), c.expected == 0 ? c.width : 0);
        EXPECT_EQ(gif.FrameArea() != nullptr, c.expected == 0);
        EXPECT_EQ(gif.NextFrame(), c.expected == 0 ? 0 : -1);
    }
}

class GifDrawTest : public GifAnimationTest {
protected:
    void SetUp() override {
        // 40 x 20: left half red, right half green.
        GifImage image;
        image.width = 40;
        image.height = 20;
        for (int y = 0; y < 20; ++y) {
            for (int x = 0; x < 40; ++x) image.pixels.push_back(x < 20 ? 0 : 1);
        }
        ASSERT_EQ(Open(GifBuilder(40, 20).GlobalColors(kPalette).Image(image)), 0);
        ASSERT_EQ(gif.NextFrame(), 100);
    }
    void MakeSurface(int width, int height) {
        const int stride = CGifAnimation::StrideFor(width);
        pixels.assign(size_t(stride) * size_t(height), 0x55);  // marks what Draw leaves alone
        surface = {width, height, stride, 24, pixels.data()};
    }
    GifRgb SurfaceAt(int x, int y) const {
        const uint8_t* p = pixels.data() + y * surface.nStride + 3 * x;
        return {p[2], p[1], p[0]};
    }
    std::vector<uint8_t> pixels;
    DrawingSurface surface;
};

TEST_F(GifDrawTest, CentresTheFrameInTheRectangle) {
    MakeSurface(100, 100);
    const PixelRect rect{0, 0, 100, 100};
    EXPECT_EQ(gif.Draw(surface, &rect), 20);
    const GifRgb untouched{0x55, 0x55, 0x55};
    EXPECT_EQ(SurfaceAt(29, 40), untouched);
    EXPECT_EQ(SurfaceAt(30, 39), untouched);
    EXPECT_EQ(SurfaceAt(30, 40), kRed);
    EXPECT_EQ(SurfaceAt(69, 59), kGreen);
    EXPECT_EQ(SurfaceAt(70, 59), untouched);
    EXPECT_EQ(SurfaceAt(69, 60), untouched);
}

TEST_F(GifDrawTest, NarrowRectangleTruncatesTowardZeroAndClips) {
    MakeSurface(37, 20);
    const PixelRect rect{0, 0, 37, 20};  // x = (37 - 40) / 2 = -1
    EXPECT_EQ(gif.Draw(surface, &rect), 20);
    EXPECT_EQ(SurfaceAt(18, 0), kRed);    // frame column 19
    EXPECT_EQ(SurfaceAt(19, 0), kGreen);  // frame column 20
    EXPECT_EQ(SurfaceAt(36, 19), kGreen);
    EXPECT_EQ(pixels[3 * 37], 0x55);  // the row padding is not written
}

TEST_F(GifDrawTest, WithoutRectangleDrawsAtTheOriginAndClipsToTheSurface) {
    MakeSurface(25, 5);
    EXPECT_EQ(gif.Draw(surface), 5);
    EXPECT_EQ(SurfaceAt(0, 0), kRed);
    EXPECT_EQ(SurfaceAt(24, 4), kGreen);
    const PixelRect far{1000, 1000, 1001, 1001};
    EXPECT_EQ(gif.Draw(surface, &far), 0);
    const PixelRect offside{-100, 0, -60, 20};
    EXPECT_EQ(gif.Draw(surface, &offside), 0);
    DrawingSurface wrongDepth = surface;
    wrongDepth.nBitsPerPixel = 32;
    EXPECT_EQ(gif.Draw(wrongDepth), 0);
}

}  // namespace
