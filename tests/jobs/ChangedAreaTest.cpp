#include <FreeImage.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "jobs/convert/BitmapEncoder.h"
#include "jobs/convert/ChangedArea.h"
#include "jobs/convert/ChangedAreaTimeline.h"
#include "jobs/convert/MovieAssembler.h"
#include "support/TestJob.h"
#include "jobs/ConvertJob.h"
#include "jobs/ExtractJob.h"
#include "support/GifBuilder.h"
#include "support/SwfReader.h"

namespace fs = std::filesystem;
using namespace swftest;

namespace {

// A frame of 24-bit pixels, rows of 3 * width bytes, all white to begin with.
struct Frame {
    int width, height;
    std::vector<uint8_t> bgr;
    Frame(int w, int h) : width(w), height(h), bgr(static_cast<std::size_t>(w * h * 3), 255) {}
    void Set(int x, int y, uint8_t b, uint8_t g = 0, uint8_t r = 0) {
        uint8_t* p = &bgr[static_cast<std::size_t>((y * width + x) * 3)];
        p[0] = b, p[1] = g, p[2] = r;
    }
    const uint8_t* Rows() const { return bgr.data(); }
    int Stride() const { return width * 3; }
};

struct ChangeExample {
    const char* name;
    int block;
    std::vector<std::pair<int, int>> changed;  // pixels of the second frame that differ
    PixelRect area;                            // what the second frame stores
};

// An 20 x 12 stage: the first frame stores it whole, the second what differs from the first.
const ChangeExample kChanges[] = {
    {"OnePixel", 1, {{3, 2}}, {3, 2, 4, 3}},
    {"FullRow", 1, {{0, 4}, {7, 4}, {19, 4}}, {0, 4, 20, 5}},
    {"StageCorner", 1, {{19, 11}}, {19, 11, 20, 12}},
    {"TwoCorners", 1, {{0, 0}, {19, 11}}, {0, 0, 20, 12}},
    {"Nothing", 1, {}, {}},
    {"JpegBlockAroundOnePixel", 8, {{9, 3}}, {8, 0, 16, 8}},
    {"JpegBlocksStopAtTheStageEdge", 8, {{15, 7}, {19, 11}}, {8, 0, 20, 12}},
};

class ChangedRectTest : public ::testing::TestWithParam<ChangeExample> {};

TEST_P(ChangedRectTest, StoresTheRectangleAroundWhatChanged) {
    const ChangeExample& e = GetParam();
    for (bool transparent : {false, true}) {
        SCOPED_TRACE(transparent);
        ChangedAreaPlanner planner(20, 12, e.block, transparent);
        Frame frame(20, 12);
        const AreaPlan first = planner.Plan(frame.Rows(), frame.Stride());
        EXPECT_EQ(first.area, (PixelRect{0, 0, 20, 12}));
        EXPECT_EQ(first.picture, 0);
        EXPECT_TRUE(first.seeThrough.empty() && first.hidden.empty());
        for (const auto& [x, y] : e.changed) frame.Set(x, y, 7);
        const AreaPlan second = planner.Plan(frame.Rows(), frame.Stride());
        EXPECT_EQ(second.area, e.area);
        EXPECT_EQ(second.picture, e.changed.empty() ? -1 : 1);
        // Transparent where the pixel shows the same already, when the bitmaps allow it.
        std::size_t clear = 0;
        for (uint8_t t : second.seeThrough) clear += t;
        const auto areaPixels = static_cast<std::size_t>(e.area.Width() * e.area.Height());
        EXPECT_EQ(clear, transparent && !e.changed.empty() ? areaPixels - e.changed.size() : 0);
        EXPECT_EQ(second.seeThrough.empty(), clear == 0);
        // Only a picture over the whole stage hides the first.
        EXPECT_EQ(second.hidden,
                  (e.area == PixelRect{0, 0, 20, 12} && !transparent ? std::vector<int>{0}
                                                                     : std::vector<int>{}));
    }
}

INSTANTIATE_TEST_SUITE_P(Planner, ChangedRectTest, ::testing::ValuesIn(kChanges),
                         [](const auto& example) { return std::string(example.param.name); });

// Plays plans as a player would (pictures in order, transparent pixels leaving what is below,
// hidden pictures taken off) and checks every frame comes out exact, with few pictures shown.
void ExpectPlansReplayExactly(const std::vector<Frame>& frames, int block, bool transparent) {
    ChangedAreaPlanner planner(frames[0].width, frames[0].height, block, transparent);
    struct Picture {
        PixelRect area;
        std::vector<uint8_t> seeThrough;
        std::vector<uint8_t> bgr;  // the frame's pixels when it was planned
    };
    std::map<int, Picture> shown;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        SCOPED_TRACE(i);
        const Frame& f = frames[i];
        AreaPlan plan = planner.Plan(f.Rows(), f.Stride());
        if (plan.picture >= 0) shown[plan.picture] = {plan.area, plan.seeThrough, f.bgr};
        for (int hidden : plan.hidden) EXPECT_EQ(shown.erase(hidden), 1u) << hidden;
        EXPECT_LE(shown.size(), static_cast<std::size_t>(ChangedAreaPlanner::kMaxShown));
        Frame played(f.width, f.height);
        for (const auto& [number, picture] : shown) {
            const PixelRect& a = picture.area;
            for (int y = a.top; y < a.bottom; ++y)
                for (int x = a.left; x < a.right; ++x) {
                    const auto at = static_cast<std::size_t>((y - a.top) * a.Width() + x - a.left);
                    if (!picture.seeThrough.empty() && picture.seeThrough[at]) continue;
                    std::copy_n(&picture.bgr[static_cast<std::size_t>((y * f.width + x) * 3)], 3,
                                &played.bgr[static_cast<std::size_t>((y * f.width + x) * 3)]);
                }
        }
        ASSERT_EQ(played.bgr, f.bgr);
    }
}

