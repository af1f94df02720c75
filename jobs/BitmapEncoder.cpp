#include "jobs/BitmapEncoder.h"

#include <algorithm>
#include <cstring>

#include "swf/CSWFBitmap.h"

namespace {

int JpegFlags(Quality quality) {
    switch (quality) {
        case Quality::Low:
            return JPEG_PROGRESSIVE | JPEG_QUALITYNORMAL;
        case Quality::Normal:
            return JPEG_PROGRESSIVE | JPEG_QUALITYGOOD;
        case Quality::High:
            break;
    }
    // Full-resolution colour: with 2 x 2 chroma blocks, sharp colour edges (pixel art, dithered
    // GIFs) bleed into their neighbours whatever the quality.
    return JPEG_PROGRESSIVE | JPEG_QUALITYSUPERB | JPEG_SUBSAMPLING_444;
}

// A copy of the 24-bit image whose transparent pixels are black, and their alpha plane (0 or 255
// a pixel, rows top first) as a zlib stream; null when nothing is transparent or on failure
// (error then says why).
FreeImageBitmap Premultiply(FIBITMAP* image, const uint8_t* transparent,
                            std::vector<uint8_t>& alpha, std::string& error) {
    const auto width = static_cast<std::size_t>(FreeImage_GetWidth(image));
    const auto height = static_cast<int>(FreeImage_GetHeight(image));
    const std::size_t pixels = width * static_cast<std::size_t>(height);
    if (transparent == nullptr ||
        std::none_of(transparent, transparent + pixels, [](uint8_t t) { return t != 0; })) {
        return nullptr;
    }
    FreeImageBitmap copy(FreeImage_GetBPP(image) == 24 ? FreeImage_Clone(image) : nullptr);
    if (!copy) {
        error = "the frame could not be copied";
        return nullptr;
    }
    std::vector<uint8_t> plane(pixels, 255);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = FreeImage_GetScanLine(copy.get(), height - 1 - y);  // bottom up
        for (std::size_t x = 0; x < width; ++x) {
            if (transparent[static_cast<std::size_t>(y) * width + x] == 0) continue;
            plane[static_cast<std::size_t>(y) * width + x] = 0;
            std::memset(row + 3 * x, 0, 3);
        }
    }
    alpha = CompressZlib(plane.data(), plane.size());
    if (alpha.empty()) {
        error = "the alpha channel could not be compressed";
        return nullptr;
    }
    return copy;
}

}  // namespace

JpegBitmapEncoder::JpegBitmapEncoder(Quality quality) : m_nFlags(JpegFlags(quality)) {}

EncodedFrame JpegBitmapEncoder::Encode(FIBITMAP* image, const uint8_t* transparent) const {
    EncodedFrame out;
    const FreeImageBitmap premultiplied = Premultiply(image, transparent, out.alpha, out.error);
    if (!out.error.empty()) return out;
    if (premultiplied) image = premultiplied.get();
    const FreeImageMemory stream(FreeImage_OpenMemory(nullptr, 0));
    BYTE* data = nullptr;
    DWORD size = 0;
    if (stream && FreeImage_SaveToMemory(FIF_JPEG, image, stream.get(), m_nFlags) &&
        FreeImage_AcquireMemory(stream.get(), &data, &size) && size > 0) {
        out.data.assign(data, data + size);
        out.ok = true;
    } else {  // libjpeg fails a 24-bit image only when it cannot allocate its buffers
        out.outOfMemory = true;
    }
    return out;
}

std::unique_ptr<CSWFObject> JpegBitmapEncoder::MakeBitmap(uint16_t id,
                                                          const EncodedFrame& frame) const {
    if (!frame.alpha.empty()) {
        return std::make_unique<CSWFBitmap>(id, frame.data.data(),
                                            static_cast<int32_t>(frame.data.size()),
                                            frame.alpha.data(), frame.alpha.size());
    }
    return std::make_unique<CSWFBitmap>(id, frame.data.data(),
                                        static_cast<int32_t>(frame.data.size()));
}

EncodedFrame LosslessBitmapEncoder::Encode(FIBITMAP* image, const uint8_t* transparent) const {
    EncodedFrame out;
    BgrPixels pixels;
    pixels.width = static_cast<int>(FreeImage_GetWidth(image));
    pixels.height = static_cast<int>(FreeImage_GetHeight(image));
    // FreeImage keeps its rows bottom up.
    pixels.top = FreeImage_GetScanLine(image, pixels.height - 1);
    pixels.stride = -static_cast<std::ptrdiff_t>(FreeImage_GetPitch(image));
    pixels.transparent = transparent;
    if (FreeImage_GetBPP(image) != 24 || pixels.top == nullptr || pixels.width > 0xFFFF ||
        pixels.height > 0xFFFF) {
        out.error = "the frame is not a 24-bit image of at most 65535 pixels a side";
        return out;
    }
    out.data = CompressLossless(PackLossless(pixels, out.lossless), out.lossless);
    out.ok = !out.data.empty();
    out.outOfMemory = !out.ok;  // the compressors fail only for want of memory
    return out;
}

std::unique_ptr<CSWFObject> LosslessBitmapEncoder::MakeBitmap(uint16_t id,
                                                              const EncodedFrame& frame) const {
    return std::make_unique<CSWFBitmapLossless>(id, frame.lossless, frame.data.data(),
                                                frame.data.size());
}

std::unique_ptr<BitmapEncoder> MakeEncoder(const ConvertOptions& options) {
    if (options.bitmaps == BitmapKind::Lossless) return std::make_unique<LosslessBitmapEncoder>();
    return std::make_unique<JpegBitmapEncoder>(options.quality);
}
