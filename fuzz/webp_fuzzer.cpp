// libFuzzer target: arbitrary bytes as a WebP file, scanned and read to the end; the first byte
// chooses the frame rules.

#include "fuzz/ReadAnimation.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::vector<uint8_t> bytes(data + 1, data + size);
    ReadAnimation(MakeWebpReader(), ScanWebp, bytes, (data[0] & 2) != 0);
    return 0;
}
