// The movies as Ruffle plays them in headless Chromium (harness.js beside this file): the
// pictures it shows are the frames `quorvel extract` writes, in order and looping, a click on
// the stage opens the target URL, or nothing when there is none, and a --like-gif movie shows
// what Chromium's own GIF decoder gives, on time. The pages quorvel makes and serves play at
// once without the internet.

#include <FreeImage.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "support/CliRunner.h"
#include "support/GifBuilder.h"
#include "support/SwfReader.h"

namespace fs = std::filesystem;

namespace {

constexpr int kFps = 5;
constexpr double kMinPsnr = 30.0;
constexpr double kIdentical = 99.0;  // what Psnr gives for equal pictures
constexpr int kHarnessSkipped = 77;  // harness.js: no Chromium or npm packages

using Fields = std::vector<std::string>;
using PixelFn = std::function<uint8_t(int frame, int x, int y)>;

GifImage Patch(int left, int top, int w, int h, int transparent) {
    GifImage image;
    image.left = left;
    image.top = top;
    image.width = w;
    image.height = h;
    image.control = true;
    image.delay = 20;
    image.transparent = transparent;
    return image;
}

// A GIF of `count` whole frames, each pixel's colour index given by `pixel`.
GifBuilder WholeFrames(int w, int h, std::vector<GifRgb> colors, int count, const PixelFn& pixel,
                       int transparent = -1) {
    GifBuilder gif(w, h);
    gif.GlobalColors(std::move(colors));
    for (int f = 0; f < count; ++f) {
        GifImage image = Patch(0, 0, w, h, transparent);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) image.pixels.push_back(pixel(f, x, y));
        gif.Image(std::move(image));
    }
    return gif;
}

struct Case {
    std::string name;
    std::string url;  // empty: converted without --url
    std::function<GifBuilder()> draw;
};

const std::vector<Case>& Cases() {
    static const std::vector<Case> cases = {
        {"two_colours", "",
         [] {
             return WholeFrames(
                 36, 24, {{30, 60, 170}, {250, 210, 40}}, 2,
                 [](int f, int x, int y) { return uint8_t((x / 3 + y / 3 + f) % 2); });
         }},
        {"gradient", "",
         [] {
             std::vector<GifRgb> ramp;
             for (int i = 0; i < 256; ++i)
                 ramp.push_back({uint8_t(i / 16 * 17), uint8_t(i % 16 * 17), 128});
             return WholeFrames(64, 32, ramp, 1,
                                [](int, int x, int y) { return uint8_t(x / 4 * 16 + y / 2); });
         }},
        {"moving_square", "https://example.org/quorvel/square",
         [] {
             return WholeFrames(40, 30, {{40, 120, 60}, {230, 30, 30}}, 6, [](int f, int x, int y) {
                 return uint8_t(x >= 2 + 6 * f && x < 10 + 6 * f && y >= 4 + 3 * f &&
                                y < 12 + 3 * f);
             });
         }},
        {"transparent", "",
         [] {
             // Index 3 is transparent: the first frame shows the background through its top-left
             // quarter, the second the first frame through every other pixel of a patch that has
             // a colour table of its own.
             GifBuilder gif = WholeFrames(
                 24, 16, {{200, 30, 30}, {30, 30, 200}, {240, 240, 240}, {0, 0, 0}}, 1,
                 [](int, int x, int y) { return uint8_t(x < 12 && y < 8 ? 3 : y / 2 % 3); }, 3);
             GifImage patch = Patch(6, 4, 12, 8, 3);
             for (int i = 0; i < 96; ++i) patch.pixels.push_back(uint8_t((i + i / 12) % 2 ? 3 : 1));
             patch.localColors = {{10, 10, 10}, {30, 200, 30}, {90, 90, 90}, {0, 0, 0}};
             return gif.Image(patch);
         }},
        {"one_by_one", "https://example.com/a/b?x=1&y=two#end",
         [] {
             return WholeFrames(1, 1, {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}}, 3,
                                [](int f, int, int) { return uint8_t(f); });
         }},
        {"one_by_seven", "http://example.net/",
         [] {
             return WholeFrames(1, 7, {{0, 0, 0}, {255, 255, 255}, {200, 50, 50}, {50, 50, 200}}, 3,
                                [](int f, int, int y) { return uint8_t((y + f) % 4); });
         }},
        {"wide_333x17", "https://example.org/wide",
         [] {
             return WholeFrames(
                 333, 17,
                 {{0, 0, 0},
                  {255, 255, 255},
                  {255, 0, 0},
                  {0, 160, 0},
                  {0, 0, 255},
                  {255, 200, 0},
                  {0, 200, 200},
                  {150, 0, 150}},
                 2, [](int f, int x, int y) { return uint8_t((x / 37 + y / 5 + f) % 8); });
         }},
    };
    return cases;
}

// Movies that play with the GIF's own timing or stop: the GIF's delays (hundredths of a
// second), the convert options, and the movie's frame rate, within one frame of which every
// frame must start and end. Each plays once and holds its last frame.
struct TimedCase {
    std::string name;
    std::vector<int> delays;
    std::vector<std::string> options;
    int fps;
};

const std::vector<TimedCase> kTimedCases = {
    {"like_gif", {20, 60, 40, 100, 20}, {"--like-gif"}, 5},  // no loop extension: once
    {"loop_once", {20, 20, 20, 20}, {"--timing", "fixed", "--loop", "once", "--fps", "5"}, 5},
    {"changed_like_gif", {40, 20, 60}, {"--like-gif", "--bitmaps", "lossless", "--changed-areas"}, 5},
};

struct Movie {
    const Case* source = nullptr;
    int width = 0, height = 0;
    fs::path swf;
    std::vector<std::string> frames;  // the PNG files quorvel extract wrote, in order
};

