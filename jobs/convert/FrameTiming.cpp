#include "jobs/convert/FrameTiming.h"

#include <cstdint>
#include <numeric>


int ChooseFrameRate(const std::vector<int>& delaysMs) {
    for (int fps = 1; fps < kMaxGifTimingFps; ++fps) {
        bool exact = true;
        for (int delay : delaysMs) {
            if (int64_t{ShownDelay(delay)} * fps % 1000 != 0) {
                exact = false;
                break;
            }
        }
        if (exact) return fps;
    }
    return kMaxGifTimingFps;
}

std::vector<int> ScheduleFrames(const std::vector<int>& delaysMs, int fps) {
    std::vector<int> counts;
    counts.reserve(delaysMs.size());
    int64_t endMs = 0;  // when the GIF ends the current frame
    int64_t shown = 0;  // SWF frames written so far
    for (int delay : delaysMs) {
        endMs += ShownDelay(delay);
        // The GIF's time in frames is endMs * fps / 1000; round it to the nearest frame.
        const int64_t ideal = endMs * fps;
        int64_t count = (2 * ideal + 1000) / 2000 - shown;
        // Too short for a frame of its own: one anyway while that keeps the movie within one
        // frame of the GIF (shown + 1 - ideal / 1000 <= 1).
        if (count <= 0) count = shown * 1000 <= ideal ? 1 : 0;
        counts.push_back(static_cast<int>(count));
        shown += count;
    }
    return counts;
}

int PassesPerLoop(int64_t passMs, int fps) {
    return static_cast<int>(1000 / std::gcd(passMs * fps, int64_t{1000}));
}

int MovieFrameRate(const std::vector<int>& delaysMs, const ConvertOptions& options) {
    if (options.timing == Timing::Gif && !options.fpsGiven) return ChooseFrameRate(delaysMs);
    return options.fps;
}

int LoopPasses(const LoopOption& loop, std::optional<int> gifLoopExtension) {
    switch (loop.kind) {
        case LoopOption::Kind::Forever:
            return 0;
        case LoopOption::Kind::Once:
            return 1;
        case LoopOption::Kind::Times:
            return loop.times;
        case LoopOption::Kind::Gif:
            break;
    }
    if (!gifLoopExtension) return 1;
    return *gifLoopExtension == 0 ? 0 : *gifLoopExtension + 1;
}
