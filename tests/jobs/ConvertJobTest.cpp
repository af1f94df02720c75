#include <FreeImage.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>

#include "jobs/BatchJob.h"
#include "support/TestJob.h"
#include "jobs/ConvertJob.h"
#include "jobs/ExtractJob.h"
#include "support/GifBuilder.h"
#include "support/SwfReader.h"

namespace fs = std::filesystem;
using namespace swftest;

namespace {

const std::vector<GifRgb> kPalette = {{255, 0, 0}, {0, 160, 0},    {0, 0, 255},    {255, 255, 255},
                                      {0, 0, 0},   {250, 200, 40}, {120, 40, 160}, {40, 200, 220}};

// An image whose pixels form a pattern that differs per frame, so that frames tell apart.
GifImage PatternImage(int width, int height, int seed, int delay = 10) {
    GifImage image;
    image.width = width;
    image.height = height;
    image.control = true;
    image.delay = delay;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.pixels.push_back(static_cast<uint8_t>(((x / 4) + (y / 4) * 3 + seed) % 8));
    return image;
}

class ConvertJobTest : public ::testing::Test {
protected:
    fs::path MakeGif(const std::string& name, int width, int height, int frames) {
        GifBuilder gif(width, height);
        gif.GlobalColors(kPalette);
        for (int i = 0; i < frames; ++i) gif.Image(PatternImage(width, height, i));
        EXPECT_TRUE(gif.Write(dir / name)) << gif.Error();
        return dir / name;
    }

    TestJob Settings(const fs::path& gif, const std::string& url = "", int fps = 12,
                                int quality = 1) {
        TestJob settings;
        settings.gif = gif.string();
        settings.output = (dir / "out").string();
        settings.convert.fps = fps;
        settings.convert.quality = static_cast<Quality>(quality);
        settings.convert.targetUrl = url;
        fs::create_directories(dir / "out");
        return settings;
    }

    static std::vector<uint16_t> Codes(const SwfFile& swf) {
        std::vector<uint16_t> codes;
        for (const SwfTag& tag : swf.tags) codes.push_back(tag.code);
        return codes;
    }

