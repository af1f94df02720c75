#include <gtest/gtest.h>

#include <filesystem>

#include "anim/ApngBuilder.h"
#include "support/CliRunner.h"
#include "support/GifBuilder.h"
#include "support/SwfReader.h"
#include "support/TestFiles.h"

namespace fs = std::filesystem;

namespace {

// The largest screen the reader accepts, in a file of under a kilobyte: three 1 x 1 images.
void WriteLargestScreenGif(const fs::path& path) {
    GifBuilder gif(8191, 2048);
    gif.GlobalColors({kRed, kBlue});
    for (int i = 0; i < 3; ++i) gif.Solid(i, 0, 1, 1, static_cast<uint8_t>(i % 2), 10);
    ASSERT_TRUE(gif.Write(path)) << gif.Error();
}

// AddressSanitizer's shadow memory and quarantine neither fit an address space limit nor leave
// the peak memory to measure.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

TEST(MemoryCliTest, LargeFramesStayWithinTheMemoryLimitOrFailCleanly) {
    if (kSanitized) GTEST_SKIP() << "address space limits do not work under AddressSanitizer";
    ScratchDir dir;
    fs::create_directories(dir / "in");
    for (const char* name : {"a.gif", "b.gif", "c.gif", "d.gif"})
        WriteLargestScreenGif(dir / "in" / name);
    const std::vector<uint8_t> earlier = {'e', 'a', 'r', 'l', 'i', 'e', 'r'};
    constexpr long kLooseKib = 2048 * 1024;
    const struct {
        std::vector<std::string> args;
        long limitKib;  // of address space
        bool converts;  // within 400 MiB of memory used; else fails for want of memory
    } cases[] = {
        // Many threads on one file, or on a batch, keep to the memory of a few frames. The
        // address space is only a loose guard: each thread's stack and heap arena reserve some.
        {{"in/a.gif", "-j", "64"}, kLooseKib, true},
        {{"in", "-j", "16"}, kLooseKib, true},
        {{"in/a.gif", "-j", "64", "--bitmaps", "lossless", "--changed-areas", "--transparent"},
         kLooseKib,
         true},
        // Too little for even one frame: a clear failure, no empty movie, no temporary file.
        {{"in/a.gif"}, 150 * 1024, false},
        {{"in/a.gif", "--changed-areas"}, 200 * 1024, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        fs::remove_all(dir / "out");
        fs::create_directories(dir / "out");
        WriteBytes(dir / "out" / "a.swf", earlier);
        std::vector<std::string> args = {"convert", "-q", "-o", "out"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const CliRun run = RunQuorvel(args, dir.Path(), dir.Path(), "/dev/null", c.limitKib);
        if (c.converts) {
            EXPECT_EQ(run.status, 0) << run.err;
            EXPECT_LT(run.peakKib, 400 * 1024);
            EXPECT_EQ(run.err.find("left out"), std::string::npos) << run.err;
            EXPECT_EQ(swftest::ReadSwfFile(dir / "out" / "a.swf").frameCount, 3);
        } else {
            EXPECT_EQ(run.status, 1);
            EXPECT_NE(run.err.find("not enough memory"), std::string::npos) << run.err;
            EXPECT_EQ(ReadFileBytes(dir / "out" / "a.swf"), earlier);
            EXPECT_EQ(ListFolder(dir / "out"), std::vector<std::string>{"a.swf"});
        }
    }
}

// An APNG composes in RGBA, frames and their disposal beside the canvas: its memory is planned
// with them, so a limit too tight for them is a clear failure before a frame is composed, and
// a loose one converts.
TEST(MemoryCliTest, ApngOfTheLargestScreenIsPlannedWithItsReadersMemory) {
    if (kSanitized) GTEST_SKIP() << "address space limits do not work under AddressSanitizer";
    ScratchDir dir;
    ApngWriter apng(8191, 2048);
    apng.Plays(0).Frame({8191, 2048, 0, 0, 1, 10, 0, 0, std::vector<uint8_t>(8191 * 2048 * 4, 255)});
    for (uint32_t x = 0; x < 2; ++x) apng.Frame({1, 1, x, 0, 1, 10, 0, 0, {0, 0, 255, 255}});
    ASSERT_TRUE(WriteBytes(dir / "big.apng", apng.Build().bytes));
    const struct {
        long limitKib;
        bool converts;
    } cases[] = {{2048 * 1024, true}, {300 * 1024, false}};
    for (const auto& c : cases) {
        fs::remove_all(dir / "out");
        const CliRun run = RunQuorvel({"convert", "-q", "-o", "out", "big.apng", "-j", "8"}, dir.Path(),
                                      dir.Path(), "/dev/null", c.limitKib);
        EXPECT_EQ(run.status, c.converts ? 0 : 1) << run.err;
        if (c.converts) {
            EXPECT_EQ(swftest::ReadSwfFile(dir / "out" / "big.swf").frameCount, 3);
        } else {
            EXPECT_NE(run.err.find("not enough memory"), std::string::npos) << run.err;
            EXPECT_FALSE(fs::exists(dir / "out" / "big.swf"));
        }
    }
}

}  // namespace
