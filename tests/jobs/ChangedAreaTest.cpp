#include <FreeImage.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "jobs/ChangedArea.h"
#include "jobs/ChangedAreaTimeline.h"
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
        EXPECT_TRUE(first.transparent.empty() && first.hidden.empty());
        for (const auto& [x, y] : e.changed) frame.Set(x, y, 7);
        const AreaPlan second = planner.Plan(frame.Rows(), frame.Stride());
        EXPECT_EQ(second.area, e.area);
        EXPECT_EQ(second.picture, e.changed.empty() ? -1 : 1);
        // Transparent where the pixel shows the same already, when the bitmaps allow it.
        std::size_t clear = 0;
        for (uint8_t t : second.transparent) clear += t;
        const auto areaPixels = static_cast<std::size_t>(e.area.Width() * e.area.Height());
        EXPECT_EQ(clear, transparent && !e.changed.empty() ? areaPixels - e.changed.size() : 0);
        EXPECT_EQ(second.transparent.empty(), clear == 0);
        // Only a picture over the whole stage hides the first.
        EXPECT_EQ(second.hidden, (e.area == PixelRect{0, 0, 20, 12} && !transparent
                                      ? std::vector<int>{0}
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
        std::vector<uint8_t> clear;
        std::vector<uint8_t> bgr;  // the frame's pixels when it was planned
    };
    std::map<int, Picture> shown;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        SCOPED_TRACE(i);
        const Frame& f = frames[i];
        AreaPlan plan = planner.Plan(f.Rows(), f.Stride());
        if (plan.picture >= 0) shown[plan.picture] = {plan.area, plan.transparent, f.bgr};
        for (int hidden : plan.hidden) EXPECT_EQ(shown.erase(hidden), 1u) << hidden;
        EXPECT_LE(shown.size(), static_cast<std::size_t>(ChangedAreaPlanner::kMaxShown));
        Frame played(f.width, f.height);
        for (const auto& [number, picture] : shown) {
            const PixelRect& a = picture.area;
            for (int y = a.top; y < a.bottom; ++y)
                for (int x = a.left; x < a.right; ++x) {
                    const auto at = static_cast<std::size_t>((y - a.top) * a.Width() + x - a.left);
                    if (!picture.clear.empty() && picture.clear[at]) continue;
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
    EXPECT_TRUE(all.transparent.empty());
}

TEST(ChangedAreaTimelineTest, CharacterIdsAndFramesStopAtTheirFields) {
    CSWFMovie movie;
    const LosslessBitmapEncoder encoder;
    const ChangedAreaTimeline timeline(movie, encoder, 4, 4);
    const struct {
        int index, picture;
        bool fits;
    } cases[] = {
        {0, 0, true},
        {40000, 32765, true},   // its shape is 65534
        {40000, 32766, false},  // its ids would pass 65535
        {65534, -1, true},      // nothing stored: only the frame count counts
        {65535, -1, false},
    };
    for (const auto& c : cases) {
        SourceFrame frame;
        frame.index = c.index;
        frame.plan = AreaPlan{};
        frame.plan->picture = c.picture;
        EXPECT_EQ(timeline.Fits(frame), c.fits) << c.index << " " << c.picture;
    }
    EXPECT_EQ(PictureShapeId(32765), 65534);
}

}  // namespace
