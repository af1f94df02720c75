#include <FreeImage.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <numeric>

#include "base/AtomicFile.h"
#include "base/Leftovers.h"
#include "gif/CGifAnimation.h"
#include "support/TestJob.h"
#include "jobs/ExtractJob.h"
#include "support/GifBuilder.h"

namespace fs = std::filesystem;

namespace {


// 5 x 4, three frames: a red square on white, a green bar over it, then a blue pixel; the first
// frame leaves a transparent corner that must come out white. A delay-0 image merges into the
// third frame.
GifBuilder ThreeFrames() {
    GifImage first;
    first.width = 4;
    first.height = 3;
    first.pixels.assign(12, 0);
    first.pixels[0] = 3;  // transparent
    first.control = true;
    first.delay = 10;
    first.transparent = 3;
    GifBuilder builder(5, 4);
    builder.GlobalColors({kRed, kGreen, kBlue, {1, 2, 3}})
        .Image(first)
        .Solid(0, 2, 5, 1, 1, 20, 2)
        .Solid(1, 1, 1, 1, 1, 0)
        .Solid(4, 3, 1, 1, 2, 30);
    return builder;
}

// The composed frames as the reader gives them, each as rows of RGB pixels.
std::vector<std::vector<GifRgb>> ComposedFrames(const std::string& path) {
    std::vector<std::vector<GifRgb>> frames;
    CGifAnimation gif;
    if (gif.Load(path.c_str()) != 0) return frames;
    while (gif.NextFrame() > 0) {
        std::vector<GifRgb> frame;
        for (int y = 0; y < gif.Height(); ++y) {
            for (int x = 0; x < gif.Width(); ++x) {
                const uint8_t* p = gif.FrameArea() + y * gif.Stride() + 3 * x;
                frame.push_back({p[2], p[1], p[0]});
            }
        }
        frames.push_back(frame);
    }
    return frames;
}

// A written image file, read back with FreeImage as rows of RGB pixels, top row first.
struct ReadBack {
    unsigned width = 0;
    unsigned height = 0;
    unsigned bpp = 0;
    std::vector<GifRgb> pixels;
};

ReadBack Read(const std::string& path) {
    ReadBack result;
    FIBITMAP* image = FreeImage_Load(FreeImage_GetFileType(path.c_str(), 0), path.c_str(), 0);
    if (!image) return result;
    result.width = FreeImage_GetWidth(image);
    result.height = FreeImage_GetHeight(image);
    result.bpp = FreeImage_GetBPP(image);
    for (unsigned y = 0; y < result.height; ++y) {
        for (unsigned x = 0; x < result.width; ++x) {
            RGBQUAD q{};
            FreeImage_GetPixelColor(image, x, result.height - 1 - y, &q);
            result.pixels.push_back({q.rgbRed, q.rgbGreen, q.rgbBlue});
        }
    }
    FreeImage_Unload(image);
    return result;
}

class ExtractJobTest : public ::testing::Test {
protected:
    void SetUp() override {
        gifPath = (dir / "anim.gif").string();
        ASSERT_TRUE(ThreeFrames().Write(gifPath));
        out = dir / "out";
        fs::create_directory(out);
        settings.gif = gifPath;
        settings.output = out.string();
    }
    std::vector<std::string> Written() const { return ListFolder(out); }

