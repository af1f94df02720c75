#pragma once

#include "base/BgrPixels.h"
#include "jobs/Options.h"

struct EncodedFrame;

// Encodes pixels as a progressive JPEG file into frame.data, through libjpeg, set exactly as
// FreeImage's JPEG writer sets it for a 24-bit image, so that the bytes are those it writes:
// JFIF with a density of 0 dots per inch, libjpeg's defaults, the standard progressive script
// (optimised Huffman tables), quality 50, 75 or 100 for low, normal and high, chroma halved both
// ways but at high quality. The mask is not read (the caller premultiplies). Sets frame.ok; on
// failure frame.error says why and frame.outOfMemory whether memory ran out.
void EncodeJpeg(const BgrPixels& pixels, Quality quality, EncodedFrame& frame);