std::string Quote(const std::string& s) {
    std::string quoted = "'";
    for (char c : s) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// PSNR in dB between two pictures of the same size over every channel of every pixel;
// -1 when either cannot be read or the sizes differ.
double Psnr(const std::string& a, const std::string& b) {
    FIBITMAP* raw[2] = {FreeImage_Load(FIF_PNG, a.c_str(), 0),
                        FreeImage_Load(FIF_PNG, b.c_str(), 0)};
    FIBITMAP* img[2] = {raw[0] ? FreeImage_ConvertTo24Bits(raw[0]) : nullptr,
                        raw[1] ? FreeImage_ConvertTo24Bits(raw[1]) : nullptr};
    double result = -1;
    if (img[0] && img[1] && FreeImage_GetWidth(img[0]) == FreeImage_GetWidth(img[1]) &&
        FreeImage_GetHeight(img[0]) == FreeImage_GetHeight(img[1])) {
        double sum = 0, count = 0;
        for (unsigned y = 0; y < FreeImage_GetHeight(img[0]); ++y) {
            const BYTE* p = FreeImage_GetScanLine(img[0], int(y));
            const BYTE* q = FreeImage_GetScanLine(img[1], int(y));
            for (unsigned i = 0; i < 3 * FreeImage_GetWidth(img[0]); ++i, ++count)
                sum += (p[i] - q[i]) * (p[i] - q[i]);
        }
        result = sum == 0 ? kIdentical : 10 * std::log10(255.0 * 255.0 * count / sum);
    }
    for (FIBITMAP* bitmap : {raw[0], raw[1], img[0], img[1]})
        if (bitmap) FreeImage_Unload(bitmap);
    return result;
}

constexpr uint8_t kPage = 0x80;  // page.html's grey, on every channel

// Composes the RGBA PNG at from over `under` (0xRRGGBB) into the 24-bit PNG at to; clear gets
// one flag a pixel, rows top first, for the pixels that show `under`.
bool ComposeOver(const std::string& from, uint32_t under, const std::string& to,
                 std::vector<bool>* clear = nullptr) {
    // A frame without transparent pixels comes as a 24-bit PNG.
    FIBITMAP* raw = FreeImage_Load(FIF_PNG, from.c_str(), 0);
    FIBITMAP* rgba = raw ? FreeImage_ConvertTo32Bits(raw) : nullptr;
    if (raw) FreeImage_Unload(raw);
    if (!rgba) return false;
    const int w = int(FreeImage_GetWidth(rgba)), h = int(FreeImage_GetHeight(rgba));
    FIBITMAP* rgb = FreeImage_Allocate(w, h, 24);
    for (int y = h - 1; y >= 0; --y) {  // FreeImage's rows go bottom up
        const BYTE* p = FreeImage_GetScanLine(rgba, y);
        BYTE* q = FreeImage_GetScanLine(rgb, y);
        for (int x = 0; x < w; ++x, p += 4, q += 3) {
            const bool shows = p[FI_RGBA_ALPHA] != 0;
            if (clear) clear->push_back(!shows);
            q[FI_RGBA_RED] = shows ? p[FI_RGBA_RED] : BYTE(under >> 16);
            q[FI_RGBA_GREEN] = shows ? p[FI_RGBA_GREEN] : BYTE(under >> 8);
            q[FI_RGBA_BLUE] = shows ? p[FI_RGBA_BLUE] : BYTE(under);
        }
    }
    const bool saved = FreeImage_Save(FIF_PNG, rgb, to.c_str(), 0);
    FreeImage_Unload(rgba);
    FreeImage_Unload(rgb);
    return saved;
}

// The pixels of a 24-bit picture, red, green and blue, rows top first; empty when unreadable.
std::vector<uint8_t> RgbPixels(const std::string& png) {
    std::vector<uint8_t> pixels;
    FIBITMAP* raw = FreeImage_Load(FIF_PNG, png.c_str(), 0);
    FIBITMAP* image = raw ? FreeImage_ConvertTo24Bits(raw) : nullptr;
    for (int y = image ? int(FreeImage_GetHeight(image)) - 1 : -1; y >= 0; --y) {
        const BYTE* p = FreeImage_GetScanLine(image, y);
        for (unsigned x = 0; x < FreeImage_GetWidth(image); ++x, p += 3)
            pixels.insert(pixels.end(), {p[FI_RGBA_RED], p[FI_RGBA_GREEN], p[FI_RGBA_BLUE]});
    }
    for (FIBITMAP* bitmap : {raw, image})
        if (bitmap) FreeImage_Unload(bitmap);
    return pixels;
}

// A GIF that keeps its transparency everywhere: clear on its right half at first, a square
// there restored to the background, a smaller one over part of it, a whole-stage image restored
// to the one before, and the left half restored to the background. Index 3 is transparent.
GifBuilder ClearGif() {
    GifBuilder gif = WholeFrames(
        32, 24, {{200, 30, 30}, {30, 200, 30}, {30, 30, 220}, {0, 0, 0}}, 1,
        [](int, int x, int y) { return uint8_t(x < 16 ? (x / 4 + y / 4) % 3 : 3); }, 3);
    gif.Solid(19, 5, 9, 9, 1, 20, 2, 3);
    gif.Solid(22, 11, 5, 5, 2, 20, 1, 3);
    gif.Solid(0, 0, 32, 24, 1, 20, 3);
    gif.Solid(3, 3, 2, 2, 2, 20, 1);
    gif.Solid(0, 0, 16, 24, 0, 20, 2, 3);
    return gif.Solid(30, 20, 2, 2, 2, 20);
}

// GIFs as the browser decodes them (harness.js gifdecode): the --like-gif --bitmaps lossless
// movie on the stage colour must show every frame Chromium composes, pixel for pixel with the
// stage where the browser shows nothing, each starting within half an SWF frame of the
// browser's timeline, over two passes.
struct BrowserCase {
    std::string name;
    uint32_t stage;  // --background
    std::function<GifBuilder()> draw;
};

// A file the browser decodes: a case's GIF, or a WebP or APNG made from one by a tool.
struct BrowserFile {
    std::string name;
    uint32_t stage;
    std::string extension;
};

const std::vector<BrowserCase> kBrowserCases = {
    // Delays of 0, 0, 10 and 50 ms: three frames of 100 ms, then one of 50; looping for ever.
    {"zero_delay", 0xFFFFFF,
     [] {
         GifBuilder gif(8, 6);
         gif.GlobalColors({kRed, kGreen, kBlue, kYellow}).Loop(0).Solid(0, 0, 8, 6, 0, 0);
         return gif.Solid(2, 1, 4, 3, 1, 0).Solid(0, 0, 3, 3, 2, 1).Solid(5, 3, 3, 3, 3, 5);
     }},
    // No transparent index, a black background colour: the border no image covers and the
    // areas restored to the background show the stage. Plays twice.
    {"restore_background", 0x3366CC,
     [] {
         GifBuilder gif(10, 8);
         gif.GlobalColors({kRed, kGreen, kBlue, kBlack}, 3).Loop(1).Solid(1, 1, 8, 6, 0, 20);
         gif.Solid(3, 2, 4, 3, 1, 20, 2).Solid(0, 0, 3, 3, 2, 20, 2);
         return gif.Solid(6, 5, 4, 3, 1, 20);
     }},
    // A half-transparent patch restored to the frame before; 30, 100 and 40 ms, for ever.
    {"restore_previous", 0xFFFFFF,
     [] {
         GifBuilder gif(8, 8);
         gif.GlobalColors({kRed, kGreen, kBlue, kYellow}).Loop(0).Solid(0, 0, 8, 8, 0, 3);
         GifImage checks = Patch(1, 1, 6, 6, 3);
         for (int i = 0; i < 36; ++i) checks.pixels.push_back(uint8_t((i + i / 6) % 2 ? 3 : 2));
         checks.delay = 10;
         checks.disposal = 3;
         return gif.Image(checks).Solid(0, 5, 8, 3, 1, 4);
     }},
    // 70 and 100 ms, played four times: 8.5 frames a pass at 50 frames per second.
    {"loop_uneven", 0xFFFFFF,
     [] {
         GifBuilder gif(6, 4);
         return gif.GlobalColors({kRed, kBlue})
             .Loop(3)
             .Solid(0, 0, 6, 4, 0, 7)
             .Solid(0, 0, 6, 4, 1, 10);
     }},
};

// The 24-bit PNG at `from` with every pixel an n x n block, written to `to`.
bool Upscale(const std::string& from, int n, const std::string& to) {
    FIBITMAP* raw = FreeImage_Load(FIF_PNG, from.c_str(), 0);
    FIBITMAP* image = raw ? FreeImage_ConvertTo24Bits(raw) : nullptr;
    if (raw) FreeImage_Unload(raw);
    if (!image) return false;
    const int w = int(FreeImage_GetWidth(image)), h = int(FreeImage_GetHeight(image));
    FIBITMAP* big = FreeImage_Allocate(w * n, h * n, 24);
    for (int y = 0; y < h * n; ++y) {
        const BYTE* p = FreeImage_GetScanLine(image, y / n);
        BYTE* q = FreeImage_GetScanLine(big, y);
        for (int x = 0; x < w * n; ++x) std::copy(p + 3 * (x / n), p + 3 * (x / n) + 3, q + 3 * x);
    }
    const bool saved = FreeImage_Save(FIF_PNG, big, to.c_str(), 0);
    FreeImage_Unload(image);
    FreeImage_Unload(big);
    return saved;
}

// A w x h PNG of one colour.
bool SolidPng(int w, int h, uint32_t rgb, const std::string& to) {
    FIBITMAP* image = FreeImage_Allocate(w, h, 24);
    for (int y = 0; y < h; ++y) {
        BYTE* q = FreeImage_GetScanLine(image, y);
        for (int x = 0; x < w; ++x, q += 3) {
            q[FI_RGBA_RED] = BYTE(rgb >> 16);
            q[FI_RGBA_GREEN] = BYTE(rgb >> 8);
            q[FI_RGBA_BLUE] = BYTE(rgb);
        }
    }
    const bool saved = FreeImage_Save(FIF_PNG, image, to.c_str(), 0);
    FreeImage_Unload(image);
    return saved;
}

// The actions of _root.attachMovie(name, "clip", 1): the arguments from the last, their
// count, _root, the method's name; ActionCallMethod, ActionPop, ActionEndFlag.
std::vector<uint8_t> AttachMovieActions(const std::string& name) {
    std::vector<uint8_t> values;
    const auto integer = [&](uint32_t v) {
        values.push_back(7);  // 32-bit integer
        for (int i = 0; i < 4; ++i) values.push_back(uint8_t(v >> (8 * i)));
    };
    const auto text = [&](const std::string& t) {
        values.push_back(0);  // string
        values.insert(values.end(), t.begin(), t.end());
        values.push_back(0);
    };
    std::vector<uint8_t> actions;
    const auto push = [&] {
        actions.insert(actions.end(), {0x96, uint8_t(values.size()), uint8_t(values.size() >> 8)});
        actions.insert(actions.end(), values.begin(), values.end());
        values.clear();
    };
    integer(1);
    text("clip");
    text(name);
    integer(3);
    text("_root");
    push();
    actions.push_back(0x1C);  // ActionGetVariable: _root
    text("attachMovie");
    push();
    actions.insert(actions.end(), {0x52, 0x17, 0x00});
    return actions;
}

// An ActionScript 2 movie made of the library at `library` (its definitions, sprites and
// ExportAssets), whose one frame attaches the symbol `name` at depth 1.
bool WriteAttachingMovie(const fs::path& library, const std::string& name, const fs::path& to) {
    const std::optional<std::vector<uint8_t>> bytes = ReadFileBytes(library);
    const swftest::SwfFile swf = swftest::ParseSwf(bytes.value_or(std::vector<uint8_t>{}));
    // The library ends with its ExportAssets, ShowFrame and End.
    if (!swf.ok || swf.tags.size() < 3 ||
        swf.tags[swf.tags.size() - 3].code != swftest::kTagExportAssets)
        return false;
    std::vector<uint8_t> movie(
        bytes->begin(), bytes->begin() + std::ptrdiff_t(swf.tags[swf.tags.size() - 2].offset));
    const std::vector<uint8_t> actions = AttachMovieActions(name);
    movie.insert(movie.end(), {0x3F, 0x03});  // DoAction, long form
    for (int i = 0; i < 4; ++i) movie.push_back(uint8_t(actions.size() >> (8 * i)));
    movie.insert(movie.end(), actions.begin(), actions.end());
    movie.insert(movie.end(), {0x40, 0x00, 0x00, 0x00});  // ShowFrame, End
    for (int i = 0; i < 4; ++i) movie[4 + i] = uint8_t(movie.size() >> (8 * i));
    std::ofstream out(to, std::ios::binary);
    out.write(reinterpret_cast<const char*>(movie.data()), std::streamsize(movie.size()));
    return bool(out);
}

// A movie for Flash projects played in a timeline: the pictures it shows must be, from the
// first that is not `skip`, the references `first` to `first + count - 1` over and over, each
// exactly; with count 0, only the reference `skip`.
struct FlashTimeline {
    std::string what;
    int first = 0;
    int count = 0;
    int skip = -1;
    bool haxe = false;  // built by Haxe
};

// One run of the harness answers every test (after one that decodes the GIFs in the browser):
// the browser starts once for all. The suite prepares the movies, the frames `quorvel extract`
// writes, and the requests of all the tests.
class PlayerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = new ScratchDir;
        if (std::string(QUORVEL_NODE).empty()) {
            unavailable = "node not found";
            return;
        }
        for (const Case& c : Cases()) ASSERT_NO_FATAL_FAILURE(Prepare(c));
        for (const TimedCase& c : kTimedCases) ASSERT_NO_FATAL_FAILURE(PrepareTimed(c));
        ASSERT_NO_FATAL_FAILURE(PrepareTransparent());
        ASSERT_NO_FATAL_FAILURE(PrepareBrowser());
        ASSERT_NO_FATAL_FAILURE(PreparePages());
        ASSERT_NO_FATAL_FAILURE(PrepareFlash());
        if (unavailable.empty()) {
            ASSERT_NO_FATAL_FAILURE(RunHarnessWhilePlaying());
        }
        // The movies for Flash projects in a browser of their own, after the others.
        if (unavailable.empty()) {
            ASSERT_NO_FATAL_FAILURE(RunHarness(flashRequests, "flash", flashAnswers));
        }
        ready = unavailable.empty();
    }

    // QUORVEL_PLAYER_KEEP=DIR keeps the GIFs, movies, extracted frames and Ruffle's pictures.
    static void TearDownTestSuite() {
        if (const char* keep = std::getenv("QUORVEL_PLAYER_KEEP")) {
            fs::create_directories(keep);
            fs::copy(dir->Path(), keep,
                     fs::copy_options::recursive | fs::copy_options::overwrite_existing);
        }
        delete dir;
    }

    static void Prepare(const Case& c) {
        SCOPED_TRACE(c.name);
        Movie movie;
        movie.source = &c;
        const fs::path gif = *dir / (c.name + ".gif");
        const GifBuilder builder = c.draw();
        ASSERT_TRUE(builder.Write(gif)) << builder.Error();
        Fields convert = {"convert", gif.string(), "--timing", "fixed",
                          "--quality", "high", "--fps", std::to_string(kFps)};
        if (!c.url.empty()) convert.insert(convert.end(), {"--url", c.url});
        CliRun run = RunQuorvel(convert, dir->Path(), dir->Path());
        ASSERT_EQ(run.status, 0) << run.err;
        movie.swf = *dir / (c.name + ".swf");
        fs::create_directory(*dir / c.name);
        run =
            RunQuorvel({"extract", gif.string(), "-o", (*dir / c.name).string(), "--format", "png"},
                       dir->Path(), dir->Path());
        ASSERT_EQ(run.status, 0) << run.err;
        std::istringstream lines(run.out);
        for (std::string line; std::getline(lines, line);) movie.frames.push_back(line);
        FIBITMAP* first = FreeImage_Load(FIF_PNG, movie.frames.at(0).c_str(), 0);
        ASSERT_NE(first, nullptr);
        movie.width = int(FreeImage_GetWidth(first));
        movie.height = int(FreeImage_GetHeight(first));
        FreeImage_Unload(first);
        const int n = int(movie.frames.size());
        for (int k = 0; k < n; ++k) {
            const std::string out =
                (*dir / (c.name + "_ruffle_" + std::to_string(k) + ".png")).string();
            requests.push_back({"frame", movie.swf.string(), std::to_string(k), out});
        }
        if (n > 1) {  // three loops and a bit
            Fields timeline = {"timeline", movie.swf.string(),
                               std::to_string(3.0 * n / kFps + 1.5)};
            requests.push_back(Concat(timeline, movie.frames));
        }
        // The corners and the middle of the stage.
        const int w = movie.width - 1, h = movie.height - 1;
        const std::set<std::pair<int, int>> points = {
            {0, 0}, {w, 0}, {0, h}, {w, h}, {w / 2, h / 2}};
        Fields click = {"click", movie.swf.string()};
        for (const auto& [x, y] : points)
            click.insert(click.end(), {std::to_string(x), std::to_string(y)});
        requests.push_back(click);
        movies[movie.swf.string()] = movie;
        ASSERT_NO_FATAL_FAILURE(PrepareExact(c, movie));
    }

    // The same GIF with lossless bitmaps, whole frames and changed areas, and played twice:
    // every frame Ruffle shows must be exactly the extracted one.
    static void PrepareExact(const Case& c, const Movie& jpeg) {
        const std::pair<const char*, Fields> modes[] = {
            {"lossless", {"--timing", "fixed", "--bitmaps", "lossless"}},
            {"changed", {"--timing", "fixed", "--bitmaps", "lossless", "--changed-areas"}},
            {"twice",
             {"--timing", "fixed", "--bitmaps", "lossless", "--changed-areas", "--loop", "2"}}};
        for (const auto& [mode, options] : modes) {
            const fs::path folder = *dir / mode;
            fs::create_directories(folder);
            const CliRun run = RunQuorvel(
                Concat({"convert", (*dir / (c.name + ".gif")).string(), "-o", folder.string()},
                       options),
                dir->Path(), dir->Path());
            ASSERT_EQ(run.status, 0) << run.err;
            Movie movie = jpeg;
            movie.swf = folder / (c.name + ".swf");
            if (options.back() == "2") {  // the second pass shows the same frames again
                movie.frames.insert(movie.frames.end(), jpeg.frames.begin(), jpeg.frames.end());
            }
            for (std::size_t k = 0; k < movie.frames.size(); ++k) {
                const std::string out =
                    (folder / (c.name + "_ruffle_" + std::to_string(k) + ".png")).string();
                requests.push_back({"frame", movie.swf.string(), std::to_string(k), out});
            }
            exactMovies.insert(movie.swf.string());
            movies[movie.swf.string()] = movie;
        }
    }

    static void PrepareTimed(const TimedCase& c) {
        SCOPED_TRACE(c.name);
        const fs::path gif = *dir / (c.name + ".gif");
        const int n = int(c.delays.size());
        GifBuilder timed(6, 4);
        timed.GlobalColors({kRed, kGreen, kBlue, kYellow, kBlack});
        int totalCs = 0;
        for (int f = 0; f < n; ++f) {
            timed.Solid(0, 0, 6, 4, uint8_t(f % 5), c.delays[std::size_t(f)]);
            totalCs += c.delays[std::size_t(f)];
        }
        ASSERT_TRUE(timed.Write(gif)) << timed.Error();
        Fields convert = Concat({"convert", gif.string(), "-q"}, c.options);
        CliRun run = RunQuorvel(convert, dir->Path(), dir->Path());
        ASSERT_EQ(run.status, 0) << run.err;
        Movie movie;
        movie.swf = *dir / (c.name + ".swf");
        fs::create_directory(*dir / c.name);
        run = RunQuorvel({"extract", gif.string(), "-o", (*dir / c.name).string(), "-f", "png"},
                         dir->Path(), dir->Path());
        ASSERT_EQ(run.status, 0) << run.err;
        std::istringstream lines(run.out);
        for (std::string line; std::getline(lines, line);) movie.frames.push_back(line);
        requests.push_back(Concat({"timeline", movie.swf.string(),
                                   std::to_string(totalCs / 100.0 + 2.0)},
                                  movie.frames));
        timedMovies[movie.swf.string()] = &c;
        movies[movie.swf.string()] = movie;
    }

    // Movies that keep the GIF's transparency, shown by a player that draws no stage: the page
    // shows exactly where no image covers the frame (lossless: every pixel exact; JPEG: within
    // the usual PSNR). And a movie on a stage colour of its own, in the default mode.
    static void PrepareTransparent() {
        const fs::path gif = *dir / "clear.gif";
        const GifBuilder builder = ClearGif();
        ASSERT_TRUE(builder.Write(gif)) << builder.Error();
        const fs::path frames = *dir / "clear";
        fs::create_directory(frames);
        CliRun run = RunQuorvel(
            {"extract", gif.string(), "-o", frames.string(), "-f", "png", "--transparent"},
            dir->Path(), dir->Path());
        ASSERT_EQ(run.status, 0) << run.err;
        std::vector<std::string> extracted;
        std::istringstream lines(run.out);
        for (std::string line; std::getline(lines, line);) extracted.push_back(line);
        ASSERT_EQ(extracted.size(), 7u);
        // What the page shows through each frame, and where.
        Movie shown;
        std::vector<std::vector<bool>> clear(extracted.size());
        for (std::size_t k = 0; k < extracted.size(); ++k) {
            shown.frames.push_back((frames / ("page_" + std::to_string(k) + ".png")).string());
            ASSERT_TRUE(ComposeOver(extracted[k], kPage * 0x010101u, shown.frames[k], &clear[k]));
        }
        const std::pair<const char*, Fields> modes[] = {
            {"clear_lossless", {"--bitmaps", "lossless"}},
            {"clear_changed", {"--bitmaps", "lossless", "--changed-areas"}},
            {"clear_jpeg", {"--quality", "high"}},
            {"clear_jpeg_changed", {"--quality", "high", "--changed-areas"}}};
        for (const auto& [mode, options] : modes) {
            const fs::path folder = *dir / mode;
            fs::create_directories(folder);
            run = RunQuorvel(Concat({"convert", gif.string(), "-o", folder.string(), "--timing",
                                     "fixed", "--transparent", "--background", "#ffee00"},
                                    options),
                             dir->Path(), dir->Path());
            ASSERT_EQ(run.status, 0) << run.err;
            Movie movie = shown;
            movie.swf = folder / "clear.swf";
            for (std::size_t k = 0; k < movie.frames.size(); ++k) {
                requests.push_back(
                    {"frame", movie.swf.string(), std::to_string(k),
                     (folder / ("clear_ruffle_" + std::to_string(k) + ".png")).string(),
                     "transparent"});
            }
            if (options.front() == "--bitmaps") exactMovies.insert(movie.swf.string());
            clearPixels[movie.swf.string()] = clear;
            movies[movie.swf.string()] = movie;
        }

        // The default mode on a stage colour: the frames are composed on it.
        const fs::path folder = *dir / "stage";
        fs::create_directories(folder);
        run = RunQuorvel({"convert", gif.string(), "-o", folder.string(), "--timing", "fixed",
                          "--background", "#3366cc", "--quality", "high"},
                         dir->Path(), dir->Path());
        ASSERT_EQ(run.status, 0) << run.err;
        Movie stage;
        stage.swf = folder / "clear.swf";
        run = RunQuorvel({"extract", gif.string(), "-o", folder.string(), "-f", "png",
                          "--background", "#3366cc"},
                         dir->Path(), dir->Path());
        ASSERT_EQ(run.status, 0) << run.err;
        std::istringstream stageLines(run.out);
        for (std::string line; std::getline(stageLines, line);) stage.frames.push_back(line);
        for (std::size_t k = 0; k < stage.frames.size(); ++k) {
            requests.push_back(
                {"frame", stage.swf.string(), std::to_string(k),
                 (folder / ("clear_ruffle_" + std::to_string(k) + ".png")).string()});
        }
        stageColourPixels[stage.swf.string()] = clear;
        movies[stage.swf.string()] = stage;
    }

    // The GIFs and their --like-gif movies, and the browser's decoding of each GIF (one more run
    // of the harness) before the requests for what Ruffle shows.
    static void PrepareBrowser() {
        const fs::path folder = *dir / "browser";
        fs::create_directories(folder);
        std::vector<BrowserFile> gifs;
        for (const BrowserCase& c : kBrowserCases) {
            ASSERT_TRUE(c.draw().Write(folder / (c.name + ".gif")));
            gifs.push_back({c.name, c.stage, ".gif"});
        }
        // QUORVEL_PLAYER_GIFS=DIR: the GIFs in DIR too, on white.
        if (const char* more = std::getenv("QUORVEL_PLAYER_GIFS")) {
            for (const std::string& name : ListFolder(more)) {
                if (fs::path(name).extension() != ".gif") continue;
                const std::string stem = "extra_" + fs::path(name).stem().string();
                fs::copy_file(fs::path(more) / name, folder / (stem + ".gif"));
                gifs.push_back({stem, 0xFFFFFF, ".gif"});
            }
        }
        ASSERT_NO_FATAL_FAILURE(AddToolFiles(folder, gifs));
        std::vector<Fields> decodes;
        for (const BrowserFile& file : gifs) {
            const fs::path gif = folder / (file.name + file.extension);
            fs::create_directories(folder / file.name);
            char colour[8];
            std::snprintf(colour, sizeof colour, "#%06x", file.stage);
            const CliRun run =
                RunQuorvel({"convert", gif.string(), "-o", folder.string(), "-q", "--like-gif",
                            "--bitmaps", "lossless", "--background", colour},
                           dir->Path(), dir->Path());
            ASSERT_EQ(run.status, 0) << run.err;
            decodes.push_back({"gifdecode", gif.string(), (folder / file.name).string()});
        }
        ASSERT_NO_FATAL_FAILURE(RunHarness(decodes, "gifdecode"));
        for (const BrowserFile& file : gifs)
            ASSERT_NO_FATAL_FAILURE(AddBrowserMovie(folder, file));
    }

    // Animated WebP and APNG files made from the GIFs by tools nobody here wrote, where they
    // are installed: gif2webp and ffmpeg's APNG muxer from the GIFs themselves (their disposals
    // become the formats' own dispose and blend ops, frames smaller than the canvas), img2webp
    // and apngasm from the frames `extract` writes of one.
    static void AddToolFiles(const fs::path& folder, std::vector<BrowserFile>& files) {
        const auto have = [](const char* tool) {
            return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
        };
        const auto make = [&](const char* tool, const std::string& name, uint32_t stage,
                              const char* extension, const std::string& command) {
            if (!have(tool)) {
                std::cout << "[ SKIPPED  ] " << name << ": " << tool << " is not installed\n";
                return;
            }
            ASSERT_EQ(std::system((command + " >/dev/null 2>&1").c_str()), 0) << command;
            files.push_back({name, stage, extension});
        };
        const auto gif = [&](const char* name) { return (folder / (std::string(name) + ".gif")).string(); };
        const auto out = [&](const std::string& name, const char* ext) { return (folder / (name + ext)).string(); };
        for (const char* name : {"restore_background", "restore_previous", "zero_delay"}) {
            const uint32_t stage = name == std::string("restore_background") ? 0x3366CC : 0xFFFFFF;
            ASSERT_NO_FATAL_FAILURE(make("gif2webp", std::string("webp_") + name, stage, ".webp",
                                         "gif2webp -quiet " + gif(name) + " -o " + out(std::string("webp_") + name, ".webp")));
            ASSERT_NO_FATAL_FAILURE(make("ffmpeg", std::string("apng_") + name, stage, ".apng",
                                         "ffmpeg -y -loglevel error -i " + gif(name) + " -plays 0 -f apng " +
                                             out(std::string("apng_") + name, ".apng")));
        }
        fs::create_directories(folder / "tool_frames");
        const CliRun run = RunQuorvel({"extract", gif("restore_previous"), "-o", (folder / "tool_frames").string(),
                                       "-f", "png", "--like-gif"}, dir->Path(), dir->Path());
        ASSERT_EQ(run.status, 0) << run.err;
        std::string timed, plain;  // the frame files, for img2webp (70 ms each) and apngasm
        std::istringstream lines(run.out);
        for (std::string line; std::getline(lines, line);) timed += " -d 70 " + line, plain += " " + line;
        ASSERT_NO_FATAL_FAILURE(make("img2webp", "img2webp_frames", 0xFFFFFF, ".webp",
                                     "img2webp -loop 2" + timed + " -o " + out("img2webp_frames", ".webp")));
        ASSERT_NO_FATAL_FAILURE(make("apngasm", "apngasm_frames", 0xFFFFFF, ".png",
                                     "apngasm " + out("apngasm_frames", ".png") + plain + " 3 100 -l2"));
    }

    // The browser's frames of GIF `name` on the stage colour, and the requests for what Ruffle
    // shows of its movie at every SWF frame that starts before the passes end.
    static void AddBrowserMovie(const fs::path& folder, const BrowserFile& file) {
        const std::string& name = file.name;
        const uint32_t stage = file.stage;
        SCOPED_TRACE(name);
        BrowserMovie movie;
        movie.name = name;
        movie.swf = folder / (name + ".swf");
        int repeats = -1;  // for ever
        for (const Fields& line : answers["gifdecode"]) {
            if (line.at(1) != (folder / (name + file.extension)).string()) continue;
            ASSERT_NE(line.at(2), "error") << line.back();
            if (line[2] == "repeats" && line.at(3) != "Infinity") repeats = std::stoi(line[3]);
            if (line[2] != "frame") continue;
            // ImageDecoder gives the file's durations; browsers show one of 10 ms or less for
            // 100 ms.
            const double ms = std::stod(line.at(4));
            movie.shownMs.push_back(ms <= 10 ? 100 : ms);
            const std::string composed = line.at(5) + ".stage.png";
            ASSERT_TRUE(ComposeOver(line[5], stage, composed));
            movie.pictures.push_back(RgbPixels(composed));
        }
        ASSERT_FALSE(movie.pictures.empty());
        // The frames `extract --like-gif` writes of the file, on the same colour.
        char colour[8];
        std::snprintf(colour, sizeof colour, "#%06x", stage);
        fs::create_directories(folder / name / "extract");
        const CliRun extracted = RunQuorvel(
            {"extract", (folder / (name + file.extension)).string(), "-o", (folder / name / "extract").string(),
             "-f", "png", "--like-gif", "--background", colour},
            dir->Path(), dir->Path());
        ASSERT_EQ(extracted.status, 0) << extracted.err;
        std::istringstream frameFiles(extracted.out);
        for (std::string line; std::getline(frameFiles, line);) movie.extracted.push_back(RgbPixels(line));
        movie.passes = repeats == 0 ? 1 : 2;
        movie.morePasses = repeats < 0 || repeats + 1 > movie.passes;
        const swftest::SwfFile swf = swftest::ReadSwfFile(movie.swf);
        ASSERT_TRUE(swf.ok) << swf.error;
        movie.fps = swf.frameRate / 256.0;
        double passMs = 0;
        for (double ms : movie.shownMs) passMs += ms;
        // A movie that loops for ever plays its frames again, one that stops holds its last.
        const auto frames = int(std::ceil(movie.passes * passMs * movie.fps / 1000 - 1e-9));
        for (int k = 0; k < frames; ++k) {
            const int shown = repeats < 0 ? k % swf.frameCount : std::min(k, swf.frameCount - 1);
            movie.shots.push_back(
                (folder / name / ("ruffle_" + std::to_string(k) + ".png")).string());
            requests.push_back(
                {"frame", movie.swf.string(), std::to_string(shown), movie.shots.back()});
        }
        browserMovies.push_back(movie);
    }

    // Pages as a visitor opens them without the internet: one made with --html --offline and
    // served from its folder, one that would load Ruffle from the internet, and (see
    // RunHarnessWhilePlaying) the page `quorvel play` serves. Four frames at 2 fps: two
    // pictures a second apart show different ones.
    static void PreparePages() {
        const fs::path gif = *dir / "pages.gif";
        GifBuilder builder(30, 20);
        builder.GlobalColors({kRed, kGreen, kBlue, kYellow});
        for (int f = 0; f < 4; ++f) builder.Solid(0, 0, 30, 20, uint8_t(f), 50);
        ASSERT_TRUE(builder.Write(gif)) << builder.Error();
        fs::create_directories(*dir / "pages");
        CliRun run = RunQuorvel(
            {"extract", gif.string(), "-o", (*dir / "pages").string(), "-f", "png"}, dir->Path(),
            dir->Path());
        ASSERT_EQ(run.status, 0) << run.err;
        std::istringstream lines(run.out);
        for (std::string line; std::getline(lines, line);) pageFrames.push_back(line);
        for (const char* site : {"offline", "online"}) {
            fs::create_directories(*dir / site);
            Fields convert = {"convert", gif.string(), "-o", (*dir / site).string(), "-q",
                              "--html", "--timing", "fixed", "--fps", "2", "--quality", "high"};
            if (site == std::string("offline")) convert.push_back("--offline");
            run = RunQuorvel(convert, dir->Path(), dir->Path());
            ASSERT_EQ(run.status, 0) << run.err;
        }
        requests.push_back(Concat({"page", (*dir / "offline" / "pages.html").string()}, pageFrames));
        requests.push_back({"page", (*dir / "online" / "pages.html").string()});
    }

    // `quorvel play` serves the GIF's page while the harness runs, and is interrupted after.
    // The options for Flash projects: compressed movies played as they are, scaled movies
    // frame by frame against the extracted frames made n times as large, and libraries built
    // on by Haxe and by an ActionScript 2 movie.
    static void PrepareFlash() {
        const fs::path folder = *dir / "flash";
        fs::create_directories(folder);
        const GifBuilder clip =
            WholeFrames(24, 16, {kRed, kGreen, kBlue, kYellow}, 4,
                        [](int f, int x, int y) { return uint8_t((x / 3 + y / 2 + f) % 4); });
        ASSERT_TRUE(clip.Write(folder / "clip.gif")) << clip.Error();
        const std::vector<std::string> frames = Extract(folder / "clip.gif", folder / "clip");
        ASSERT_EQ(frames.size(), 4u);
        for (const char* how : {"none", "zlib", "lzma"}) {
            const fs::path swf = folder / (std::string("clip_") + how + ".swf");
            ASSERT_NO_FATAL_FAILURE(Convert({(folder / "clip.gif").string(), "-o", swf.string(),
                                             "--bitmaps", "lossless", "--compress", how}));
            flashRequests.push_back(Concat({"timeline", swf.string(), "3"}, frames));
            flashTimelines[swf.string()] = {std::string("--compress ") + how, 0, 4};
        }
        ASSERT_NO_FATAL_FAILURE(PrepareScaled(folder, frames));
        ASSERT_NO_FATAL_FAILURE(PrepareLibraries(folder));
    }

    // --scale 3 at version 3 and 10 shows every pixel as a 3 x 3 block; --smooth blurs them.
    static void PrepareScaled(const fs::path& folder, const std::vector<std::string>& frames) {
        std::vector<std::string> blocks;
        for (std::size_t k = 0; k < frames.size(); ++k) {
            blocks.push_back((folder / ("blocks_" + std::to_string(k) + ".png")).string());
            ASSERT_TRUE(Upscale(frames[k], 3, blocks.back()));
        }
        const std::pair<const char*, Fields> modes[] = {
            {"scale3", {}},
            {"scale3_v10", {"--swf-version", "10"}},
            {"scale3_v10_smooth", {"--swf-version", "10", "--smooth"}}};
        for (const auto& [mode, options] : modes) {
            const fs::path swf = folder / (std::string(mode) + ".swf");
            ASSERT_NO_FATAL_FAILURE(
                Convert(Concat({(folder / "clip.gif").string(), "-o", swf.string(), "--bitmaps",
                                "lossless", "--scale", "3"},
                               options)));
            for (std::size_t k = 0; k < blocks.size(); ++k) {
                const std::string out =
                    (folder / (std::string(mode) + "_ruffle_" + std::to_string(k) + ".png"))
                        .string();
                flashRequests.push_back({"frame", swf.string(), std::to_string(k), out});
                scaledFrames[swf.string()].push_back({out, blocks[k]});
            }
        }
    }

    // Two GIFs in one library, lossless: Haxe builds a movie on each of its symbols and on a
    // name it does not hold; an ActionScript 2 movie attaches a symbol of the same library
    // made for ActionScript 2. Labels: Walk's frames, then Jump's, then the empty stage.
    static void PrepareLibraries(const fs::path& folder) {
        const GifBuilder walk =
            WholeFrames(24, 16, {{200, 40, 40}, {250, 250, 250}}, 3,
                        [](int f, int x, int y) { return uint8_t(x / 8 == f && y > 3); });
        const GifBuilder jump = WholeFrames(24, 16, {{30, 30, 160}, {240, 220, 30}}, 5,
                                            [](int f, int, int y) { return uint8_t(y / 3 == f); });
        ASSERT_TRUE(walk.Write(folder / "Walk.gif")) << walk.Error();
        ASSERT_TRUE(jump.Write(folder / "Jump.gif")) << jump.Error();
        std::vector<std::string> refs = Extract(folder / "Walk.gif", folder / "walk");
        const std::vector<std::string> jumps = Extract(folder / "Jump.gif", folder / "jump");
        refs.insert(refs.end(), jumps.begin(), jumps.end());
        refs.push_back((folder / "empty.png").string());
        ASSERT_EQ(refs.size(), 9u);
        ASSERT_TRUE(SolidPng(24, 16, 0xFFFFFF, refs.back()));
        const Fields both = {(folder / "Walk.gif").string(),
                             (folder / "Jump.gif").string(),
                             "--bitmaps",
                             "lossless",
                             "--fps",
                             std::to_string(kFps)};
        ASSERT_NO_FATAL_FAILURE(
            Convert(Concat({"--library", "-o", (folder / "as3.swf").string()}, both)));
        ASSERT_NO_FATAL_FAILURE(
            Convert(Concat({"--library=as2", "-o", (folder / "as2.swf").string()}, both)));
        const std::pair<std::string, FlashTimeline> attached[] = {
            {"Jump", {"attachMovie(\"Jump\")", 3, 5, 8}},
            {"Nope", {"attachMovie(\"Nope\")", 0, 0, 8}}};
        for (const auto& [name, expected] : attached) {
            const fs::path swf = folder / ("attach_" + name + ".swf");
            ASSERT_TRUE(WriteAttachingMovie(folder / "as2.swf", name, swf));
            flashRequests.push_back(Concat({"timeline", swf.string(), "3"}, refs));
            flashTimelines[swf.string()] = expected;
        }
        if (std::system("command -v haxe >/dev/null 2>&1") != 0) {
            haxeMissing =
                "haxe not found (scripts/setup-deps installs it): the Haxe test is skipped";
            return;
        }
        const std::pair<std::string, FlashTimeline> hosts[] = {
            {"Walk", {"Haxe new Walk()", 0, 3, 8, true}},
            {"Jump", {"Haxe new Jump()", 3, 5, 8, true}},
            {"Nope", {"Haxe new Nope()", 0, 0, 8, true}}};
        for (const auto& [name, expected] : hosts) {
            const fs::path host = folder / ("haxe_" + name);
            fs::create_directories(host);
            std::ofstream(host / "Main.hx")
                << "@:bind class " << name << " extends flash.display.MovieClip {}\n"
                << "class Main {\n    static function main() {\n"
                << "        flash.Lib.current.addChild(new " << name << "());\n    }\n}\n";
            const std::string command =
                "cd " + Quote(host.string()) +
                " && haxe -swf host.swf -swf-version 10 -swf-header 24:16:" + std::to_string(kFps) +
                ":FFFFFF -swf-lib " + Quote((folder / "as3.swf").string()) +
                " -main Main >haxe.log 2>&1";
            ASSERT_EQ(std::system(command.c_str()), 0) << ReadText(host / "haxe.log");
            flashRequests.push_back(Concat({"timeline", (host / "host.swf").string(), "3"}, refs));
            flashTimelines[(host / "host.swf").string()] = expected;
        }
    }

    static void Convert(const Fields& arguments) {
        const CliRun run =
            RunQuorvel(Concat({"convert", "-q", "--timing", "fixed"}, arguments), dir->Path(),
                       dir->Path());
        ASSERT_EQ(run.status, 0) << run.err;
    }

    // The PNG frames quorvel extract writes of the GIF, in order.
    static std::vector<std::string> Extract(const fs::path& gif, const fs::path& folder) {
        fs::create_directories(folder);
        const CliRun run = RunQuorvel({"extract", gif.string(), "-o", folder.string(), "-f", "png"},
                                      dir->Path(), dir->Path());
        EXPECT_EQ(run.status, 0) << run.err;
        std::vector<std::string> frames;
        std::istringstream lines(run.out);
        for (std::string line; std::getline(lines, line);) frames.push_back(line);
        return frames;
    }

    static void RunHarnessWhilePlaying() {
        const fs::path folder = *dir / "play";
        fs::create_directories(folder);
        played = RunQuorvelWhile(
            {"play", "--no-open", "--timing", "fixed", "--fps", "2", "--quality", "high",
             (*dir / "pages.gif").string()},
            folder, [&](int pid) {
                std::string out;  // the page's address, once its line is whole
                for (int i = 0; i < 600 && out.find('\n') == std::string::npos; ++i) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
                    out = ReadText(folder / ".stdout");
                }
                if (out.find('\n') != std::string::npos)
                    requests.push_back(Concat({"page", out.substr(0, out.find('\n'))}, pageFrames));
                RunHarness();
                kill(pid, SIGINT);
            });
    }

    static void RunHarness(const std::vector<Fields>& batchRequests = requests,
                           const std::string& name = "batch",
                           std::map<std::string, std::vector<Fields>>& into = answers) {
        const fs::path batch = *dir / (name + ".txt"), out = *dir / (name + ".out"),
                       err = *dir / (name + ".err");
        std::ofstream file(batch);
        for (const Fields& request : batchRequests) {
            for (std::size_t i = 0; i < request.size(); ++i) file << (i ? "\t" : "") << request[i];
            file << '\n';
        }
        file.close();
        const std::string command = Quote(QUORVEL_NODE) + " " +
                                    Quote(QUORVEL_PLAYER_DIR "/harness.js") + " batch " +
                                    Quote(batch.string()) + " >" + Quote(out.string()) + " 2>" +
                                    Quote(err.string()) + " </dev/null";
        const int raw = std::system(command.c_str());
        const int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        std::ifstream errors(err);
        const std::string diagnostics{std::istreambuf_iterator<char>(errors), {}};
        std::cout << diagnostics;
        if (status == kHarnessSkipped)
            unavailable = diagnostics;
        else
            ASSERT_EQ(status, 0) << diagnostics;
        std::ifstream results(out);
        for (std::string line; std::getline(results, line);) {
            Fields fields;
            std::istringstream split(line);
            for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
            into[fields.at(0)].push_back(fields);
        }
    }

    void SetUp() override {
        if (!unavailable.empty()) GTEST_SKIP() << unavailable;
        ASSERT_TRUE(ready);
    }

    static Fields Concat(Fields a, const Fields& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    }
    // The requests of one kind, in order.
    static std::vector<Fields> Requests(const std::string& kind) {
        std::vector<Fields> of;
        std::copy_if(requests.begin(), requests.end(), std::back_inserter(of),
                     [&](const Fields& r) { return r[0] == kind; });
        return of;
    }

    static inline ScratchDir* dir = nullptr;
    static inline std::map<std::string, Movie> movies;  // by movie path
    static inline std::map<std::string, const TimedCase*> timedMovies;  // by movie path
    static inline std::set<std::string> exactMovies;  // lossless: pixel for pixel
    // By movie path, per frame, the pixels no image covers: the page shows exactly there (and
    // nowhere else), or, for a movie on a stage colour of its own, that colour.
    static inline std::map<std::string, std::vector<std::vector<bool>>> clearPixels;
    static inline std::map<std::string, std::vector<std::vector<bool>>> stageColourPixels;
    static inline std::vector<Fields> requests;
    // The browser's frames composed on the stage colour (RGB), how long it shows each, and
    // what Ruffle showed at every SWF frame of the passes checked.
    struct BrowserMovie {
        std::string name;
        fs::path swf;
        std::vector<std::vector<uint8_t>> pictures;
        std::vector<double> shownMs;
        int passes = 2;
        bool morePasses = true;  // the animation plays on after the passes checked
        double fps = 0;
        std::vector<std::string> shots;
        std::vector<std::vector<uint8_t>> extracted;  // the frames extract --like-gif wrote
    };
    static inline std::vector<BrowserMovie> browserMovies;
    static inline std::vector<std::string> pageFrames;  // of pages.gif, as extract writes them
    static inline CliRun played;                       // quorvel play
    static inline std::map<std::string, std::vector<Fields>> answers;  // result lines by kind
    static inline std::map<std::string, FlashTimeline> flashTimelines;  // by movie path
    static inline std::vector<Fields> flashRequests;
    static inline std::map<std::string, std::vector<Fields>> flashAnswers;  // result lines by kind
    // By movie path: Ruffle's picture of each frame and the frame made 3 times as large.
    static inline std::map<std::string, std::vector<std::pair<std::string, std::string>>>
        scaledFrames;
    static inline std::string haxeMissing;  // why the Haxe movies were not built

    // Checks what the timelines of the Flash project movies (those built by Haxe, or the
    // others) showed; returns how many were checked.
    static int CheckFlashTimelines(bool haxe) {
        std::map<std::string, std::vector<Fields>> runs;
        std::map<std::string, std::string> endings;
        for (const Fields& line : flashAnswers["timeline"]) {
            const auto movie = flashTimelines.find(line[1]);
            if (movie == flashTimelines.end() || movie->second.haxe != haxe) continue;
            if (line[2] == "show" && line.size() == 7)
                runs[line[1]].push_back(line);
            else if (line[2] == "end")
                endings[line[1]] = line[3];
            else
                ADD_FAILURE() << movie->second.what << ": " << line[3];
        }
        int checked = 0;
        for (const auto& [swf, expected] : flashTimelines) {
            if (expected.haxe != haxe) continue;
            SCOPED_TRACE(expected.what);
            ++checked;
            std::vector<Fields> shown = runs[swf];
            const std::string empty = std::to_string(expected.skip);
            // A player slow to start may show the empty stage first.
            while (expected.count > 0 && !shown.empty() && shown.front()[5] == empty)
                shown.erase(shown.begin());
            if (expected.count == 0) {  // nothing but the empty stage
                EXPECT_FALSE(shown.empty());
                for (const Fields& run : shown)
                    EXPECT_EQ(run[5], empty) << "at " << run[3] << " ms";
                continue;
            }
            EXPECT_GE(shown.size(), std::size_t(2 * expected.count)) << "not two loops";
            for (std::size_t i = 0; i < shown.size(); ++i) {
                const int label = std::stoi(shown[i][5]) - expected.first;
                EXPECT_TRUE(label >= 0 && label < expected.count) << "at " << shown[i][3] << " ms";
                if (i > 0) {
                    const int before = std::stoi(shown[i - 1][5]) - expected.first;
                    EXPECT_EQ(label, (before + 1) % expected.count)
                        << "at " << shown[i][3] << " ms";
                }
                EXPECT_EQ(shown[i][6], "inf") << "at " << shown[i][3] << " ms: not exact";
            }
            EXPECT_EQ(endings[swf], "loops");
        }
        return checked;
    }
    static inline bool ready = false;

