#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "anim/AnimationFormat.h"
#include "base/FrameRules.h"
#include "base/Pixels.h"

// One animation, whatever its format, composed frame by frame onto a 24-bit canvas the size of
// its screen: rows top first, Stride() bytes each (3 * width rounded up to 4), blue, green, red.
// Each reader keeps the limits of CGifAnimation (kMaxSide, kMaxPixels), checked before anything
// the size of the screen is allocated. Not thread-safe.
class AnimationReader {
public:
    virtual ~AnimationReader() = default;

    // Before Load: the colour the frames are composed on, which images make a frame, and whether
    // Coverage is kept.
    virtual void ComposeOn(RgbColor background, FrameRules rules, bool keepCoverage) = 0;
    // Opens the file, or bytes held in memory (read from a copy of them). False on failure, with
    // the cause in Error().
    virtual bool Load(const std::string& utf8Path) = 0;
    virtual bool Load(const uint8_t* data, std::size_t size) = 0;
    // Composes the next frame: its delay in milliseconds (> 0); 0 at the end, and below 0 when
    // reading stopped early (Error() says why).
    virtual int NextFrame() = 0;

    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual int Stride() const = 0;
    // The frame composed last; null before the first.
    virtual const uint8_t* FrameArea() const = 0;
    // With coverage kept: a byte a pixel, rows of Width() top first, 1 where the animation covers
    // the pixel, 0 where the background shows. Null otherwise.
    virtual const uint8_t* Coverage() const = 0;
    // Empty while all is well; else why the file could not be opened or read to its end.
    virtual const std::string& Error() const = 0;
};

// The reader for format; a file that starts like no format goes to the GIF reader, which says
// why it cannot be read.
std::unique_ptr<AnimationReader> MakeAnimationReader(AnimationFormat format);
