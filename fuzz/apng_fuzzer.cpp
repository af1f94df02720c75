// libFuzzer target: arbitrary bytes as a PNG or APNG file, scanned and read to the end. The
// first byte chooses the frame rules and whether the chunks' CRCs are set right first (else
// nearly every change would only meet the CRC check).

#include <zlib.h>

#include "fuzz/ReadAnimation.h"

namespace {

// Sets the CRC of every whole chunk after the signature.
void FixCrcs(std::vector<uint8_t>& png) {
    for (std::size_t pos = 8; pos + 12 <= png.size();) {
        const uint32_t size = uint32_t(png[pos]) << 24 | uint32_t(png[pos + 1]) << 16 |
                              uint32_t(png[pos + 2]) << 8 | png[pos + 3];
        if (size > png.size() - pos - 12) return;
        const uLong crc = crc32(crc32(0L, Z_NULL, 0), png.data() + pos + 4, size + 4);
        for (int i = 0; i < 4; ++i)
            png[pos + 8 + size + static_cast<std::size_t>(i)] = static_cast<uint8_t>(crc >> (24 - 8 * i));
        pos += 12 + std::size_t{size};
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    std::vector<uint8_t> bytes(data + 1, data + size);
    if ((data[0] & 1) != 0) FixCrcs(bytes);
    ReadAnimation(MakeApngReader(), ScanPng, bytes, (data[0] & 2) != 0);
    return 0;
}