TEST(ChangedAreaPlannerTest, CoveredPicturesAreRemovedAndAMovingDotStaysCheap) {
    // A dot that moves right one pixel a frame, leaving a trail, then blinks in place: no
    // picture ever covers another whole, so the limit on shown pictures does the removing.
    std::vector<Frame> frames(1, Frame(40, 10));
    for (int i = 0; i < 30; ++i) {
        frames.push_back(frames.back());
        frames.back().Set(i + 5, 3 + i % 4, static_cast<uint8_t>(i), 9, 9);
    }
    for (int i = 0; i < 6; ++i) {
        frames.push_back(frames.back());
        frames.back().Set(2, 2, static_cast<uint8_t>(100 + i));
    }
    for (int block : {1, 8})
        for (bool transparent : {false, true}) ExpectPlansReplayExactly(frames, block, transparent);

    // The same pixel changing again hides the picture that held it.
    ChangedAreaPlanner planner(40, 10, 1, true);
    Frame f(40, 10);
    planner.Plan(f.Rows(), f.Stride());
    f.Set(2, 2, 1);
    EXPECT_EQ(planner.Plan(f.Rows(), f.Stride()).hidden, std::vector<int>{});
    f.Set(2, 2, 2);
    EXPECT_EQ(planner.Plan(f.Rows(), f.Stride()).hidden, std::vector<int>{1});
    // Everything changing hides everything.
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 40; ++x) f.Set(x, y, 50);
    const AreaPlan all = planner.Plan(f.Rows(), f.Stride());
    EXPECT_EQ(all.hidden, (std::vector<int>{0, 2}));
    EXPECT_TRUE(all.seeThrough.empty());
    // Two pictures that together cover an older one hide it, whether pictures may be
    // transparent or are opaque over their areas.
    for (bool transparent : {false, true}) {
        ChangedAreaPlanner halves(40, 10, 1, transparent);
        Frame h(40, 10);
        halves.Plan(h.Rows(), h.Stride());
        for (int half = 0; half < 2; ++half) {
            for (int y = 0; y < 10; ++y)
                for (int x = 20 * half; x < 20 * half + 20; ++x) h.Set(x, y, 60);
            EXPECT_EQ(halves.Plan(h.Rows(), h.Stride()).hidden,
                      half == 0 ? std::vector<int>{} : std::vector<int>{0});
        }
    }
    // A stage that becomes clear all over: the picture beneath goes, and the new one, clear
    // everywhere, with it; what comes next is planned on a consistent list.
    ChangedAreaPlanner dot(1, 1, 1, true);
    Frame pixel(1, 1);
    uint8_t covered = 0, uncovered = 1;
    dot.Plan(pixel.Rows(), pixel.Stride(), &covered);
    EXPECT_EQ(dot.Plan(pixel.Rows(), pixel.Stride(), &uncovered).hidden, (std::vector<int>{0, 1}));
    pixel.Set(0, 0, 7);
    const AreaPlan back = dot.Plan(pixel.Rows(), pixel.Stride(), &covered);
    EXPECT_EQ(back.area, (PixelRect{0, 0, 1, 1}));
    EXPECT_EQ(back.hidden, std::vector<int>{});
}

