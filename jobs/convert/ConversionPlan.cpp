#include "jobs/convert/ConversionPlan.h"

#include <algorithm>
#include <system_error>

#include "gif/CGifAnimation.h"
#include "gif/GifInfo.h"
#include "jobs/ConvertJob.h"
#include "jobs/convert/FrameTiming.h"

namespace fs = std::filesystem;

namespace {

void EstimateMemory(ConversionPlan& plan) {
    const std::size_t pixels = static_cast<std::size_t>(CGifAnimation::StrideFor(plan.width)) *
                               static_cast<std::size_t>(std::max(plan.height, 0));
    plan.frameBytes = pixels;
    plan.jobBytes = (plan.options.changedAreas ? 5 : 3) * pixels;
    plan.inFlightBytes = 4 * pixels;
    if (plan.options.transparent) {
        plan.jobBytes += pixels;  // two planes of a byte per pixel, a third of the colours' three
        plan.inFlightBytes += pixels / 3;
    }
}

}  // namespace

ConversionPlan PlanConversion(const std::string& gif, const fs::path& movie,
                              const ConvertOptions& options) {
    ConversionPlan plan;
    plan.gif = gif;
    plan.movie = movie;
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

    // One scan that decodes no pixels gives the screen and every delay before the first frame
    // is composed: the frame rate and each frame's length may depend on all of them.
    const GifInfo scan = ScanGifFile(gif, options.Rules());
    if (!scan.opened || (scan.images == 0 && scan.error.empty())) {
        plan.error = scan.opened ? "the GIF has no images" : scan.error;
        return plan;
    }
    plan.width = scan.width;
    plan.height = scan.height;
    EstimateMemory(plan);

    plan.fps = MovieFrameRate(scan.delaysMs, options);
    if (options.timing == Timing::Gif) plan.schedule = ScheduleFrames(scan.delaysMs, plan.fps);
    plan.passes = LoopPasses(options.loop, scan.loopExtension);

    // A movie named like its own input (a GIF called x.swf, or a link to it) would replace it.
    std::error_code sameError;
    if (fs::equivalent(movie, gif, sameError))
        plan.error = "the movie " + movie.string() + " would replace its own input";
    return plan;
}
