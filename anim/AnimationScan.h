#pragma once

#include <string>

#include "base/FrameRules.h"
#include "gif/GifInfo.h"

// What a quick look at an animation of any format tells without decoding a pixel, in GifInfo's
// terms (the screen, the frames with their delays, the loop count as a NETSCAPE count of
// repeats, the format's name), picked by the file's first bytes. A file that starts like no
// format is scanned as a GIF, which says why it is not one.
GifInfo ScanAnimationFile(const std::string& utf8Path, FrameRules rules = {});
