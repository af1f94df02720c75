// The movies as Ruffle plays them in headless Chromium (harness.js beside this file): the
// pictures it shows are the frames `quorvel extract` writes, in order and looping, and a click
// on the stage opens the target URL, or nothing when there is none.

#include <FreeImage.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "support/CliRunner.h"
#include "support/GifBuilder.h"

namespace fs = std::filesystem;

namespace {

constexpr int kFps = 5;
constexpr double kMinPsnr = 30.0;
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
             // quarter, the second the first frame through every other pixel of a patch.
             GifBuilder gif = WholeFrames(
                 24, 16, {{200, 30, 30}, {30, 30, 200}, {240, 240, 240}, {0, 0, 0}}, 1,
                 [](int, int x, int y) { return uint8_t(x < 12 && y < 8 ? 3 : y / 2 % 3); }, 3);
             GifImage patch = Patch(6, 4, 12, 8, 3);
             for (int i = 0; i < 96; ++i) patch.pixels.push_back(uint8_t((i + i / 12) % 2 ? 3 : 1));
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
        result = sum == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 * count / sum);
    }
    for (FIBITMAP* bitmap : {raw[0], raw[1], img[0], img[1]})
        if (bitmap) FreeImage_Unload(bitmap);
    return result;
}

class PlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::string(QUORVEL_NODE).empty()) GTEST_SKIP() << "node not found";
        for (const Case& c : Cases()) {
            SCOPED_TRACE(c.name);
            Movie movie;
            movie.source = &c;
            const fs::path gif = dir / (c.name + ".gif");
            const GifBuilder builder = c.draw();
            ASSERT_TRUE(builder.Write(gif)) << builder.Error();
            Fields convert = {"convert", gif.string(), "--quality",
                              "high",    "--fps",      std::to_string(kFps)};
            if (!c.url.empty()) convert.insert(convert.end(), {"--url", c.url});
            CliRun run = RunQuorvel(convert, dir.Path(), dir.Path());
            ASSERT_EQ(run.status, 0) << run.err;
            movie.swf = dir / (c.name + ".swf");
            fs::create_directory(dir / c.name);
            run = RunQuorvel(
                {"extract", gif.string(), "-o", (dir / c.name).string(), "--format", "png"},
                dir.Path(), dir.Path());
            ASSERT_EQ(run.status, 0) << run.err;
            std::istringstream lines(run.out);
            for (std::string line; std::getline(lines, line);) movie.frames.push_back(line);
            FIBITMAP* first = FreeImage_Load(FIF_PNG, movie.frames.at(0).c_str(), 0);
            ASSERT_NE(first, nullptr);
            movie.width = int(FreeImage_GetWidth(first));
            movie.height = int(FreeImage_GetHeight(first));
            FreeImage_Unload(first);
            movies.push_back(movie);
        }
    }

    // Runs one batch of requests in the harness and returns its result lines, split at tabs.
    // Skips the test when the harness says the player cannot be had.
    void Play(const std::vector<Fields>& requests, std::vector<Fields>& result) {
        const fs::path batch = dir / "batch.txt", out = dir / "harness.out",
                       err = dir / "harness.err";
        std::ofstream file(batch);
        for (const Fields& request : requests) {
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
        if (status == kHarnessSkipped) GTEST_SKIP() << diagnostics;
        EXPECT_EQ(status, 0) << diagnostics;
        std::cout << diagnostics;
        std::ifstream results(out);
        for (std::string line; std::getline(results, line);) {
            Fields fields;
            std::istringstream split(line);
            for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
            result.push_back(fields);
        }
    }

    // QUORVEL_PLAYER_KEEP=DIR keeps the GIFs, movies, extracted frames and Ruffle's pictures.
    void TearDown() override {
        if (const char* keep = std::getenv("QUORVEL_PLAYER_KEEP")) {
            fs::create_directories(keep);
            fs::copy(dir.Path(), keep,
                     fs::copy_options::recursive | fs::copy_options::overwrite_existing);
        }
    }

    ScratchDir dir;
    std::vector<Movie> movies;
};

