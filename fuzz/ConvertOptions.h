#pragma once

// How the conversion fuzz target reads its options from the first bytes of an input.

#include <cstddef>
#include <cstdint>

#include "jobs/ConversionSettings.h"

constexpr std::size_t kOptionBytes = 3;

// Byte 0: bit 0 lossless bitmaps, bit 1 changed areas, bit 2 the GIF's timing, bit 3 the rate
// given, bits 4-5 the loop (for ever, once, as the GIF says, a number of times), bit 6 a URL,
// bit 7 transparency on a stage of a colour of its own.
// Byte 1: the frame rate (0 and rates the movie cannot hold are refused).
// Byte 2: the JPEG quality (modulo 3) and the number of passes (the rest, plus 1).
inline ConversionSettings OptionsFrom(const uint8_t* bytes) {
    ConversionSettings settings;
    const uint8_t flags = bytes[0];
    settings.m_bitmaps = flags & 1 ? BitmapKind::Lossless : BitmapKind::Jpeg;
    settings.m_bChangedAreas = (flags & 2) != 0;
    settings.m_timing = flags & 4 ? Timing::Gif : Timing::Fixed;
    settings.m_bFpsGiven = (flags & 8) != 0;
    settings.m_loop.kind = static_cast<LoopOption::Kind>((flags >> 4) & 3);
    if (flags & 64) settings.m_strTargetUrl = " https://example.org/\xc3\xa4?a=1 ";
    if (flags & 128) {
        settings.m_bTransparent = true;
        settings.m_background = 0x3366CC;
    }
    settings.m_nFps = bytes[1];
    settings.m_nQuality = static_cast<Quality>(bytes[2] % 3);
    settings.m_loop.times = bytes[2] / 3 + 1;
    return settings;
}
