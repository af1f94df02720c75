#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "jobs/Options.h"

// Playing a GIF's own timing with the whole frames of an SWF movie, and its looping with passes
// written out (SWF version 3 has no variables to count loops with). Delays are in milliseconds.

// The fastest frame rate the GIF's timing picks by itself.
constexpr int kMaxGifTimingFps = 50;

// The lowest whole rate from 1 to kMaxGifTimingFps at which every shown delay is a whole number
// of frames; kMaxGifTimingFps when there is none.
int ChooseFrameRate(const std::vector<int>& delaysMs);

// How many SWF frames at fps each GIF frame stays on the stage. Each GIF frame ends on the SWF
// frame nearest to the time the GIF ends it, so the movie never drifts more than half a frame
// from the GIF; a frame shorter than that still gets one SWF frame unless the movie would then
// run more than one frame ahead of the GIF, and otherwise gets 0: it is left out.
std::vector<int> ScheduleFrames(const std::vector<int>& delaysMs, int fps);

// How many passes over an animation of passMs make a whole number of frames at fps: a player
// that loops over that many keeps the GIF's time in every pass. 1 when one pass does.
int PassesPerLoop(int64_t passMs, int fps);

// The movie's frame rate: options.fps, or with the GIF's timing and no rate given, the one the
// delays pick (ChooseFrameRate).
int MovieFrameRate(const std::vector<int>& delaysMs, const ConvertOptions& options);

// The passes over the animation a loop option asks for; 0 for ever. A GIF without a looping
// extension plays once, a count of 0 loops for ever, and a count of N plays N + 1 times.
int LoopPasses(const LoopOption& loop, std::optional<int> gifLoopExtension);