public:
    static inline std::string unavailable;  // why the player cannot be had
};

TEST_F(PlayerTest, EveryFrameShowsWhatExtractWrites) {
    const std::vector<Fields> frames = Requests("frame");
    const std::vector<Fields>& lines = answers["frame"];
    ASSERT_EQ(lines.size(), frames.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(frames[i][1] + " frame " + frames[i][2]);
        if (movies.count(frames[i][1]) == 0) continue;  // compared with the browser's frames
        EXPECT_EQ(lines[i],
                  Concat(Fields(frames[i].begin(), frames[i].begin() + 3), {"ok", frames[i][3]}));
        if (lines[i].size() > 3 && lines[i][3] == "ok") {
            const double psnr =
                Psnr(frames[i][3], movies[frames[i][1]].frames[std::stoul(frames[i][2])]);
            if (exactMovies.count(frames[i][1])) {
                EXPECT_EQ(psnr, kIdentical);
            } else {
                EXPECT_GE(psnr, kMinPsnr);
            }
        }
    }
}

TEST_F(PlayerTest, TheStageColourAndThePageShowWhereNoImageCovers) {
    std::size_t checked = 0;
    for (const Fields& request : Requests("frame")) {
        const bool transparent = clearPixels.count(request[1]) > 0;
        if (!transparent && stageColourPixels.count(request[1]) == 0) continue;
        SCOPED_TRACE(request[1] + " frame " + request[2]);
        const std::vector<bool>& clear =
            (transparent ? clearPixels : stageColourPixels)[request[1]].at(std::stoul(request[2]));
        const std::vector<uint8_t> shot = RgbPixels(request[3]);
        ASSERT_EQ(shot.size(), clear.size() * 3);
        const uint8_t stage[3] = {0x33, 0x66, 0xCC};
        for (std::size_t i = 0; i < clear.size(); ++i) {
            const uint8_t* p = &shot[3 * i];
            if (transparent) {  // exactly the page's grey where clear, and only there
                EXPECT_EQ(p[0] == kPage && p[1] == kPage && p[2] == kPage, clear[i])
                    << "pixel " << i;
            } else if (clear[i]) {  // JPEG colours, close to the stage's
                for (int c = 0; c < 3; ++c) EXPECT_NEAR(p[c], stage[c], 8) << "pixel " << i;
            }
        }
        ++checked;
    }
    EXPECT_EQ(checked, 5 * 7u);
}

