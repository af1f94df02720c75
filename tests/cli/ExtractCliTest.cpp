#include <FreeImage.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "gif/CGifAnimation.h"
#include "support/CliTest.h"
#include "support/CliRunner.h"
#include "support/GifBuilder.h"

namespace fs = std::filesystem;

namespace {

using ExtractCliTest = CliTest;

// 6 x 4, three frames, the second with a transparent hole over the first.
GifBuilder ThreeFrames() {
    GifImage second;
    second.left = 1;
    second.top = 1;
    second.width = 3;
    second.height = 2;
    second.pixels = {1, 3, 1, 1, 1, 3};
    second.control = true;
    second.delay = 10;
    second.transparent = 3;
    GifBuilder builder(6, 4);
    builder.GlobalColors({{200, 10, 10}, {10, 200, 10}, {10, 10, 200}, {5, 5, 5}})
        .Solid(0, 0, 6, 4, 0, 10)
        .Image(second)
        .Solid(5, 3, 1, 1, 2, 10, 1);
    return builder;
}

TEST_F(ExtractCliTest, WritesEveryComposedFrameAsPng) {
    const fs::path gif = dir / "clip.gif";
    ASSERT_TRUE(ThreeFrames().Write(gif));
    fs::create_directory(dir / "frames");
    const CliRun run =
        Quorvel({"extract", gif.string(), "-o", (dir / "frames").string(), "--format", "png"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");  // no progress: standard error is not a terminal
    const std::string folder = (dir / "frames").string();
    EXPECT_EQ(run.out,
              folder + "/clip_f0.png\n" + folder + "/clip_f1.png\n" + folder + "/clip_f2.png\n");

    CGifAnimation reference;
    ASSERT_EQ(reference.Load(gif.c_str()), 0);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE("frame " + std::to_string(i));
        ASSERT_GT(reference.NextFrame(), 0);
        const std::string path = folder + "/clip_f" + std::to_string(i) + ".png";
        FIBITMAP* image = FreeImage_Load(FIF_PNG, path.c_str(), 0);
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(FreeImage_GetWidth(image), 6u);
        EXPECT_EQ(FreeImage_GetHeight(image), 4u);
        EXPECT_EQ(FreeImage_GetBPP(image), 24u);
        for (int y = 0; y < 4; ++y) {
            for (int x = 0; x < 6; ++x) {
                RGBQUAD q{};
                FreeImage_GetPixelColor(image, unsigned(x), unsigned(3 - y), &q);
                const uint8_t* p = reference.FrameArea() + y * reference.Stride() + 3 * x;
                EXPECT_EQ((GifRgb{q.rgbRed, q.rgbGreen, q.rgbBlue}), (GifRgb{p[2], p[1], p[0]}))
                    << x << ", " << y;
            }
        }
        FreeImage_Unload(image);
    }
    EXPECT_EQ(reference.NextFrame(), 0);
}

TEST_F(ExtractCliTest, DefaultsToPngBesideTheInputAndQuietPrintsNothing) {
    fs::create_directory(dir / "in");
    ASSERT_TRUE(ThreeFrames().Write(dir / "in" / "a b.gif"));
    CliRun run = Quorvel({"extract", "in/a b.gif"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "in/a b_f0.png\nin/a b_f1.png\nin/a b_f2.png\n");
    EXPECT_EQ(FreeImage_GetFileType((dir / "in" / "a b_f2.png").c_str(), 0), FIF_PNG);

    run = RunQuorvel({"extract", "-q", "a b.gif", "-f", "TGA"}, dir / "in", dir.Path());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(fs::exists(dir / "in" / "a b_f2.tga"));
}

TEST_F(ExtractCliTest, InputFailuresExitOneNamingTheFile) {
    CliRun run = Quorvel({"extract", "missing.gif"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "quorvel: missing.gif: No such file or directory\n");

    ASSERT_TRUE(WriteBytes(dir / "text.gif", {'p', 'l', 'a', 'i', 'n', ' ', 't', 'e', 'x', 't'}));
    run = Quorvel({"extract", "text.gif"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "quorvel: text.gif: Data is not in GIF format\n");
}

TEST_F(ExtractCliTest, TruncatedInputWarnsAndSucceeds) {
    std::vector<uint8_t> bytes = ThreeFrames().Build();
    bytes.pop_back();  // the trailer
    ASSERT_TRUE(WriteBytes(dir / "cut.gif", bytes));
    const CliRun run = Quorvel({"extract", "-q", "cut.gif"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err,
              "quorvel: cut.gif: warning: the file ends before the trailer; kept the 3 frames "
              "before it\n");
}

TEST_F(ExtractCliTest, UsageErrorsExitTwo) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"extract"},
        {"extract", "a.gif", "--format", "gif"},
        {"extract", "a.gif", "--frobnicate"},
        {"convertify", "a.gif"},
        {"help", "nothing"},
    };
    for (const auto& args : cases) {
        std::string line;
        for (const auto& a : args) line += a + " ";
        SCOPED_TRACE(line);
        const CliRun run = Quorvel(args);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err.rfind("quorvel: ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find("--help' for"), std::string::npos) << run.err;
    }
}

TEST_F(ExtractCliTest, HelpAndVersion) {
    CliRun run = Quorvel({"--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("extract"), std::string::npos) << run.out;

    run = Quorvel({"--version"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, std::string("quorvel ") + QUORVEL_VERSION + "\n");

    for (const auto& args : {std::vector<std::string>{"help", "extract"},
                             std::vector<std::string>{"extract", "--help"}}) {
        run = Quorvel(args);
        EXPECT_EQ(run.status, 0);
        EXPECT_NE(run.out.find("Usage: quorvel extract"), std::string::npos) << run.out;
        EXPECT_NE(run.out.find("--format"), std::string::npos) << run.out;
        EXPECT_NE(run.out.find("--frames LIST"), std::string::npos) << run.out;
        EXPECT_NE(run.out.find("-o,--output DIR|PATTERN"), std::string::npos) << run.out;
    }
}


// "<prefix><number><suffix>\n" for each number, padded to digits: what extract prints.
std::string Names(const std::string& prefix, std::vector<int> numbers, int digits,
                  const std::string& suffix) {
    std::string names;
    for (const int n : numbers) {
        std::string number = std::to_string(n);
        number.insert(0, static_cast<std::size_t>(std::max(0, digits - int(number.size()))), '0');
        names += prefix + number + suffix + "\n";
    }
    return names;
}

// The files in folder and below, as paths relative to it, sorted.
std::vector<std::string> FilesBelow(const fs::path& folder) {
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (!entry.is_directory()) files.push_back(entry.path().lexically_relative(folder).string());
    std::sort(files.begin(), files.end());
    return files;
}

// Each file extract printed, in the format its options chose, and no other file written.
void ExpectWritten(const fs::path& dir, const std::string& out, FREE_IMAGE_FORMAT format,
                   std::vector<std::string> before) {
    std::vector<std::string> written;
    for (std::size_t at = 0, end; (end = out.find('\n', at)) != std::string::npos; at = end + 1) {
        const fs::path file = fs::path(out.substr(at, end - at)).lexically_normal();
        EXPECT_EQ(FreeImage_GetFileType((dir / file).c_str(), 0), format) << file;
        before.push_back(file.string());
    }
    std::sort(before.begin(), before.end());
    EXPECT_EQ(FilesBelow(dir), before);
}

TEST_F(ExtractCliTest, FormatNamesChooseTheFilesFormatAndExtension) {
    MakeGif("a.gif", 2);
    const struct {
        std::vector<std::string> format;
        const char* extension;
        FREE_IMAGE_FORMAT fif;
    } cases[] = {{{}, ".png", FIF_PNG},         {{"-f", "jpeg"}, ".jpg", FIF_JPEG},
                 {{"-f", "JPG"}, ".jpg", FIF_JPEG}, {{"--format", "bmp"}, ".bmp", FIF_BMP},
                 {{"-f", "Tga"}, ".tga", FIF_TARGA}, {{"-f", "PNG"}, ".png", FIF_PNG}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.extension);
        fs::remove_all(dir / "f");
        std::vector<std::string> args = {"extract", "a.gif", "-o", "f"};
        args.insert(args.end(), c.format.begin(), c.format.end());
        const CliRun run = Quorvel(args);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, Names("f/a_f", {0, 1}, 1, c.extension));
        ExpectWritten(dir.Path(), run.out, c.fif, {"a.gif"});
    }
}

// -o with a '%' or an image extension names the files: printf's %d and %0Nd, the extension
// choosing the format; the folder part is made when missing and read as it is.
TEST_F(ExtractCliTest, NamePatternsNameTheFramesAndTheirExtensionTheFormat) {
    MakeGif("a.gif", 3);
    fs::create_directory(dir / "one");
    MakeGif("one/c.gif", 2);
    const struct {
        std::vector<std::string> args;
        std::string out;
        FREE_IMAGE_FORMAT fif;
    } cases[] = {
        {{"a.gif", "-o", "f_%03d.png"}, Names("./f_", {0, 1, 2}, 3, ".png"), FIF_PNG},
        {{"a.gif", "-o", "new/er/%d.jpeg"}, Names("new/er/", {0, 1, 2}, 0, ".jpeg"), FIF_JPEG},
        {{"a.gif", "-o", "b_%d.BMP", "-f", "bmp"}, Names("./b_", {0, 1, 2}, 0, ".BMP"), FIF_BMP},
        {{"a.gif", "-o", "j_%d.jpg", "-f", "jpeg"}, Names("./j_", {0, 1, 2}, 0, ".jpg"), FIF_JPEG},
        {{"a.gif", "-o", "50%/100%%_%02d.tga", "--frames", "1"}, "50%/100%_01.tga\n", FIF_TARGA},
        {{"one", "-o", "p%d.png"}, Names("./p", {0, 1}, 0, ".png"), FIF_PNG},
        {{"-", "-o", "s_%d.png", "--frames", "2"}, "./s_2.png\n", FIF_PNG},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[2]);
        const std::vector<std::string> before = FilesBelow(dir.Path());
        std::vector<std::string> args = {"extract"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const CliRun run = Quorvel(args, dir / "a.gif");
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, c.out);
        ExpectWritten(dir.Path(), run.out, c.fif, before);
    }
}

// What cannot name the frames, and frame selections that are no selections, are usage errors
// that write nothing.
TEST_F(ExtractCliTest, PatternsAndSelectionsThatCannotBeUsedAreUsageErrors) {
    MakeGif("a.gif", 3);
    MakeGif("b.gif", 3);
    fs::create_directory(dir / "two");
    MakeGif("two/c.gif", 2);
    MakeGif("two/d.gif", 2);
    const struct {
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {{"a.gif", "-o", "f_%s.png"}, "-o f_%s.png: '%s' is not a frame number: write %d, or %03d"},
        {{"a.gif", "-o", "f_%5d.png"}, "-o f_%5d.png: '%5d' is not a frame number"},
        {{"a.gif", "-o", "f_%d_%d.png"}, "-o f_%d_%d.png: it has more than one frame number"},
        {{"a.gif", "-o", "frame.png"}, "-o frame.png: it has no %d for the frame number"},
        {{"a.gif", "-o", "f_%d"}, "-o f_%d: the name ends in the format's extension"},
        {{"a.gif", "-o", "f_%d.gif"}, "-o f_%d.gif: the name ends in the format's extension"},
        {{"a.gif", "-o", "f_%d.png", "-f", "bmp"},
         "--format bmp and the name's .png disagree: the extension of a name pattern chooses"},
        {{"a.gif", "-o", "f_%03d.png", "--digits", "2"},
         "--digits does not go with a name pattern: its %0Nd gives the width"},
        {{"a.gif", "b.gif", "-o", "f_%d.png"},
         "'-o f_%d.png' names the frames of one input, but 2 inputs were given; give a folder"},
        {{"two", "-o", "f_%d.png"},
         "'-o f_%d.png' names the frames of one input, but two holds 2 animations; give a folder"},
        {{"a.gif", "--frames", "4-0"}, "--frames: the range 4-0 goes down: write 0-4"},
        {{"a.gif", "--frames", "1,,2"}, "--frames: '1,,2' has a comma too many"},
        {{"a.gif", "--frames=x"}, "--frames: 'x' is not a frame or a range (frame numbers from 0"},
        {{"a.gif", "--frames", ""}, "--frames: no frames given"},
        {{"-", "a.gif"}, "standard input ('-') must be the only input"},
    };
    const std::vector<std::string> before = FilesBelow(dir.Path());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.back());
        std::vector<std::string> args = {"extract"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const CliRun run = Quorvel(args, dir / "a.gif");
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err.rfind("quorvel: " + c.err, 0), 0u) << run.err;
        EXPECT_TRUE(run.err.ends_with("Run 'quorvel extract --help' for usage.\n")) << run.err;
        EXPECT_EQ(FilesBelow(dir.Path()), before);
    }
}

// Several inputs and folders: each input's frames named after it, beside it or in -o's folder,
// as wide as its own last frame's number; an input that cannot be extracted, or whose frame
// files another input's would overwrite, fails alone before any frame is written.
TEST_F(ExtractCliTest, SeveralInputsAndFoldersEachGetTheirOwnFrameFiles) {
    const struct {
        std::vector<std::string> args;
        int status;
        std::string out;
        std::string err;  // all of standard error
    } cases[] = {
        {{"a.gif", "gifs"}, 0,
         Names("./a_f", {0, 1, 2}, 1, ".png") + Names("gifs/b_f", {0, 1}, 1, ".png") +
             Names("gifs/c_f", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, 2, ".png"),
         "Extracted the frames of 3 of 3 files.\n"},
        {{"gifs/b.gif", "a.gif", "-o", "out"}, 0,
         Names("out/b_f", {0, 1}, 1, ".png") + Names("out/a_f", {0, 1, 2}, 1, ".png"),
         "Extracted the frames of 2 of 2 files.\n"},
        {{"a.gif", "same/a.gif", "-o", "out"}, 1, Names("out/a_f", {0, 1, 2}, 1, ".png"),
         "quorvel: same/a.gif: its frame file out/a_f0.png is also one of a.gif; nothing was "
         "written for it\nExtracted the frames of 1 of 2 files, 1 failed.\n"},
        {{"a.gif", "./a.gif"}, 1, Names("./a_f", {0, 1, 2}, 1, ".png"),
         "quorvel: ./a.gif: its frame file ./a_f0.png is also one of a.gif; nothing was written "
         "for it\nExtracted the frames of 1 of 2 files, 1 failed.\n"},
        {{"a.gif", "empty", "missing.gif", "-o", "out"}, 1, Names("out/a_f", {0, 1, 2}, 1, ".png"),
         "quorvel: no GIF files in empty\nquorvel: missing.gif: No such file or directory\n"
         "Extracted the frames of 1 of 3 files, 2 failed.\n"},
        {{"a.gif", "gifs/c.gif", "--frames", "2,9-", "-o", "out"}, 1,
         Names("out/c_f", {2, 9, 10}, 2, ".png"),
         "quorvel: a.gif: there is no frame 9: the GIF has 3 frames, 0 to 2\n"
         "Extracted the frames of 1 of 2 files, 1 failed.\n"},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        SCOPED_TRACE(i);
        const fs::path cwd = dir / std::to_string(i);
        for (const auto& [name, frames] :
             {std::pair{"a.gif", 3}, {"gifs/b.gif", 2}, {"gifs/c.gif", 11}, {"same/a.gif", 2}}) {
            fs::create_directories((cwd / name).parent_path());
            MakeGif(std::to_string(i) + "/" + name, frames);
        }
        fs::create_directory(cwd / "empty");
        const std::vector<std::string> before = FilesBelow(cwd);
        std::vector<std::string> args = {"extract"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const CliRun run = RunQuorvel(args, cwd, dir.Path());
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(run.err, c.err);
        ExpectWritten(cwd, run.out, FIF_PNG, before);
    }
}

// --frames writes the frames of those numbers, named by them; a number past the last frame
// fails the input before anything is written.
TEST_F(ExtractCliTest, ChosenFramesKeepTheirNumbers) {
    MakeGif("a.gif", 11);
    const struct {
        std::vector<std::string> args;
        int status;
        std::string out;
        std::string err;
    } cases[] = {
        {{"a.gif", "--frames", "0-4,9"}, 0, Names("./a_f", {0, 1, 2, 3, 4, 9}, 2, ".png"), ""},
        {{"a.gif", "--frames", "10"}, 0, "./a_f10.png\n", ""},
        {{"a.gif", "--frames", "3,1-1"}, 0, "./a_f01.png\n./a_f03.png\n", ""},
        {{"a.gif", "--frames=9-", "--digits", "0"}, 0, "./a_f9.png\n./a_f10.png\n", ""},
        {{"a.gif", "--frames", "9", "--like-gif", "-o", "f_%d.png"}, 0, "./f_9.png\n", ""},
        {{"-", "--frames", "1"}, 0, "./stdin_f01.png\n", ""},
        {{"a.gif", "--frames", "11"}, 1, "",
         "quorvel: a.gif: there is no frame 11: the GIF has 11 frames, 0 to 10\n"},
        {{"a.gif", "--frames", "0,2-11"}, 1, "",
         "quorvel: a.gif: the range 2-11 goes past the last frame: the GIF has 11 frames, 0 to "
         "10\n"},
        {{"-", "--frames", "40-"}, 1, "",
         "quorvel: -: there is no frame 40: the GIF has 11 frames, 0 to 10\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[2]);
        std::vector<std::string> args = {"extract"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const CliRun run = Quorvel(args, dir / "a.gif");
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(run.err, c.err);
        ExpectWritten(dir.Path(), run.out, FIF_PNG, {"a.gif"});
        for (const std::string& file : ListFolder(dir.Path()))
            if (file != "a.gif") fs::remove(dir / file);
    }
}

}  // namespace
