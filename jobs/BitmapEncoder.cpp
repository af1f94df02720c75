#include "jobs/BitmapEncoder.h"

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

}  // namespace

JpegBitmapEncoder::JpegBitmapEncoder(Quality quality) : m_nFlags(JpegFlags(quality)) {}

EncodedFrame JpegBitmapEncoder::Encode(FIBITMAP* image, const uint8_t* /*transparent*/) const {
    EncodedFrame out;
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
