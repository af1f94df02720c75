#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/BgrPixels.h"
#include "jobs/Options.h"
#include "swf/CSWFBitmapLossless.h"
#include "swf/CSWFObject.h"

// The outcome of encoding one frame.
struct EncodedFrame {
    std::vector<uint8_t> data;  // the encoded image when ok
    std::string error;          // why it failed otherwise
    bool ok = false;
    bool outOfMemory = false;    // failed for want of memory: the job cannot go on
    LosslessLayout lossless;     // lossless bitmaps: how data lays out the pixels
    std::vector<uint8_t> alpha;  // JPEG bitmaps with transparent pixels: their alpha, zlib
};

// Turns a composed frame (its 24-bit pixels, read where they lie) into the data of one SWF
// bitmap, and that data into the bitmap's definition tag. Encode runs on the encoder threads,
// several frames at once, so an encoder keeps no state that changes.
class BitmapEncoder {
public:
    virtual ~BitmapEncoder() = default;
    // The pixels' mask, when there is one, says where the picture is transparent.
    virtual EncodedFrame Encode(const BgrPixels& pixels) const = 0;
    virtual std::unique_ptr<CSWFObject> MakeBitmap(uint16_t id,
                                                   const EncodedFrame& frame) const = 0;
    // The block grid that parts of the stage are stored in (1: any rectangle).
    virtual int BlockSize() const { return 1; }
    // Whether pictures can be transparent where the frame did not change.
    virtual bool HasTransparency() const { return false; }
};

// Progressive JPEG (JpegEncoder.h), defined as DefineBitsJPEG2; a picture with transparent
// pixels as DefineBitsJPEG3, black there (premultiplied) with their alpha beside the JPEG.
class JpegBitmapEncoder : public BitmapEncoder {
public:
    explicit JpegBitmapEncoder(Quality quality);
    EncodedFrame Encode(const BgrPixels& pixels) const override;
    std::unique_ptr<CSWFObject> MakeBitmap(uint16_t id, const EncodedFrame& frame) const override;
    // JPEG codes 8 x 8 blocks: parts that start and end on the stage's block grid show no block
    // edges where they meet the pictures below.
    int BlockSize() const override { return 8; }

private:
    Quality m_quality;
};

// The exact pixels, colour-mapped when they have at most 256 colours, defined as
// DefineBitsLossless (DefineBitsLossless2 when part of the picture is transparent).
class LosslessBitmapEncoder : public BitmapEncoder {
public:
    EncodedFrame Encode(const BgrPixels& pixels) const override;
    std::unique_ptr<CSWFObject> MakeBitmap(uint16_t id, const EncodedFrame& frame) const override;
    bool HasTransparency() const override { return true; }
};

// The encoder of the bitmap kind the options ask for.
std::unique_ptr<BitmapEncoder> MakeEncoder(const ConvertOptions& options);
