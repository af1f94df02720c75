#include <gtest/gtest.h>

#include <filesystem>

#include "support/CliTest.h"
#include "support/CliRunner.h"
#include "support/GifBuilder.h"
#include "support/SwfReader.h"

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
         {std::pair{"--bitmaps", "png"}, {"--background", "#10203"}, {"--background", "red"}}) {
        const CliRun bad = Quorvel({"convert", "clip.gif", option, value});
        EXPECT_EQ(bad.status, 2) << value;
        EXPECT_TRUE(Contains(bad.err, option)) << bad.err;
    }
}

// The batch folder of the issue: two GIFs convert, a folder named like a GIF is skipped and a
// broken GIF fails without stopping the rest.
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
    EXPECT_TRUE(Contains(Quorvel({"convert", "clip.gif", "-j", "two"}).err, "two is not a whole number"));
}

TEST_F(ConvertCliTest, HelpDocumentsTheOptions) {
    const CliRun run = Quorvel({"help", "convert"});
    EXPECT_EQ(run.status, 0);
    for (const char* option : {"--fps", "--quality", "--url", "-j", "-o", "-q", "INPUT"})
        EXPECT_TRUE(Contains(run.out, option)) << option;
}

}  // namespace
