#include "jobs/convert/ConversionPlan.h"

#include <algorithm>

#include "gif/CGifAnimation.h"
#include "gif/GifInfo.h"
#include "jobs/ConvertJob.h"
#include "jobs/convert/FrameTiming.h"

namespace {

void EstimateMemory(ConversionPlan& plan) {
    const std::size_t pixels = static_cast<std::size_t>(CGifAnimation::StrideFor(plan.width)) *
                               static_cast<std::size_t>(std::max(plan.height, 0));
    plan.frameBytes = pixels;
    // Whole frames keep the last one encoded, to tell a repeated picture.
    plan.jobBytes = (plan.options.changedAreas ? 5 : 4) * pixels;
    plan.inFlightBytes = 4 * pixels;
    if (plan.options.transparent) {
        plan.jobBytes += pixels;  // two planes of a byte per pixel, a third of the colours' three
        plan.inFlightBytes += pixels / 3;
    }
    // Readers that compose in RGBA keep more: libwebp a canvas and the one before it; the APNG
    // reader a canvas, a frame and the area a dispose op keeps, and the frame's data.
    const std::size_t area = static_cast<std::size_t>(std::max(plan.width, 0)) *
                             static_cast<std::size_t>(std::max(plan.height, 0));
    if (plan.format == "WebP") plan.jobBytes += 8 * area;
    if (plan.format == "PNG" || plan.format == "APNG") plan.jobBytes += 16 * area;
}

}  // namespace

ConversionPlan PlanConversion(const GifInfo& scan, const ConvertOptions& options) {
    ConversionPlan plan;
    plan.options = options;
    if (options.fps < kMinFps || options.fps > kMaxFps) {
        plan.error = "frame rate " + std::to_string(options.fps) + " is outside " +
                     std::to_string(kMinFps) + " to " + std::to_string(kMaxFps) +
                     " frames per second";
        return plan;
    }
    plan.url = EncodeTargetUrl(options.targetUrl);
    if (plan.url.size() > kMaxUrlBytes) {
        plan.error = "the target URL is longer than " + std::to_string(kMaxUrlBytes) + " bytes";
        return plan;
    }
    // The scan gives the screen and every delay before the first frame is composed: the frame
    // rate and each frame's length may depend on all of them.
    if (!scan.opened || (scan.images == 0 && scan.error.empty())) {
        plan.error = scan.opened ? "the " + scan.format + " has no images" : scan.error;
        return plan;
    }
    plan.format = scan.format;
    plan.width = scan.width;
    plan.height = scan.height;
    EstimateMemory(plan);

    plan.fps = MovieFrameRate(scan.delaysMs, options);
    if (options.timing == Timing::Gif) plan.schedule = ScheduleFrames(scan.delaysMs, plan.fps);
    plan.passes = LoopPasses(options.loop, scan.loopExtension);
    int64_t movieFrames = 0;
    for (std::size_t i = 0; i < scan.delaysMs.size(); ++i) {
        const int shown = plan.ShowFrames(i);
        plan.frames += shown > 0;
        movieFrames += shown;
    }
    plan.gifMs = scan.durationMs;
    plan.movieMs = movieFrames * 1000 / plan.fps;
    return plan;
}
