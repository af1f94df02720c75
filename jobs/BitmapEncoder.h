#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "jobs/FreeImageHandles.h"
#include "jobs/Options.h"
#include "swf/CSWFObject.h"

// The outcome of encoding one frame.
struct EncodedFrame {
    std::vector<uint8_t> data;  // the encoded image when ok
    std::string error;          // why it failed otherwise
    bool ok = false;
    int delayMs = 0;  // how long the GIF shows the frame
};

// Turns a composed frame (a 24-bit FreeImage image) into the data of one SWF bitmap, and that
// data into the bitmap's definition tag. Encode runs on the encoder threads, several frames at
// once, so an encoder keeps no state that changes.
class BitmapEncoder {
public:
    virtual ~BitmapEncoder() = default;
    virtual EncodedFrame Encode(FIBITMAP* image) const = 0;
    virtual std::unique_ptr<CSWFObject> MakeBitmap(uint16_t id,
                                                   const EncodedFrame& frame) const = 0;
};

// Progressive JPEG through FreeImage, defined as DefineBitsJPEG2.
class JpegBitmapEncoder : public BitmapEncoder {
public:
    explicit JpegBitmapEncoder(Quality quality);
    EncodedFrame Encode(FIBITMAP* image) const override;
    std::unique_ptr<CSWFObject> MakeBitmap(uint16_t id, const EncodedFrame& frame) const override;

private:
    int m_nFlags;
};