TEST_F(PlayerTest, TimelineShowsEveryFrameInOrderAndLoops) {
    std::map<std::string, std::vector<Fields>> runs;
    std::map<std::string, std::string> endings;
    for (const Fields& line : answers["timeline"]) {
        ASSERT_GE(line.size(), 4u);
        if (line[2] == "show" && line.size() == 7)
            runs[line[1]].push_back(line);
        else if (line[2] == "end")
            endings[line[1]] = line[3];
        else
            ADD_FAILURE() << line[1] << ": " << line[3];
    }
    auto check = [&](const std::string& swf) {
        const int n = int(movies[swf].frames.size());
        ASSERT_GE(runs[swf].size(), std::size_t(2 * n + 1)) << "not two loops";
        std::vector<int> starts;  // of frame 0
        for (std::size_t i = 0; i < runs[swf].size(); ++i) {
            const Fields& run = runs[swf][i];
            // A player slow to start may paint its first picture only once the movie has moved
            // on; from the first picture on, every frame follows the one before.
            if (i > 0) {
                const int next = (std::stoi(runs[swf][i - 1][5]) + 1) % n;
                EXPECT_EQ(run[5], std::to_string(next)) << "at " << run[3] << " ms";
            }
            EXPECT_GE(std::stod(run[6]), kMinPsnr) << "at " << run[3] << " ms";
            if (run[5] == "0") starts.push_back(std::stoi(run[3]));
        }
        EXPECT_EQ(endings[swf], "loops");
        // The first loop may stall while the browser sets up the renderer; time the later ones
        // and take the median, so that one hiccup of a busy machine does not count.
        ASSERT_GE(starts.size(), 3u);
        std::vector<int> loops;
        for (std::size_t i = 2; i < starts.size(); ++i) loops.push_back(starts[i] - starts[i - 1]);
        std::sort(loops.begin(), loops.end());
        EXPECT_NEAR(loops[(loops.size() - 1) / 2], 1000.0 * n / kFps, 250.0 * n / kFps)
            << "one loop";
    };
    for (const Fields& request : Requests("timeline")) {
        SCOPED_TRACE(request[1]);
        if (timedMovies.count(request[1]) == 0) check(request[1]);
    }
}

