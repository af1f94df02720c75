#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "support/CliTest.h"
#include "support/CliRunner.h"
#include "support/GifBuilder.h"
#include "support/SwfReader.h"
#include "jobs/ConvertJob.h"

namespace fs = std::filesystem;

namespace {

using ConvertCliTest = CliTest;

TEST_F(ConvertCliTest, ConvertsOneFileBesideItWithTheGivenOptions) {
    MakeGif("clip.gif", 3, 8, 6, 4);  // 40 ms a frame: 25 frames per second plays it in time
    const CliRun run = Quorvel({"convert", "clip.gif", "--fps", "25", "--quality", "HIGH", "--url",
                                "page.htm", "-j", "1"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "./clip.swf\n");
    EXPECT_EQ(run.err, "");  // no summary for a single file, no progress off a terminal
    const swftest::SwfFile swf = swftest::ReadSwfFile(dir / "clip.swf");
    ASSERT_TRUE(swf.ok) << swf.error;
    EXPECT_EQ(swf.frameRate, 25 << 8);
    EXPECT_EQ(swf.frameCount, 3);
    EXPECT_EQ(swf.CountTags(swftest::kTagDefineButton2), 1);
}

TEST_F(ConvertCliTest, BitmapsAndChangedAreasChooseTheMovieLayout) {
    MakeGif("clip.gif", 3);
    const struct {
        std::vector<std::string> options;
        int jpegs, lossless, removals;
    } cases[] = {
        // Every frame changes the whole stage: with changed areas each hides the one before.
        {{}, 3, 0, 0},
        {{"--bitmaps", "LOSSLESS"}, 0, 3, 0},
        {{"--bitmaps", "lossless", "--changed-areas"}, 0, 3, 2},
        {{"--changed-areas"}, 3, 0, 2},
        // Transparent frames never show the ones before through them.
        {{"--transparent", "--background", "#102030"}, 3, 0, 2},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"convert", "clip.gif"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const CliRun run = Quorvel(args);
        ASSERT_EQ(run.status, 0) << run.err;
        const swftest::SwfFile swf = swftest::ReadSwfFile(dir / "clip.swf");
        ASSERT_TRUE(swf.ok) << swf.error;
        EXPECT_EQ(swf.CountTags(swftest::kTagDefineBitsJPEG2), c.jpegs) << args.back();
        EXPECT_EQ(swf.CountTags(swftest::kTagDefineBitsLossless), c.lossless) << args.back();
        EXPECT_EQ(swf.CountTags(swftest::kTagRemoveObject2), c.removals) << args.back();
    }
    const swftest::SwfFile last = swftest::ReadSwfFile(dir / "clip.swf");
    ASSERT_EQ(last.CountTags(swftest::kTagSetBackgroundColor), 1);
    EXPECT_EQ(last.TagsWithCode(swftest::kTagSetBackgroundColor)[0]->body,
              (std::vector<uint8_t>{0x10, 0x20, 0x30}));
    for (const auto& [option, value] :
         {std::pair{"--bitmaps", "png"}, {"--background", "#10203"}, {"--background", "reddish"}}) {
        const CliRun bad = Quorvel({"convert", "clip.gif", option, value});
        EXPECT_EQ(bad.status, 2) << value;
        EXPECT_TRUE(Contains(bad.err, option)) << bad.err;
    }
}

// The batch folder of the issue: two GIFs convert, a folder named like a GIF is skipped and a
// broken GIF fails without stopping the rest.
// A GIF whose images mostly have no delay: 7 of 10 (browsers show them for 100 ms), and 3 of
// 100 ms; and one like it that loops for ever, and one whose second image is restored to the
// background.
class ZeroDelayCliTest : public CliTest {
protected:
    void SetUp() override {
        for (const bool loops : {false, true}) {
            GifBuilder gif(6, 4);
            gif.GlobalColors({kRed, kBlue, kGreen});
            if (loops) gif.Loop(0);
            for (const int delay : {0, 0, 0, 10, 0, 0, 0, 10, 0, 10})
                gif.Solid(0, 0, 6, 4, static_cast<uint8_t>(delay % 3), delay);
            ASSERT_TRUE(gif.Write(dir / (loops ? "loops.gif" : "zero.gif"))) << gif.Error();
        }
        GifBuilder restored(6, 4);
        restored.GlobalColors({kRed, kBlue, kGreen}, 2);
        restored.Solid(0, 0, 6, 4, 0, 10).Solid(1, 1, 3, 2, 1, 10, 2).Solid(4, 0, 2, 2, 1, 10);
        ASSERT_TRUE(restored.Write(dir / "restored.gif")) << restored.Error();
    }
};

// The command line plays a GIF as browsers do unless told otherwise: every image a frame for as
// long as its delay, looped as the GIF says; --timing fixed gives the fixed-rate movie, one
// frame for each image with a delay and those before it.
TEST_F(ZeroDelayCliTest, DefaultTimingKeepsEveryImageAndTheGifsLength) {
    const struct {
        std::vector<std::string> options;
        int frames;
        int fps;
        bool stops;       // a Stop in the last frame: the movie plays once
        bool note;        // says that the movie plays far from the GIF's length
    } cases[] = {
        {{}, 10, 10, true, false},
        {{"--timing", "gif"}, 10, 10, true, false},
        {{"--like-gif"}, 10, 10, true, false},
        {{"--fps", "20"}, 20, 20, true, false},
        {{"--loop", "0"}, 10, 10, false, false},
        {{"--loop", "2"}, 20, 10, true, false},
        {{"--timing", "fixed"}, 3, 10, false, true},
        {{"--timing", "fixed", "--fps", "3"}, 3, 3, false, false},
        {{"--timing", "fixed", "--like-gif"}, 3, 10, true, true},
        {{"--timing", "fixed", "--loop", "once"}, 3, 10, true, true},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"convert", "zero.gif", "-o", "z.swf"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        SCOPED_TRACE(args.size() > 4 ? args[4] + " " + args.back() : "defaults");
        const CliRun run = Quorvel(args);
        ASSERT_EQ(run.status, 0) << run.err;
        const swftest::SwfFile swf = swftest::ReadSwfFile(dir / "z.swf");
        ASSERT_TRUE(swf.ok) << swf.error;
        EXPECT_EQ(swf.frameCount, c.frames);
        EXPECT_EQ(swf.frameRate, c.fps << 8);
        EXPECT_EQ(swf.CountTags(swftest::kTagDoAction), c.stops ? 1 : 0);
        EXPECT_EQ(Contains(run.err, "the GIF lasts 1.0 s (--timing gif keeps its timing)"), c.note)
            << run.err;
    }
}

// Options that give the core's movies byte for byte: --timing fixed the core's defaults (the
// fixed-rate movie of the dialog), the default the GIF's timing, loop and restored areas.
TEST_F(ZeroDelayCliTest, TheCoresMoviesByteForByte) {
    const auto fixed = [](ConvertOptions&) {};
    const auto likeGif = [](ConvertOptions& o) {
        o.timing = Timing::Gif;
        o.loop.kind = LoopOption::Kind::Gif;
        o.restoreToStage = true;
    };
    const struct {
        const char* gif;
        std::vector<std::string> options;
        std::function<void(ConvertOptions&)> core;
    } cases[] = {
        {"zero.gif", {"--timing", "fixed"}, fixed},
        {"restored.gif", {"--timing", "fixed"}, fixed},
        {"loops.gif", {"--timing", "fixed", "--loop", "forever"}, fixed},
        {"zero.gif", {}, likeGif},
        {"restored.gif", {}, likeGif},
        {"loops.gif", {"--like-gif"}, likeGif},
        {"restored.gif", {"--timing", "fixed", "--like-gif"},
         [](ConvertOptions& o) {
             o.loop.kind = LoopOption::Kind::Gif;
             o.restoreToStage = true;
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.gif) + " " + std::to_string(c.options.size()));
        std::vector<std::string> args = {"convert", c.gif, "-o", "cli.swf", "-q"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        ASSERT_EQ(Quorvel(args).status, 0);
        ConvertOptions options;
        c.core(options);
        ASSERT_TRUE(ConvertFile((dir / c.gif).string(), dir / "core.swf", options).Succeeded());
        const std::string cli = ReadText(dir / "cli.swf");
        EXPECT_FALSE(cli.empty());
        EXPECT_TRUE(cli == ReadText(dir / "core.swf"));
    }
}

// Colours as CSS writes them, wherever a colour option is.
TEST_F(ConvertCliTest, ColoursAsCssWritesThem) {
    MakeGif("clip.gif", 1);
    const struct {
        const char* value;
        std::vector<uint8_t> stage;  // SetBackgroundColor's body; empty: refused
    } cases[] = {
        {"#102030", {0x10, 0x20, 0x30}}, {"#AbC", {0xAA, 0xBB, 0xCC}},
        {"navy", {0x00, 0x00, 0x80}},    {"RebeccaPurple", {0x66, 0x33, 0x99}},
        {"white", {0xFF, 0xFF, 0xFF}},   {"#abcd", {}},
        {"#ab", {}},                     {"navi", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        fs::remove(dir / "clip.swf");
        const CliRun run = Quorvel({"convert", "clip.gif", "--background", c.value});
        if (c.stage.empty()) {
            EXPECT_EQ(run.status, 2);
            EXPECT_TRUE(Contains(run.err, std::string("quorvel: --background needs a colour (#rgb, "
                                                      "#rrggbb or a CSS name such as navy), not ") +
                                              c.value + "\n"))
                << run.err;
            EXPECT_FALSE(fs::exists(dir / "clip.swf"));
            continue;
        }
        ASSERT_EQ(run.status, 0) << run.err;
        const swftest::SwfFile swf = swftest::ReadSwfFile(dir / "clip.swf");
        ASSERT_EQ(swf.CountTags(swftest::kTagSetBackgroundColor), 1);
        EXPECT_EQ(swf.TagsWithCode(swftest::kTagSetBackgroundColor)[0]->body, c.stage);
    }
    // Extraction composes on the same colours.
    EXPECT_EQ(Quorvel({"extract", "clip.gif", "--background", "#abc", "-o", "."}).status, 0);
}

// -v says what each movie is made of and when it was done; without it, nothing of that.
TEST_F(ConvertCliTest, VerboseSaysThePlanOfEachMovie) {
    MakeGif("clip.gif", 3);
    const struct {
        std::vector<std::string> options;
        int status;
        std::string says;  // on standard error; empty: nothing
    } cases[] = {
        {{"-v"}, 0, "quorvel: clip.gif: 8 x 6 pixels, 3 frames at 10 fps, 0.30 s a pass (the 0.30 s "
                    "of the animation); 3 pictures encoded, done "},
        {{"--verbose", "--timing", "fixed", "--fps", "5"}, 0, "3 frames at 5 fps, 0.60 s a pass"},
        {{}, 0, ""},
        {{"-v", "-q"}, 2, "quorvel: --quiet and --verbose cannot be used together\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"convert", "clip.gif"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const CliRun run = Quorvel(args);
        EXPECT_EQ(run.status, c.status) << run.err;
        if (c.says.empty()) EXPECT_EQ(run.err, "");
        else EXPECT_TRUE(Contains(run.err, c.says)) << run.err;
        EXPECT_EQ(run.out, c.status == 0 ? "./clip.swf\n" : "");  // -v writes on standard error
    }
}

TEST_F(ConvertCliTest, FolderInputConvertsItsGifsAndSummarisesFailures) {
    fs::create_directories(dir / "in" / "c.gif");
    MakeGif("in/a.gif", 2);
    MakeGif("in/B.GIF", 1);
    ASSERT_TRUE(WriteBytes(dir / "in" / "d.gif", {'G', 'I', 'F', '8', '9', 'a'}));
    fs::create_directories(dir / "out");

    const CliRun run = Quorvel({"convert", "in", "-o", "out"});

    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "out/B.swf\nout/a.swf\n");
    EXPECT_TRUE(Contains(run.err, "quorvel: in/d.gif: ")) << run.err;
    EXPECT_TRUE(Contains(run.err, "Converted 2 of 3 files, 1 failed.")) << run.err;
    EXPECT_TRUE(fs::exists(dir / "out" / "a.swf"));
    EXPECT_TRUE(fs::exists(dir / "out" / "B.swf"));
    EXPECT_FALSE(fs::exists(dir / "out" / "d.swf"));
    EXPECT_FALSE(fs::exists(dir / "out" / "c.swf"));
}

TEST_F(ConvertCliTest, SeveralFilesAllConvertedExitZeroWithSummary) {
    MakeGif("one.gif", 1);
    MakeGif("two.gif", 2);
    const CliRun run = Quorvel({"convert", "-q", "one.gif", "two.gif"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(fs::exists(dir / "one.swf"));
    EXPECT_TRUE(fs::exists(dir / "two.swf"));

    const CliRun loud = Quorvel({"convert", "one.gif", "two.gif", "-j", "2"});
    EXPECT_EQ(loud.status, 0) << loud.err;
    EXPECT_TRUE(Contains(loud.err, "Converted 2 of 2 files.")) << loud.err;
}

TEST_F(ConvertCliTest, MissingInputFailsAndOthersStillConvert) {
    MakeGif("ok.gif", 1);
    const CliRun run = Quorvel({"convert", "nothing.gif", "ok.gif"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(Contains(run.err, "quorvel: nothing.gif: ")) << run.err;
    EXPECT_TRUE(Contains(run.err, "Converted 1 of 2 files, 1 failed.")) << run.err;
    EXPECT_TRUE(fs::exists(dir / "ok.swf"));
}

TEST_F(ConvertCliTest, UsageErrorsExitTwoAndWriteNothing) {
    MakeGif("clip.gif", 1);
    const std::vector<std::vector<std::string>> cases = {
        {"convert"},
        {"convert", "clip.gif", "--fps", "0"},
        {"convert", "clip.gif", "--fps", "256"},
        {"convert", "clip.gif", "--fps", "ten"},
        {"convert", "clip.gif", "--quality", "best"},
        {"convert", "clip.gif", "-j", "0"},
        {"convert", "clip.gif", "--url", std::string(65534, 'u')},
        {"convert", "clip.gif", "--bogus"},
    };
    for (const auto& args : cases) {
        const CliRun run = Quorvel(args);
        EXPECT_EQ(run.status, 2) << args.back() << ": " << run.err;
        EXPECT_TRUE(Contains(run.err, "quorvel: ")) << run.err;
        EXPECT_FALSE(fs::exists(dir / "clip.swf"));
    }
    EXPECT_TRUE(Contains(Quorvel({"convert", "clip.gif", "-j", "two"}).err,
                         "quorvel: --jobs needs a whole number from 1 to 256, not two\n"));
}

TEST_F(ConvertCliTest, HelpDocumentsTheOptions) {
    const CliRun run = Quorvel({"help", "convert"});
    EXPECT_EQ(run.status, 0);
    for (const char* option : {"--fps", "--quality", "--url", "-j", "-o", "-q", "INPUT"})
        EXPECT_TRUE(Contains(run.out, option)) << option;
}

}  // namespace
