#include "jobs/convert/BitmapEncoder.h"

#include <algorithm>
#include <cstring>

#include "jobs/convert/JpegEncoder.h"
#include "swf/CSWFBitmap.h"

namespace {

// The pixels with their transparent ones black, in copy (rows top first), and their alpha
// plane (0 or 255 a pixel, rows top first) as a zlib stream. The pixels themselves, unmasked,
// when nothing is transparent; an empty view on failure (error then says why).
BgrPixels Premultiply(const BgrPixels& pixels, std::vector<uint8_t>& copy,
                      std::vector<uint8_t>& alpha, std::string& error) {
    const auto width = static_cast<std::size_t>(pixels.width);
    const std::size_t count = width * static_cast<std::size_t>(pixels.height);
    BgrPixels opaque = pixels;
    opaque.transparent = nullptr;
    if (pixels.transparent == nullptr ||
        std::none_of(pixels.transparent, pixels.transparent + count,
                     [](uint8_t t) { return t != 0; })) {
        return opaque;
    }
    copy.resize(3 * count);
    std::vector<uint8_t> plane(count, 255);
    for (int y = 0; y < pixels.height; ++y) {
        uint8_t* row = copy.data() + 3 * width * static_cast<std::size_t>(y);
        std::memcpy(row, pixels.Row(y), 3 * width);
        const uint8_t* clear = pixels.transparent + width * static_cast<std::size_t>(y);
        for (std::size_t x = 0; x < width; ++x) {
            if (clear[x] == 0) continue;
            plane[width * static_cast<std::size_t>(y) + x] = 0;
            std::memset(row + 3 * x, 0, 3);
        }
    }
    alpha = CompressZlib(plane.data(), plane.size());
    if (alpha.empty()) {
        error = "the alpha channel could not be compressed";
        return {};
    }
    opaque.top = copy.data();
    opaque.stride = static_cast<std::ptrdiff_t>(3 * width);
    return opaque;
}

}  // namespace

JpegBitmapEncoder::JpegBitmapEncoder(Quality quality) : m_quality(quality) {}

EncodedFrame JpegBitmapEncoder::Encode(const BgrPixels& pixels) const {
    EncodedFrame out;
    std::vector<uint8_t> copy;
    const BgrPixels premultiplied = Premultiply(pixels, copy, out.alpha, out.error);
    if (!out.error.empty()) return out;
    EncodeJpeg(premultiplied, m_quality, out);
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

EncodedFrame LosslessBitmapEncoder::Encode(const BgrPixels& pixels) const {
    EncodedFrame out;
    if (pixels.top == nullptr || pixels.width <= 0 || pixels.height <= 0 || pixels.width > 0xFFFF ||
        pixels.height > 0xFFFF) {
        out.error = "the frame is not an image of 1 to 65535 pixels a side";
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
