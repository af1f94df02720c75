#include "gif/GifScan.h"

#include "gif/CGifAnimation.h"

GifScan ScanGif(const std::string& utf8Path) {
    GifScan scan;
    CGifAnimation gif(CGifAnimation::Pixels::Skip);
    scan.ok = gif.Load(utf8Path.c_str()) == 0;
    scan.width = gif.Width();
    scan.height = gif.Height();
    if (scan.ok) {
        for (int delay = gif.NextFrame(); delay > 0; delay = gif.NextFrame()) {
            scan.delaysMs.push_back(delay);
        }
    }
    scan.loopExtension = gif.LoopExtension();
    scan.error = gif.GetError();
    return scan;
}
