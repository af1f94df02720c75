#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "anim/ApngBuilder.h"
#include "jobs/ConvertJob.h"
#include "support/CliRunner.h"
#include "support/GifBuilder.h"

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

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

    // 20 ms images: 10 fps leaves every other one out.
    GifBuilder quick(2, 2);
    quick.GlobalColors({kRed, kBlue}).Loop(0);
    for (const int delay : {10, 2, 10, 2}) quick.Solid(0, 0, 2, 2, 0, delay);
    ASSERT_TRUE(quick.Write(dir / "quick.gif")) << quick.Error();

    const struct {
        std::vector<std::string> args;
        int status;
        std::string out;
    } cases[] = {
        // The GIF's own timing unless told otherwise.
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
         "  movie         0.30 s at 20 fps, the GIF's speed; loops for ever\n"
         "  movie frames  6, showing all 6 frames\n"},
        {{"fast.gif", "--timing", "fixed"},
         0,
         "  movie         0.60 s at 10 fps, 50% of the GIF's speed; loops for ever\n"
         "  movie frames  6, showing all 6 frames\n"},
        {{"fast.gif", "--timing", "fixed", "--fps", "20"},
         0,
         "  movie         0.30 s at 20 fps, the GIF's speed; loops for ever\n"},
        // A frame shorter than one of the movie's is shown while the movie stays within a frame
        // of the GIF, and left out otherwise.
        {{"fast.gif", "--fps", "10"},
         0,
         "  movie         0.40 s at 10 fps, 75% of the GIF's speed; loops for ever\n"
         "  movie frames  4, showing 4 of the 6 frames: 2 shorter than a frame at 10 fps left "
         "out\n"},
        // An image without a delay is a frame as browsers show it (100 ms); the fixed rate
        // joins it to the next.
        {{"mixed.gif"},
         0,
         "  frames        3\n"
         "  duration      0.50 s, 100 to 300 ms a frame\n"
         "  loops         2 times\n"
         "  colours       4 in the global table; 1 image with a table of its own (up to 2)\n"
         "  transparency  a transparent colour in 1 of 3 images\n"
         "  movie         0.50 s at 10 fps, the GIF's speed; plays 2 times\n"
         "  movie frames  5, showing all 3 frames\n"},
        {{"mixed.gif", "--timing", "fixed"},
         0,
         "  movie         0.20 s at 10 fps, 250% of the GIF's speed; loops for ever\n"
         "  movie frames  2, showing 2 of the 3 frames: those without a delay join the next\n"},
        {{"mixed.gif", "--timing", "fixed", "--like-gif"},
         0,
         "  movie         0.20 s at 10 fps, 250% of the GIF's speed; plays 2 times\n"},
        {{"mixed.gif", "--loop", "0"}, 0, "the GIF's speed; loops for ever\n"},
        {{"quick.gif", "--fps", "10"},
         0,
         "  movie         0.30 s at 10 fps, 80% of the GIF's speed; loops for ever\n"
         "  movie frames  3, showing 3 of the 4 frames: 1 shorter than a frame at 10 fps left "
         "out\n"},
        {{"two.apng"},
         0,
         "two.apng\n"
         "  size          3 x 2 pixels\n"
         "  format        APNG\n"
         "  frames        2\n"
         "  duration      0.30 s, 100 to 200 ms a frame\n"
         "  loops         2 times\n"  // num_plays counts every play
         "  movie         0.30 s at 10 fps, the APNG's speed; plays 2 times\n"},
        {{"notes.txt", "fast.gif"}, 1, "\n"},  // the GIF still described
        {{"fast.gif", "--fps", "0"}, 2, ""},
        {{"fast.gif", "--timing", "gifs"}, 2, ""},
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
    EXPECT_NE(both.out.find("  movie frames  6, showing all 6 frames\n\nmixed.gif\n"),
              std::string::npos)
        << both.out;
}

// A GIF whose images mostly have no delay, as many real ones do.
void WriteZeroDelayGif(const fs::path& file) {
    GifBuilder gif(6, 4);
    gif.GlobalColors({kRed, kBlue, kGreen}).Loop(0);
    for (const int delay : {0, 0, 0, 10, 0, 0, 0, 10, 0, 10})  // hundredths of a second
        gif.Solid(0, 0, 6, 4, static_cast<uint8_t>(delay % 3), delay);
    ASSERT_TRUE(gif.Write(file)) << gif.Error();
}

// What the GIF is has one length wherever it is told: info's duration, the fixed rate's note
// and the plan the dialog reads, whatever makes the movie's frames.
TEST(InfoCliTest, TheGifsLengthIsTheSameEverywhere) {
    ScratchDir dir;
    ASSERT_NO_FATAL_FAILURE(WriteZeroDelayGif(dir / "zero.gif"));
    // 7 images without a delay, shown for 100 ms as browsers show them, and 3 of 100 ms.
    const int64_t browserMs = 10 * 100;
    const CliRun info = RunQuorvel({"info", "zero.gif", "--json"}, dir.Path(), dir.Path());
    ASSERT_EQ(info.status, 0) << info.err;
    const Json json = Json::parse(info.out);
    EXPECT_EQ(json.at(0).at("duration_ms"), browserMs);
    const CliRun text = RunQuorvel({"info", "zero.gif", "--timing", "fixed"}, dir.Path(), dir.Path());
    EXPECT_NE(text.out.find("  duration      1.00 s, 100 ms a frame\n"), std::string::npos)
        << text.out;
    const CliRun fixed =
        RunQuorvel({"convert", "zero.gif", "--timing", "fixed"}, dir.Path(), dir.Path());
    ASSERT_EQ(fixed.status, 0) << fixed.err;
    EXPECT_NE(fixed.err.find("plays in 0.3 s; the GIF lasts 1.0 s (--timing gif keeps its timing)"),
              std::string::npos)
        << fixed.err;
    for (const Timing timing : {Timing::Fixed, Timing::Gif}) {
        ConvertOptions options;
        options.timing = timing;
        const ConversionPlan plan = PlanMovie((dir / "zero.gif").string(), dir / "z.swf", options);
        ASSERT_EQ(plan.error, "");
        EXPECT_EQ(plan.gifMs, browserMs);
        EXPECT_EQ(plan.Summary().gifMs, browserMs);
    }
}