// The movie ends, with a warning, before the first frame whose picture's ids would pass 16 bits
// or whose SWF frames would pass the header's frame count.
TEST(MovieAssemblerTest, CharacterIdsAndFramesStopAtTheirFields) {
    ScratchDir dir;
    const struct {
        int picture;  // of the changed-area frame added first; -1: nothing stored
        int showFrames;
        bool added;
        const char* why;
    } cases[] = {
        {32766, 1, false, "its character ids are 16-bit"},
        {-1, 65535, true, ""},
        {-1, 65536, false, "at most 65535 frames"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.picture);
        ConversionPlan plan;
        plan.movie = dir / "m.swf";
        plan.width = plan.height = 4;
        plan.options.changedAreas = true;
        plan.schedule = {c.showFrames};
        const LosslessBitmapEncoder encoder;
        const JobControl control;
        MovieAssembler movie(plan, encoder, control);
        ASSERT_TRUE(movie.Open());
        EncodedFrame frame;
        frame.ok = true;
        AreaPlan area;
        area.picture = c.picture;
        EXPECT_EQ(movie.Admit(0) && movie.Add(0, 100, &frame, &area), c.added);
        const JobResult result = movie.Finish({}, "", false);
        ASSERT_EQ(result.warnings.empty(), c.added) << result.error;
        if (!c.added) {
            EXPECT_NE(result.warnings[0].find(c.why), std::string::npos);
        }
    }
    EXPECT_EQ(PictureShapeId(TimelineWriter::kMaxPictures - 1), 65534);
}

// A GIF that has it all: a global palette, an image with a local table of 256 other colours
// (so the composed frame has more than 256), a transparent overlay, a frame repeated exactly,
// changes of one pixel, of one corner, and of everything.
fs::path WriteMixedGif(const fs::path& path) {
    const int w = 36, h = 20;
    GifBuilder gif(w, h);
    gif.GlobalColors({kRed, kGreen, kBlue, kWhite, kBlack, kYellow, {9, 99, 199}, {1, 2, 3}});
    auto image = [&](int left, int top, int iw, int ih, int seed) {
        GifImage i;
        i.left = left, i.top = top, i.width = iw, i.height = ih;
        i.control = true, i.delay = 10;
        for (int y = 0; y < ih; ++y)
            for (int x = 0; x < iw; ++x)
                i.pixels.push_back(static_cast<uint8_t>((x / 3 + y / 2 + seed) % 8));
        return i;
    };
    gif.Image(image(0, 0, w, h, 0));
    GifImage local = image(4, 2, 16, 16, 0);
    for (int i = 0; i < 256; ++i)
        local.localColors.push_back({static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), 77});
    for (std::size_t i = 0; i < local.pixels.size(); ++i) local.pixels[i] = static_cast<uint8_t>(i);
    gif.Image(local);
    GifImage overlay = image(10, 5, 20, 10, 3);
    overlay.transparent = 3;
    gif.Image(overlay);
    gif.Image(image(0, 0, 1, 1, 9));  // one pixel turns green
    gif.Image(image(0, 0, 1, 1, 9));  // the same again: this frame equals the one before
    gif.Image(image(33, 17, 3, 3, 4));
    gif.Image(image(0, 0, w, h, 5));
    EXPECT_TRUE(gif.Write(path)) << gif.Error();
    return path;
}

