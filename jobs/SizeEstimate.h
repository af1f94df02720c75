#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "jobs/convert/ConversionPlan.h"

// A guess at how large a movie will be, made before converting it: the first frames the movie
// shows are composed and encoded as the conversion encodes them (repeated pictures stored once),
// and their average stands for every frame the movie shows. Whole frames are encoded, so with
// changed areas the movie is smaller than the guess.
struct SizeEstimate {
    bool ok = false;
    std::string error;   // why there is no guess: the plan's error, the file's, or a cancel
    int64_t bytes = 0;   // the whole movie
    int sampled = 0;     // frames encoded for the guess
};

// The guess for plan, from at most sampleFrames frames (fewer for very large frames, so that the
// guess stays quick). Stops early, with no guess, once cancel is set.
SizeEstimate EstimateMovieSize(const ConversionPlan& plan, int sampleFrames,
                               const std::atomic<bool>* cancel = nullptr);
