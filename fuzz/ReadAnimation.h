#pragma once

// What the WebP and APNG fuzz targets share: the input read as an animation of one format to
// its end, composed frame by frame with coverage kept, and scanned as info does.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "anim/CanvasReader.h"

inline void ReadAnimation(std::unique_ptr<AnimationReader> reader,
                          GifInfo (*scan)(const std::vector<uint8_t>&, FrameRules),
                          const std::vector<uint8_t>& bytes, bool everyImage) {
    const FrameRules rules{everyImage, false};
    const GifInfo info = scan(bytes, rules);
    if (!info.opened && info.error.empty()) std::abort();  // every failure names its cause
    reader->ComposeOn(0x336699, rules, true);
    if (!reader->Load(bytes.data(), bytes.size())) {
        if (reader->Error().empty()) std::abort();
        return;
    }
    const std::size_t pixels =
        static_cast<std::size_t>(reader->Width()) * static_cast<std::size_t>(reader->Height());
    // Every frame takes at least one chunk of the input, so the loop is bounded by its size.
    unsigned sum = 0;
    for (std::size_t frames = 0; frames <= bytes.size() + 1; ++frames) {
        const int delay = reader->NextFrame();
        if (delay <= 0) {
            if (delay < 0 && reader->Error().empty()) std::abort();
            break;
        }
        // Touch the whole frame and its coverage, so that the sanitizers see every byte.
        const uint8_t* area = reader->FrameArea();
        const uint8_t* covered = reader->Coverage();
        if (area == nullptr || covered == nullptr) std::abort();
        sum += area[static_cast<std::size_t>(reader->Stride()) * (reader->Height() - 1) +
                    3 * static_cast<std::size_t>(reader->Width()) - 1];
        for (std::size_t i = 0; i < pixels; ++i) sum += covered[i] > 1;
    }
    if (sum == 0xFFFFFFFFu) std::abort();  // keeps the reads
}
