#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/BgrPixels.h"
#include "base/LargeBuffer.h"
#include "base/Pixels.h"
#include "anim/AnimationReader.h"

// One composed frame, ready to be encoded on any thread. Its rows come top first.
struct SourceFrame {
    int index = 0;       // from 0, in display order
    int delayMs = 0;     // how long the GIF shows it
    PixelBuffer pixels;  // the screen's rows, Stride() bytes each: blue, green, red
    // With transparency kept: one byte per pixel, rows of Width() bytes, 1 where no image
    // covers the pixel (it stays transparent). Empty otherwise.
    std::vector<uint8_t> uncovered;

    // The view of area of the frame, width x height pixels; no mask. An empty view (top null)
    // when area is empty or not inside the frame, or the pixels are too small for it.
    BgrPixels Area(int width, int height, const PixelRect& area) const;
    // Equal pixels and mask: the same picture, which encodes to the same bytes.
    bool SamePicture(const SourceFrame& other) const;
};

// The composed frames of one animation (GIF, WebP or PNG, told by its first bytes), in display order, each copied into pixel rows of its own.
// Buffers of frames done with come back through Recycle, so
// that a long animation allocates no more of them than are in flight. Next runs on one thread,
// Recycle on any.
class FrameSource {
public:
    // Opens the animation at path (UTF-8). False on failure, with the cause in Error().
    bool Open(const std::string& path);
    // Before Open: the colour the frames are composed on (0xRRGGBB), and whether they keep
    // transparency (SourceFrame::uncovered).
    void ComposeOn(RgbColor background, bool keepTransparency, FrameRules rules = {});
    // Composes the next frame. None at the end of the file or when reading stopped early
    // (Error() then says why).
    std::optional<SourceFrame> Next();
    // Gives a frame's buffer back for reuse.
    void Recycle(PixelBuffer pixels);

    int Width() const { return m_reader ? m_reader->Width() : 0; }
    int Height() const { return m_reader ? m_reader->Height() : 0; }
    int Stride() const { return m_reader ? m_reader->Stride() : 0; }
    // Empty after a clean end; else why the file could not be opened or read to its end.
    const std::string& Error() const { return m_reader ? m_reader->Error() : m_strNoReader; }

private:
    std::unique_ptr<AnimationReader> m_reader;
    const std::string m_strNoReader = "nothing is open";
    RgbColor m_crBackground = kWhiteRgb;
    bool m_bKeepTransparency = false;
    FrameRules m_rules;
    int m_nComposed = 0;
    std::mutex m_mutex;
    std::vector<PixelBuffer> m_spare;
};
