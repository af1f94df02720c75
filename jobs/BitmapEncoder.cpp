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

EncodedFrame JpegBitmapEncoder::Encode(FIBITMAP* image) const {
    EncodedFrame out;
    const FreeImageMemory stream(FreeImage_OpenMemory(nullptr, 0));
    BYTE* data = nullptr;
    DWORD size = 0;
    if (stream && FreeImage_SaveToMemory(FIF_JPEG, image, stream.get(), m_nFlags) &&
        FreeImage_AcquireMemory(stream.get(), &data, &size) && size > 0) {
        out.data.assign(data, data + size);
        out.ok = true;
    } else {
        out.error = "the JPEG encoder failed";
    }
    return out;
}

std::unique_ptr<CSWFObject> JpegBitmapEncoder::MakeBitmap(uint16_t id,
                                                          const EncodedFrame& frame) const {
    return std::make_unique<CSWFBitmap>(id, frame.data.data(),
                                        static_cast<int32_t>(frame.data.size()));
}