class ChangedAreaJobTest : public ::testing::Test {
protected:
    TestJob Settings(const fs::path& gif, BitmapKind bitmaps, bool changedAreas) {
        TestJob settings;
        settings.gif = gif.string();
        settings.output = (dir / "out").string();
        settings.convert.bitmaps = bitmaps;
        settings.convert.changedAreas = changedAreas;
        fs::create_directories(dir / "out");
        return settings;
    }

    // The frames the extraction writes as PNG files, as red, green, blue rows top first.
    std::vector<std::vector<uint8_t>> ExtractedFrames(const fs::path& gif) {
        TestJob settings = Settings(gif, BitmapKind::Jpeg, false);
        settings.output = (dir / "frames").string();
        settings.extract.format = ExtractFormat::Png;
        fs::create_directories(dir / "frames");
        const JobResult result = ExtractFrames(settings);
        EXPECT_TRUE(result.Succeeded());
        std::vector<std::vector<uint8_t>> frames;
        for (int i = 0; i < result.frames; ++i) {
            const std::string name =
                (dir / "frames" /
                 (TitleFromPath(gif.string()) + "_f" + std::to_string(i) + ".png"))
                    .string();
            FIBITMAP* image = FreeImage_Load(FIF_PNG, name.c_str(), 0);
            EXPECT_TRUE(image && FreeImage_GetBPP(image) == 24) << name;
            if (!image) return {};
            std::vector<uint8_t> rgb;
            const int h = static_cast<int>(FreeImage_GetHeight(image));
            for (int y = h - 1; y >= 0; --y) {
                const uint8_t* row = FreeImage_GetScanLine(image, y);
                for (unsigned x = 0; x < FreeImage_GetWidth(image); ++x)
                    rgb.insert(rgb.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x]});
            }
            FreeImage_Unload(image);
            frames.push_back(std::move(rgb));
        }
        return frames;
    }

    ScratchDir dir;
};

TEST_F(ChangedAreaJobTest, LosslessMoviesShowExactlyTheExtractedFrames) {
    const fs::path gif = WriteMixedGif(dir / "mixed.gif");
    const auto expected = ExtractedFrames(gif);
    ASSERT_EQ(expected.size(), 7u);
    for (const bool changedAreas : {false, true}) {
        SCOPED_TRACE(changedAreas);
        std::vector<uint8_t> first;
        for (const unsigned threads : {1u, 3u}) {
            JobControl control;
            control.threads = threads;
            ASSERT_TRUE(ConvertFile(Settings(gif, BitmapKind::Lossless, changedAreas), control)
                            .Succeeded());
            const auto bytes = ReadFileBytes(dir / "out" / "mixed.swf");
            ASSERT_TRUE(bytes.has_value());
            if (first.empty()) first = *bytes;
            EXPECT_EQ(*bytes, first) << "differs with " << threads << " threads";
        }
        const SwfFile swf = ParseSwf(first);
        ASSERT_TRUE(swf.ok) << swf.error;
        EXPECT_EQ(swf.CountTags(kTagDefineBitsJPEG2), 0);
        std::string error;
        std::size_t maxObjects = 0;
        const auto played = PlayLosslessMovie(swf, error, &maxObjects);
        ASSERT_EQ(played.size(), expected.size()) << error;
        for (std::size_t i = 0; i < played.size(); ++i) EXPECT_EQ(played[i], expected[i]) << i;

        // The frame with 256 colours of its own, over others: format 5.
        const auto bitmaps = swf.TagsWithCode(kTagDefineBitsLossless);
        ASSERT_GE(bitmaps.size(), 2u);
        EXPECT_EQ(DecodeLossless(*bitmaps[0]).format, 3);
        EXPECT_EQ(DecodeLossless(*bitmaps[1]).format, changedAreas ? 3 : 5);
        if (!changedAreas) continue;
        // Frame 4 repeats frame 3: its ShowFrame follows frame 3's directly.
        std::vector<std::size_t> shows;
        for (std::size_t i = 0; i < swf.tags.size(); ++i)
            if (swf.tags[i].code == kTagShowFrame) shows.push_back(i);
        ASSERT_EQ(shows.size(), 7u);
        EXPECT_EQ(shows[4], shows[3] + 1);
        // Pictures hidden by later ones leave the stage.
        EXPECT_GT(swf.CountTags(kTagRemoveObject2), 0);
        EXPECT_LT(maxObjects, static_cast<std::size_t>(swf.CountTags(kTagPlaceObject2)));
    }
}