    ScratchDir dir;
    fs::path out;
    std::string gifPath;
    TestJob settings;
};

TEST_F(ExtractJobTest, ThreeFramesComposedByTheReaderAreWrittenAsTheyAre) {
    const auto frames = ComposedFrames(gifPath);
    ASSERT_EQ(frames.size(), 3u);
    // What the frames must show, independently of the reader.
    EXPECT_EQ(frames[0][0], kWhite);  // transparent corner on white
    EXPECT_EQ(frames[0][1], kRed);
    EXPECT_EQ(frames[0][4], kWhite);   // outside the first image
    EXPECT_EQ(frames[1][10], kGreen);  // the bar, row 2
    EXPECT_EQ(frames[1][14], kGreen);
    EXPECT_EQ(frames[2][10], kRed);  // the bar restored to red background (index 0)
    EXPECT_EQ(frames[2][14], kRed);
    EXPECT_EQ(frames[2][6], kGreen);  // the delay-0 pixel merged into frame 3
    EXPECT_EQ(frames[2][19], kBlue);

    const struct {
        int format;
        const char* extension;
        bool lossless;
    } formats[] = {{0, ".bmp", true}, {1, ".png", true}, {2, ".jpg", false}, {3, ".tga", true}};
    for (const auto& f : formats) {
        SCOPED_TRACE(f.extension);
        settings.extract.format = static_cast<ExtractFormat>(f.format);
        std::vector<int> progress;
        JobControl control;
        control.progress = [&](int done) { progress.push_back(done); };
        const JobResult result = ExtractFrames(settings, control);
        ASSERT_TRUE(result.Succeeded()) << result.error;
        EXPECT_EQ(result.input, gifPath);
        EXPECT_TRUE(result.warnings.empty());
        EXPECT_EQ(result.frames, 3);
        EXPECT_EQ(progress, (std::vector<int>{1, 2, 3}));
        ASSERT_EQ(result.outputs.size(), 3u);
        for (size_t i = 0; i < 3; ++i) {
            const std::string expected = out.string() + "/anim_f" + std::to_string(i) + f.extension;
            EXPECT_EQ(result.outputs[i], expected);
            const ReadBack image = Read(expected);
            EXPECT_EQ(image.width, 5u);
            EXPECT_EQ(image.height, 4u);
            EXPECT_EQ(image.bpp, 24u);
            if (f.lossless) {
                EXPECT_EQ(image.pixels, frames[i]) << "frame " << i;
            } else if (image.pixels.size() == frames[i].size()) {
                // JPEG keeps brightness per pixel; colour is shared between neighbours.
                auto luma = [](const GifRgb& c) { return 0.299 * c.r + 0.587 * c.g + 0.114 * c.b; };
                for (size_t p = 0; p < image.pixels.size(); ++p) {
                    EXPECT_NEAR(luma(image.pixels[p]), luma(frames[i][p]), 64) << "pixel " << p;
                }
            }
        }
    }
    // Twelve files, no temporary file left behind.
    EXPECT_EQ(Written().size(), 12u);
}

TEST_F(ExtractJobTest, TitleComesFromThePath) {
    const std::string renamed = (dir / "Other Name.GIF").string();
    fs::copy_file(gifPath, renamed);
    settings.gif = renamed;
    settings.output = out.string() + "/";  // one separator only
    const JobResult result = ExtractFrames(settings);
    ASSERT_TRUE(result.Succeeded()) << result.error;
    ASSERT_EQ(result.outputs.size(), 3u);
    EXPECT_EQ(result.outputs[0], out.string() + "/Other Name_f0.bmp");
    EXPECT_EQ(Written(), (std::vector<std::string>{"Other Name_f0.bmp", "Other Name_f1.bmp",
                                                   "Other Name_f2.bmp"}));
}

TEST_F(ExtractJobTest, Utf8PathsOpenAndWrite) {
    const fs::path folder = dir / "Ausgabe ü 出力";
    fs::create_directory(folder);
    const std::string name = (dir / "añim 動画.gif").string();
    ASSERT_TRUE(ThreeFrames().Write(name));
    settings.gif = name;
    settings.output = folder.string();
    settings.extract.format = ExtractFormat::Png;
    const JobResult result = ExtractFrames(settings);
    ASSERT_TRUE(result.Succeeded()) << result.error;
    EXPECT_TRUE(fs::exists(folder / "añim 動画_f2.png"));
}

TEST_F(ExtractJobTest, RefusesBadSettingsBeforeWritingAnything) {
    const struct {
        const char* name;
        std::string folder;
        std::string error;
    } cases[] = {
        {"empty folder", "", "no output folder given"},
        {"missing folder", (dir / "nowhere").string(),
         "the output folder " + (dir / "nowhere").string() + " does not exist"},
        {"a file for a folder", gifPath, gifPath + " is not a folder"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        settings.output = c.folder;
        const JobResult result = ExtractFrames(settings);
        EXPECT_EQ(result.status, JobResult::Status::Failed);
        EXPECT_EQ(result.error, c.error);
        EXPECT_EQ(result.frames, 0);
        EXPECT_TRUE(result.outputs.empty());
    }
    EXPECT_TRUE(Written().empty());
}

TEST_F(ExtractJobTest, GifThatDoesNotOpenIsAFailureNamingTheCause) {
    settings.gif = (dir / "missing.gif").string();
    JobResult result = ExtractFrames(settings);
    EXPECT_EQ(result.status, JobResult::Status::Failed);
    EXPECT_EQ(result.error, "No such file or directory");

    settings.gif = (dir / "text.gif").string();
    ASSERT_TRUE(WriteBytes(settings.gif, {'n', 'o', 't', ' ', 'a', ' ', 'g', 'i', 'f'}));
    result = ExtractFrames(settings);
    EXPECT_EQ(result.status, JobResult::Status::Failed);
    EXPECT_EQ(result.error, "Data is not in GIF format");
    EXPECT_TRUE(Written().empty());
}

TEST_F(ExtractJobTest, TruncatedGifKeepsItsFramesWithAWarning) {
    std::vector<uint8_t> bytes = ThreeFrames().Build();
    bytes.resize(bytes.size() - 3);  // into the last image
    ASSERT_TRUE(WriteBytes(gifPath, bytes));
    const JobResult result = ExtractFrames(settings);
    ASSERT_TRUE(result.Succeeded()) << result.error;
    EXPECT_EQ(result.frames, 2);
    ASSERT_EQ(result.warnings.size(), 1u);
    EXPECT_EQ(result.warnings[0], "the file ends inside image 4; kept the 2 frames before it");
    EXPECT_EQ(Written(), (std::vector<std::string>{"anim_f0.bmp", "anim_f1.bmp"}));

    // Broken before the first frame: nothing to keep, so a failure.
    bytes.resize(46);  // inside the first image's data
    ASSERT_TRUE(WriteBytes(gifPath, bytes));
    const JobResult none = ExtractFrames(settings);
    EXPECT_EQ(none.status, JobResult::Status::Failed);
    EXPECT_FALSE(none.error.empty());
}

TEST_F(ExtractJobTest, FailedSaveNamesTheFileAndLeavesNoTemporaryFile) {
    fs::create_directory(out / "anim_f1.bmp");  // a folder where frame 1 should go
    const JobResult result = ExtractFrames(settings);
    EXPECT_EQ(result.status, JobResult::Status::Failed);
    EXPECT_EQ(result.error, "cannot write " + out.string() + "/anim_f1.bmp: Is a directory");
    EXPECT_EQ(result.frames, 1);
    EXPECT_EQ(Written(), (std::vector<std::string>{"anim_f0.bmp", "anim_f1.bmp"}));
}

TEST_F(ExtractJobTest, ReplacesEarlierFilesWholeKeepingTheirMode) {
    ASSERT_TRUE(WriteBytes(out / "anim_f0.png", std::vector<uint8_t>(100000, 'x')));
    fs::permissions(out / "anim_f0.png", fs::perms::owner_read | fs::perms::owner_write |
                                             fs::perms::group_read);
    settings.extract.format = ExtractFormat::Png;
    ASSERT_TRUE(ExtractFrames(settings).Succeeded());
    const ReadBack image = Read((out / "anim_f0.png").string());
    EXPECT_EQ(image.width, 5u);
    EXPECT_LT(fs::file_size(out / "anim_f0.png"), 100000u);
    EXPECT_EQ(fs::status(out / "anim_f0.png").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

// Frame files whose names take the whole 255 bytes a name may have: the temporary files beside
// them must still fit.
TEST_F(ExtractJobTest, FrameNamesOfTheLongestLengthAreWritten) {
    const std::string title(255 - std::string("_f0.png").size(), 'b');
    settings.gif = (dir / (title + ".gif")).string();
    ASSERT_TRUE(ThreeFrames().Write(settings.gif));
    settings.extract.format = ExtractFormat::Png;
    const JobResult result = ExtractFrames(settings);
    ASSERT_TRUE(result.Succeeded()) << result.error;
    EXPECT_EQ(Written(), (std::vector<std::string>{title + "_f0.png", title + "_f1.png",
                                                   title + "_f2.png"}));
}

TEST_F(ExtractJobTest, CancelStopsBetweenFrames) {
    std::atomic<bool> cancel{false};
    JobControl control;
    control.cancel = &cancel;
    control.progress = [&](int done) {
        if (done == 1) cancel = true;
    };
    const JobResult result = ExtractFrames(settings, control);
    EXPECT_EQ(result.status, JobResult::Status::Cancelled);
    EXPECT_EQ(result.frames, 1);
    EXPECT_EQ(Written(), (std::vector<std::string>{"anim_f0.bmp"}));

    cancel = true;  // cancelled before it starts: nothing written
    fs::remove(out / "anim_f0.bmp");
    EXPECT_EQ(ExtractFrames(settings, control).status, JobResult::Status::Cancelled);
    EXPECT_TRUE(Written().empty());
}

// An extraction lists its folder for leftovers once, not once a frame: a leftover that turns
// up while it runs is the next run's to remove.
TEST_F(ExtractJobTest, ListsItsFolderForLeftoversOncePerRun) {
    const pid_t dead = fork();  // a process that is gone: its temporary files are leftovers
    if (dead == 0) _exit(0);
    ASSERT_EQ(waitpid(dead, nullptr, 0), dead);
    const fs::path late = out / TempFileName("anim_f2.bmp", dead, 1, 255);
    JobControl control;
    control.progress = [&](int done) {
        if (done == 1) WriteText(late, "");
    };
    ASSERT_TRUE(ExtractFrames(settings, control).Succeeded());
    EXPECT_TRUE(fs::exists(late));
    ForgetListedFolders();  // a new run
    ASSERT_TRUE(ExtractFrames(settings).Succeeded());
    EXPECT_FALSE(fs::exists(late));
}

// The width the numbers get from the last frame's number, whichever frames are chosen; a
// width given stands, and a pattern's own.
TEST_F(ExtractJobTest, NumbersAreAsWideAsTheLastFramesNumberWhenAsked) {
    const struct {
        int frames;
        int digits;
        const char* pattern;
        std::vector<FrameRange> chosen;
        std::vector<std::string> names;
    } cases[] = {
        {1, ExtractOptions::kDigitsOfLastFrame, "", {}, {"anim_f0.png"}},
        {10, ExtractOptions::kDigitsOfLastFrame, "", {{0, 0}, {9, 9}}, {"anim_f0.png", "anim_f9.png"}},
        {11, ExtractOptions::kDigitsOfLastFrame, "", {{0, 0}, {10, 10}}, {"anim_f00.png", "anim_f10.png"}},
        {11, ExtractOptions::kDigitsOfLastFrame, "", {{3, 3}}, {"anim_f03.png"}},
        {101, ExtractOptions::kDigitsOfLastFrame, "", {{7, 7}, {100, 100}}, {"anim_f007.png", "anim_f100.png"}},
        {11, 0, "", {{9, 10}}, {"anim_f10.png", "anim_f9.png"}},
        {3, 4, "", {{2, 2}}, {"anim_f0002.png"}},
        {11, ExtractOptions::kDigitsOfLastFrame, "x%d.png", {{0, 0}, {10, 10}}, {"x0.png", "x10.png"}},
        {3, 5, "%02d%%.png", {{1, 1}}, {"01%.png"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.frames) + " frames, " + c.pattern);
        GifBuilder gif(2, 2);
        gif.GlobalColors({kRed, kBlue});
        for (int i = 0; i < c.frames; ++i) gif.Solid(0, 0, 2, 2, static_cast<uint8_t>(i % 2), 10);
        ASSERT_TRUE(gif.Write(gifPath));
        fs::remove_all(out);
        fs::create_directory(out);
        settings.extract.format = ExtractFormat::Png;
        settings.extract.digits = c.digits;
        settings.extract.pattern = c.pattern;
        settings.extract.frames.ranges = c.chosen;
        const JobResult result = ExtractFrames(settings);
        ASSERT_TRUE(result.Succeeded()) << result.error;
        EXPECT_EQ(Written(), c.names);
    }
}

// The chosen frames are the frames of those numbers, in order, each in a file named after its
// number; progress plans and counts only them.
TEST_F(ExtractJobTest, ChosenFramesKeepTheirNumbersAndProgressCountsThem) {
    const auto frames = ComposedFrames(gifPath);
    ASSERT_EQ(frames.size(), 3u);
    const struct {
        std::vector<FrameRange> chosen;
        std::vector<int> numbers;
    } cases[] = {{{{1, 1}}, {1}},
                 {{{2, 2}, {0, 0}}, {0, 2}},
                 {{{1, FrameRange::kToTheEnd}}, {1, 2}},
                 {{{0, 2}, {1, 1}}, {0, 1, 2}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.numbers.size() * 10 + c.numbers.front());
        fs::remove_all(out);
        fs::create_directory(out);
        settings.extract.frames.ranges = c.chosen;
        std::vector<int> progress;
        int planned = -1;
        JobControl control;
        control.planned = [&](const JobPlan& plan) { planned = plan.frames; };
        control.progress = [&](int done) { progress.push_back(done); };
        const JobResult result = ExtractFrames(settings, control);
        ASSERT_TRUE(result.Succeeded()) << result.error;
        EXPECT_TRUE(result.warnings.empty());
        EXPECT_EQ(planned, static_cast<int>(c.numbers.size()));
        EXPECT_EQ(result.frames, planned);
        std::vector<int> counted(c.numbers.size());
        std::iota(counted.begin(), counted.end(), 1);
        EXPECT_EQ(progress, counted);
        ASSERT_EQ(result.outputs.size(), c.numbers.size());
        for (std::size_t k = 0; k < c.numbers.size(); ++k) {
            const int n = c.numbers[k];
            EXPECT_EQ(result.outputs[k], out.string() + "/anim_f" + std::to_string(n) + ".bmp");
            EXPECT_EQ(Read(result.outputs[k]).pixels, frames[static_cast<std::size_t>(n)]) << n;
        }
        EXPECT_EQ(Written().size(), c.numbers.size());
    }
}

// Nothing is written when the frames cannot be written as planned: a chosen frame the GIF does
// not have, a pattern that names none, a frame file that is the input itself.
TEST_F(ExtractJobTest, PlansThatCannotBeCarriedOutWriteNothing) {
    const std::string input = (out / "f1.png").string();  // a GIF, whatever its name
    fs::copy_file(gifPath, input);
    const struct {
        std::vector<FrameRange> chosen;
        const char* pattern;
        std::string gif;
        std::string error;
    } cases[] = {
        {{{0, 1}, {3, 3}}, "", gifPath, "there is no frame 3: the GIF has 3 frames, 0 to 2"},
        {{{2, 5}}, "", gifPath, "the range 2-5 goes past the last frame: the GIF has 3 frames, 0 to 2"},
        {{}, "a/%d.png", gifPath, "the name pattern a/%d.png: it names files of the output folder: no '/'"},
        {{}, "%d_%d.png", gifPath, "the name pattern %d_%d.png: it has more than one frame number (%d); a name has one"},
        {{}, "f%d.png", input,
         "its frame file " + out.string() + "/f1.png is the same file as the input " + input +
             "; nothing was written"},
        {{{0, 0}}, "f%d.png", input, ""},  // frame 1 is not written: no clash
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pattern);
        settings.gif = c.gif;
        settings.extract.frames.ranges = c.chosen;
        settings.extract.pattern = c.pattern;
        JobControl control;
        int planned = 0;
        control.planned = [&](const JobPlan& plan) { planned = plan.frames; };
        const JobResult result = ExtractFrames(settings, control);
        EXPECT_EQ(result.error, c.error);
        EXPECT_EQ(result.Succeeded(), c.error.empty());
        EXPECT_EQ(planned, c.error.empty() ? 1 : 0);
        const std::vector<std::string> written =
            c.error.empty() ? std::vector<std::string>{"f0.png", "f1.png"}
                            : std::vector<std::string>{"f1.png"};
        EXPECT_EQ(Written(), written);
        EXPECT_EQ(ReadFileBytes(input), ReadFileBytes(gifPath));
    }
}

// Frames chosen before the place where the file breaks off are written whole, with a warning;
// decoding stops after the last of them.
TEST_F(ExtractJobTest, ChosenFramesBeforeABreakAreKeptWithAWarning) {
    std::vector<uint8_t> bytes = ThreeFrames().Build();
    bytes.resize(bytes.size() - 3);  // into the last image
    ASSERT_TRUE(WriteBytes(gifPath, bytes));
    settings.extract.frames.ranges = {{1, 1}};
    const JobResult result = ExtractFrames(settings);
    ASSERT_TRUE(result.Succeeded()) << result.error;
    EXPECT_EQ(result.frames, 1);
    ASSERT_EQ(result.warnings.size(), 1u);
    EXPECT_EQ(result.warnings[0],
              "the file ends inside image 4; the frames chosen come before it");
    EXPECT_EQ(Written(), (std::vector<std::string>{"anim_f1.bmp"}));
    settings.extract.frames.ranges = {{2, 2}};  // past the break: not there
    EXPECT_EQ(ExtractFrames(settings).error, "there is no frame 2: the GIF has 2 frames, 0 to 1");
}

TEST(GifTitle, IsTheFileNameWithoutFolderAndExtension) {
    const std::pair<const char*, const char*> cases[] = {
        {"anim.gif", "anim"},
        {"anim.GIF", "anim"},
        {"/in/anim.Gif", "anim"},
        {"in/x.tar.gif", "x.tar"},
        {"folder.d/noext", "noext"},
        {"clip.png", "clip"},
        {"dir/", ""},
        {"", ""},
        {"ünï 動画.gif", "ünï 動画"},
    };
    for (const auto& [path, title] : cases) EXPECT_EQ(TitleFromPath(path), title) << path;
}

}  // namespace
