#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/BgrPixels.h"
#include "base/LargeBuffer.h"
#include "gif/CGifAnimation.h"
#include "gif/DrawingSurface.h"
#include "jobs/ChangedArea.h"
#include "jobs/ConversionSettings.h"
#include "jobs/FreeImageLibrary.h"

// Two ways to turn a composed GIF frame into a FreeImage image. Free of any user interface.
//
// Through a BMP: the frame is drawn into a complete BMP file in memory (on the thread that
// composes the frames), and FreeImage loads that BMP (on any thread), copying it. The jobs take
// the faster way at the end of this file instead.
//
// The in-memory BMP: a 14-byte file header and a 40-byte info header (54 bytes, little-endian,
// no colour table, biHeight = -H so the first row stored is the top row, 24 bits per pixel),
// then H rows of 3 * W bytes padded to a multiple of 4. The pixel rows ARE the drawing
// surface: CGifAnimation::Draw writes straight into the buffer, so no frame is copied.

constexpr std::size_t kBmpHeaderSize = 54;

// Opens settings.m_strGifPath (UTF-8) in gif. Returns CGifAnimation::Load's result; the cause of
// a failure is gif.GetError().
int OpenSettingsGif(const ConversionSettings& settings, CGifAnimation& gif);

// Sizes bmp for a width x height frame, writes both headers and returns the surface over its
// pixel rows (which start zero when bmp grows). The surface stays valid until bmp changes.
// Negative sizes count as 0.
DrawingSurface PrepareFrameBmp(std::vector<uint8_t>& bmp, int width, int height);

// Builds the in-memory BMP of the frame gif has just composed: prepares bmp for the GIF's screen
// size and draws the frame into it at (0, 0). Returns Draw's result (rows drawn; 0 when no file
// is open).
int ComposeFrameBmp(CGifAnimation& gif, std::vector<uint8_t>& bmp);

// Loads a complete in-memory BMP as a 24-bit FreeImage image; null when FreeImage cannot be
// loaded or cannot read it.
FreeImageBitmap LoadFrameImage(const std::vector<uint8_t>& bmp);

// One drawing surface for the length of a job: an in-memory BMP whose pixel rows are the
// surface. Move-only: the surface points into bmp (a move keeps bmp's buffer).
struct FrameSurface {
    std::vector<uint8_t> bmp;
    DrawingSurface surface;

    FrameSurface() = default;
    FrameSurface(const FrameSurface&) = delete;
    FrameSurface& operator=(const FrameSurface&) = delete;
    FrameSurface(FrameSurface&&) = default;
    FrameSurface& operator=(FrameSurface&&) = default;
};

FrameSurface CreateDrawingSurface(int width, int height);
void ReleaseDrawingSurface(FrameSurface& surface);

// The frame as FreeImage sees it: the surface's BMP and the 24-bit image loaded from it (null
// when FreeImage failed to load it). The snapshot owns its image.
struct FrameSnapshot {
    const uint8_t* bmp = nullptr;  // the BMP buffer (the surface's)
    std::size_t size = 0;          // its size in bytes: 54 + rows * stride
    FreeImageBitmap image;
};

// Draws the frame gif has just composed into surface (at 0, 0, filling it) and loads the BMP.
FrameSnapshot SnapshotFrame(CGifAnimation& gif, FrameSurface& surface);
void ReleaseFrameSnapshot(FrameSnapshot& snapshot);

// The pipeline's faster way, with no BMP in between: the composing thread copies the frame into
// rows laid out as FreeImage keeps them (bottom row first, Stride bytes each, blue, green, red),
// and any thread reads those rows where they lie.

// Copies the frame gif has just composed into pixels, sized to the screen.
void CopyFramePixels(const CGifAnimation& gif, PixelBuffer& pixels);
// The view of area of a width x height frame in pixels (as CopyFramePixels lays them out), rows
// top first in area's terms; no mask. An empty view (top null) when area is empty or not inside
// the frame, or pixels are too small for it.
BgrPixels FrameAreaPixels(const PixelBuffer& pixels, int width, int height, const PixelRect& area);
// A FreeImage image over pixels (as CopyFramePixels lays them out); the pixels must outlive it.
// It reads like LoadFrameImage's image of the same frame, resolution included. Null when the
// frame is empty or FreeImage cannot be loaded.
FreeImageBitmap WrapFramePixels(PixelBuffer& pixels, int width, int height);