TEST_F(ChangedAreaJobTest, JpegChangedAreasStoreWholeBlocksAndLessThanFullFrames) {
    // Dots over a busy picture, which costs a full-frame JPEG every frame; on the top rows, right
    // of column 0, where the JPEG writer's whole-pitch reads reach past the frame's last row.
    GifBuilder gif(160, 120);
    gif.GlobalColors({kWhite, kBlue, kRed, kBlack});
    GifImage busy;
    busy.width = 160, busy.height = 120, busy.control = true, busy.delay = 10;
    for (int i = 0; i < 160 * 120; ++i) busy.pixels.push_back(static_cast<uint8_t>(i * 7 / 5 % 4));
    gif.Image(busy);
    for (int i = 0; i < 6; ++i) gif.Solid(13 + 5 * i, 1, 3, 3, static_cast<uint8_t>(1 + i % 3), 10);
    ASSERT_TRUE(gif.Write(dir / "dots.gif")) << gif.Error();

    ASSERT_TRUE(ConvertFile(Settings(dir / "dots.gif", BitmapKind::Jpeg, false)).Succeeded());
    const auto full = ReadFileBytes(dir / "out" / "dots.swf");
    ASSERT_TRUE(ConvertFile(Settings(dir / "dots.gif", BitmapKind::Jpeg, true)).Succeeded());
    const SwfFile swf = ReadSwfFile(dir / "out" / "dots.swf");
    ASSERT_TRUE(swf.ok && full) << swf.error;
    EXPECT_LT(swf.fileLength * 2, full->size());
    EXPECT_EQ(swf.frameCount, 7);
    const auto shapes = swf.TagsWithCode(kTagDefineShape3);
    const auto places = swf.TagsWithCode(kTagPlaceObject2);
    ASSERT_EQ(shapes.size(), 7u);
    ASSERT_EQ(places.size(), 7u);
    for (std::size_t i = 1; i < shapes.size(); ++i) {
        SCOPED_TRACE(i);
        const ShapeInfo shape = ParseDefineShape3(*shapes[i]);
        const auto place = ParsePlaceObject2(*places[i]);
        ASSERT_TRUE(shape.ok && place);
        EXPECT_EQ(place->depth, place->id);
        EXPECT_EQ(place->matrix.translateX % (8 * 20), 0);
        EXPECT_EQ(place->matrix.translateY % (8 * 20), 0);
        EXPECT_EQ(shape.xmax % (8 * 20), 0);
        EXPECT_EQ(shape.ymax % (8 * 20), 0);
        EXPECT_LE(shape.xmax, 16 * 20);  // a 3 x 3 dot spans at most two blocks a side
    }
}

}  // namespace
