#include "gif/GifInfo.h"

#include "gif/CGifAnimation.h"

namespace {

// Reads the whole file with a reader that skips pixels. load opens it and returns Load's result.
template <typename LoadFunction>
GifInfo Scan(LoadFunction load, FrameRules rules) {
    GifInfo info;
    CGifAnimation gif(CGifAnimation::Pixels::Skip);
    gif.SetRules(rules);
    info.opened = load(gif) == 0;
    info.notGif = gif.NotAGif();
    info.width = gif.Width();
    info.height = gif.Height();
    if (info.opened) {
        for (int delay = gif.NextFrame(); delay > 0; delay = gif.NextFrame()) {
            info.delaysMs.push_back(delay);
        }
    }
    info.durationMs = gif.ShownMs();
    info.frames = static_cast<int>(info.delaysMs.size());
    info.images = gif.FrameCount();
    info.loopExtension = gif.LoopExtension();
    info.globalColors = gif.Colors().global;
    info.localColorTables = gif.Colors().localTables;
    info.largestLocalColors = gif.Colors().largestLocal;
    info.transparentImages = gif.Colors().transparentImages;
    info.error = gif.GetError();
    return info;
}

}  // namespace

GifInfo ScanGifFile(const std::string& utf8Path, FrameRules rules) {
    return Scan([&](CGifAnimation& gif) { return gif.Load(utf8Path.c_str()); }, rules);
}
