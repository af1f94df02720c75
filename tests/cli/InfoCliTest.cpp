#include <gtest/gtest.h>

#include "anim/ApngBuilder.h"
#include "support/CliRunner.h"
#include "support/GifBuilder.h"

namespace {

// What a GIF holds, and how long its movie plays at --fps against the GIF's own timing.
TEST(InfoCliTest, DescribesEachGifAndItsMovie) {
    ScratchDir dir;
    // 20 frames a second: the default 10 fps plays it at half speed.
    GifBuilder fast(40, 30);
    fast.GlobalColors({kRed, kBlue}).Loop(0);
    for (int i = 0; i < 6; ++i) fast.Solid(0, 0, 40, 30, static_cast<uint8_t>(i % 2), 5);
    ASSERT_TRUE(fast.Write(dir / "fast.gif")) << fast.Error();
    // Played twice by browsers; an image without a delay joins the next in the movie (browsers
    // show it for 100 ms); a table of its own and a transparent index.
    GifBuilder mixed(5, 4);
    mixed.GlobalColors({kRed, kBlue, kGreen, kWhite}).Loop(1);
    mixed.Solid(0, 0, 5, 4, 0, 10).Solid(0, 0, 5, 4, 1, 0);
    GifImage own;
    own.width = 5, own.height = 4, own.control = true, own.delay = 30, own.transparent = 1;
    own.pixels.assign(20, 0);
    own.localColors = {kYellow, kBlack};
    ASSERT_TRUE(mixed.Image(own).Write(dir / "mixed.gif")) << mixed.Error();
    ASSERT_TRUE(WriteText(dir / "notes.txt", "hello, this is no picture"));
    ApngWriter apng(3, 2);
    apng.Plays(2)
        .Frame({3, 2, 0, 0, 1, 10, 0, 0, std::vector<uint8_t>(24, 255)})
        .Frame({1, 1, 2, 1, 1, 5, 0, 1, {0, 0, 0, 255}});
    ASSERT_TRUE(WriteBytes(dir / "two.apng", apng.Build().bytes));

    const struct {
        std::vector<std::string> args;
        int status;
        std::string out;
    } cases[] = {
        {{"fast.gif"},
         0,
         "fast.gif\n"
         "  size          40 x 30 pixels\n"
         "  format        GIF\n"
         "  frames        6\n"
         "  duration      0.30 s, 50 ms a frame\n"
         "  loops         for ever\n"
         "  colours       2 in the global table\n"
         "  transparency  none\n"
         "  movie         0.60 s at 10 fps, 50% of the GIF's speed\n"
         "  --like-gif    0.30 s at 20 fps, the GIF's speed\n"},
        {{"fast.gif", "--fps", "20"}, 0, "  movie         0.30 s at 20 fps, the GIF's speed\n"},
        {{"mixed.gif"},
         0,
         "  frames        2 (3 images: those without a delay join the next)\n"
         "  duration      0.50 s, 100 to 300 ms a frame\n"
         "  loops         2 times\n"
         "  colours       4 in the global table; 1 image with a table of its own (up to 2)\n"
         "  transparency  a transparent colour in 1 of 3 images\n"
         "  movie         0.20 s at 10 fps, 250% of the GIF's speed\n"
         "  --like-gif    0.50 s at 10 fps, the GIF's speed\n"},
        {{"two.apng"},
         0,
         "two.apng\n"
         "  size          3 x 2 pixels\n"
         "  format        APNG\n"
         "  frames        2\n"
         "  duration      0.30 s, 100 to 200 ms a frame\n"
         "  loops         2 times\n"  // num_plays counts every play
         "  movie         0.20 s at 10 fps, 150% of the GIF's speed\n"},
        {{"notes.txt", "fast.gif"}, 1, "\n"},  // the GIF still described
        {{"fast.gif", "--fps", "0"}, 2, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0]);
        std::vector<std::string> args = {"info"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const CliRun run = RunQuorvel(args, dir.Path(), dir.Path());
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_NE(run.out.find(c.out), std::string::npos) << run.out;
        EXPECT_EQ(run.out.empty(), c.status == 2);
        EXPECT_EQ(run.err.find("quorvel: notes.txt: not a GIF") != std::string::npos,
                  c.args[0] == "notes.txt");
    }
    // Several GIFs: one block each, a blank line between.
    const CliRun both = RunQuorvel({"info", "fast.gif", "mixed.gif"}, dir.Path(), dir.Path());
    EXPECT_NE(both.out.find("--like-gif    0.30 s at 20 fps, the GIF's speed\n\nmixed.gif\n"),
              std::string::npos)
        << both.out;
}

}  // namespace
