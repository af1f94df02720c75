#pragma once

#include <optional>
#include <string>
#include <vector>

// What a GIF holds, read without decoding a pixel: the screen, every displayed frame's delay
// (as CGifAnimation::NextFrame gives them, images with delay 0 merged) and the loop count.
struct GifScan {
    bool ok = false;       // the file opened as a GIF with an acceptable screen
    std::string error;     // why it did not open, or why reading stopped early
    int width = 0;
    int height = 0;
    std::vector<int> delaysMs;
    std::optional<int> loopExtension;  // the "NETSCAPE2.0" count (0: for ever); none: plays once
};

GifScan ScanGif(const std::string& utf8Path);