TEST_F(PlayerTest, EveryFrameShowsWhatExtractWrites) {
    std::vector<Fields> requests;
    for (const Movie& m : movies)
        for (std::size_t k = 0; k < m.frames.size(); ++k)
            requests.push_back(
                {"frame", m.swf.string(), std::to_string(k),
                 (dir / (m.source->name + "_ruffle_" + std::to_string(k) + ".png")).string()});
    std::vector<Fields> lines;
    Play(requests, lines);
    if (IsSkipped()) return;
    ASSERT_EQ(lines.size(), requests.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Fields& request = requests[i];
        SCOPED_TRACE(request[1] + " frame " + request[2]);
        ASSERT_EQ(lines[i].size(), 5u);
        ASSERT_EQ(lines[i][3], "ok") << lines[i][4];
        const Movie& m = *std::find_if(movies.begin(), movies.end(),
                                       [&](const Movie& movie) { return movie.swf == request[1]; });
        EXPECT_GE(Psnr(request[3], m.frames[std::stoul(request[2])]), kMinPsnr);
    }
}

TEST_F(PlayerTest, TimelineShowsEveryFrameInOrderAndLoops) {
    std::vector<Fields> requests;
    std::map<std::string, const Movie*> bySwf;
    for (const Movie& m : movies) {
        if (m.frames.size() < 2) continue;
        Fields request = {"timeline", m.swf.string(),
                          std::to_string(2.0 * double(m.frames.size()) / kFps + 1.5)};
        request.insert(request.end(), m.frames.begin(), m.frames.end());
        requests.push_back(request);
        bySwf[m.swf.string()] = &m;
    }
    std::vector<Fields> lines;
    Play(requests, lines);
    if (IsSkipped()) return;
    std::map<std::string, std::vector<Fields>> shows;
    std::map<std::string, std::string> endings;
    for (const Fields& line : lines) {
        ASSERT_GE(line.size(), 4u);
        if (line[2] == "show" && line.size() == 7)
            shows[line[1]].push_back(line);
        else if (line[2] == "end")
            endings[line[1]] = line[3];
        else
            ADD_FAILURE() << line[1] << ": " << line[3];
    }
    for (const auto& [swf, movie] : bySwf) {
        SCOPED_TRACE(movie->source->name);
        const int n = int(movie->frames.size());
        const std::vector<Fields>& runs = shows[swf];
        ASSERT_GE(runs.size(), std::size_t(2 * n + 1)) << "not two loops";
        EXPECT_EQ(runs.front()[5], "0");
        std::vector<int> starts;  // of frame 0
        for (std::size_t i = 0; i < runs.size(); ++i) {
            const int label = std::stoi(runs[i][5]);
            EXPECT_GE(std::stod(runs[i][6]), kMinPsnr) << "at " << runs[i][3] << " ms";
            if (i > 0) {
                EXPECT_EQ(label, (std::stoi(runs[i - 1][5]) + 1) % n)
                    << "at " << runs[i][3] << " ms";
            }
            if (label == 0) starts.push_back(std::stoi(runs[i][3]));
        }
        EXPECT_EQ(endings[swf], "loops");
        // The first loop may stall while the browser sets up the renderer; time the last one.
        ASSERT_GE(starts.size(), 3u);
        EXPECT_NEAR(starts.back() - starts[starts.size() - 2], 1000.0 * n / kFps, 250.0 * n / kFps)
            << "one loop";
    }
}

TEST_F(PlayerTest, ClickAnywhereOpensTheTargetUrlOnly) {
    std::vector<Fields> requests;
    for (const Movie& m : movies) {
        const int w = m.width - 1, h = m.height - 1;
        Fields request = {"click", m.swf.string()};
        for (int p : {0, 0, w, 0, 0, h, w, h, w / 2, h / 2}) request.push_back(std::to_string(p));
        requests.push_back(request);
    }
    std::vector<Fields> lines;
    Play(requests, lines);
    if (IsSkipped()) return;
    ASSERT_EQ(lines.size(), 5 * movies.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Fields& request = requests[i / 5];
        const std::string& url = movies[i / 5].source->url;
        Fields expected = {"click", request[1], request[2 + i % 5 * 2], request[3 + i % 5 * 2]};
        const Fields tail = url.empty() ? Fields{"nothing"} : Fields{"opens", url};
        expected.insert(expected.end(), tail.begin(), tail.end());
        EXPECT_EQ(lines[i], expected);
    }
}

}  // namespace
