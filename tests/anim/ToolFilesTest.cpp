// WebP and APNG files made by tools nobody here wrote (Debian's webp tools, ffmpeg, apngasm),
// read frame for frame against the files they were made from. A test whose tool is missing
// says so and is skipped.

#include <gtest/gtest.h>

#include <cstdlib>

#include "anim/AnimationScan.h"
#include "anim/CanvasReader.h"
#include "anim/ApngBuilder.h"
#include "support/GifBuilder.h"
#include "support/TestFiles.h"

namespace {

bool HaveTool(const std::string& name) {
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

#define REQUIRE_TOOL(name) \
    if (!HaveTool(name)) GTEST_SKIP() << name " is not installed (Debian: see scripts/setup-deps)"

bool RunTool(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

struct Frames {
    bool loaded = false;
    std::vector<int> delays;
    std::vector<std::vector<uint8_t>> pixels;  // BGR rows, then coverage
    std::string error;
};

Frames ReadFrames(const std::filesystem::path& path, FrameRules rules = kBrowserFrames) {
    Frames out;
    auto reader = MakeAnimationReader(FormatOfFile(path.string()));
    reader->ComposeOn(0x204060, rules, true);
    out.loaded = reader->Load(path.string());
    for (int delay; out.loaded && (delay = reader->NextFrame()) > 0;) {
        out.delays.push_back(delay);
        std::vector<uint8_t> frame;
        for (int y = 0; y < reader->Height(); ++y) {
            const uint8_t* row = reader->FrameArea() + y * reader->Stride();
            frame.insert(frame.end(), row, row + 3 * reader->Width());
        }
        frame.insert(frame.end(), reader->Coverage(), reader->Coverage() + reader->Width() * reader->Height());
        out.pixels.push_back(std::move(frame));
    }
    out.error = reader->Error();
    return out;
}

// An 8 x 6 GIF of three frames without transparency: a full frame, a smaller one, another.
bool WriteGif(const std::filesystem::path& path) {
    return GifBuilder(8, 6)
        .GlobalColors({kRed, kGreen, kBlue, kYellow})
        .Loop(0)
        .Solid(0, 0, 8, 6, 0, 4)
        .Solid(2, 1, 3, 4, 1, 8, 1)
        .Solid(5, 2, 3, 3, 2, 12, 0)
        .Write(path);
}

// Still PNGs of 6 x 4 for the tools that take frames: one opaque, one with clear and half-clear
// pixels.
std::vector<std::filesystem::path> WritePngFrames(const ScratchDir& dir) {
    std::vector<std::filesystem::path> files;
    for (int i = 0; i < 3; ++i) {
        TestApngFrame frame{6, 4, 0, 0, 1, 10, 0, 0, {}};
        for (int p = 0; p < 24; ++p) {
            const uint8_t alpha = i == 1 ? static_cast<uint8_t>(p % 3 == 0 ? 0 : p % 3 == 1 ? 128 : 255) : 255;
            frame.rgba.insert(frame.rgba.end(), {uint8_t(40 * i + p), uint8_t(10 * p), uint8_t(200 - 30 * i), alpha});
        }
        files.push_back(dir / ("f" + std::to_string(i) + ".png"));
        if (!WriteBytes(files.back(), ApngWriter(6, 4).Frame(frame).Build().bytes)) return {};
    }
    return files;
}

std::string Join(const std::vector<std::filesystem::path>& files, const std::string& before = "") {
    std::string text;
    for (const auto& f : files) text += before + f.string() + " ";
    return text;
}

}  // namespace

TEST(ToolFiles, AnimationsFromAGifShowTheGifsFrames) {
    ScratchDir dir;
    ASSERT_TRUE(WriteGif(dir / "a.gif"));
    const Frames gif = ReadFrames(dir / "a.gif");
    ASSERT_EQ(gif.pixels.size(), 3u);
    const struct {
        const char* tool;
        std::string command;
        const char* file;
        const char* format;
        bool lastDelay;  // ffmpeg 5.1 gives the last frame the delay of the one before it
    } cases[] = {
        {"gif2webp", "gif2webp -quiet " + (dir / "a.gif").string() + " -o " + (dir / "a.webp").string(), "a.webp", "WebP", true},
        {"ffmpeg", "ffmpeg -y -loglevel error -i " + (dir / "a.gif").string() + " -plays 0 -f apng " + (dir / "a.apng").string(), "a.apng", "APNG", false},
    };
    for (const auto& c : cases) {
        if (!HaveTool(c.tool)) {
            std::cout << c.tool << " is not installed: skipped\n";
            continue;
        }
        ASSERT_TRUE(RunTool(c.command)) << c.command;
        const Frames made = ReadFrames(dir / c.file);
        std::vector<int> delays = gif.delays;
        if (!c.lastDelay) delays.back() = delays[delays.size() - 2];
        EXPECT_EQ(made.error, "") << c.tool;
        EXPECT_EQ(made.delays, delays) << c.tool;
        EXPECT_EQ(made.pixels, gif.pixels) << c.tool;
        const GifInfo info = ScanAnimationFile((dir / c.file).string(), kBrowserFrames);
        EXPECT_EQ(info.format, c.format);
        EXPECT_EQ(info.delaysMs, delays) << c.tool;
        EXPECT_EQ(info.loopExtension, std::optional<int>(0)) << c.tool;
    }
}

TEST(ToolFiles, FramesFromStillPngsKeepTheirPixelsDelaysAndPlays) {
    ScratchDir dir;
    const std::vector<std::filesystem::path> pngs = WritePngFrames(dir);
    ASSERT_EQ(pngs.size(), 3u);
    std::vector<std::vector<uint8_t>> expected;
    for (const auto& png : pngs) expected.push_back(ReadFrames(png).pixels.at(0));
    const std::string webp = (dir / "m.webp").string(), apng = (dir / "m.apng").string();
    const struct {
        const char* tool;
        std::string command;
        std::string file;
        std::vector<int> delays;
        std::optional<int> repeats;
    } cases[] = {
        {"img2webp", "img2webp -loop 3 -lossless -d 30 " + pngs[0].string() + " -d 50 " + pngs[1].string() + " -d 70 " + pngs[2].string() + " -o " + webp, webp, {30, 50, 70}, 2},
        {"apngasm", "apngasm " + apng + " " + Join(pngs) + " 1 20 -l1 -z0 -kc", apng, {50, 50, 50}, std::nullopt},
    };
    for (const auto& c : cases) {
        if (!HaveTool(c.tool)) {
            std::cout << c.tool << " is not installed: skipped\n";
            continue;
        }
        ASSERT_TRUE(RunTool(c.command)) << c.command;
        const Frames made = ReadFrames(c.file);
        EXPECT_EQ(made.error, "") << c.tool;
        EXPECT_EQ(made.delays, c.delays) << c.tool;
        EXPECT_EQ(made.pixels, expected) << c.tool;
        EXPECT_EQ(ScanAnimationFile(c.file).loopExtension, c.repeats) << c.tool;
    }
}

TEST(ToolFiles, DamagedWebpFiles) {
    REQUIRE_TOOL("img2webp");
    ScratchDir dir;
    const std::vector<std::filesystem::path> pngs = WritePngFrames(dir);
    ASSERT_EQ(pngs.size(), 3u);
    ASSERT_TRUE(RunTool("img2webp -lossless -d 40 " + Join(pngs) + "-o " + (dir / "a.webp").string()));
    const std::vector<uint8_t> good = *ReadFileBytes(dir / "a.webp");
    // The offset of each ANMF chunk, found by its tag.
    std::vector<std::size_t> frames;
    for (std::size_t i = 12; i + 4 <= good.size(); ++i)
        if (std::equal(good.begin() + i, good.begin() + i + 4, "ANMF")) frames.push_back(i);
    ASSERT_EQ(frames.size(), 3u);
    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
        bool loads;
        std::size_t frames;
        const char* error;
    } cases[] = {
        {"cut in the third frame", {good.begin(), good.begin() + frames[2] + 30}, true, 2, "breaks off after frame 2"},
        {"cut after the second frame", {good.begin(), good.begin() + frames[2]}, true, 2, "breaks off after frame 2"},
        {"cut in the first frame", {good.begin(), good.begin() + frames[0] + 20}, false, 0, "before its first frame"},
        {"cut in the header", {good.begin(), good.begin() + 20}, false, 0, "not a valid WebP"},
        {"a canvas smaller than its frames", [&] {
             std::vector<uint8_t> b = good;
             b[24] = 2;  // VP8X: canvas width - 1, low byte
             return b;
         }(), false, 0, "not a valid WebP"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(WriteBytes(dir / "d.webp", c.bytes));
        const Frames read = ReadFrames(dir / "d.webp");
        EXPECT_EQ(read.loaded, c.loads) << c.name;
        EXPECT_EQ(read.pixels.size(), c.frames) << c.name;
        EXPECT_NE(read.error.find(c.error), std::string::npos) << c.name << ": " << read.error;
        const GifInfo info = ScanAnimationFile((dir / "d.webp").string());
        EXPECT_EQ(info.frames, static_cast<int>(c.frames)) << c.name;
        EXPECT_NE(info.error.find(c.error), std::string::npos) << c.name << ": " << info.error;
    }
}

TEST(ToolFiles, StillImages) {
    REQUIRE_TOOL("cwebp");
    ScratchDir dir;
    const std::vector<std::filesystem::path> pngs = WritePngFrames(dir);
    ASSERT_EQ(pngs.size(), 3u);
    ASSERT_TRUE(RunTool("cwebp -quiet -lossless -exact " + pngs[1].string() + " -o " + (dir / "s.webp").string()));
    for (const auto& file : {dir / "s.webp", pngs[1]}) {
        const Frames still = ReadFrames(file, {});
        EXPECT_EQ(still.delays, std::vector<int>{100}) << file;
        EXPECT_EQ(still.pixels, ReadFrames(pngs[1]).pixels) << file;
        const GifInfo info = ScanAnimationFile(file.string());
        EXPECT_EQ(info.frames, 1) << file;
        EXPECT_EQ(info.loopExtension, std::nullopt) << file;
    }
}