// With the GIF's timing every frame shows for its own delay, within one frame of the movie;
// a movie that plays once stops on its last frame and holds it.
TEST_F(PlayerTest, TimedMoviesKeepTheGifsTimeAndStop) {
    std::map<std::string, std::vector<Fields>> runs;
    std::map<std::string, Fields> endings;
    for (const Fields& line : answers["timeline"]) {
        if (timedMovies.count(line[1]) == 0) continue;
        if (line[2] == "show" && line.size() == 7) runs[line[1]].push_back(line);
        if (line[2] == "end") endings[line[1]] = line;
        if (line[2] == "error") ADD_FAILURE() << line[1] << ": " << line[3];
    }
    for (const auto& [swf, c] : timedMovies) {
        SCOPED_TRACE(c->name);
        const std::vector<Fields>& shown = runs[swf];
        // Every frame once, in order, then the movie stops. A player slow to start may paint
        // its first picture only once the movie has moved on to the second frame.
        ASSERT_FALSE(shown.empty());
        const std::size_t first = std::stoul(shown[0][5]);
        ASSERT_LE(first, 1u);
        ASSERT_EQ(first + shown.size(), c->delays.size());
        for (std::size_t i = 0; i < shown.size(); ++i) {
            const std::size_t k = first + i;
            EXPECT_EQ(shown[i][5], std::to_string(k));
            EXPECT_GE(std::stod(shown[i][6]), kMinPsnr);
            // The first picture may wait for the renderer; the last one holds.
            if (i == 0 || k + 1 == c->delays.size()) continue;
            EXPECT_NEAR(std::stod(shown[i][4]) - std::stod(shown[i][3]), 10.0 * c->delays[k],
                        1000.0 / c->fps)
                << "frame " << k;
        }
        EXPECT_EQ(endings[swf], (Fields{"timeline", swf, "end", "holds",
                                        std::to_string(c->delays.size() - 1)}));
    }
}

