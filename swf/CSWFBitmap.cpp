#include "swf/CSWFBitmap.h"

#include "swf/BitWriter.h"
#include "swf/SwfTag.h"

CSWFBitmap::CSWFBitmap(uint16_t id, const uint8_t* jpeg, int32_t length)
    : CSWFObject(SWF_KIND_BITMAP, id, 0) {
    // The id, the four leading and two trailing marker bytes, then the data.
    if (jpeg == nullptr || length < 0 || static_cast<uint32_t>(length) > kMaxTagBodyLength - 8) {
        return;
    }
    BitWriter body;
    body.WriteU16(id);
    // The data opens with an end-of-image/start-of-image pair, as Flash's own encoder wrote
    // it; players skip it.
    static constexpr uint8_t kLeadingMarkers[] = {0xFF, 0xD9, 0xFF, 0xD8};
    static constexpr uint8_t kTrailingMarker[] = {0xFF, 0xD9};
    body.WriteBytes(kLeadingMarkers, sizeof kLeadingMarkers);
    body.WriteBytes(jpeg, static_cast<uint32_t>(length));
    body.WriteBytes(kTrailingMarker, sizeof kTrailingMarker);
    m_data = MakeTag(SwfTagCode::DefineBitsJPEG2, body.Bytes(), SwfTagForm::Long);
}

CSWFBitmap::CSWFBitmap(uint16_t id, const uint8_t* jpeg, int32_t length, const uint8_t* alpha,
                       std::size_t alphaSize)
    : CSWFObject(SWF_KIND_BITMAP, id, 0) {
    // The id and the alpha data offset come before the two blocks of data.
    if (jpeg == nullptr || length < 0 || alpha == nullptr || alphaSize == 0 ||
        alphaSize > kMaxTagBodyLength - 6 ||
        static_cast<uint32_t>(length) > kMaxTagBodyLength - 6 - alphaSize) {
        return;
    }
    BitWriter body;
    body.WriteU16(id);
    body.WriteU32(static_cast<uint32_t>(length));
    body.WriteBytes(jpeg, static_cast<uint32_t>(length));
    body.WriteBytes(alpha, static_cast<uint32_t>(alphaSize));
    m_data = MakeTag(SwfTagCode::DefineBitsJPEG3, body.Bytes(), SwfTagForm::Long);
}
