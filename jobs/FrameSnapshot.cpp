#include "jobs/FrameSnapshot.h"

#include <algorithm>
#include <cstring>

namespace {

void Put16(uint8_t* at, uint32_t value) {
    at[0] = uint8_t(value);
    at[1] = uint8_t(value >> 8);
}

void Put32(uint8_t* at, uint32_t value) {
    Put16(at, value);
    Put16(at + 2, value >> 16);
}

}  // namespace

int OpenSettingsGif(const ConversionSettings& settings, CGifAnimation& gif) {
    return gif.Load(settings.m_strGifPath.c_str());
}

DrawingSurface PrepareFrameBmp(std::vector<uint8_t>& bmp, int width, int height) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    const int stride = CGifAnimation::StrideFor(width);
    const std::size_t pixelBytes = static_cast<std::size_t>(stride) * static_cast<size_t>(height);
    bmp.resize(kBmpHeaderSize + pixelBytes);

    uint8_t* h = bmp.data();
    h[0] = 'B';
    h[1] = 'M';
    Put32(h + 2, static_cast<uint32_t>(bmp.size()));  // bfSize
    Put16(h + 6, 0);                                  // bfReserved1
    Put16(h + 8, 0);                                  // bfReserved2
    Put32(h + 10, kBmpHeaderSize);                    // bfOffBits
    Put32(h + 14, 40);                                // biSize
    Put32(h + 18, static_cast<uint32_t>(width));      // biWidth
    Put32(h + 22, static_cast<uint32_t>(-height));    // biHeight: negative, top row first
    Put16(h + 26, 1);                                 // biPlanes
    Put16(h + 28, 24);                                // biBitCount
    Put32(h + 30, 0);                                 // biCompression: none
    Put32(h + 34, 0);                                 // biSizeImage
    Put32(h + 38, 0);                                 // biXPelsPerMeter
    Put32(h + 42, 0);                                 // biYPelsPerMeter
    Put32(h + 46, 0);                                 // biClrUsed
    Put32(h + 50, 0);                                 // biClrImportant

    DrawingSurface surface;
    surface.nWidth = width;
    surface.nHeight = height;
    surface.nStride = stride;
    surface.nBitsPerPixel = 24;
    surface.pBits = bmp.data() + kBmpHeaderSize;
    return surface;
}

int ComposeFrameBmp(CGifAnimation& gif, std::vector<uint8_t>& bmp) {
    DrawingSurface surface = PrepareFrameBmp(bmp, gif.Width(), gif.Height());
    const PixelRect whole = {0, 0, surface.nWidth, surface.nHeight};
    return gif.Draw(surface, &whole);
}

FreeImageBitmap LoadFrameImage(const std::vector<uint8_t>& bmp) {
    const FreeImageApi* freeImage = LoadFreeImage();
    if (freeImage == nullptr || bmp.size() < kBmpHeaderSize) return nullptr;
    // FreeImage only reads from the stream; its API is not const-correct.
    const FreeImageMemory stream(
        freeImage->OpenMemory(const_cast<BYTE*>(bmp.data()), static_cast<DWORD>(bmp.size())));
    if (!stream) return nullptr;
    FreeImageBitmap image(freeImage->LoadFromMemory(FIF_BMP, stream.get(), 0));
    if (image && freeImage->GetBPP(image.get()) != 24) {
        image.reset(freeImage->ConvertTo24Bits(image.get()));
    }
    return image;  // it holds its own copy of the pixels
}

FrameSurface CreateDrawingSurface(int width, int height) {
    FrameSurface result;
    result.surface = PrepareFrameBmp(result.bmp, width, height);
    return result;
}

void ReleaseDrawingSurface(FrameSurface& surface) {
    surface.bmp.clear();
    surface.bmp.shrink_to_fit();
    surface.surface = DrawingSurface{};
}

FrameSnapshot SnapshotFrame(CGifAnimation& gif, FrameSurface& surface) {
    const PixelRect whole = {0, 0, surface.surface.nWidth, surface.surface.nHeight};
    gif.Draw(surface.surface, &whole);
    FrameSnapshot snapshot;
    snapshot.bmp = surface.bmp.data();
    snapshot.size = surface.bmp.size();
    snapshot.image = LoadFrameImage(surface.bmp);
    return snapshot;
}

void ReleaseFrameSnapshot(FrameSnapshot& snapshot) { snapshot = FrameSnapshot{}; }

void CopyFramePixels(const CGifAnimation& gif, PixelBuffer& pixels) {
    const auto stride = static_cast<std::size_t>(gif.Stride());
    const auto height = static_cast<std::size_t>(std::max(gif.Height(), 0));
    pixels.resize(stride * height);
    const uint8_t* from = gif.FrameArea();
    if (!from) return;
    for (std::size_t y = 0; y < height; ++y)
        std::memcpy(pixels.data() + (height - 1 - y) * stride, from + y * stride, stride);
}

BgrPixels FrameAreaPixels(const PixelBuffer& pixels, int width, int height, const PixelRect& area) {
    const auto stride = static_cast<std::ptrdiff_t>(CGifAnimation::StrideFor(width));
    if (area.Empty() || area.left < 0 || area.top < 0 || area.right > width ||
        area.bottom > height ||
        pixels.size() < static_cast<std::size_t>(stride) * static_cast<std::size_t>(height)) {
        return {};
    }
    BgrPixels view;
    // The area's top row, counted from the frame's bottom row, which comes first.
    view.top = pixels.data() + (height - 1 - area.top) * stride + 3 * area.left;
    view.stride = -stride;
    view.width = area.Width();
    view.height = area.Height();
    return view;
}

FreeImageBitmap WrapFramePixels(PixelBuffer& pixels, int width, int height) {
    const FreeImageApi* freeImage = LoadFreeImage();
    const BgrPixels frame = FrameAreaPixels(pixels, width, height, {0, 0, width, height});
    if (freeImage == nullptr || frame.top == nullptr) return nullptr;
    FreeImageBitmap image(freeImage->ConvertFromRawBitsEx(
        FALSE, pixels.data(), FIT_BITMAP, width, height, static_cast<int>(-frame.stride), 24,
        FI_RGBA_RED_MASK, FI_RGBA_GREEN_MASK, FI_RGBA_BLUE_MASK, FALSE));
    // The BMP's resolution is 0, which the JPEG and PNG writers carry into their files.
    if (image) {
        freeImage->SetDotsPerMeterX(image.get(), 0);
        freeImage->SetDotsPerMeterY(image.get(), 0);
    }
    return image;
}
