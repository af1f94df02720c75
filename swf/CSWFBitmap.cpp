#include "swf/CSWFBitmap.h"

#include <limits>

#include "swf/BitWriter.h"

namespace {

constexpr uint16_t kDefineBitsJPEG2Header = 21 * 64 + 0x3F;  // long form, whatever the length
// Header, id, the leading FF D9 FF D8 and the trailing FF D9.
constexpr int32_t kTagOverhead = 14;

}  // namespace

CSWFBitmap::CSWFBitmap(uint16_t id, const uint8_t* jpeg, int32_t length)
    : CSWFObject(SWF_KIND_BITMAP, id, 0) {
    if (jpeg == nullptr || length < 0 ||
        length > std::numeric_limits<int32_t>::max() - kTagOverhead) {
        return;
    }
    const auto n = static_cast<uint32_t>(length);
    BitWriter w;
    w.WriteU16(kDefineBitsJPEG2Header);
    w.WriteU32(n + 8);  // id, the four marker bytes, the data, the two marker bytes
    w.WriteU16(id);
    // The data opens with an end-of-image/start-of-image pair, as Flash's own encoder wrote
    // it; players skip it.
    static constexpr uint8_t kLeadingMarkers[] = {0xFF, 0xD9, 0xFF, 0xD8};
    static constexpr uint8_t kTrailingMarker[] = {0xFF, 0xD9};
    w.WriteBytes(kLeadingMarkers, sizeof kLeadingMarkers);
    w.WriteBytes(jpeg, n);
    w.WriteBytes(kTrailingMarker, sizeof kTrailingMarker);
    m_data = w.TakeBytes();
}
