#pragma once

#include <cstdint>
#include <string>

#include "jobs/BitmapEncoder.h"
#include "swf/CSWFMovie.h"

// Lays the encoded frames out on the movie's timeline, in display order: which tags each frame
// adds, how long it stays, and how the movie ends. Failures are the movie's (its GetError).
class TimelineWriter {
public:
    virtual ~TimelineWriter() = default;
    // The most GIF frames the movie can hold; the job drops the rest with a warning.
    virtual int MaxFrames() const = 0;
    // Adds a frame's bitmap.
    virtual bool AddFrame(const EncodedFrame& bitmap) = 0;
    // Completes the timeline after the last frame.
    virtual bool Finish() = 0;
};

// One SWF frame per GIF frame at the movie's fixed rate: the bitmap, a stage-sized shape filled
// with it (one bitmap pixel per stage pixel) placed above everything before it, and ShowFrame.
// Frame k defines bitmap 3 + 2k and shape 4 + 2k, placed at depth 4 + 2k.
class FullFrameTimeline : public TimelineWriter {
public:
    FullFrameTimeline(CSWFMovie& movie, const BitmapEncoder& encoder, int width, int height);
    int MaxFrames() const override;
    bool AddFrame(const EncodedFrame& bitmap) override;
    bool Finish() override { return true; }

private:
    CSWFMovie& m_movie;
    const BitmapEncoder& m_encoder;
    float m_fWidth;
    float m_fHeight;
    uint16_t m_nNextId = 3;
};

// The invisible full-stage button that opens url: its hit-area shape (id 1) and the button
// (id 2) placed at depth 2, below every frame.
bool AddUrlButton(CSWFMovie& movie, const std::string& url, int width, int height);