// Frame after frame, Ruffle shows the browser's frame it showed before or the next one; each
// starts within half an SWF frame of the browser's timeline, and none is missed.
TEST_F(PlayerTest, LikeGifShowsWhatTheBrowserShows) {
    EXPECT_GE(browserMovies.size(), kBrowserCases.size());
    for (const BrowserMovie& movie : browserMovies) {
        SCOPED_TRACE(movie.name);
        EXPECT_TRUE(movie.extracted == movie.pictures) << "extract --like-gif wrote other frames";
        const std::size_t n = movie.pictures.size();
        // The start of every frame of every pass checked, in ms, and of the pass after them when
        // there is one: the last SWF frame checked may start it (within half an SWF frame).
        std::vector<double> starts = {0};
        const std::size_t checked = n * std::size_t(movie.passes);
        for (std::size_t i = 0; i + 1 < checked + movie.morePasses; ++i)
            starts.push_back(starts.back() + movie.shownMs[i % n]);
        std::size_t m = 0;  // the browser's frame shown, counted over the passes
        for (std::size_t k = 0; k < movie.shots.size(); ++k) {
            const std::vector<uint8_t> shot = RgbPixels(movie.shots[k]);
            if (m + 1 < starts.size() && shot == movie.pictures[(m + 1) % n]) {
                ++m;
                EXPECT_NEAR(1000.0 * double(k) / movie.fps, starts[m], 500 / movie.fps + 1e-6)
                    << "frame " << m % n << " of pass " << m / n + 1 << " starts late or early";
            } else if (shot != movie.pictures[m % n]) {
                ADD_FAILURE() << "SWF frame " << k << " shows neither frame " << m % n
                              << " nor the next of pass " << m / n + 1;
                break;
            }
        }
        EXPECT_GE(m + 1, checked) << "frames the movie never showed";
    }
}

