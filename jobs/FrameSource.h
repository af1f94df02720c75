#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/LargeBuffer.h"
#include "gif/CGifAnimation.h"
#include "jobs/ChangedArea.h"
#include "jobs/Options.h"

// One composed GIF frame, ready to be encoded on any thread.
struct SourceFrame {
    int index = 0;                 // from 0, in display order
    int delayMs = 0;               // how long the GIF shows it
    PixelBuffer pixels;            // rows bottom first, as CopyFramePixels lays them out
    std::optional<AreaPlan> plan;  // what changed since the frame before, once planned
    int turn = -1;                 // its place among the frames to plan (Plan); -1: none to make
    // With transparency kept: one byte per pixel, rows top first, 1 where no image covers it.
    std::vector<uint8_t> clear;
};

// The composed frames of one GIF, in display order, each copied into pixel rows of its own
// (FrameSnapshot.h's CopyFramePixels). Buffers of frames done with come back through Recycle, so
// that a long animation allocates no more of them than are in flight. Next runs on one thread;
// Plan and Recycle on any.
class FrameSource {
public:
    // Opens the GIF at path (UTF-8). False on failure, with the cause in Error().
    bool Open(const std::string& path);
    // Before Open: the colour the frames are composed on (0xRRGGBB), and whether they keep
    // transparency (SourceFrame::clear).
    void ComposeOn(RgbColor background, bool keepTransparency);
    // From now on, every frame shown gets a turn for the planning of its changed area
    // (ChangedAreaPlanner), which Plan makes on whatever thread encodes the frame.
    void PlanChangedAreas(int blockSize, bool transparent);
    // Plans frame's changed area once the frames before it in turn are planned; at once for a
    // frame without a turn. Any thread; the frames of every earlier turn must be planned by
    // some thread, or be certain to be (they are queued ahead of this one).
    void Plan(SourceFrame& frame);

    // Composes the next frame. None at the end of the file or when reading stopped early
    // (Error() then says why). A frame that will not be shown (shown false) is composed, since
    // later frames build on it, but gets no turn: no changed area is planned against it.
    std::optional<SourceFrame> Next(bool shown = true);
    // Gives a frame's buffer back for reuse.
    void Recycle(PixelBuffer pixels);

    int Width() const { return m_gif.Width(); }
    int Height() const { return m_gif.Height(); }
    int Composed() const { return m_nComposed; }
    const CGifAnimation& Gif() const { return m_gif; }
    // Empty after a clean end; else why the file could not be opened or read to its end.
    const std::string& Error() const { return m_gif.GetError(); }

private:
    CGifAnimation m_gif;
    int m_nComposed = 0;
    std::optional<ChangedAreaPlanner> m_planner;
    int m_nTurns = 0;    // turns given
    int m_nPlanned = 0;  // turns planned; guarded by m_planMutex
    std::mutex m_planMutex;
    std::condition_variable m_planned;
    std::mutex m_mutex;
    std::vector<PixelBuffer> m_spare;
};
