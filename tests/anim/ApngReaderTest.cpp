// The APNG reader: its chunks checked (CRCs, sequence numbers, frames on the canvas, counts),
// truncation at every chunk boundary, the dispose and blend ops, delays and play counts.

#include <gtest/gtest.h>

#include <functional>
#include <tuple>

#include "anim/ApngChunks.h"
#include "anim/CanvasReader.h"
#include "anim/ApngBuilder.h"

// GCC 12 at -O3 takes the frames built in place in the tables below for pixels used after they
// are freed (a false report; the sanitizer build checks them for real).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wuse-after-free"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

namespace {

std::vector<uint8_t> Fill(uint32_t pixels, std::vector<uint8_t> rgba) {
    std::vector<uint8_t> out;
    for (uint32_t i = 0; i < pixels; ++i) out.insert(out.end(), rgba.begin(), rgba.end());
    return out;
}

// Three frames of 4 x 2: a red canvas, a green square on it, a blue pixel.
ApngWriter ThreeFrames() {
    ApngWriter w(4, 2);
    w.Plays(0)
        .Frame({4, 2, 0, 0, 1, 10, 0, 0, Fill(8, {255, 0, 0, 255})})
        .Frame({2, 2, 1, 0, 1, 20, 0, 0, Fill(4, {0, 255, 0, 255})})
        .Frame({1, 1, 3, 1, 3, 100, 0, 0, Fill(1, {0, 0, 255, 255})});
    return w;
}

struct Read {
    bool loaded = false;
    std::vector<int> delays;
    std::vector<std::vector<uint8_t>> frames;  // BGR rows without padding, then coverage
    std::string error;
};

Read ReadAll(const std::vector<uint8_t>& bytes, FrameRules rules = {}, RgbColor background = 0xFFFFFF) {
    Read read;
    std::unique_ptr<AnimationReader> reader = MakeApngReader();
    reader->ComposeOn(background, rules, true);
    read.loaded = reader->Load(bytes.data(), bytes.size());
    for (int delay; read.loaded && (delay = reader->NextFrame()) > 0;) {
        read.delays.push_back(delay);
        std::vector<uint8_t> frame;
        for (int y = 0; y < reader->Height(); ++y) {
            const uint8_t* row = reader->FrameArea() + y * reader->Stride();
            frame.insert(frame.end(), row, row + 3 * reader->Width());
        }
        const uint8_t* covered = reader->Coverage();
        frame.insert(frame.end(), covered, covered + reader->Width() * reader->Height());
        read.frames.push_back(frame);
    }
    read.error = reader->Error();
    return read;
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

TEST(ApngReader, DamagedFilesKeepTheFramesBeforeTheDamage) {
    const TestApng good = ThreeFrames().Build();
    // chunkStarts: IHDR acTL fcTL IDAT fcTL fdAT fcTL fdAT IEND end
    const struct {
        const char* name;
        std::function<void(std::vector<uint8_t>&)> damage;
        bool loads;
        std::size_t frames;
        const char* error;
    } cases[] = {
        {"no damage", [](auto&) {}, true, 3, ""},
        {"bad CRC in the last fdAT", [&](auto& b) { b[good.chunkStarts[7] + 9] ^= 1; }, true, 2, "CRC"},
        {"bad CRC in IHDR", [&](auto& b) { b[good.chunkStarts[0] + 8] ^= 1; }, false, 0, "CRC"},
        {"fdAT's sequence number out of order",
         [&](auto& b) { b[good.chunkStarts[5] + 11] = 7; ApngWriter::FixCrc(b, good.chunkStarts[5]); },
         true, 1, "sequence number is 7, not 2"},
        {"second frame outside the canvas",
         [&](auto& b) { b[good.chunkStarts[4] + 8 + 15] = 3; ApngWriter::FixCrc(b, good.chunkStarts[4]); },
         true, 1, "does not fit the 4 x 2 canvas"},
        {"frame offset that wraps around",
         [&](auto& b) { b[good.chunkStarts[6] + 8 + 12] = 0xff; ApngWriter::FixCrc(b, good.chunkStarts[6]); },
         true, 2, "does not fit"},
        {"default image smaller than the canvas",
         [&](auto& b) { b[good.chunkStarts[2] + 8 + 7] = 3; ApngWriter::FixCrc(b, good.chunkStarts[2]); },
         false, 0, "does not fit"},
        {"num_frames of 2^31",
         [&](auto& b) { b[good.chunkStarts[1] + 8] = 0x80, b[good.chunkStarts[1] + 11] = 0; ApngWriter::FixCrc(b, good.chunkStarts[1]); },
         false, 0, "frame count 2147483648 is not 1 to 2^31 - 1"},
        {"num_frames of 0",
         [&](auto& b) { b[good.chunkStarts[1] + 11] = 0; ApngWriter::FixCrc(b, good.chunkStarts[1]); },
         false, 0, "frame count 0"},
        {"num_frames of 2 ends after two", [&](auto& b) { b[good.chunkStarts[1] + 11] = 2; ApngWriter::FixCrc(b, good.chunkStarts[1]); },
         true, 2, ""},
        {"unknown dispose op",
         [&](auto& b) { b[good.chunkStarts[4] + 8 + 24] = 3; ApngWriter::FixCrc(b, good.chunkStarts[4]); },
         true, 1, "unknown dispose or blend op"},
        {"chunk length beyond 2^31", [&](auto& b) { b[good.chunkStarts[5]] = 0x80; }, true, 1, "2^31 - 1"},
        {"frame data that does not inflate",
         [&](auto& b) { b[good.chunkStarts[7] + 12] ^= 0xff; ApngWriter::FixCrc(b, good.chunkStarts[7]); },
         true, 2, "frame 3 of the PNG file cannot be decoded"},
        {"not a PNG", [](auto& b) { b[1] = 'Q'; }, false, 0, "not a PNG file"},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> bytes = good.bytes;
        c.damage(bytes);
        const Read read = ReadAll(bytes);
        EXPECT_EQ(read.loaded, c.loads) << c.name;
        EXPECT_EQ(read.frames.size(), c.frames) << c.name;
        EXPECT_TRUE(Has(read.error, c.error)) << c.name << ": " << read.error;
        EXPECT_EQ(read.error.empty(), std::string(c.error).empty()) << c.name << ": " << read.error;
        const GifInfo scan = ScanPng(bytes, {});
        if (c.loads && !Has(c.error, "decoded")) {
            EXPECT_EQ(scan.frames, static_cast<int>(c.frames)) << c.name;
        }
        EXPECT_EQ(scan.opened, c.loads) << c.name;
    }
}

TEST(ApngReader, TruncationAtEveryChunkBoundaryKeepsTheWholeFrames) {
    for (const bool hidden : {false, true}) {
        ApngWriter writer = ThreeFrames();
        if (hidden) writer.HiddenDefault();
        const TestApng png = writer.Build();
        for (const std::size_t start : png.chunkStarts) {
            for (const std::size_t cut : {start, start + 5}) {
                if (cut > png.bytes.size()) continue;
                const std::vector<uint8_t> bytes(png.bytes.begin(), png.bytes.begin() + cut);
                std::size_t whole = 0;
                for (const std::size_t end : png.frameWhole) whole += end <= cut;
                const Read read = ReadAll(bytes);
                const std::string where = (hidden ? "hidden default, cut at " : "cut at ") + std::to_string(cut);
                EXPECT_EQ(read.frames.size(), whole) << where;
                EXPECT_EQ(read.error.empty(), cut == png.bytes.size()) << where << ": " << read.error;
                if (read.loaded) {
                    EXPECT_EQ(ScanPng(bytes, {}).frames, static_cast<int>(whole)) << where;
                }
            }
        }
    }
}

// A frame's zlib stream may run on past its rows (zeros deflated a thousand to one). A little
// is read as browsers read it; more than a frame of its size could need is refused before it is
// read or inflated, the frames before it kept: a frame costs what its pixels cost.
TEST(ApngReader, DataPastTheRowsCostsNoMoreThanTheFrame) {
    const Read clean = ReadAll(ThreeFrames().Build().bytes);
    ASSERT_EQ(clean.frames.size(), 3u) << clean.error;
    const struct {
        std::size_t zeros;
        std::size_t frames;
        const char* error;
    } cases[] = {
        {1 << 10, 3, ""},
        {1 << 24, 1, "frame 2 holds more data than a 2 x 2 image can need"},
    };
    for (const auto& c : cases) {
        ApngWriter writer(4, 2);
        TestApngFrame second{2, 2, 1, 0, 1, 20, 0, 0, Fill(4, {0, 255, 0, 255})};
        second.zerosAfter = c.zeros;
        writer.Plays(0)
            .Frame({4, 2, 0, 0, 1, 10, 0, 0, Fill(8, {255, 0, 0, 255})})
            .Frame(second)
            .Frame({1, 1, 3, 1, 3, 100, 0, 0, Fill(1, {0, 0, 255, 255})});
        const TestApng png = writer.Build();
        ASSERT_GT(png.bytes.size(), c.zeros / 1100);
        const Read read = ReadAll(png.bytes);
        EXPECT_EQ(read.error, c.error) << c.zeros;
        ASSERT_EQ(read.frames.size(), c.frames) << c.zeros;
        EXPECT_TRUE(std::equal(read.frames.begin(), read.frames.end(), clean.frames.begin())) << c.zeros;
        const GifInfo scan = ScanPng(png.bytes, {});
        EXPECT_EQ(scan.error, c.error) << c.zeros;
        EXPECT_EQ(scan.frames, static_cast<int>(c.frames)) << c.zeros;
    }
}

TEST(ApngReader, DisposeAndBlendOps) {
    const std::vector<uint8_t> red = {255, 0, 0, 255}, clear = {0, 0, 0, 0}, halfGreen = {0, 255, 0, 128};
    // Two pixels on black; each row: the pixels' blue, green, red, then their coverage.
    using Frames = std::vector<std::vector<uint8_t>>;
    const std::vector<uint8_t> redClear = {0, 0, 255, 0, 0, 0, 1, 0};
    struct Case {
        const char* name;
        uint8_t firstDispose;
        TestApngFrame second;
        Frames expected;
    };
    const std::vector<Case> cases = {
        {"over a clear pixel: the pixel as it is", 0, {1, 1, 1, 0, 1, 10, 0, 1, halfGreen},
         {redClear, {0, 0, 255, 0, 128, 0, 1, 1}}},
        {"over an opaque pixel: mixed, opaque", 0, {1, 1, 0, 0, 1, 10, 0, 1, halfGreen},
         {redClear, {0, 128, 127, 0, 0, 0, 1, 0}}},
        {"source over an opaque pixel: replaced", 0, {1, 1, 0, 0, 1, 10, 0, 0, halfGreen},
         {redClear, {0, 128, 0, 0, 0, 0, 1, 0}}},
        {"source clear: uncovered", 0, {1, 1, 0, 0, 1, 10, 0, 0, clear},
         {redClear, {0, 0, 0, 0, 0, 0, 0, 0}}},
        {"after dispose background: over a clear canvas", 1, {1, 1, 1, 0, 1, 10, 0, 1, red},
         {redClear, {0, 0, 0, 0, 0, 255, 0, 1}}},
        {"dispose previous on the first frame: as background", 2, {1, 1, 1, 0, 1, 10, 0, 1, red},
         {redClear, {0, 0, 0, 0, 0, 255, 0, 1}}},
    };
    for (const auto& c : cases) {
        ApngWriter w(2, 1);
        w.Plays(1).Frame({2, 1, 0, 0, 1, 10, c.firstDispose, 0, ApngWriter::Join(red, clear)}).Frame(c.second);
        const Read read = ReadAll(w.Build().bytes, kBrowserFrames, 0x000000);
        EXPECT_EQ(read.frames, c.expected) << c.name;
    }
    // Dispose previous after the second frame: the third sees the canvas of the first again.
    ApngWriter w(2, 1);
    w.Plays(1)
        .Frame({2, 1, 0, 0, 1, 10, 0, 0, ApngWriter::Join(red, clear)})
        .Frame({1, 1, 1, 0, 1, 10, 2, 0, red})
        .Frame({1, 1, 0, 0, 1, 10, 0, 1, clear});
    const Read read = ReadAll(w.Build().bytes, kBrowserFrames, 0x000000);
    EXPECT_EQ(read.frames, (Frames{redClear, {0, 0, 255, 0, 0, 255, 1, 1}, redClear}));
}

TEST(ApngReader, DelaysAndPlays) {
    const std::vector<uint8_t> px = {1, 2, 3, 255};
    const struct {
        uint16_t num, den;
        std::vector<int> shown, merged;  // every image a frame; delay 0 joined to the next
    } delays[] = {
        {1, 10, {100, 50}, {100, 50}},  {5, 0, {50, 50}, {50, 50}},  // a denominator of 0 is 100
        {1, 1000, {1, 50}, {1, 50}},    {0, 7, {100, 50}, {50}},
        {1, 3, {333, 50}, {333, 50}},
    };
    for (const auto& d : delays) {
        ApngWriter w(1, 1);
        w.Plays(0).Frame({1, 1, 0, 0, d.num, d.den, 0, 0, px}).Frame({1, 1, 0, 0, 1, 20, 0, 0, px});
        const TestApng png = w.Build();
        EXPECT_EQ(ReadAll(png.bytes, kBrowserFrames).delays, d.shown) << d.num << "/" << d.den;
        EXPECT_EQ(ReadAll(png.bytes).delays, d.merged) << d.num << "/" << d.den;
        EXPECT_EQ(ScanPng(png.bytes, kBrowserFrames).delaysMs, d.shown) << d.num << "/" << d.den;
        EXPECT_EQ(ScanPng(png.bytes, {}).delaysMs, d.merged) << d.num << "/" << d.den;
    }
    // num_plays counts every play; the scan gives GIF's count of repeats.
    const struct {
        std::optional<uint32_t> plays;
        std::optional<int> repeats;
    } plays[] = {{std::nullopt, std::nullopt}, {0, 0}, {1, std::nullopt}, {2, 1}, {70000, 65535}};
    for (const auto& p : plays) {
        ApngWriter w(1, 1);
        if (p.plays) w.Plays(*p.plays);
        w.Frame({1, 1, 0, 0, 1, 10, 0, 0, px});
        const GifInfo info = ScanPng(w.Build().bytes, {});
        EXPECT_EQ(info.loopExtension, p.repeats) << p.plays.value_or(99);
        EXPECT_EQ(info.format, p.plays ? "APNG" : "PNG");
        EXPECT_EQ(info.frames, 1);
    }
}

TEST(ApngReader, ScreensPastTheLimitsAreRefusedBeforeAllocating) {
    for (const auto& [w, h, ok] : std::vector<std::tuple<uint32_t, uint32_t, bool>>{
             {8191, 1, true}, {8192, 1, false}, {4096, 4096, false}, {4095, 4096, true}, {0, 5, false}}) {
        ApngWriter writer(w, h);
        writer.Frame({1, 1, 0, 0, 1, 10, 0, 0, {0, 0, 0, 255}});
        std::vector<uint8_t> bytes = writer.Build().bytes;
        const GifInfo info = ScanPng(bytes, {});
        EXPECT_EQ(info.opened, ok) << w << " x " << h << ": " << info.error;
        if (!ok) {
            EXPECT_FALSE(ReadAll(bytes).loaded) << w << " x " << h;
        }
    }
}
