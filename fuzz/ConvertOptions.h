#pragma once

// How the conversion fuzz target reads its options from the first bytes of an input.

#include <cstddef>
#include <cstdint>

#include "jobs/Options.h"

constexpr std::size_t kOptionBytes = 3;

// Byte 0: bit 0 lossless bitmaps, bit 1 changed areas, bit 2 the GIF's timing, bit 3 the rate
// given, bits 4-5 the loop (for ever, once, as the GIF says, a number of times), bit 6 a URL,
// bit 7 transparency on a stage of a colour of its own.
// Byte 1: the frame rate (0 and rates the movie cannot hold are refused).
// Byte 2: the JPEG quality (modulo 3) and the number of passes (the rest, plus 1).
inline ConvertOptions OptionsFrom(const uint8_t* bytes) {
    ConvertOptions options;
    const uint8_t flags = bytes[0];
    options.bitmaps = flags & 1 ? BitmapKind::Lossless : BitmapKind::Jpeg;
    options.changedAreas = (flags & 2) != 0;
    options.timing = flags & 4 ? Timing::Gif : Timing::Fixed;
    options.fpsGiven = (flags & 8) != 0;
    options.loop.kind = static_cast<LoopOption::Kind>((flags >> 4) & 3);
    if (flags & 64) options.targetUrl = " https://example.org/\xc3\xa4?a=1 ";
    if (flags & 128) {
        options.transparent = true;
        options.background = 0x3366CC;
    }
    options.fps = bytes[1];
    options.quality = static_cast<Quality>(bytes[2] % 3);
    options.loop.times = bytes[2] / 3 + 1;
    return options;
}
