#include <gtest/gtest.h>

#include <climits>

#include "jobs/FrameFiles.h"

namespace {

constexpr int kEnd = FrameRange::kToTheEnd;

// What a selection reads as: its ranges, or a part of the error that names the fault.
TEST(FrameFilesTest, SelectionsReadAsRangesOrSayWhatIsWrong) {
    const struct {
        const char* text;
        std::vector<FrameRange> ranges;
        const char* error;  // empty: read
    } cases[] = {
        {"0-4,9", {{0, 4}, {9, 9}}, ""},
        {"7", {{7, 7}}, ""},
        {"5-", {{5, kEnd}}, ""},
        {"3-3,0,2-", {{3, 3}, {0, 0}, {2, kEnd}}, ""},
        {"0-0", {{0, 0}}, ""},
        {"4-0", {}, "the range 4-0 goes down: write 0-4"},
        {"", {}, "no frames given"},
        {"1,,2", {}, "'1,,2' has a comma too many"},
        {"1,", {}, "'1,' has a comma too many"},
        {",1", {}, "',1' has a comma too many"},
        {"-3", {}, "'-3' is not a frame or a range"},
        {"+3", {}, "'+3' is not a frame or a range"},
        {"a", {}, "'a' is not a frame or a range"},
        {"1-2-3", {}, "'1-2-3' is not a frame or a range"},
        {"2 ", {}, "'2 ' is not a frame or a range"},
        {"1;2", {}, "'1;2' is not a frame or a range"},
        {"99999999999", {}, "'99999999999' is not a frame or a range"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::string error;
        const std::optional<FrameSelection> selection = ReadFrameSelection(c.text, error);
        EXPECT_EQ(selection.has_value(), *c.error == '\0');
        if (selection) {
            EXPECT_EQ(selection->ranges, c.ranges);
        }
        EXPECT_EQ(error.find(c.error), 0u) << error;
    }
}

// Which frames of an animation a selection takes, and the first number past its end.
TEST(FrameFilesTest, SelectionTakesItsFramesAndNamesAFrameItLacks) {
    const struct {
        std::vector<FrameRange> ranges;
        int frames;
        std::vector<int> chosen;
        const char* problem;
    } cases[] = {
        {{}, 3, {0, 1, 2}, ""},
        {{{0, 4}, {9, 9}}, 10, {0, 1, 2, 3, 4, 9}, ""},
        {{{2, 2}, {0, 3}}, 5, {0, 1, 2, 3}, ""},  // overlapping: each frame once
        {{{3, kEnd}}, 5, {3, 4}, ""},
        {{{4, 4}}, 5, {4}, ""},
        {{{0, 4}, {12, 12}}, 10, {0, 1, 2, 3, 4}, "there is no frame 12: the GIF has 10 frames, 0 to 9"},
        {{{8, 12}}, 10, {8, 9}, "the range 8-12 goes past the last frame: the GIF has 10 frames, 0 to 9"},
        {{{5, kEnd}}, 5, {}, "there is no frame 5: the GIF has 5 frames, 0 to 4"},
        {{{1, 1}}, 1, {}, "there is no frame 1: the GIF has 1 frame, 0"},
        {{{0, INT_MAX}}, 2, {0, 1}, "the range 0-2147483647 goes past the last frame"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.frames);
        const FrameSelection selection{c.ranges};
        std::vector<int> chosen;
        for (int i = -1; i <= c.frames; ++i)
            if (selection.Contains(i) && i >= 0 && i < c.frames) chosen.push_back(i);
        EXPECT_EQ(chosen, c.chosen);
        EXPECT_EQ(selection.Count(c.frames), static_cast<int>(c.chosen.size()));
        EXPECT_EQ(selection.Problem(c.frames, "GIF").find(c.problem), 0u)
            << selection.Problem(c.frames, "GIF");
        EXPECT_EQ(selection.Problem(c.frames, "GIF").empty(), *c.problem == '\0');
    }
    EXPECT_FALSE((FrameSelection{{{2, 3}}}.Contains(1)));
    EXPECT_FALSE((FrameSelection{{{2, 3}}}.Contains(4)));
    EXPECT_EQ((FrameSelection{{{9, 9}}}).Problem(3, "WebP"),
              "there is no frame 9: the WebP has 3 frames, 0 to 2");
}

// A pattern's text around its one conversion, and the width the conversion asks for.
TEST(FrameFilesTest, NamePatternsHoldOneFrameNumber) {
    const struct {
        const char* text;
        FrameNamePattern pattern;
        const char* error;  // empty: read
    } cases[] = {
        {"frame_%03d.png", {"frame_", 3, ".png"}, ""},
        {"%d.jpg", {"", 0, ".jpg"}, ""},
        {"a%09d", {"a", 9, ""}, ""},
        {"100%%_%01d.tga", {"100%_", 1, ".tga"}, ""},
        {"%d%%.png", {"", 0, "%.png"}, ""},
        {"f_%s.png", {}, "'%s' is not a frame number"},
        {"f_%5d.png", {}, "'%5d' is not a frame number"},
        {"f_%010d.png", {}, "'%010d' is not a frame number"},
        {"f_%0d.png", {}, "'%0d' is not a frame number"},
        {"f_%-3d.png", {}, "'%-3d' is not a frame number"},
        {"f_%i.png", {}, "'%i' is not a frame number"},
        {"f_%", {}, "'%' is not a frame number"},
        {"%d_%03d.png", {}, "it has more than one frame number"},
        {"frame.png", {}, "it has no %d for the frame number"},
        {"%%d.png", {}, "it has no %d for the frame number"},  // a percent sign, then "d"
        {"", {}, "it has no %d for the frame number"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::string error;
        const std::optional<FrameNamePattern> pattern = ReadFrameNamePattern(c.text, error);
        ASSERT_EQ(pattern.has_value(), *c.error == '\0') << error;
        EXPECT_EQ(error.find(c.error), 0u) << error;
        if (!pattern) continue;
        EXPECT_EQ(pattern->before, c.pattern.before);
        EXPECT_EQ(pattern->digits, c.pattern.digits);
        EXPECT_EQ(pattern->after, c.pattern.after);
    }
}

TEST(FrameFilesTest, NumbersArePaddedToTheWidthAndNeverCut) {
    const struct {
        int digits;
        uint64_t index;
        const char* name;
    } cases[] = {{0, 7, "f7.png"},     {3, 7, "f007.png"},   {3, 1234, "f1234.png"},
                 {2, 10, "f10.png"},   {9, 0, "f000000000.png"}, {1, 0, "f0.png"}};
    for (const auto& c : cases)
        EXPECT_EQ((FrameNamePattern{"f", c.digits, ".png"}).NameOf(c.index), c.name) << c.digits;
    const std::pair<uint64_t, int> widths[] = {{0, 1}, {9, 1}, {10, 2}, {99, 2}, {100, 3},
                                               {UINT64_MAX, 20}};
    for (const auto& [number, digits] : widths) EXPECT_EQ(DigitsOf(number), digits) << number;
}

}  // namespace
