#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What a quick look at a GIF tells without decoding a pixel: the logical screen, the frames
// CGifAnimation will compose from it with their delays, and how often the file asks to be
// looped. It is CGifAnimation itself reading the file with its pixels skipped block by block,
// so a scan costs little more than reading the file and always agrees with the compositor.
struct GifInfo {
    bool opened = false;  // the file opened as a GIF whose screen the reader accepts
    bool notGif = false;  // the file does not start like a GIF
    std::string format = "GIF";  // "GIF", "WebP" or "PNG" (AnimationFormat's name)
    int width = 0;
    int height = 0;
    int images = 0;  // image descriptors
    // Displayed frames as CGifAnimation::NextFrame returns them: by default images with delay 0
    // merge into the next image with a delay, and such images left at the end make one frame.
    int frames = 0;
    // How long one pass plays in a browser, whatever the rules: every image's delay as browsers
    // show it (ShownDelay), added up.
    int64_t durationMs = 0;
    std::vector<int> delaysMs;  // of each frame, in milliseconds
    // The "NETSCAPE2.0" (or "ANIMEXTS1.0") loop count (0: for ever); none without the extension.
    std::optional<int> loopExtension;
    // Entries of the global colour table (0: none); images with a table of their own and the
    // entries of the largest; images that name a transparent colour index.
    int globalColors = 0;
    int localColorTables = 0;
    int largestLocalColors = 0;
    int transparentImages = 0;
    // Empty after a clean read to the trailer; otherwise why the file could not be opened, or
    // where it breaks off (the counts then cover what came before).
    std::string error;
};

#include "gif/CGifAnimation.h"

// The frames as the rules make them (only FrameRules::everyImage matters to a scan).
GifInfo ScanGifFile(const std::string& utf8Path, FrameRules rules = {});
