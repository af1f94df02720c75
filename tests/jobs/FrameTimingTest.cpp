#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <string>

#include "gif/GifInfo.h"
#include "jobs/convert/ConversionPlan.h"
#include "jobs/convert/FrameTiming.h"

namespace {

// For each delay pattern: the rate chosen, and the SWF frames each GIF frame gets. Whatever
// the pattern, the movie's length stays within half a frame of the GIF's, and no frame is ever
// more than one frame off.
TEST(FrameTimingTest, RateAndFramesFollowTheDelays) {
    const struct {
        const char* name;
        std::vector<int> delays;
        int fps;
        std::vector<int> firstFrames;  // of the schedule's start
    } cases[] = {
        {"all equal 100 ms", {100, 100, 100}, 10, {1, 1, 1}},
        {"40 ms", {40, 40, 40, 40}, 25, {1, 1, 1, 1}},
        {"mixed 10 ms, 1 s, 2 s", {10, 1000, 2000, 10}, 10, {1, 10, 20, 1}},
        {"one very long frame", {50, 600000, 50}, 20, {1, 12000, 1}},
        {"thousands of 20 ms frames", std::vector<int>(5000, 20), 50, {1, 1, 1}},
        {"a single static frame", {0}, 10, {1}},
        {"none exact: 50 per second", {30, 70}, 50, {2, 3}},
        {"a third of a second", {330, 330, 340}, 50, {17, 16, 17}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ChooseFrameRate(c.delays), c.fps);
        const std::vector<int> counts = ScheduleFrames(c.delays, c.fps);
        ASSERT_EQ(counts.size(), c.delays.size());
        EXPECT_TRUE(std::equal(c.firstFrames.begin(), c.firstFrames.end(), counts.begin()));
        double gifSeconds = 0;
        double shown = 0;
        for (std::size_t i = 0; i < counts.size(); ++i) {
            gifSeconds += ShownDelay(c.delays[i]) / 1000.0;
            shown += counts[i];
            EXPECT_LE(std::abs(shown - gifSeconds * c.fps), 1.0 + 1e-9) << "frame " << i;
        }
        EXPECT_LE(std::abs(shown - gifSeconds * c.fps), 0.5 + 1e-9);
    }
}

// Frames shorter than one SWF frame keep a frame of their own while the movie stays within a
// frame of the GIF, and are left out (0) beyond that.
TEST(FrameTimingTest, ShortFramesAreKeptOrLeftOut) {
    const std::pair<std::vector<int>, std::vector<int>> cases[] = {
        {{20, 20, 20, 20, 20}, {1, 0, 0, 0, 1}},      // at 100 ms the movie is one frame ahead
        {{20, 20, 20, 20, 20, 20}, {1, 0, 0, 0, 1, 0}},
        {{60, 60}, {1, 1}},                           // 0.8 frame ahead at the end
        {{60, 60, 60, 60, 60}, {1, 1, 0, 1, 1}},
        {{5, 10}, {1, 1}},                            // both shown as 100 ms
    };
    for (const auto& [delays, frames] : cases) EXPECT_EQ(ScheduleFrames(delays, 10), frames);
}

// The plan of one scan: the fixed rate gives every frame one SWF frame, the GIF's timing the
// rate its delays pick (or the one given) and their schedule; frames too short for the rate are
// not frames to write.
TEST(FrameTimingTest, PlanOfTheMovieBesideTheGif) {
    ConvertOptions fixed;  // 10 fps
    ConvertOptions gif;
    gif.timing = Timing::Gif;
    ConvertOptions gifAt4 = gif;
    gifAt4.fps = 4;
    gifAt4.fpsGiven = true;
    const struct {
        const char* name;
        std::vector<int> delays;
        ConvertOptions options;
        JobPlan plan;  // frames, width, height, fps, movieMs
    } cases[] = {
        {"20 fps GIF at 10 fps", std::vector<int>(600, 50), fixed, {600, 0, 0, 10, 60000}},
        {"20 fps GIF in its timing", std::vector<int>(600, 50), gif, {600, 0, 0, 20, 30000}},
        {"delays of 0 shown as 100 ms", {0, 0, 200}, gif, {3, 0, 0, 10, 400}},
        {"a given rate rounds to its frames", {300, 300}, gifAt4, {2, 0, 0, 4, 500}},
        {"too short for the rate", {20, 20, 20}, gifAt4, {1, 0, 0, 4, 250}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        GifInfo scan;
        scan.opened = true;
        scan.images = scan.frames = static_cast<int>(c.delays.size());
        scan.width = 3;
        scan.height = 2;
        scan.delaysMs = c.delays;
        const ConversionPlan plan = PlanConversion(scan, c.options);
        ASSERT_EQ(plan.error, "");
        const JobPlan shown = plan.Summary();
        EXPECT_EQ(shown.frames, c.plan.frames);
        EXPECT_EQ(shown.width * 10 + shown.height, 32);
        EXPECT_EQ(shown.fps, c.plan.fps);
        EXPECT_EQ(shown.movieMs, c.plan.movieMs);
    }
}

TEST(FrameTimingTest, LoopPassesFromTheOptionAndTheGif) {
    using Kind = LoopOption::Kind;
    const struct {
        LoopOption loop;
        std::optional<int> extension;
        int passes;
    } cases[] = {
        {{Kind::Forever, 1}, 3, 0},         {{Kind::Once, 1}, 0, 1},
        {{Kind::Times, 4}, std::nullopt, 4}, {{Kind::Gif, 1}, std::nullopt, 1},
        {{Kind::Gif, 1}, 0, 0},              {{Kind::Gif, 1}, 1, 2},
        {{Kind::Gif, 1}, 3, 4},              {{Kind::Gif, 1}, 65535, 65536},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LoopPasses(c.loop, c.extension), c.passes)
            << static_cast<int>(c.loop.kind) << " " << c.extension.value_or(-1);
    }
}

}  // namespace
