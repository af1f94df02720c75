// libFuzzer target: arbitrary bytes as a GIF file, read to the end with a Draw after each frame.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "gif/CGifAnimation.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Screens the reader takes but that are large (up to 100 MB of canvas) slow the search down
    // without reaching new code; refused screens still go through.
    if (size >= 10) {
        const int64_t width = data[6] | data[7] << 8;
        const int64_t height = data[8] | data[9] << 8;
        if (width * height > (1 << 20) && width <= CGifAnimation::kMaxSide &&
            height <= CGifAnimation::kMaxSide && width * height <= CGifAnimation::kMaxPixels) {
            return 0;
        }
    }
    CGifAnimation gif;
    if (gif.Load(data, size) != 0) {
        if (gif.GetError().empty()) std::abort();  // every failure names its cause
        return 0;
    }
    // A surface a little smaller than the screen, and the frame centred in a larger rectangle,
    // so that clipping on every side is exercised.
    const int width = gif.Width();
    const int height = gif.Height();
    DrawingSurface surface;
    surface.nWidth = width > 1 ? width - 1 : 1;
    surface.nHeight = height > 1 ? height - 1 : 1;
    surface.nStride = CGifAnimation::StrideFor(surface.nWidth);
    std::vector<uint8_t> pixels(static_cast<size_t>(surface.nStride) *
                                static_cast<size_t>(surface.nHeight));
    surface.pBits = pixels.data();
    const PixelRect rect = {-3, -2, width + 4, height + 1};

    // Every frame reads at least one record byte, so the loop is bounded by the input size.
    for (size_t frames = 0; frames <= size + 1; ++frames) {
        const int result = gif.NextFrame();
        if (result <= 0) break;
        gif.Draw(surface);
        gif.Draw(surface, &rect);
    }
    return 0;
}
