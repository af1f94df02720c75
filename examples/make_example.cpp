// Writes examples/bouncing.gif, the demo animation: a ball bouncing across a striped sky,
// 96 x 64 pixels, 16 frames of 80 ms, one global palette, looping for ever.
// Build and run: g++ -std=c++20 -O2 make_example.cpp -lgif -o /tmp/make_example && /tmp/make_example bouncing.gif
#include <gif_lib.h>

#include <cmath>
#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : "bouncing.gif";
    const int w = 96, h = 64, frames = 16;
    int error = 0;
    GifFileType* gif = EGifOpenFileName(path, false, &error);
    if (!gif) {
        std::fprintf(stderr, "cannot create %s: %s\n", path, GifErrorString(error));
        return 1;
    }
    GifColorType colors[8] = {{0x20, 0x40, 0x80}, {0x30, 0x60, 0xB0}, {0x40, 0x80, 0xD0},
                              {0xF0, 0xC0, 0x20}, {0xE0, 0x40, 0x30}, {0x30, 0xA0, 0x40},
                              {0xFF, 0xFF, 0xFF}, {0x00, 0x00, 0x00}};
    ColorMapObject* map = GifMakeMapObject(8, colors);
    EGifSetGifVersion(gif, true);
    EGifPutScreenDesc(gif, w, h, 8, 0, map);
    unsigned char loop[] = {1, 0, 0};  // loop for ever
    EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE);
    EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0");
    EGifPutExtensionBlock(gif, 3, loop);
    EGifPutExtensionTrailer(gif);
    std::vector<GifPixelType> row(w);
    for (int f = 0; f < frames; ++f) {
        const double t = f / double(frames);
        const int cx = 10 + int(t * (w - 20));
        const int cy = h - 12 - int(std::fabs(std::sin(t * 2 * M_PI)) * (h - 24));
        GraphicsControlBlock gcb{};
        gcb.DisposalMode = DISPOSE_DO_NOT;
        gcb.DelayTime = 8;
        gcb.TransparentColor = NO_TRANSPARENT_COLOR;
        GifByteType ext[4];
        size_t len = EGifGCBToExtension(&gcb, ext);
        EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, int(len), ext);
        EGifPutImageDesc(gif, 0, 0, w, h, false, nullptr);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const int dx = x - cx, dy = y - cy;
                int c = (y * 3) / h;  // three bands of sky
                if (y >= h - 6) c = 5;  // grass
                if (dx * dx + dy * dy <= 64) c = (dx + dy < -4) ? 6 : 4;  // ball with a highlight
                row[x] = GifPixelType(c);
            }
            EGifPutLine(gif, row.data(), w);
        }
    }
    GifFreeMapObject(map);
    if (EGifCloseFile(gif, &error) != GIF_OK) {
        std::fprintf(stderr, "cannot write %s: %s\n", path, GifErrorString(error));
        return 1;
    }
    return 0;
}
