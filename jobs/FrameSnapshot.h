#pragma once

#include <FreeImage.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "gif/CGifAnimation.h"
#include "gif/DrawingSurface.h"
#include "jobs/ConversionSettings.h"

// The steps every job shares to turn a composed GIF frame into a FreeImage image: open the GIF
// of the settings, keep one drawing surface of the GIF's size, and wrap each frame as a complete
// BMP file in memory that FreeImage loads. Free of any user interface.
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
// is open). Runs on whichever thread composes the frames.
int ComposeFrameBmp(CGifAnimation& gif, std::vector<uint8_t>& bmp);

// Loads a FreeImage image from a complete BMP held in memory; null when FreeImage cannot read
// it. The caller unloads the image. May run on another thread than ComposeFrameBmp.
FIBITMAP* LoadFrameBmp(const std::vector<uint8_t>& bmp);

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

// The frame as FreeImage sees it. The snapshot owns its image (null when FreeImage failed to
// load it) and the memory stream over the surface's BMP: free both with ReleaseFrameSnapshot,
// never with FreeImage_Unload.
struct FrameSnapshot {
    const uint8_t* bmp = nullptr;  // the BMP buffer (the surface's)
    std::size_t size = 0;          // its size in bytes: 54 + rows * stride
    FIMEMORY* stream = nullptr;
    FIBITMAP* image = nullptr;
};

// Draws the frame gif has just composed into surface (at 0, 0, filling it) and loads the BMP.
FrameSnapshot SnapshotFrame(CGifAnimation& gif, FrameSurface& surface);
void ReleaseFrameSnapshot(FrameSnapshot& snapshot);
