// What -o names, usage errors and the help, as users of ffmpeg and gifsicle expect them, and
// what an interrupted run counts.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <thread>

#include "support/CliTest.h"
#include "support/CliRunner.h"
#include "support/GifBuilder.h"

namespace fs = std::filesystem;

namespace {

class UsageCliTest : public CliTest {
protected:
    void SetUp() override {
        for (const char* name : {"a.gif", "b.gif"}) MakeGif(name, 3);
        fs::create_directory(dir / "empty");
        ASSERT_TRUE(WriteText(dir / "file.txt", "a file, not a folder"));
    }

};

TEST_F(UsageCliTest, OutputNamesAFolderMadeWhenMissingOrWithOneGifTheMovie) {
    const struct {
        std::vector<std::string> args;
        int status;
        std::string out;  // standard output; the files it names must exist
        std::string err;  // a part of standard error
    } cases[] = {
        {{"convert", "a.gif", "-o", "movie.swf"}, 0, "movie.swf\n", ""},
        {{"convert", "a.gif", "-o", "new/er/Clip.SWF", "--html"},
         0,
         "new/er/Clip.SWF\nnew/er/Clip.html\n",
         ""},
        {{"convert", "a.gif", "b.gif", "-o", "deep/movies"},
         0,
         "deep/movies/a.swf\ndeep/movies/b.swf\n",
         ""},
        {{"extract", "a.gif", "-o", "deep/frames"},
         0,
         "deep/frames/a_f0.png\ndeep/frames/a_f1.png\ndeep/frames/a_f2.png\n",
         ""},
        // A folder that is there stays a folder, whatever its name.
        {{"convert", "b.gif", "-o", "deep/movies/../../empty"},
         0,
         "deep/movies/../../empty/b.swf\n",
         ""},
        {{"convert", "a.gif", "b.gif", "-o", "both.swf"},
         2,
         "",
         "quorvel: '-o both.swf' writes one movie, but 2 inputs were given\n"
         "Run 'quorvel convert --help' for usage.\n"},
        // One problem, one wording, whichever command meets it.
        {{"convert", "a.gif", "-o", "file.txt"}, 1, "", "quorvel: file.txt: not a folder\n"},
        {{"extract", "a.gif", "-o", "file.txt"}, 1, "", "quorvel: file.txt: not a folder\n"},
        {{"convert", "a.gif", "-o", "file.txt/sub"},
         1,
         "",
         "quorvel: file.txt/sub: cannot create the folder: "},
        {{"extract", "a.gif", "-o", "file.txt/sub"},
         1,
         "",
         "quorvel: file.txt/sub: cannot create the folder: "},
        {{"extract", "a.gif", "-o", "-"}, 2, "", "Run 'quorvel extract --help' for usage.\n"},
        // A folder without GIFs is a failure that a script can see.
        {{"convert", "empty"}, 1, "", "quorvel: no GIF files in empty\n"},
        {{"convert", "a.gif", "empty", "-o", "out"},
         1,
         "out/a.swf\n",
         "Converted 1 of 2 files, 1 failed.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[1] + " -o " + c.args.back());
        const CliRun run = Quorvel(c.args);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_EQ(run.out, c.out);
        EXPECT_TRUE(Contains(run.err, c.err)) << run.err;
        for (std::size_t at = 0, end; (end = c.out.find('\n', at)) != std::string::npos;
             at = end + 1)
            EXPECT_TRUE(fs::is_regular_file(dir / c.out.substr(at, end - at))) << c.out;
    }
    EXPECT_TRUE(fs::is_regular_file(dir / "file.txt"));
}

TEST_F(UsageCliTest, MovieOnStandardOutputRefusesATerminal) {
    const CliRun run = RunQuorvelOnTerminal({"convert", "a.gif", "-o", "-"}, dir.Path(), 80, true);
    EXPECT_EQ(run.status, 2);
    EXPECT_FALSE(Contains(run.err, "FWS")) << "a movie went to the terminal";
    EXPECT_TRUE(Contains(run.err, "standard output is a terminal")) << run.err;
    EXPECT_TRUE(Contains(run.err, "Run 'quorvel convert --help' for usage.")) << run.err;
}

TEST_F(UsageCliTest, UsageErrorsSuggestAndPointToTheCommandsOwnHelp) {
    const struct {
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {{"convert", "a.gif", "--qualty", "high"},
         "quorvel: unknown option --qualty (did you mean --quality?)\n"
         "Run 'quorvel convert --help' for usage.\n"},
        {{"play", "a.gif", "--no-opn"},
         "quorvel: unknown option --no-opn (did you mean --no-open?)\n"
         "Run 'quorvel play --help' for usage.\n"},
        {{"extract", "a.gif", "--formt=png"},
         "quorvel: unknown option --formt (did you mean --format?)\n"
         "Run 'quorvel extract --help' for usage.\n"},
        {{"convert", "a.gif", "--zzzzzzzz"},
         "quorvel: unknown option --zzzzzzzz\nRun 'quorvel convert --help' for usage.\n"},
        {{"info", "--fps", "0", "a.gif"},
         "quorvel: --fps needs a whole number from 1 to 255, not 0\n"
         "Run 'quorvel info --help' for usage.\n"},
        {{"convert", "a.gif", "--ruffle-url", "r.js"},
         "quorvel: --ruffle-url needs --html\nRun 'quorvel convert --help' for usage.\n"},
        {{"convert", "a.gif", "--offline"},
         "quorvel: --offline needs --html\n"
         "Run 'quorvel convert --help' for usage.\n"},
        {{"convert", "a.gif", "--html", "--offline", "--ruffle-url", "r.js"},
         "quorvel: --ruffle-url and --offline cannot be used together\n"
         "Run 'quorvel convert --help' for usage.\n"},
        // CLI11's findings in the words of quorvel's own messages.
        {{"convert", "a.gif", "--fps"},
         "quorvel: --fps needs a value\nRun 'quorvel convert --help' for usage.\n"},
        {{"convert", "a.gif", "--quality", "best"},
         "quorvel: --quality needs low, normal or high, not best\n"},
        {{"convert", "a.gif", "--timing", "browser"}, "quorvel: --timing needs fixed or gif, not browser\n"},
        {{"convert", "a.gif", "--loop", "-1"},
         "quorvel: --loop needs gif, forever, once or a number of plays (0: for ever), not -1\n"},
        {{"extract", "a.gif", "--digits", "12"},
         "quorvel: --digits needs a whole number from 0 to 9, not 12\n"
         "Run 'quorvel extract --help' for usage.\n"},
        {{"convert"}, "quorvel: no INPUT given\nRun 'quorvel convert --help' for usage.\n"},
        {{"play", "a.gif", "b.gif"},
         "quorvel: unexpected argument b.gif\nRun 'quorvel play --help' for usage.\n"},
        // A mistyped command, as a mistyped option.
        {{"covert", "a.gif"},
         "quorvel: no command named 'covert' (did you mean convert?)\n"
         "Run 'quorvel --help' for usage.\n"},
        {{"inf", "a.gif"}, "quorvel: no command named 'inf' (did you mean info?)\n"},
        {{"help", "exract"}, "quorvel: no command named 'exract' (did you mean extract?)\n"},
        {{"zzzzzz"}, "quorvel: no command named 'zzzzzz'\nRun 'quorvel --help' for usage.\n"},
        {{"--bogus"}, "Run 'quorvel --help' for usage.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.front() + " " + c.args.back());
        const CliRun run = Quorvel(c.args);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_TRUE(run.err.starts_with("quorvel: ")) << run.err;
        EXPECT_TRUE(Contains(run.err, c.err)) << run.err;
        EXPECT_TRUE(run.err.ends_with("for usage.\n")) << run.err;
    }
}

TEST_F(UsageCliTest, HelpShowsValuesAsTheUserTypesThem) {
    for (const char* command : {"convert", "extract", "play", "info"}) {
        SCOPED_TRACE(command);
        const CliRun run = Quorvel({"help", command});
        EXPECT_EQ(run.status, 0);
        for (const char* internal :
             {"INT", "UINT", "TEXT", " in [", "REQUIRED", "Needs:", "Excludes:"})
            EXPECT_FALSE(Contains(run.out, internal)) << internal << " in\n" << run.out;
    }
    const std::string help = Quorvel({"convert", "--help"}).out;
    for (const char* shown :
         {"--fps N ", "1 to 255", "--background COLOR=white", "#rgb, #rrggbb or a CSS name",
          "--url URL ", "--quality low|normal|high ", "(default: normal)", "--timing fixed|gif ",
          "(default: gif)", "--loop gif|forever|once|N ", "-j,--jobs N ", "1 to 256",
          "-o,--output DIR ", "-v,--verbose "})
        EXPECT_TRUE(Contains(help, shown)) << shown;
    EXPECT_FALSE(Contains(help, "NAME=")) << help;
}

// `quorvel help` lists the commands, as `quorvel --help` does; `quorvel help COMMAND` shows
// that command's help, as `quorvel COMMAND --help` does.
TEST_F(UsageCliTest, HelpListsTheCommandsOrExplainsOne) {
    const std::string all = Quorvel({"--help"}).out;
    const struct {
        std::vector<std::string> args;
        std::string same;  // what it must print
        const char* starts;
    } cases[] = {
        {{"help"}, all, "Quorvel turns"},
        {{"help", "convert"}, Quorvel({"convert", "--help"}).out, "Convert GIF files"},
        {{"help", "info"}, Quorvel({"info", "--help"}).out, "Show what each animation"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.back());
        const CliRun run = Quorvel(c.args);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, c.same);
        EXPECT_TRUE(run.out.starts_with(c.starts)) << run.out;
    }
    for (const char* command : {"\n  convert ", "\n  extract ", "\n  play ", "\n  info ", "\n  help "})
        EXPECT_TRUE(Contains(all, command)) << command << " in\n" << all;
}

// Ctrl-C in a run of several files: the files converted, failed, stopped half-way and never
// started are counted apart.
TEST_F(UsageCliTest, InterruptedRunCountsWhatItDidAndDidNot) {
    ASSERT_TRUE(WriteText(dir / "b.gif", "not a GIF at all, only some text"));
    MakeGif("c.gif", 400, 400, 400);
    MakeGif("d.gif", 3);
    const CliRun run =
        RunQuorvelWhile({"convert", "a.gif", "b.gif", "c.gif", "d.gif", "-o", "out", "-j", "1"},
                        dir.Path(), [&](int pid) {
                            // c.gif's temporary movie: a.gif is done, b.gif failed, d.gif has not
                            // started.
                            const auto writing = [&] {
                                for (const std::string& name : ListFolder(dir / "out"))
                                    if (name.starts_with(".c.swf")) return true;
                                return false;
                            };
                            for (int i = 0; i < 6000 && !writing(); ++i)
                                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                            kill(pid, SIGINT);
                        });
    EXPECT_EQ(run.status, 128 + SIGINT);
    EXPECT_TRUE(
        run.err.ends_with("Converted 1 of 4 files, 1 failed, 1 interrupted, 1 not started.\n"))
        << run.err;
    EXPECT_EQ(ListFolder(dir / "out"), std::vector<std::string>{"a.swf"});
}

}  // namespace
