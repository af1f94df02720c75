#include <FreeImage.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "gif/CGifAnimation.h"
#include "support/CliTest.h"
#include "support/CliRunner.h"
#include "support/GifBuilder.h"

namespace fs = std::filesystem;

namespace {

using ExtractCliTest = CliTest;

// 6 x 4, three frames, the second with a transparent hole over the first.
GifBuilder ThreeFrames() {
    GifImage second;
    second.left = 1;
    second.top = 1;
    second.width = 3;
    second.height = 2;
    second.pixels = {1, 3, 1, 1, 1, 3};
    second.control = true;
    second.delay = 10;
    second.transparent = 3;
    GifBuilder builder(6, 4);
    builder.GlobalColors({{200, 10, 10}, {10, 200, 10}, {10, 10, 200}, {5, 5, 5}})
        .Solid(0, 0, 6, 4, 0, 10)
        .Image(second)
        .Solid(5, 3, 1, 1, 2, 10, 1);
    return builder;
}

TEST_F(ExtractCliTest, WritesEveryComposedFrameAsPng) {
    const fs::path gif = dir / "clip.gif";
    ASSERT_TRUE(ThreeFrames().Write(gif));
    fs::create_directory(dir / "frames");
    const CliRun run =
        Quorvel({"extract", gif.string(), "-o", (dir / "frames").string(), "--format", "png"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");  // no progress: standard error is not a terminal
    const std::string folder = (dir / "frames").string();
    EXPECT_EQ(run.out,
              folder + "/clip_f0.png\n" + folder + "/clip_f1.png\n" + folder + "/clip_f2.png\n");

    CGifAnimation reference;
    ASSERT_EQ(reference.Load(gif.c_str()), 0);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE("frame " + std::to_string(i));
        ASSERT_GT(reference.NextFrame(), 0);
        const std::string path = folder + "/clip_f" + std::to_string(i) + ".png";
        FIBITMAP* image = FreeImage_Load(FIF_PNG, path.c_str(), 0);
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(FreeImage_GetWidth(image), 6u);
        EXPECT_EQ(FreeImage_GetHeight(image), 4u);
        EXPECT_EQ(FreeImage_GetBPP(image), 24u);
        for (int y = 0; y < 4; ++y) {
            for (int x = 0; x < 6; ++x) {
                RGBQUAD q{};
                FreeImage_GetPixelColor(image, unsigned(x), unsigned(3 - y), &q);
                const uint8_t* p = reference.FrameArea() + y * reference.Stride() + 3 * x;
                EXPECT_EQ((GifRgb{q.rgbRed, q.rgbGreen, q.rgbBlue}), (GifRgb{p[2], p[1], p[0]}))
                    << x << ", " << y;
            }
        }
        FreeImage_Unload(image);
    }
    EXPECT_EQ(reference.NextFrame(), 0);
}

TEST_F(ExtractCliTest, DefaultsToBmpBesideTheInputAndQuietPrintsNothing) {
    fs::create_directory(dir / "in");
    ASSERT_TRUE(ThreeFrames().Write(dir / "in" / "a b.gif"));
    CliRun run = Quorvel({"extract", "in/a b.gif"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "in/a b_f0.bmp\nin/a b_f1.bmp\nin/a b_f2.bmp\n");
    EXPECT_TRUE(fs::exists(dir / "in" / "a b_f2.bmp"));

    run = RunQuorvel({"extract", "-q", "a b.gif", "-f", "TGA"}, dir / "in", dir.Path());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(fs::exists(dir / "in" / "a b_f2.tga"));
}

TEST_F(ExtractCliTest, InputFailuresExitOneNamingTheFile) {
    CliRun run = Quorvel({"extract", "missing.gif"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "quorvel: missing.gif: No such file or directory\n");

    ASSERT_TRUE(WriteBytes(dir / "text.gif", {'p', 'l', 'a', 'i', 'n', ' ', 't', 'e', 'x', 't'}));
    run = Quorvel({"extract", "text.gif"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "quorvel: text.gif: Data is not in GIF format\n");
}

TEST_F(ExtractCliTest, TruncatedInputWarnsAndSucceeds) {
    std::vector<uint8_t> bytes = ThreeFrames().Build();
    bytes.pop_back();  // the trailer
    ASSERT_TRUE(WriteBytes(dir / "cut.gif", bytes));
    const CliRun run = Quorvel({"extract", "-q", "cut.gif"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err,
              "quorvel: cut.gif: warning: the file ends before the trailer; kept the 3 frames "
              "before it\n");
}

TEST_F(ExtractCliTest, UsageErrorsExitTwo) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"extract"},
        {"extract", "a.gif", "--format", "gif"},
        {"extract", "a.gif", "--frobnicate"},
        {"convertify", "a.gif"},
        {"help", "nothing"},
    };
    for (const auto& args : cases) {
        std::string line;
        for (const auto& a : args) line += a + " ";
        SCOPED_TRACE(line);
        const CliRun run = Quorvel(args);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err.rfind("quorvel: ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find("--help' for"), std::string::npos) << run.err;
    }
}

TEST_F(ExtractCliTest, HelpAndVersion) {
    CliRun run = Quorvel({"--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("extract"), std::string::npos) << run.out;

    run = Quorvel({"--version"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, std::string("quorvel ") + QUORVEL_VERSION + "\n");

    for (const auto& args : {std::vector<std::string>{"help", "extract"},
                             std::vector<std::string>{"extract", "--help"}}) {
        run = Quorvel(args);
        EXPECT_EQ(run.status, 0);
        EXPECT_NE(run.out.find("Usage: quorvel extract"), std::string::npos) << run.out;
        EXPECT_NE(run.out.find("--format"), std::string::npos) << run.out;
    }
}

}  // namespace
