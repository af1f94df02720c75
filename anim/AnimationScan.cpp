#include "anim/AnimationScan.h"

#include "anim/AnimationFormat.h"
#include "anim/CanvasReader.h"

GifInfo ScanAnimationFile(const std::string& utf8Path, FrameRules rules) {
    const AnimationFormat format = FormatOfFile(utf8Path);
    if (format == AnimationFormat::Png) return ScanPngFile(utf8Path, rules);
    if (format != AnimationFormat::WebP) return ScanGifFile(utf8Path, rules);
    std::vector<uint8_t> bytes;
    GifInfo info;
    info.format = FormatName(format);
    if (!ReadWholeFile(utf8Path, bytes, info.error)) return info;
    return ScanWebp(bytes, rules);
}
