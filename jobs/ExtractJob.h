#pragma once

#include <string>

#include "jobs/JobResult.h"
#include "jobs/Options.h"

// Writes every composed frame of the GIF at gifPath to
// "<outputFolder>/<title>_f<index>.<bmp|png|jpg|tga>", 24 bits per pixel composed on
// options.background, frame indexes from 0; with options.transparent, PNG and TGA frames have 32
// bits, transparent where no image covers the pixel (FreeImage writes a PNG frame without any
// such pixel with 24). Progress counts frames composed.
JobResult ExtractFrames(const std::string& gifPath, const std::string& outputFolder,
                        const ExtractOptions& options, const JobControl& control = {});
