#pragma once

#include <cstdint>
#include <vector>

#include "base/LargeBuffer.h"
#include "base/Pixels.h"

// What one frame of a changed-area movie stores, and which earlier pictures it hides.
struct AreaPlan {
    PixelRect area;    // where the frame's picture goes; empty when nothing changed
    int picture = -1;  // the picture's number, from 0 in frame order; -1 when nothing is stored
    // One byte per pixel of the area, rows top first: 1 where the picture is see-through (the
    // pixel shows the same colour already, or nothing covers it). Empty when it is opaque.
    std::vector<uint8_t> seeThrough;
    std::vector<int> hidden;  // earlier pictures that no longer show anywhere, oldest first
};

// Decides, frame by frame and in display order, what a movie that only stores what changes
// adds: the rectangle around the pixels that differ from the frame before (the whole stage for
// the first frame), and which earlier pictures the new one hides entirely, so that the player
// can drop them. Every stage pixel is owned by the picture that shows there.
//
// At most kMaxShown pictures show at any time: when a new picture would leave more, it becomes
// opaque over its whole area, and that area grows over the oldest ones until they are hidden, so
// that playing stays cheap however long the movie is.
//
// Where the frames keep transparency, a pixel that nothing covers shows no picture at all. A
// picture cannot make the pixels below it transparent again, so when a pixel that showed
// something becomes transparent, every picture whose area holds it is taken off the stage, and
// the new picture grows over their areas and shows what they showed.
class ChangedAreaPlanner {
public:
    static constexpr int kMaxShown = 8;

    // blockSize: areas grow to whole blocks of the stage's block grid, as far as the stage
    // reaches (8 for JPEG pictures, whose blocks then line up with those below). transparent:
    // pictures may be transparent where nothing changed; otherwise every picture is opaque over
    // its whole area.
    ChangedAreaPlanner(int width, int height, int blockSize, bool transparent);

    // Plans the next frame: rows of 24-bit pixels (blue, green, red), stride bytes apart, top
    // first, of the stage's size; uncovered, when the frames keep transparency: rows of width
    // bytes, not 0 where nothing covers the pixel (in every frame, or in none).
    AreaPlan Plan(const uint8_t* rows, int stride, const uint8_t* uncovered = nullptr);

private:
    struct Frame {  // a frame as Plan receives it
        const uint8_t* rows;
        int stride;
        const uint8_t* uncovered;
    };
    struct Row {  // one row of a frame: colours, and clear pixels when there are any
        const uint8_t* bgr = nullptr;
        const uint8_t* uncovered = nullptr;
    };
    Row FrameRow(const Frame& frame, int y) const;
    Row PreviousRow(int y) const;  // of the frame before
    // Whether pixel x differs between two rows; clear pixels show no colour.
    static bool Differs(const Row& now, const Row& before, int x);
    // Whether the kRun pixels from x on are the same in both rows, clear or not (false may
    // still mean that no pixel Differs).
    static constexpr int kRun = 8;
    static bool SameRun(const Row& now, const Row& before, int x);
    // The rectangle around the pixels that differ from the frame before; uncovered grows around
    // those that nothing covers any more.
    PixelRect ChangedRect(const Frame& frame, PixelRect& uncovered) const;
    PixelRect Grow(PixelRect rect) const;
    // Makes picture the owner of the pixels of rect that changed or that a doomed picture owns,
    // or of all when opaque; pixels that nothing covers have no owner.
    void Paint(const PixelRect& rect, const Frame& frame, int picture, bool opaque,
               const std::vector<bool>& doomed);
    // One byte per pixel of area, rows top first: 1 where picture does not show; empty when it
    // shows everywhere.
    std::vector<uint8_t> TransparentMask(const PixelRect& area, int picture) const;
    // Keeps the rows of frame that changed, for comparing the next frame with.
    void Remember(const Frame& frame, const PixelRect& changed);

    int m_nWidth;
    int m_nHeight;
    int m_nBlock;
    bool m_bTransparent;
    PixelBuffer m_previous;                // the frame before, rows of 3 * width bytes
    std::vector<uint8_t> m_previousUncovered;  // its uncovered pixels, rows of width bytes
    // Per stage pixel, the picture that shows there; made when first painted (pictures opaque over
    // their whole areas, with no clear pixels, are followed by their areas alone).
    std::vector<uint16_t, LargeAllocator<uint16_t>> m_owner;
    std::vector<uint32_t> m_visible;  // per picture, the pixels where it shows
    struct Shown {
        int picture;
        PixelRect area;
    };
    std::vector<Shown> m_shown;  // pictures that show somewhere, oldest first
    int m_nPictures = 0;
};
