#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "jobs/JobResult.h"
#include "jobs/Options.h"

struct GifInfo;

// What a conversion will do, worked out from the options and one scan of the GIF, before a
// pixel is decoded or a byte written.
struct ConversionPlan {
    std::string error;  // why there is nothing to do; the rest is valid only when empty

    std::string gif;             // the GIF to read (UTF-8)
    std::string format = "GIF";  // the animation's format, as the scan names it
    std::filesystem::path movie;  // the movie to write
    ConvertOptions options;
    int width = 0;  // the stage: the GIF's logical screen
    int height = 0;
    int fps = kDefaultFps;
    // How many SWF frames each GIF frame stays on the stage, in display order; 0: left out,
    // shorter than a frame at this rate. Frames past its end get one.
    std::vector<int> schedule;
    int passes = 0;   // over the animation; 0: the player loops it for ever
    std::string url;  // as the movie carries it; empty: no button
    int frames = 0;   // GIF frames the movie will show (those the timing leaves out not counted)
    int64_t movieMs = 0;  // one pass over the animation
    int64_t gifMs = 0;    // the GIF's delays as browsers show them, added up

    // Memory estimates in bytes: one frame's pixels; what the job holds from start to end (the
    // canvas, the frame being composed, the changed-area planner's copies, the coverage planes
    // of a transparent movie); what each frame in flight adds (its pixels, its mask of uncovered
    // pixels and the encoder's working memory).
    std::size_t frameBytes = 0;
    std::size_t jobBytes = 0;
    std::size_t inFlightBytes = 0;

    int ShowFrames(std::size_t index) const {
        return index < schedule.size() ? schedule[index] : 1;
    }
    // What the front-ends show of it.
    JobPlan Summary() const { return {frames, width, height, fps, movieMs, gifMs}; }
};

// The plan for a movie of the GIF that scan describes (read with options.Rules()), under
// options; its error names what is wrong with them or with the GIF (a file that breaks off is
// still planned: the frames before the break are converted). The paths are left empty.
ConversionPlan PlanConversion(const GifInfo& scan, const ConvertOptions& options);