// Folders stand for their animation files; --json gives one array, an object for each file
// with the same keys whatever it is, errors among them.
TEST(InfoCliTest, FoldersAndJson) {
    ScratchDir dir;
    fs::create_directories(dir / "anims");
    fs::create_directories(dir / "empty");
    ASSERT_NO_FATAL_FAILURE(WriteZeroDelayGif(dir / "anims/b.gif"));
    ASSERT_NO_FATAL_FAILURE(WriteZeroDelayGif(dir / "anims/a.gif"));
    ASSERT_TRUE(WriteText(dir / "anims/notes.txt", "not listed"));
    ASSERT_TRUE(WriteText(dir / "notes.txt", "hello, this is no picture"));
    // A movie with pictures that let the page show through: an image over half the screen.
    GifBuilder half(6, 4);
    half.GlobalColors({kRed, kBlue}).Solid(0, 0, 3, 4, 1, 10);
    ASSERT_TRUE(half.Write(dir / "half.gif")) << half.Error();
    ASSERT_EQ(RunQuorvel({"convert", "-q", "half.gif", "-o", "clear.swf", "--transparent"},
                         dir.Path(), dir.Path())
                  .status,
              0);
    ASSERT_EQ(RunQuorvel({"convert", "-q", "half.gif", "-o", "opaque.swf"}, dir.Path(), dir.Path())
                  .status,
              0);
    const CliRun folder = RunQuorvel({"info", "anims"}, dir.Path(), dir.Path());
    EXPECT_EQ(folder.status, 0) << folder.err;
    EXPECT_TRUE(folder.out.starts_with("anims/a.gif\n")) << folder.out;
    EXPECT_NE(folder.out.find("\n\nanims/b.gif\n"), std::string::npos) << folder.out;
    EXPECT_EQ(folder.out.find("notes"), std::string::npos) << folder.out;

    const CliRun run = RunQuorvel(
        {"info", "--json", "anims", "notes.txt", "empty", "clear.swf", "--timing", "fixed"},
        dir.Path(), dir.Path());
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("quorvel: notes.txt: not a GIF\n"), std::string::npos) << run.err;
    const Json all = Json::parse(run.out);
    ASSERT_TRUE(all.is_array());
    ASSERT_EQ(all.size(), 5u) << run.out;
    const struct {
        const char* file;
        const char* kind;
        const char* error;  // null: none
    } expected[] = {{"anims/a.gif", "animation", nullptr},
                    {"anims/b.gif", "animation", nullptr},
                    {"notes.txt", "error", "not a GIF"},
                    {"empty", "error", "no animation files in the folder"},
                    {"clear.swf", "movie", nullptr}};
    for (std::size_t i = 0; i < all.size(); ++i) {
        SCOPED_TRACE(expected[i].file);
        EXPECT_EQ(all[i].at("file"), expected[i].file);
        EXPECT_EQ(all[i].at("kind"), expected[i].kind);
        EXPECT_EQ(all[i].at("error"), expected[i].error ? Json(expected[i].error) : Json());
    }
    const Json& gif = all[0];
    EXPECT_EQ(gif.at("frames"), 10);
    EXPECT_EQ(gif.at("delays_ms").size(), 10u);
    EXPECT_EQ(gif.at("plays"), 0);  // for ever
    EXPECT_EQ(gif.at("movie").at("timing"), "fixed");
    EXPECT_EQ(gif.at("movie").at("frames"), 3);  // images without a delay join the next
    EXPECT_EQ(gif.at("movie").at("fps"), 10);
    EXPECT_EQ(gif.at("movie").at("speed_percent"), 333);
    std::vector<std::string> keys, others;
    for (const auto& [key, value] : gif.items()) keys.push_back(key);
    for (const auto& [key, value] : all[1].items()) others.push_back(key);
    EXPECT_EQ(keys, others);
    const Json& movie = all[4];
    EXPECT_EQ(movie.at("version"), 3);
    EXPECT_EQ(movie.at("compression"), "none");
    EXPECT_EQ(movie.at("alpha_bitmaps"), true);
    EXPECT_EQ(movie.at("frames"), 1);
    EXPECT_EQ(movie.at("symbols"), Json::array());

    // As text, a movie says whether its pictures can be transparent.
    for (const auto& [file, says] : {std::pair{"clear.swf", "bitmaps with an alpha channel"},
                                     {"opaque.swf", "none"}}) {
        const CliRun text = RunQuorvel({"info", file}, dir.Path(), dir.Path());
        EXPECT_NE(text.out.find(std::string("  transparency  ") + says + "\n"), std::string::npos)
            << text.out;
    }
}

}  // namespace
