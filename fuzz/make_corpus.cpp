// Writes the seed corpus of a fuzz target into the folder given as argument: small GIFs made with
// the tests' GIF writer, covering the features the reader handles. With --convert (the conversion
// target), each GIF comes several times, after option bytes that choose different modes.

#include <cstdio>
#include <string>
#include <vector>

#include "support/GifBuilder.h"

int main(int argc, char** argv) {
    const bool convert = argc == 3 && argv[2] == std::string("--convert");
    if (argc != 2 && !convert) {
        std::fprintf(stderr, "usage: %s FOLDER [--convert]\n", argv[0]);
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    const std::vector<GifRgb> palette = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {9, 9, 9}};
    // Option bytes of the conversion target (fuzz/ConvertOptions.h): the defaults; lossless
    // changed areas with a URL; the GIF's timing at a given rate, 4 passes; JPEG changed areas
    // looping as the GIF says; lossless, once.
    std::vector<std::vector<uint8_t>> prefixes = {{}};
    if (convert) {
        prefixes = {{0x00, 10, 1}, {0x43, 10, 2}, {0x3c, 25, 9}, {0x26, 10, 0}, {0x11, 5, 1}};
    }
    int failures = 0;
    auto saveBytes = [&](const std::string& name, const std::vector<uint8_t>& bytes) {
        for (std::size_t i = 0; i < prefixes.size(); ++i) {
            std::vector<uint8_t> input = prefixes[i];
            input.insert(input.end(), bytes.begin(), bytes.end());
            const std::string suffix = convert ? "-" + std::to_string(i) : "";
            if (!WriteBytes(folder / (name + suffix + ".gif"), input)) ++failures;
        }
    };
    auto save = [&](const std::string& name, const GifBuilder& builder) {
        const std::vector<uint8_t> bytes = builder.Build();
        if (bytes.empty()) {
            std::fprintf(stderr, "%s: %s\n", name.c_str(), builder.Error().c_str());
            ++failures;
        }
        saveBytes(name, bytes);
    };

    save("single", GifBuilder(3, 2).GlobalColors(palette).Solid(0, 0, 3, 2, 1));
    save("disposals", GifBuilder(8, 6)
                          .GlobalColors(palette, 3)
                          .Loop(0)
                          .Solid(0, 0, 8, 6, 0, 10, 1)
                          .Solid(1, 1, 4, 3, 1, 5, 2, 3)
                          .Solid(2, 2, 5, 3, 2, 0, 3)
                          .Solid(0, 3, 8, 2, 3, 7, 2)
                          .Comment("seed"));
    GifImage interlaced;
    interlaced.width = 5;
    interlaced.height = 11;
    interlaced.interlace = true;
    interlaced.localColors = {{1, 2, 3},    {4, 5, 6},    {7, 8, 9},    {10, 11, 12},
                              {13, 14, 15}, {16, 17, 18}, {19, 20, 21}, {22, 23, 24}};
    for (int i = 0; i < 55; ++i) interlaced.pixels.push_back(uint8_t(i % 8));
    interlaced.control = true;
    interlaced.delay = 3;
    interlaced.transparent = 2;
    save("interlaced", GifBuilder(6, 12).GlobalColors(palette).Image(interlaced));
    save(
        "outside",
        GifBuilder(4, 4).GlobalColors(palette).Solid(2, 2, 6, 6, 1, 2, 2).Solid(30, 1, 2, 2, 2, 0));

    std::vector<uint8_t> raw;  // no colour table, indices past any table, zero-width image
    RawHeader(raw, 4, 2);
    RawControl(raw, 0, 2, 7);
    RawImage(raw, 0, 0, 4, 2, {0, 7, 200, 255, 3, 3, 9, 1});
    RawImage(raw, 1, 0, 0, 2, {});
    RawTrailer(raw);
    saveBytes("raw", raw);
    return failures == 0 ? 0 : 1;
}
