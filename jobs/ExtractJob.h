#pragma once

#include <string>
#include <vector>

#include "jobs/JobResult.h"
#include "jobs/Options.h"

// Frame files of composed animation frames: 24 bits per pixel composed on options.background;
// with options.transparent, PNG and TGA frames have 32 bits, transparent where no image covers
// the pixel (FreeImage writes a PNG frame without any such pixel with 24). Frames are numbered
// from 0, in display order, whichever of them options.frames chooses.

// One frame file an extraction writes.
struct PlannedFrame {
    int index = 0;  // the frame's number
    std::string path;
};

// What an extraction of one animation will write, as one scan that decodes no pixel tells.
struct ExtractPlan {
    std::string input;
    std::string folder;  // where the frame files go
    bool scanned = false;  // the animation opened; else the extraction fails when it opens it
    std::string format = "GIF";  // of the animation
    JobPlan plan;                // frames: those chosen
    // Where the animation breaks off, as the scan found; empty when it is whole.
    std::string damage;
    std::vector<PlannedFrame> files;  // in frame order
    // Why nothing will be written (the folder, a frame file that is the input itself, a
    // selection past the last frame); empty when the extraction can start.
    std::string error;
};

// Plans the extraction of the animation at gifPath into outputFolder: "<title>_f<index>.<format>"
// or the names options.pattern gives.
ExtractPlan PlanExtraction(const std::string& gifPath, const std::string& outputFolder,
                           const ExtractOptions& options);

// Writes the frame files of the plan, which these options made. Progress counts the chosen
// frames done (written or, with Existing::Keep, kept); decoding stops after the last of them.
JobResult ExtractPlanned(const ExtractPlan& plan, const ExtractOptions& options,
                         const JobControl& control = {});

// Plans and writes the frames of the animation at gifPath into outputFolder.
JobResult ExtractFrames(const std::string& gifPath, const std::string& outputFolder,
                        const ExtractOptions& options, const JobControl& control = {});
