#pragma once

#include <cstdint>
#include <vector>

// A rectangle of stage pixels: left and top inclusive, right and bottom exclusive.
struct PixelRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    bool Empty() const { return left >= right || top >= bottom; }
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool operator==(const PixelRect&) const = default;
};

// What one frame of a changed-area movie stores, and which earlier pictures it hides.
struct AreaPlan {
    PixelRect area;    // where the frame's picture goes; empty when nothing changed
    int picture = -1;  // the picture's number, from 0 in frame order; -1 when nothing is stored
    // One byte per pixel of the area, rows top first: 1 where the picture may be transparent
    // (the pixel shows the same colour already). Empty when the whole picture is opaque.
    std::vector<uint8_t> transparent;
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
class ChangedAreaPlanner {
public:
    static constexpr int kMaxShown = 8;

    // blockSize: areas grow to whole blocks of the stage's block grid, as far as the stage
    // reaches (8 for JPEG pictures, whose blocks then line up with those below). transparent:
    // pictures may be transparent where nothing changed; otherwise every picture is opaque over
    // its whole area.
    ChangedAreaPlanner(int width, int height, int blockSize, bool transparent);

    // Plans the next frame: rows of 24-bit pixels (blue, green, red), stride bytes apart, top
    // first, of the stage's size.
    AreaPlan Plan(const uint8_t* rows, int stride);

private:
    PixelRect ChangedRect(const uint8_t* rows, int stride) const;
    PixelRect Grow(PixelRect rect) const;
    // Makes picture the owner of the pixels of rect that changed, or of all when opaque.
    void Paint(const PixelRect& rect, const uint8_t* rows, int stride, int picture, bool opaque);

    int m_nWidth;
    int m_nHeight;
    int m_nBlock;
    bool m_bTransparent;
    std::vector<uint8_t> m_previous;  // the frame before, rows of 3 * width bytes
    std::vector<uint16_t> m_owner;    // per stage pixel, the picture that shows there
    std::vector<uint32_t> m_visible;  // per picture, the pixels where it shows
    struct Shown {
        int picture;
        PixelRect area;
    };
    std::vector<Shown> m_shown;  // pictures that show somewhere, oldest first
    int m_nPictures = 0;
};
