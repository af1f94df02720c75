// What a careless or hostile command line must not do: destroy an input, keep reading an endless
// standard input, or print a name that breaks its line.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

#include "support/CliTest.h"
#include "support/CliRunner.h"
#include "support/GifBuilder.h"

namespace fs = std::filesystem;

namespace {

// Every file and link under folder, relative to it, sorted.
std::vector<std::string> ListTree(const fs::path& folder) {
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (!entry.is_directory() || entry.is_symlink())
            files.push_back(entry.path().lexically_relative(folder).string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Writes start and then 'y's into the FIFO until the reader goes or `most` bytes went; returns
// how many went.
std::size_t Feed(const fs::path& fifo, const std::string& start, std::size_t most) {
    const int fd = open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
    std::string chunk = start + std::string(65536 - start.size(), 'y');
    std::size_t sent = 0;
    for (; fd >= 0 && sent < most && write(fd, chunk.data(), chunk.size()) > 0; sent += 65536)
        chunk.replace(0, start.size(), start.size(), 'y');
    close(fd);
    return sent;
}

std::vector<uint8_t> Gif() {
    GifBuilder gif(8, 6);
    gif.GlobalColors({{250, 0, 0}, {0, 0, 250}}).Solid(0, 0, 8, 6, 0, 10).Solid(0, 0, 4, 6, 1, 10);
    return gif.Build();
}

// No output of a run (movie, page, frame file) is ever an input of it, by name or through links,
// whatever the order of the inputs: the input is refused, naming both, before anything is written.
TEST(SafetyCliTest, OutputsThatAreInputsAreRefusedBeforeAnythingIsWritten) {
    const struct {
        std::vector<std::pair<std::string, std::string>> files;  // GIF, or link ("=x": hard)
        std::vector<std::string> args;
        std::string error;  // empty: the run succeeds and writes `written`
        std::vector<std::string> written{};
    } cases[] = {
        {{{"d/x.html", ""}}, {"convert", "d/x.html", "--html"},
         "d/x.html: its page d/x.html is the same file as the input d/x.html"},
        {{{"d/a.gif", ""}, {"d/a.swf", ""}}, {"convert", "d/a.gif", "d/a.swf"},
         "d/a.gif: its movie d/a.swf is the same file as the input d/a.swf"},
        {{{"d/a.gif", ""}, {"d/a.swf", ""}}, {"convert", "d/a.swf", "d/a.gif"},
         "d/a.gif: its movie d/a.swf is the same file as the input d/a.swf"},
        {{{"d/a.swf", ""}, {"e", "d"}}, {"convert", "d/a.swf", "-o", "e"},
         "d/a.swf: its movie e/a.swf is the same file as the input d/a.swf"},
        {{{"a.gif", ""}, {"f/a_f1.png", "=a.gif"}}, {"extract", "a.gif", "-o", "f", "-f", "png"},
         "a.gif: its frame file f/a_f1.png is the same file as the input a.gif"},
        {{{"a.gif", ""}, {"f/a_f001.png", "../a.gif"}},
         {"extract", "a.gif", "-o", "f", "-f", "png", "--digits", "3"},
         "a.gif: its frame file f/a_f001.png is the same file as the input a.gif"},
        // Ruffle's files beside offline pages are outputs too, and a "ruffle" that is a link
        // to a folder elsewhere is not written through.
        {{{"d/ruffle/README.md", ""}}, {"convert", "d/ruffle/README.md", "-o", "d", "--html", "--offline"},
         "d/ruffle/README.md: its Ruffle file d/ruffle/README.md is the same file as the input "
         "d/ruffle/README.md"},
        {{{"a.gif", ""}, {"d/ruffle/package.json", "=a.gif"}},
         {"convert", "a.gif", "-o", "d", "--html", "--offline"},
         "a.gif: its Ruffle file d/ruffle/package.json is the same file as the input a.gif"},
        {{{"a.gif", ""}, {"e/b.gif", ""}, {"d/ruffle", "../e"}},
         {"convert", "a.gif", "-o", "d", "--html", "--offline"},
         "a.gif: its Ruffle folder d/ruffle is a symbolic link"},
        // A name the run never writes is no clash.
        {{{"a.gif", ""}, {"f/a_f01.png", "../a.gif"}}, {"extract", "a.gif", "-o", "f"}, "",
         {"f/a_f0.png", "f/a_f1.png"}},
        // Nor is a frame file another input of the run, or an earlier input's frame file.
        {{{"a.gif", ""}, {"b.gif", ""}, {"b_f0.png", "=a.gif"}}, {"extract", "a.gif", "b.gif"},
         "b.gif: its frame file ./b_f0.png is the same file as the input a.gif; nothing was "
         "written for it",
         {"a_f0.png", "a_f1.png"}},
        {{{"d/a.gif", ""}, {"d/a_f0.png", ""}}, {"extract", "d"},
         "d/a.gif: its frame file d/a_f0.png is the same file as the input d/a_f0.png",
         {"d/a_f0_f0.png", "d/a_f0_f1.png"}},
        {{{"a.gif", ""}, {"d/a.gif", ""}}, {"extract", "a.gif", "d/a.gif", "-o", "f"},
         "d/a.gif: its frame file f/a_f0.png is also one of a.gif; nothing was written for it",
         {"f/a_f0.png", "f/a_f1.png"}},
        {{{"a.gif", ""}, {"f/x1.png", "=a.gif"}}, {"extract", "a.gif", "-o", "f/x%d.png"},
         "a.gif: its frame file f/x1.png is the same file as the input a.gif"},
    };
    ScratchDir dir;
    // A Ruffle of a few of the names the real one has, for --offline.
    fs::create_directory(dir / "shipped");
    for (const char* name : {"ruffle.js", "README.md", "package.json"})
        ASSERT_TRUE(WriteText(dir / "shipped" / name, name));
    setenv("QUORVEL_RUFFLE_DIR", (dir / "shipped").c_str(), 1);  // for the children
    const std::vector<uint8_t> gif = Gif();
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        SCOPED_TRACE(i);
        const fs::path cwd = dir / std::to_string(i);
        std::vector<std::string> expected = c.written;
        for (const auto& [path, link] : c.files) {
            fs::create_directories((cwd / path).parent_path());
            if (link.empty()) ASSERT_TRUE(WriteBytes(cwd / path, gif));
            else if (link[0] == '=') fs::create_hard_link(cwd / link.substr(1), cwd / path);
            else fs::create_symlink(link, cwd / path);
            expected.push_back(path);
        }
        std::sort(expected.begin(), expected.end());
        const CliRun run = RunQuorvel(c.args, cwd, dir.Path());
        EXPECT_EQ(run.status, c.error.empty() ? 0 : 1) << run.err;
        EXPECT_TRUE(Contains(run.err, c.error)) << run.err;
        EXPECT_EQ(ListTree(cwd), expected);
        for (const auto& [path, link] : c.files) {
            EXPECT_EQ(fs::is_symlink(cwd / path), !link.empty() && link[0] != '=') << path;
            EXPECT_TRUE(fs::is_symlink(cwd / path) || ReadFileBytes(cwd / path) == gif) << path;
        }
    }
    unsetenv("QUORVEL_RUFFLE_DIR");
}

// Standard input is refused at once when it does not start like a GIF, and is stored where
// nothing of it outlives the run, even one killed with SIGKILL.
TEST(SafetyCliTest, StandardInputIsCheckedFirstAndNothingOfItOutlivesTheRun) {
    ScratchDir dir;
    const fs::path fifo = dir / "in", tmp = dir / "tmp";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    fs::create_directories(tmp);
    fs::create_directories(dir / "out");
    const std::string oldTmp = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "";
    setenv("TMPDIR", tmp.c_str(), 1);  // for the child
    const auto oldPipe = std::signal(SIGPIPE, SIG_IGN);
    const std::vector<std::string> args = {"convert", "-", "-o", "out"};

    std::size_t sent = 0;
    const auto endless = [&](int) { sent = Feed(fifo, "y", std::size_t{16} << 20); };
    const CliRun refused = RunQuorvelWhile(args, dir.Path(), endless, false, fifo);
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(Contains(refused.err, "quorvel: -: standard input is not a GIF")) << refused.err;
    EXPECT_LT(sent, std::size_t{1} << 20);

    const std::vector<uint8_t> gif = Gif();
    const auto killed = [&](int pid) {
        sent = Feed(fifo, std::string(gif.begin(), gif.begin() + 13), std::size_t{8} << 20);
        kill(pid, SIGKILL);
    };
    EXPECT_EQ(RunQuorvelWhile(args, dir.Path(), killed, false, fifo).status, -1);
    EXPECT_EQ(sent, std::size_t{8} << 20);  // taken while it was stored
    EXPECT_EQ(ListTree(tmp), std::vector<std::string>{});
    EXPECT_EQ(ListTree(dir / "out"), std::vector<std::string>{});

    std::signal(SIGPIPE, oldPipe);
    if (oldTmp.empty()) unsetenv("TMPDIR");
    else setenv("TMPDIR", oldTmp.c_str(), 1);
}

// Names, URLs and uses of the standard streams that the command line must not take as they come.
TEST(SafetyCliTest, NamesUrlsAndStreamsAreCheckedAndPrintedSafely) {
    ScratchDir dir;
    ASSERT_TRUE(WriteBytes(dir / "clip.gif", Gif()));
    ASSERT_TRUE(WriteBytes(dir / "new\nline.gif", Gif()));
    const struct {
        std::vector<std::string> args;
        int status;
        std::string out, err;
    } cases[] = {
        {{"convert", "new\nline.gif"}, 0, "'./new'$'\\n''line.swf'\n", ""},
        {{"convert", "clip.gif", "--url", "http://a\nb"}, 2, "", "control character ($'\\n')"},
        {{"convert", "clip.gif", "--url", " JavaScript:go()"}, 0, "./clip.swf\n",
         "warning: the target URL is a javascript: address"},
        {{"convert", "clip.gif", "missing.gif", "-o", "-"}, 2, "",
         "quorvel: missing.gif: No such file or directory\n"
         "quorvel: '-o -' writes one movie, but 2 inputs were given\n"},
        {{"extract", "-", "-o", "-"}, 2, "", "frames cannot go to standard output"},
    };
    for (const auto& c : cases) {
        const CliRun run = RunQuorvel(c.args, dir.Path(), dir.Path(), dir / "clip.gif");
        EXPECT_EQ(run.status, c.status) << c.args.back() << ": " << run.err;
        EXPECT_EQ(run.out, c.out) << c.args.back();
        EXPECT_TRUE(Contains(run.err, c.err)) << c.args.back() << ": " << run.err;
    }
}

}  // namespace
