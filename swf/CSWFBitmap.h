#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "swf/CSWFObject.h"

// One JPEG image as a DefineBitsJPEG2 tag, built in the constructor. The JPEG bytes are copied
// whole between the marker bytes FF D9 FF D8 and FF D9; nothing in them is checked.
class CSWFBitmap : public CSWFObject {
public:
    // A null pointer, a negative length, or a length too large for the tag (its size must fit
    // a signed 32-bit count) gives an object without a tag: GetData null, GetSize 0.
    CSWFBitmap(uint16_t id, const uint8_t* jpeg, int32_t length);
    // A JPEG image with an alpha channel as a DefineBitsJPEG3 tag: the JPEG bytes as they are,
    // then alpha, a zlib stream of one byte per pixel, rows top first. The colours are to be
    // premultiplied by alpha, as players read them. No alpha data, or data too long for the tag,
    // gives an object without a tag.
    CSWFBitmap(uint16_t id, const uint8_t* jpeg, int32_t length, const uint8_t* alpha,
               std::size_t alphaSize);

    const uint8_t* GetData() override { return m_data.empty() ? nullptr : m_data.data(); }
    int GetSize() const override { return static_cast<int>(m_data.size()); }

private:
    std::vector<uint8_t> m_data;
};