TEST_F(PlayerTest, ClickAnywhereOpensTheTargetUrlOnly) {
    std::vector<Fields> expected;
    for (const Fields& request : Requests("click")) {
        const std::string& url = movies[request[1]].source->url;
        for (std::size_t i = 2; i + 1 < request.size(); i += 2)
            expected.push_back(Concat({"click", request[1], request[i], request[i + 1]},
                                      url.empty() ? Fields{"nothing"} : Fields{"opens", url}));
    }
    const std::vector<Fields>& lines = answers["click"];
    EXPECT_EQ(lines.size(), expected.size());
    for (std::size_t i = 0; i < std::min(lines.size(), expected.size()); ++i)
        EXPECT_EQ(lines[i], expected[i]);
}

// A page plays its movie at once, without a click and without the internet: two pictures a
// second apart show two different frames of the GIF. A page that cannot load Ruffle says so.
TEST_F(PlayerTest, PagesPlayWithoutAClickOrSayWhyNot) {
    EXPECT_EQ(played.status, 128 + SIGINT) << played.err;
    const std::vector<Fields> pages = Requests("page");
    ASSERT_EQ(pages.size(), 3u) << "quorvel play gave no address: " << played.err;
    for (const Fields& page : pages) {
        SCOPED_TRACE(page[1]);
        std::vector<Fields> lines;
        for (const Fields& line : answers["page"])
            if (line.at(1) == page[1]) lines.push_back(line);
        if (page.size() == 2) {  // no frames given: Ruffle from the internet, which is not there
            ASSERT_EQ(lines.size(), 1u);
            ASSERT_EQ(lines[0].size(), 4u);
            EXPECT_EQ(lines[0][2], "says");
            for (const char* words : {"Ruffle could not be loaded", "--offline", "quorvel play"})
                EXPECT_NE(lines[0][3].find(words), std::string::npos) << lines[0][3];
            continue;
        }
        ASSERT_EQ(lines.size(), 2u) << (lines.empty() ? "" : lines[0].back());
        for (const Fields& line : lines) {
            ASSERT_EQ(line.size(), 5u);
            EXPECT_EQ(line[2], "shows");
            EXPECT_GE(std::stod(line[4]), kMinPsnr) << "frame " << line[3];
        }
        EXPECT_NE(lines[0][3], lines[1][3]) << "the movie did not move on";
    }
}

}  // namespace