    ScratchDir dir;
};

// Tags of k frames: bitmap, shape, placement, ShowFrame each.
std::vector<uint16_t> FrameCodes(int frames) {
    std::vector<uint16_t> codes;
    for (int i = 0; i < frames; ++i)
        codes.insert(codes.end(),
                     {kTagDefineBitsJPEG2, kTagDefineShape3, kTagPlaceObject2, kTagShowFrame});
    return codes;
}

TEST_F(ConvertJobTest, MovieHasHeaderTagOrderIdsAndDepthsOfEveryFrame) {
    const fs::path gif = MakeGif("anim.gif", 40, 30, 3);
    int lastProgress = 0;
    JobControl control;
    control.progress = [&](int done) { lastProgress = done; };

    const JobResult result = ConvertFile(Settings(gif), control);

    ASSERT_TRUE(result.Succeeded()) << result.error;
    EXPECT_EQ(result.frames, 3);
    EXPECT_EQ(lastProgress, 3);
    EXPECT_TRUE(result.warnings.empty());
    ASSERT_EQ(result.outputs, std::vector<std::string>{(dir / "out" / "anim.swf").string()});
    const SwfFile swf = ReadSwfFile(dir / "out" / "anim.swf");
    ASSERT_TRUE(swf.ok) << swf.error;
    EXPECT_EQ(swf.signature, "FWS");
    EXPECT_EQ(swf.version, 3);
    EXPECT_EQ(swf.fileLength, fs::file_size(dir / "out" / "anim.swf"));
    EXPECT_EQ(swf.xmin, 0);
    EXPECT_EQ(swf.xmax, 800);
    EXPECT_EQ(swf.ymin, 0);
    EXPECT_EQ(swf.ymax, 600);
    EXPECT_EQ(swf.frameRate, 12 << 8);
    EXPECT_EQ(swf.frameCount, 3);

    std::vector<uint16_t> expected = {kTagSetBackgroundColor};
    const std::vector<uint16_t> frames = FrameCodes(3);
    expected.insert(expected.end(), frames.begin(), frames.end());
    expected.push_back(kTagEnd);
    ASSERT_EQ(Codes(swf), expected);
    EXPECT_EQ(swf.tags[0].body, (std::vector<uint8_t>{0xFF, 0xFF, 0xFF}));  // white

    for (int k = 0; k < 3; ++k) {
        const SwfTag& bitmap = swf.tags[1 + 4 * k];
        const SwfTag& shape = swf.tags[2 + 4 * k];
        const auto place = ParsePlaceObject2(swf.tags[3 + 4 * k]);
        EXPECT_EQ(DefinitionId(bitmap), 3 + 2 * k);
        EXPECT_EQ(DefinitionId(shape), 4 + 2 * k);
        ASSERT_TRUE(place);
        EXPECT_EQ(place->id, 4 + 2 * k);
        EXPECT_EQ(place->depth, 4 + 2 * k);
        const ShapeInfo info = ParseDefineShape3(shape);
        ASSERT_TRUE(info.ok) << info.error;
        ASSERT_EQ(info.fills.size(), 1u);
        EXPECT_EQ(info.fills[0].bitmapId, 3 + 2 * k);
        const std::vector<uint8_t> jpeg = JpegOfDefineBitsJPEG2(bitmap);
        ASSERT_GE(jpeg.size(), 4u);
        EXPECT_EQ(jpeg[0], 0xFF);
        EXPECT_EQ(jpeg[1], 0xD8);
    }
}

TEST_F(ConvertJobTest, FrameShapeOfTwoByTwoGifCoversTheWholeStage) {
    const fs::path gif = MakeGif("tiny.gif", 2, 2, 1);
    ASSERT_TRUE(ConvertFile(Settings(gif)).Succeeded());
    const SwfFile swf = ReadSwfFile(dir / "out" / "tiny.swf");
    ASSERT_TRUE(swf.ok) << swf.error;
    ASSERT_EQ(swf.tags.size(), 6u);
    const SwfTag& shape = swf.tags[2];
    ASSERT_EQ(shape.code, kTagDefineShape3);
    std::vector<uint8_t> tag = {0x3F, 0x08, 0x22, 0x00, 0x00, 0x00};  // DefineShape3, L = 34
    tag.insert(tag.end(), shape.body.begin(), shape.body.end());
    const std::vector<uint8_t> expected = {
        0x3F, 0x08, 0x22, 0x00, 0x00, 0x00,        // DefineShape3, long header, length 34
        0x04, 0x00,                                // shape id 4
        0x38, 0x05, 0x00, 0x14, 0x00,              // bounds 0..40 twips, width 7
        0x01, 0x41, 0x03, 0x00,                    // one clipped bitmap fill of bitmap 3
        0xD9, 0x40, 0x00, 0x05, 0x00, 0x00, 0x00,  // matrix: scale 20, 20, no translation
        0x00, 0x10,                                // no line styles; 1 fill bit, 0 line bits
        // move to (0, 0) with fill 1, then edges (40, 0), (0, 40), (-40, 0), (0, -40) twips of
        // width 7, then the end record and padding
        0x3C, 0x25, 0xAD, 0x40, 0x0D, 0x60, 0x14, 0x6B, 0xB0, 0x03, 0x58, 0x0B, 0x00, 0x00};
    EXPECT_EQ(tag, expected);
}

TEST_F(ConvertJobTest, UrlAddsFaceShapeAndButtonBelowTheFrames) {
    const fs::path gif = MakeGif("link.gif", 2, 2, 2);
    const JobResult result = ConvertFile(Settings(gif, " \tpage.htm  "));
    ASSERT_TRUE(result.Succeeded()) << result.error;
    const SwfFile swf = ReadSwfFile(dir / "out" / "link.swf");
    ASSERT_TRUE(swf.ok) << swf.error;

    std::vector<uint16_t> expected = {kTagSetBackgroundColor, kTagDefineShape3, kTagDefineButton2,
                                      kTagPlaceObject2};
    const std::vector<uint16_t> frames = FrameCodes(2);
    expected.insert(expected.end(), frames.begin(), frames.end());
    expected.push_back(kTagEnd);
    ASSERT_EQ(Codes(swf), expected);

    const ShapeInfo face = ParseDefineShape3(swf.tags[1]);
    ASSERT_TRUE(face.ok) << face.error;
    EXPECT_EQ(face.id, 1);
    ASSERT_EQ(face.lines.size(), 1u);
    ASSERT_EQ(face.fills.size(), 1u);
    EXPECT_EQ(face.fills[0].type, 0x00);
    EXPECT_EQ(face.fills[0].rgba[3], 0);  // invisible
    int sumX = 0, sumY = 0;
    std::vector<std::pair<int, int>> edges;
    for (const ShapeRecordInfo& r : face.records)
        if (r.kind == ShapeRecordInfo::kStraightEdge) edges.emplace_back(r.x, r.y);
    EXPECT_EQ(edges, (std::vector<std::pair<int, int>>{{40, 0}, {0, 40}, {-40, 0}, {0, -40}}));
    for (auto [x, y] : edges) sumX += x, sumY += y;
    EXPECT_EQ(sumX, 0);
    EXPECT_EQ(sumY, 0);

    // The button exactly as written for "page.htm": four states of character 1 at depth 1 and
    // a GetURL on release.
    std::vector<uint8_t> button = {0xBF, 0x08, 0x36, 0x00, 0x00, 0x00};
    button.insert(button.end(), swf.tags[2].body.begin(), swf.tags[2].body.end());
    const std::vector<uint8_t> expectedButton = {
        0xBF, 0x08, 0x36, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x1F, 0x00,  // header, id 2, offset
        0x08, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00,                          // hit test
        0x02, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00,                          // over
        0x04, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00,                          // down
        0x01, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00,                          // up
        0x00, 0x00, 0x00, 0x08, 0x00,  // end of records, last condition action, OverDownToOverUp
        0x83, 0x0A, 0x00, 'p',  'a',  'g',  'e',  '.',  'h',  't',  'm',  0x00, 0x00,  // GetURL
        0x00, 0x00, 0x00};  // ActionEndFlag, trailing word
    EXPECT_EQ(button, expectedButton);

    const auto place = ParsePlaceObject2(swf.tags[3]);
    ASSERT_TRUE(place);
    EXPECT_EQ(place->id, 2);
    EXPECT_EQ(place->depth, 2);
    EXPECT_EQ(DefinitionId(swf.tags[4]), 3);  // frames still start at 3
}

TEST(EncodeTargetUrlTest, TrimsWhiteSpaceAndEscapesNonAscii) {
    const std::pair<std::string, std::string> cases[] = {
        {"page.htm", "page.htm"},
        {"  page.htm\t\r\n", "page.htm"},
        {" \t \n", ""},
        {"", ""},
        {"http://example.org/a b", "http://example.org/a b"},                 // inner spaces stay
        {"http://x/\xC3\xA4?q=\xE2\x82\xAC", "http://x/%C3%A4?q=%E2%82%AC"},  // ä and €
    };
    for (const auto& [input, expected] : cases)
        EXPECT_EQ(EncodeTargetUrl(input), expected) << input;
}

TEST_F(ConvertJobTest, BlankUrlMakesNoButton) {
    const fs::path gif = MakeGif("plain.gif", 4, 4, 1);
    ASSERT_TRUE(ConvertFile(Settings(gif, " \t ")).Succeeded());
    const SwfFile swf = ReadSwfFile(dir / "out" / "plain.swf");
    ASSERT_TRUE(swf.ok) << swf.error;
    EXPECT_EQ(swf.CountTags(kTagDefineButton2), 0);
    EXPECT_EQ(DefinitionId(swf.tags[1]), 3);
}

TEST_F(ConvertJobTest, QualityChangesOnlyTheJpegData) {
    const fs::path gif = MakeGif("q.gif", 24, 16, 2);
    TestJob low = Settings(gif, "page.htm", 12, 0);
    ASSERT_TRUE(ConvertFile(low).Succeeded());
    fs::rename(dir / "out" / "q.swf", dir / "low.swf");
    ASSERT_TRUE(ConvertFile(Settings(gif, "page.htm", 12, 2)).Succeeded());
    const SwfFile a = ReadSwfFile(dir / "low.swf");
    const SwfFile b = ReadSwfFile(dir / "out" / "q.swf");
    ASSERT_TRUE(a.ok && b.ok);
    ASSERT_EQ(Codes(a), Codes(b));
    EXPECT_EQ(a.xmax, b.xmax);
    EXPECT_EQ(a.frameCount, b.frameCount);
    for (std::size_t i = 0; i < a.tags.size(); ++i) {
        if (a.tags[i].code == kTagDefineBitsJPEG2) {
            EXPECT_EQ(DefinitionId(a.tags[i]), DefinitionId(b.tags[i]));
            EXPECT_NE(a.tags[i].body, b.tags[i].body) << "tag " << i;
        } else {
            EXPECT_EQ(a.tags[i].body, b.tags[i].body) << "tag " << i;
        }
    }
}

TEST_F(ConvertJobTest, OutputIsTheSameWhateverTheThreadCount) {
    const fs::path gif = MakeGif("threads.gif", 64, 48, 12);
    const TestJob settings = Settings(gif, "page.htm");
    JobControl one;
    one.threads = 1;
    ASSERT_TRUE(ConvertFile(settings, one).Succeeded());
    const auto single = ReadFileBytes(dir / "out" / "threads.swf");
    for (unsigned threads : {2u, 3u, 8u}) {
        JobControl many;
        many.threads = threads;
        ASSERT_TRUE(ConvertFile(settings, many).Succeeded());
        EXPECT_EQ(ReadFileBytes(dir / "out" / "threads.swf"), single) << threads << " threads";
    }
}

TEST_F(ConvertJobTest, DelaysDoNotReachTheMovieAndDelayZeroImagesMerge) {
    GifBuilder gif(8, 8);
    gif.GlobalColors(kPalette);
    gif.Image(PatternImage(8, 8, 0, 1));    // 10 ms
    gif.Image(PatternImage(8, 8, 1, 0));    // delay 0: merges into the next
    gif.Image(PatternImage(8, 8, 2, 200));  // 2 s
    gif.Image(PatternImage(8, 8, 3, 0));    // delay 0 at the end still makes a frame
    ASSERT_TRUE(gif.Write(dir / "delays.gif"));
    const JobResult result = ConvertFile(Settings(dir / "delays.gif", "", 25));
    ASSERT_TRUE(result.Succeeded()) << result.error;
    EXPECT_EQ(result.frames, 3);
    // The GIF's length is the browser's, every image shown, whatever made the frames.
    EXPECT_EQ(result.plan.gifMs, 2300);
    ASSERT_EQ(result.notes.size(), 1u);
    EXPECT_EQ(result.notes[0].rfind("plays in 0.1 s; the GIF lasts 2.3 s", 0), 0u) << result.notes[0];
    const SwfFile swf = ReadSwfFile(dir / "out" / "delays.swf");
    ASSERT_TRUE(swf.ok) << swf.error;
    EXPECT_EQ(swf.frameCount, 3);
    EXPECT_EQ(swf.frameRate, 25 << 8);
}

// The GIF's own timing: the rate that shows every delay, each frame as many SWF frames as its
// delay covers (the bitmap once, then bare ShowFrames), frames too short left out.
TEST_F(ConvertJobTest, GifTimingRepeatsShowFramesAndLeavesOutTooShortFrames) {
    GifBuilder builder(4, 4);
    builder.GlobalColors(kPalette);
    for (int delay : {4, 20, 2, 2, 4}) builder.Image(PatternImage(4, 4, delay, delay));
    ASSERT_TRUE(builder.Write(dir / "timed.gif"));
    TestJob settings = Settings(dir / "timed.gif");
    settings.convert.timing = Timing::Gif;
    const JobResult auto_ = ConvertFile(settings);
    ASSERT_TRUE(auto_.Succeeded()) << auto_.error;
    SwfFile swf = ReadSwfFile(dir / "out" / "timed.swf");
    ASSERT_TRUE(swf.ok) << swf.error;
    EXPECT_EQ(swf.frameRate, 50 << 8);  // 20 ms is one frame at 50 per second
    EXPECT_EQ(swf.frameCount, 2 + 10 + 1 + 1 + 2);
    EXPECT_EQ(swf.CountTags(kTagDefineBitsJPEG2), 5);

    settings.convert.fps = 10;  // given: the 20 ms frames are too short
    settings.convert.fpsGiven = true;
    const JobResult fixedRate = ConvertFile(settings);
    ASSERT_TRUE(fixedRate.Succeeded()) << fixedRate.error;
    swf = ReadSwfFile(dir / "out" / "timed.swf");
    EXPECT_EQ(swf.frameRate, 10 << 8);
    // Ends at 40, 240, 260, 280 and 320 ms: frames 1, 1, 1, none (the movie would be more than
    // a frame ahead), 1.
    EXPECT_EQ(swf.frameCount, 4);
    EXPECT_EQ(swf.CountTags(kTagDefineBitsJPEG2), 4);
    EXPECT_EQ(fixedRate.warnings,
              std::vector<std::string>{"1 frame left out: shorter than one frame at 10 frames "
                                       "per second"});
}

// With the GIF's own timing every image is a frame (delay 0 lasting 100 ms), and the rounding
// of each pass carries into the next: 70 and 100 ms at 50 frames per second, ten passes, make
// 85 frames, not ten passes of 4 + 5; looping for ever, the player loops over two passes (17
// frames, no Stop), so that no loop starts late.
TEST_F(ConvertJobTest, GifTimingShowsEveryImageAndCarriesRoundingAcrossPasses) {
    const struct {
        std::vector<int> delays;
        int loop;
        int frames, bitmaps;
    } cases[] = {{{0, 0, 0, 0}, -1, 4, 4}, {{7, 10}, 9, 85, 2}, {{7, 10}, 0, 17, 2}};
    for (const auto& c : cases) {
        GifBuilder builder(4, 4);
        builder.GlobalColors(kPalette);
        if (c.loop >= 0) builder.Loop(c.loop);
        for (std::size_t i = 0; i < c.delays.size(); ++i)
            builder.Image(PatternImage(4, 4, static_cast<int>(i), c.delays[i]));
        ASSERT_TRUE(builder.Write(dir / "timed.gif"));
        TestJob settings = Settings(dir / "timed.gif");
        settings.convert.timing = Timing::Gif;
        settings.convert.loop.kind = LoopOption::Kind::Gif;
        ASSERT_TRUE(ConvertFile(settings).Succeeded());
        const SwfFile swf = ReadSwfFile(dir / "out" / "timed.swf");
        ASSERT_TRUE(swf.ok) << swf.error;
        EXPECT_EQ(swf.frameCount, c.frames);
        EXPECT_EQ(swf.CountTags(kTagDefineBitsJPEG2), c.bitmaps);
        EXPECT_EQ(swf.CountTags(kTagDoAction), c.loop == 0 ? 0 : 1);
    }
}

// Looping as the GIF asks: later passes place the shapes already defined, after taking the
// last pass's off the stage, and the last pass stops on its last frame.
TEST_F(ConvertJobTest, GifLoopCountIsWrittenOutAsPasses) {
    const struct {
        int loop;    // -1: no looping extension
        int passes;  // 0: the player loops
    } cases[] = {{-1, 1}, {0, 0}, {1, 2}, {3, 4}, {30000, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE("loop " + std::to_string(c.loop));
        GifBuilder builder(4, 4);
        builder.GlobalColors(kPalette);
        if (c.loop >= 0) builder.Loop(c.loop);
        for (int i = 0; i < 3; ++i) builder.Image(PatternImage(4, 4, i));
        ASSERT_TRUE(builder.Write(dir / "loop.gif"));
        TestJob settings = Settings(dir / "loop.gif", "http://example.org/");
        settings.convert.loop = LoopOption{LoopOption::Kind::Gif, 1};
        const JobResult result = ConvertFile(settings);
        ASSERT_TRUE(result.Succeeded()) << result.error;
        const SwfFile swf = ReadSwfFile(dir / "out" / "loop.swf");
        ASSERT_TRUE(swf.ok) << swf.error;
        const int passes = std::max(c.passes, 1);
        EXPECT_EQ(swf.frameCount, 3 * passes);
        EXPECT_EQ(swf.CountTags(kTagDefineBitsJPEG2), 3);
        EXPECT_EQ(swf.CountTags(kTagPlaceObject2), 1 + 3 * passes);  // the button, then frames
        EXPECT_EQ(swf.CountTags(kTagRemoveObject2), 3 * (passes - 1));
        const std::vector<uint16_t> codes = Codes(swf);
        const bool stops = c.passes > 0;
        EXPECT_EQ(swf.CountTags(kTagDoAction), stops ? 1 : 0);
        if (stops) {
            EXPECT_EQ(codes[codes.size() - 3], kTagDoAction);  // then ShowFrame, End
        }
        EXPECT_EQ(result.warnings.size(), c.loop == 30000 ? 1u : 0u);
    }
}

TEST_F(ConvertJobTest, OnePixelWideGifGetsFillScaleTwenty) {
    const fs::path gif = MakeGif("line.gif", 1, 5, 1);
    ASSERT_TRUE(ConvertFile(Settings(gif)).Succeeded());
    const SwfFile swf = ReadSwfFile(dir / "out" / "line.swf");
    ASSERT_TRUE(swf.ok) << swf.error;
    const ShapeInfo shape = ParseDefineShape3(swf.tags[2]);
    ASSERT_TRUE(shape.ok) << shape.error;
    ASSERT_EQ(shape.fills.size(), 1u);
    EXPECT_EQ(shape.fills[0].matrix.scaleX, 20 << 16);
    EXPECT_EQ(shape.fills[0].matrix.scaleY, 20 << 16);
}

// A GIF named like the movie it gives (x.swf), or linked to under that name, is never replaced.
TEST_F(ConvertJobTest, MovieThatWouldReplaceItsInputIsRefused) {
    const fs::path gif = MakeGif("x.swf", 4, 4, 1);
    fs::create_directories(dir / "out");
    fs::create_hard_link(gif, dir / "out" / "y.swf");
    for (const fs::path& input : {gif, dir / "out" / "y.swf"}) {
        TestJob settings = Settings(input);
        settings.output = input.parent_path().string();
        const JobResult result = ConvertFile(settings);
        EXPECT_EQ(result.error, "the movie " + input.string() + " would replace its own input");
        EXPECT_EQ(ReadFileBytes(input), ReadFileBytes(dir / "out" / "y.swf"));  // still the GIF
        EXPECT_EQ(ReadText(input).substr(0, 3), "GIF");
    }
}

TEST_F(ConvertJobTest, TitleComesFromThePath) {
    const fs::path gif = MakeGif("Anim.GIF", 4, 4, 1);
    TestJob settings = Settings(gif);
    ASSERT_TRUE(ConvertFile(settings).Succeeded());
    EXPECT_TRUE(fs::exists(dir / "out" / "Anim.swf"));

    // A movie name of 255 bytes, the usual limit, still leaves room for its temporary file.
    const std::string title(255 - 4, 'a');
    const JobResult result = ConvertFile(Settings(MakeGif(title + ".gif", 4, 4, 1)));
    ASSERT_TRUE(result.Succeeded()) << result.error;
    EXPECT_EQ(ListFolder(dir / "out"), (std::vector<std::string>{"Anim.swf", title + ".swf"}));
}

// Every refusal or failure writes nothing and names its cause.
TEST_F(ConvertJobTest, FailuresWriteNothingAndSayWhy) {
    const fs::path good = MakeGif("good.gif", 4, 4, 2);
    ASSERT_TRUE(WriteBytes(dir / "text.gif", {'h', 'e', 'l', 'l', 'o'}));
    std::vector<uint8_t> huge;
    RawHeader(huge, 9000, 10, kPalette);
    RawTrailer(huge);
    ASSERT_TRUE(WriteBytes(dir / "huge.gif", huge));

    struct Case {
        const char* name;
        std::function<void(TestJob&)> change;
        const char* cause;  // a part of the expected message
    };
    const Case cases[] = {
        {"fps 0", [](TestJob& s) { s.convert.fps = 0; }, "1 to 255"},
        {"fps 256", [](TestJob& s) { s.convert.fps = 256; }, "1 to 255"},
        {"long URL", [](TestJob& s) { s.convert.targetUrl = std::string(65534, 'u'); },
         "65533"},
        {"escaped URL too long",
         [](TestJob& s) { s.convert.targetUrl = std::string(30000, '\xE9'); }, "65533"},
        {"missing output folder",
         [&](TestJob& s) { s.output = (dir / "nowhere").string(); },
         "nowhere"},
        {"missing GIF",
         [&](TestJob& s) { s.gif = (dir / "gone.gif").string(); }, ""},
        {"not a GIF", [&](TestJob& s) { s.gif = (dir / "text.gif").string(); },
         ""},
        {"oversized screen",
         [&](TestJob& s) { s.gif = (dir / "huge.gif").string(); }, "9000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestJob settings = Settings(good);
        c.change(settings);
        const JobResult result = ConvertFile(settings);
        EXPECT_EQ(result.status, JobResult::Status::Failed);
        EXPECT_FALSE(result.error.empty());
        EXPECT_NE(result.error.find(c.cause), std::string::npos) << result.error;
        EXPECT_TRUE(result.outputs.empty());
        EXPECT_EQ(ListFolder(dir / "out"), std::vector<std::string>{});
    }
}

TEST_F(ConvertJobTest, BrokenGifKeepsEarlierMovieOrGivesTheFramesRead) {
    // Two good images, then an image descriptor whose data stops in the middle.
    std::vector<uint8_t> bytes;
    RawHeader(bytes, 4, 4, kPalette);
    for (int i = 0; i < 2; ++i) {
        RawControl(bytes, 10);
        RawImage(bytes, 0, 0, 4, 4, std::vector<uint8_t>(16, static_cast<uint8_t>(i)));
    }
    std::vector<uint8_t> cut = bytes;
    RawControl(cut, 10);
    RawAppend(cut, {0x2C, 0, 0, 0, 0, 4, 0, 4, 0, 0, 8, 5, 1, 2});  // descriptor, data cut off
    ASSERT_TRUE(WriteBytes(dir / "cut.gif", cut));
    JobResult result = ConvertFile(Settings(dir / "cut.gif"));
    ASSERT_TRUE(result.Succeeded()) << result.error;
    EXPECT_EQ(result.frames, 2);
    ASSERT_EQ(result.warnings.size(), 1u);
    const SwfFile swf = ReadSwfFile(dir / "out" / "cut.swf");
    ASSERT_TRUE(swf.ok) << swf.error;
    EXPECT_EQ(swf.frameCount, 2);

    // A file that breaks off before its first frame is a failure, and an earlier movie of the
    // same name survives it.
    std::vector<uint8_t> empty;
    RawHeader(empty, 4, 4, kPalette);
    RawAppend(empty, {0x2C, 0, 0});
    ASSERT_TRUE(WriteBytes(dir / "cut.gif", empty));
    { std::ofstream(dir / "out" / "cut.swf") << "earlier movie"; }
    result = ConvertFile(Settings(dir / "cut.gif"));
    EXPECT_EQ(result.status, JobResult::Status::Failed);
    EXPECT_EQ(
        ReadFileBytes(dir / "out" / "cut.swf"),
        (std::vector<uint8_t>{'e', 'a', 'r', 'l', 'i', 'e', 'r', ' ', 'm', 'o', 'v', 'i', 'e'}));
    EXPECT_EQ(ListFolder(dir / "out"), std::vector<std::string>{"cut.swf"});
}

// A GIF of a screen and no image is nothing to convert or extract, in any mode.
TEST_F(ConvertJobTest, GifWithoutImagesFailsAndWritesNothing) {
    std::vector<uint8_t> bytes;
    RawHeader(bytes, 5, 3, kPalette);
    RawTrailer(bytes);
    ASSERT_TRUE(WriteBytes(dir / "empty.gif", bytes));
    for (const bool likeGif : {false, true}) {
        TestJob settings = Settings(dir / "empty.gif");
        settings.convert.timing = likeGif ? Timing::Gif : Timing::Fixed;
        settings.convert.changedAreas = likeGif;
        for (const JobResult& result : {ConvertFile(settings), ExtractFrames(settings)}) {
            EXPECT_EQ(result.status, JobResult::Status::Failed);
            EXPECT_EQ(result.error, "the GIF has no images");
        }
        EXPECT_TRUE(fs::is_empty(dir / "out"));
    }
}

// Frame k uses character ids 3 + 2k and 4 + 2k, which are 16-bit: frames beyond the last that
// fits are dropped with a warning rather than written with wrapped ids.
TEST_F(ConvertJobTest, FramesBeyondTheLastCharacterIdAreDropped) {
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "32768 frames take minutes under AddressSanitizer; the release build runs it";
#endif
    std::vector<uint8_t> bytes;
    RawHeader(bytes, 1, 1, {kRed, kBlue});
    for (int i = 0; i < 32768; ++i) {
        RawControl(bytes, 1);
        RawImage(bytes, 0, 0, 1, 1, {static_cast<uint8_t>(i & 1)});
    }
    RawTrailer(bytes);
    ASSERT_TRUE(WriteBytes(dir / "many.gif", bytes));
    // With changed areas every frame is a picture of two ids too, but its number is known only
    // once it is planned, on an encoder thread.
    for (const bool changed : {false, true}) {
        TestJob settings = Settings(dir / "many.gif");
        settings.convert.changedAreas = changed;
        JobControl control;
        control.threads = changed ? 3 : 1;
        const JobResult result = ConvertFile(settings, control);
        ASSERT_TRUE(result.Succeeded()) << result.error;
        EXPECT_EQ(result.frames, 32766);
        ASSERT_EQ(result.warnings.size(), 1u);
        EXPECT_NE(result.warnings[0].find("32766"), std::string::npos) << result.warnings[0];
        const SwfFile swf = ReadSwfFile(dir / "out" / "many.swf");
        ASSERT_TRUE(swf.ok) << swf.error;
        EXPECT_EQ(swf.frameCount, 32766);
        EXPECT_EQ(swf.CountTags(swftest::kTagPlaceObject2), 32766);
        if (changed) continue;
        const auto lastPlace = ParsePlaceObject2(swf.tags[swf.tags.size() - 3]);
        ASSERT_TRUE(lastPlace);
        EXPECT_EQ(lastPlace->id, 65534);
        EXPECT_EQ(lastPlace->depth, 65534);
    }
}

TEST_F(ConvertJobTest, CancelStopsBetweenFramesAndLeavesNoFile) {
    const fs::path gif = MakeGif("long.gif", 16, 16, 20);
    for (unsigned threads : {1u, 2u}) {
        std::atomic<bool> cancel{false};
        JobControl control;
        control.cancel = &cancel;
        control.threads = threads;
        control.progress = [&](int done) {
            if (done == 2) cancel = true;
        };
        const JobResult result = ConvertFile(Settings(gif), control);
        EXPECT_EQ(result.status, JobResult::Status::Cancelled);
        EXPECT_EQ(ListFolder(dir / "out"), std::vector<std::string>{});
    }
}

// Peak signal-to-noise ratio of two 24-bit images of the same size, in dB.
double Psnr(FIBITMAP* a, FIBITMAP* b) {
    const unsigned w = FreeImage_GetWidth(a), h = FreeImage_GetHeight(a);
    double sum = 0;
    for (unsigned y = 0; y < h; ++y) {
        const BYTE* ra = FreeImage_GetScanLine(a, static_cast<int>(y));
        const BYTE* rb = FreeImage_GetScanLine(b, static_cast<int>(y));
        for (unsigned x = 0; x < 3 * w; ++x) {
            const double d = double(ra[x]) - double(rb[x]);
            sum += d * d;
        }
    }
    const double mse = sum / (3.0 * w * h);
    return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

TEST_F(ConvertJobTest, FfmpegDecodesOneImagePerFrameCloseToTheExtractedFrames) {
    if (std::system("ffmpeg -version >/dev/null 2>&1") != 0) GTEST_SKIP() << "ffmpeg missing";
    GifBuilder builder(48, 32);
    builder.GlobalColors(kPalette);
    builder.Image(PatternImage(48, 32, 0));
    GifImage overlay = PatternImage(20, 10, 5);  // a partial image over the first, transparent 3
    overlay.left = 10;
    overlay.top = 12;
    overlay.transparent = 3;
    builder.Image(overlay);
    builder.Image(PatternImage(48, 32, 2));
    ASSERT_TRUE(builder.Write(dir / "video.gif")) << builder.Error();

    TestJob settings = Settings(dir / "video.gif", "", 12, 2);
    ASSERT_TRUE(ConvertFile(settings).Succeeded());
    settings.output = (dir / "frames").string();
    fs::create_directories(dir / "frames");
    ASSERT_TRUE(ExtractFrames(settings).Succeeded());

    fs::create_directories(dir / "decoded");
    const std::string command = "ffmpeg -v error -i '" + (dir / "out" / "video.swf").string() +
                                "' -f image2 -c:v bmp '" + (dir / "decoded").string() +
                                "/d%d.bmp' </dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    EXPECT_EQ(ListFolder(dir / "decoded"),
              (std::vector<std::string>{"d1.bmp", "d2.bmp", "d3.bmp"}));
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const std::string decodedName =
            (dir / "decoded" / ("d" + std::to_string(i + 1) + ".bmp")).string();
        const std::string extractedName =
            (dir / "frames" / ("video_f" + std::to_string(i) + ".bmp")).string();
        FIBITMAP* decoded = FreeImage_Load(FIF_BMP, decodedName.c_str(), 0);
        FIBITMAP* extracted = FreeImage_Load(FIF_BMP, extractedName.c_str(), 0);
        ASSERT_TRUE(decoded && extracted);
        FIBITMAP* decoded24 = FreeImage_ConvertTo24Bits(decoded);
        ASSERT_EQ(FreeImage_GetWidth(decoded24), 48u);
        ASSERT_EQ(FreeImage_GetHeight(decoded24), 32u);
        ASSERT_EQ(FreeImage_GetBPP(extracted), 24u);
        EXPECT_GT(Psnr(decoded24, extracted), 30.0);
        FreeImage_Unload(decoded24);
        FreeImage_Unload(decoded);
        FreeImage_Unload(extracted);
    }
}

// A batch folder: a.gif and B.GIF convert, the folder c.gif is not listed, the broken d.gif
// fails without stopping the batch.
// Inputs whose movies would be one file: the first listed writes it, the others fail.
TEST_F(ConvertJobTest, BatchGivesAMovieToTheFirstOfInputsSharingATitle) {
    fs::create_directories(dir / "t1");
    fs::create_directories(dir / "t2");
    const std::vector<std::string> files = {MakeGif("t1/a.gif", 4, 4, 1).string(),
                                            MakeGif("t2/a.gif", 4, 4, 2).string(),
                                            MakeGif("t2/a.GIF", 4, 4, 3).string()};
    for (const std::string& output : {(dir / "out").string(), std::string()}) {
        SCOPED_TRACE(output.empty() ? "beside each input" : "one output folder");
        TestJob settings = Settings(files[0]);
        settings.output = output;
        const BatchResult batch = ConvertBatch({files, output, settings.convert}, {});
        ASSERT_EQ(batch.results.size(), 3u);
        const std::size_t owner = output.empty() ? 1 : 0;  // of t2/a.swf, or of out/a.swf
        const fs::path movie = MoviePath(output, files[owner]);
        EXPECT_TRUE(batch.results[owner].Succeeded());
        EXPECT_EQ(batch.results[2].error,
                  "its movie " + movie.string() + " is already the movie of " + files[owner]);
        EXPECT_EQ(ReadSwfFile(movie).frameCount, owner + 1);
    }
}

TEST_F(ConvertJobTest, BatchGoesOnAfterAFailedFileAndReportsEach) {
    fs::create_directories(dir / "in" / "c.gif");
    MakeGif("in/a.gif", 4, 4, 2);
    MakeGif("in/B.GIF", 6, 4, 1);
    ASSERT_TRUE(WriteBytes(dir / "in" / "d.gif", {'G', 'I', 'F', '8', '9', 'a', 1}));
    const std::vector<std::string> files = ListAnimationFiles((dir / "in").string());
    ASSERT_EQ(files.size(), 3u);

    for (unsigned threads : {1u, 3u}) {
        SCOPED_TRACE(threads);
        fs::remove_all(dir / "out");
        TestJob settings = Settings(dir / "unused.gif");
        std::vector<int> progress;
        std::mutex mutex;
        JobControl control;
        control.threads = threads;
        control.progress = [&](int done) {
            std::lock_guard<std::mutex> lock(mutex);
            progress.push_back(done);
        };
        const BatchResult batch = ConvertBatch({files, settings.output, settings.convert}, control);
        ASSERT_EQ(batch.results.size(), 3u);
        EXPECT_EQ(batch.Converted(), 2);
        EXPECT_EQ(batch.Failed(), 1);
        EXPECT_FALSE(batch.cancelled);
        EXPECT_EQ(batch.results[0].input, files[0]);  // list order, whatever finished first
        EXPECT_TRUE(batch.results[0].Succeeded());    // B.GIF
        EXPECT_TRUE(batch.results[1].Succeeded());    // a.gif
        EXPECT_EQ(batch.results[2].status, JobResult::Status::Failed);  // d.gif
        EXPECT_FALSE(batch.results[2].error.empty());
        EXPECT_EQ(progress, (std::vector<int>{1, 2, 3}));
        EXPECT_EQ(ListFolder(dir / "out"), (std::vector<std::string>{"B.swf", "a.swf"}));
    }
}


// Every front-end counts the frames a job's plan gives: under each frame rule the plan's count is
// the frames written, and a movie kept as it is (Existing::Keep) is neither planned nor read.
TEST_F(ConvertJobTest, BatchPlansEveryFileBeforeConvertingAndWritesWhatItPlanned) {
    fs::create_directories(dir / "in");
    GifBuilder builder(4, 4);
    builder.GlobalColors(kPalette);
    // Zero delays merge by default (five frames); with the GIF's timing every image is a frame,
    // those of 0 lasting 100 ms, and at 10 fps the second 20 ms image is left out.
    const int delays[] = {0, 0, 10, 0, 2, 2, 30, 0};  // hundredths of a second
    for (std::size_t i = 0; i < std::size(delays); ++i)
        builder.Image(PatternImage(4, 4, static_cast<int>(i), delays[i]));
    ASSERT_TRUE(builder.Write(dir / "in" / "zero.gif"));
    const std::vector<std::string> files = {(dir / "in" / "zero.gif").string(),
                                            MakeGif("in/kept.gif", 4, 4, 2).string()};
    const struct {
        const char* name;
        Timing timing;
        bool restoreToStage;
        int frames;
    } cases[] = {{"default", Timing::Fixed, false, 5},
                 {"the GIF's timing", Timing::Gif, false, 7},
                 {"like a browser", Timing::Gif, true, 7}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(dir / "out");
        fs::create_directories(dir / "out");
        ASSERT_TRUE(WriteBytes(dir / "out" / "kept.swf", {'k'}));
        BatchRequest request{files, (dir / "out").string(), {}};
        request.options.timing = c.timing;
        request.options.fps = 10;
        request.options.fpsGiven = true;
        request.options.restoreToStage = c.restoreToStage;
        request.existing = Existing::Keep;
        std::mutex mutex;
        std::vector<std::string> events;
        BatchEvents seen;
        seen.planned = [&](std::size_t index, const JobPlan& plan) {
            std::lock_guard<std::mutex> lock(mutex);
            events.push_back("plan " + std::to_string(index) + ": " + std::to_string(plan.frames));
        };
        seen.fileDone = [&](std::size_t index, const JobResult& result) {
            std::lock_guard<std::mutex> lock(mutex);
            events.push_back("done " + std::to_string(index) + ": " + std::to_string(result.frames));
        };
        const BatchResult batch = ConvertBatch(request, {}, seen);
        ASSERT_EQ(batch.results.size(), 2u);
        EXPECT_EQ(batch.results[0].frames, c.frames);
        EXPECT_EQ(batch.results[0].plan.frames, c.frames);
        EXPECT_EQ(batch.results[1].skipped, std::vector<std::string>{(dir / "out" / "kept.swf").string()});
        EXPECT_EQ(ReadFileBytes(dir / "out" / "kept.swf"), std::vector<uint8_t>{'k'});
        EXPECT_EQ(batch.Converted(), 1);
        const std::string frames = std::to_string(c.frames);
        EXPECT_EQ(events, (std::vector<std::string>{"plan 0: " + frames, "done 0: " + frames,
                                                    "done 1: 0"}));
    }
}

}  // namespace

// A whole frame whose pixels are those of the frame encoded before is not encoded again: its
// bitmap's bytes are reused, and the movie is what encoding every frame gave. One pixel of
// difference, or a changed-area movie (which stores nothing for it), encodes as before.
TEST_F(ConvertJobTest, RepeatedPicturesAreEncodedOnce) {
    GifBuilder builder(16, 12);
    builder.GlobalColors(kPalette);
    GifImage base = PatternImage(16, 12, 1);
    GifImage dot = base;
    dot.pixels[5] = static_cast<uint8_t>((dot.pixels[5] + 1) % 8);
    // A A A A' A' A B B: four pictures to encode, each followed by its repeats.
    for (const GifImage& image : {base, base, base, dot, dot, base, PatternImage(16, 12, 2),
                                  PatternImage(16, 12, 2)})
        builder.Image(image);
    ASSERT_TRUE(builder.Write(dir / "repeats.gif"));
    const struct {
        const char* name;
        BitmapKind bitmaps;
        bool changedAreas;
        unsigned threads;
        int encoded;
    } cases[] = {{"JPEG", BitmapKind::Jpeg, false, 1, 4},
                 {"JPEG, three threads", BitmapKind::Jpeg, false, 3, 4},
                 {"lossless", BitmapKind::Lossless, false, 2, 4},
                 {"changed areas", BitmapKind::Jpeg, true, 2, 8}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TestJob job = Settings(dir / "repeats.gif");
        job.convert.bitmaps = c.bitmaps;
        job.convert.changedAreas = c.changedAreas;
        JobControl control;
        control.threads = c.threads;
        const JobResult result = ConvertFile(job, control);
        ASSERT_TRUE(result.Succeeded()) << result.error;
        EXPECT_EQ(result.frames, 8);
        EXPECT_EQ(result.encoded, c.encoded);
        const SwfFile swf = ReadSwfFile(dir / "out" / "repeats.swf");
        ASSERT_TRUE(swf.ok) << swf.error;
        if (c.changedAreas) continue;
        const uint16_t kind =
            c.bitmaps == BitmapKind::Jpeg ? kTagDefineBitsJPEG2 : kTagDefineBitsLossless;
        const std::vector<const SwfTag*> bitmaps = swf.TagsWithCode(kind);
        ASSERT_EQ(bitmaps.size(), 8u);
        // Every frame holds its own bitmap; a repeated picture's bytes (after the id) are the
        // bytes of the one before.
        const auto data = [&](std::size_t i) {
            return std::vector<uint8_t>(bitmaps[i]->body.begin() + 2, bitmaps[i]->body.end());
        };
        for (const std::size_t i : {1u, 2u, 4u, 7u}) EXPECT_EQ(data(i), data(i - 1)) << i;
        for (const std::size_t i : {3u, 5u, 6u}) EXPECT_NE(data(i), data(i - 1)) << i;
    }
}