// CTest counts the exit status 77 as a skip: the player tests never pass where they cannot run.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const int failed = RUN_ALL_TESTS();
    if (!PlayerTest::unavailable.empty()) {
        std::cout << "Player tests skipped: " << PlayerTest::unavailable << '\n';
        return kHarnessSkipped;
    }
    return failed;
}

// zlib and LZMA movies play frame for frame as the uncompressed one, every frame exact; an
// ActionScript 2 movie that attaches a symbol of our library by its exported name shows it
// animating, and shows nothing for a name the library does not export.
TEST_F(PlayerTest, CompressedMoviesAndAttachedSymbolsShowEveryFrameExactly) {
    EXPECT_EQ(CheckFlashTimelines(false), 5);
}

// Haxe builds on a two-symbol library (-swf-lib, @:bind): `new Walk()` and `new Jump()` each
// show their own GIF's frames, looping, exactly; a class the library does not name shows
// nothing.
TEST_F(PlayerTest, HaxeMoviesShowTheLibrarysSymbols) {
    if (!haxeMissing.empty()) GTEST_SKIP() << haxeMissing;
    EXPECT_EQ(CheckFlashTimelines(true), 3);
}

// --scale 3 shows every pixel as a 3 x 3 block, at version 3 and at version 10 (whose fills
// players do not smooth); with --smooth the player blurs them.
TEST_F(PlayerTest, ScaledFramesShowEveryPixelAsABlock) {
    ASSERT_EQ(scaledFrames.size(), 3u);
    for (const Fields& line : flashAnswers["frame"]) EXPECT_EQ(line.at(3), "ok") << line.back();
    EXPECT_EQ(flashAnswers["frame"].size(), 3 * 4u);
    for (const auto& [swf, frames] : scaledFrames) {
        SCOPED_TRACE(swf);
        const bool smooth = swf.find("_smooth.swf") != std::string::npos;
        for (const auto& [shot, blocks] : frames) {
            const double psnr = Psnr(shot, blocks);
            if (smooth) {
                EXPECT_GT(psnr, 0);  // a picture of the frame's size
                EXPECT_LT(psnr, kIdentical);
            } else {
                EXPECT_EQ(psnr, kIdentical) << shot;
            }
        }
    }
}
