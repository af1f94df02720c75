// The command line as a Linux user expects it: progress on a terminal, standard input and
// output, signals, no-overwrite, padded frame names and the player page.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <thread>

#include "support/CliTest.h"
#include "support/CliRunner.h"
#include "support/GifBuilder.h"
#include "support/SwfReader.h"

namespace fs = std::filesystem;

namespace {

// Characters of UTF-8 text.
std::size_t Columns(const std::string& text) {
    std::size_t n = 0;
    for (const char c : text) n += (c & 0xC0) != 0x80;
    return n;
}

class ConventionsCliTest : public CliTest {
protected:
    // The progress lines a terminal was given: each redraw starts with "\r\033[K"; what
    // follows a clean line and ends with a newline is other output.
    static std::vector<std::string> Redraws(const std::string& err) {
        std::vector<std::string> lines;
        const std::string mark = "\r\033[K";
        for (std::size_t at = err.find(mark); at != std::string::npos;) {
            const std::size_t next = err.find(mark, at + mark.size());
            std::string line = err.substr(at + mark.size(), next - at - mark.size());
            if (!line.empty() && line.find('\n') == std::string::npos) lines.push_back(line);
            at = next;
        }
        return lines;
    }
};

TEST_F(ConventionsCliTest, ProgressLineFitsTheTerminalAndCountsFramesOfFileAndRun) {
    MakeGif("big.gif", 40, 320, 240);
    MakeGif("small.gif", 3);
    struct Case {
        std::vector<std::string> args;
        int columns;
        const char* fileTotal;  // the first file's "/total"
        bool run;               // the run's figures are shown
    };
    const Case cases[] = {
        {{"convert", "big.gif", "-j", "1"}, 40, "/40", false},
        {{"convert", "big.gif", "-j", "1"}, 120, "/40", false},
        {{"convert", "big.gif", "small.gif", "-j", "1"}, 40, "", true},
        {{"convert", "big.gif", "small.gif", "-j", "1"}, 120, "/40 frames", true},
        {{"extract", "big.gif", "-o", "."}, 40, "/40", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.size() + 100 * c.columns);
        const auto start = std::chrono::steady_clock::now();
        const CliRun run = RunQuorvelOnTerminal(c.args, dir.Path(), c.columns);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        ASSERT_EQ(run.status, 0) << run.err;
        const std::vector<std::string> lines = Redraws(run.err);
        ASSERT_FALSE(lines.empty()) << run.err;
        EXPECT_LE(static_cast<double>(lines.size()), seconds * 10 + 2);  // at most 10 a second
        for (const std::string& line : lines) {
            EXPECT_LT(Columns(line), static_cast<std::size_t>(c.columns)) << line;
            EXPECT_TRUE(Contains(line, "%")) << line;
        }
        EXPECT_TRUE(Contains(lines.front(), c.fileTotal)) << lines.front();
        EXPECT_EQ(Contains(lines.front(), "1/2") || Contains(lines.front(), "0/2"), c.run)
            << lines.front();
        if (c.columns == 120) {
            EXPECT_TRUE(Contains(lines.front(), "left")) << lines.front();
        }
        // Nothing of the display goes to standard output.
        EXPECT_FALSE(Contains(run.out, "%")) << run.out;
    }
    // -q keeps the terminal quiet.
    const CliRun quiet = RunQuorvelOnTerminal({"convert", "-q", "small.gif"}, dir.Path(), 80);
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.err, "");
}

// The progress total is what the job plans under the frame rules it was given: with the GIF's
// timing, the default, every image is a frame unless too short; with the fixed rate images with
// delay 0 merge.
TEST_F(ConventionsCliTest, ProgressTotalIsTheFramesWrittenUnderEveryFrameRule) {
    GifBuilder gif(64, 48);
    gif.GlobalColors({{250, 0, 0}, {0, 0, 250}});
    for (const int delay : {0, 0, 10, 0, 2, 2, 30, 0})  // hundredths of a second
        gif.Solid(0, 0, 64, 48, static_cast<uint8_t>(delay % 2), delay);
    ASSERT_TRUE(gif.Write(dir / "zero.gif")) << gif.Error();
    const struct {
        std::vector<std::string> args;
        int frames;
    } cases[] = {
        {{"convert", "zero.gif", "--fps", "10"}, 7},  // one 20 ms image left out
        {{"convert", "zero.gif", "--timing", "fixed", "--fps", "10"}, 5},
        {{"convert", "zero.gif", "--timing", "gif", "--fps", "10"}, 7},
        {{"convert", "zero.gif", "--like-gif", "--fps", "10"}, 7},
        {{"extract", "zero.gif", "--like-gif", "-o", "frames"}, 8},
        {{"extract", "zero.gif", "--like-gif", "--frames", "1-3,6", "-o", "chosen"}, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[2] + " " + c.args[3]);
        const CliRun run = RunQuorvelOnTerminal(c.args, dir.Path(), 120);
        ASSERT_EQ(run.status, 0) << run.err;
        const std::vector<std::string> lines = Redraws(run.err);
        ASSERT_FALSE(lines.empty()) << run.err;
        EXPECT_TRUE(Contains(lines.front(), "/" + std::to_string(c.frames) + " frames"))
            << lines.front();
    }
}

TEST_F(ConventionsCliTest, BareCommandAndVersionFlags) {
    CliRun run = Quorvel({});
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(Contains(run.err, "Usage: quorvel convert")) << run.err;
    EXPECT_EQ(run.out, "");
    for (const char* flag : {"-V", "--version"}) {
        run = Quorvel({flag});
        EXPECT_EQ(run.status, 0) << flag;
        EXPECT_EQ(run.out, "quorvel " QUORVEL_VERSION "\n") << flag;
    }
}

// FreeImage and the libraries it brings are loaded only by an extraction, which needs them.
TEST_F(ConventionsCliTest, OnlyExtractionLoadsFreeImage) {
    MakeGif("clip.gif", 2);
    setenv("LD_DEBUG", "files", 1);  // the loader lists every library it loads on stderr
    const CliRun convert = Quorvel({"convert", "-q", "clip.gif"});
    const CliRun extract = Quorvel({"extract", "-q", "clip.gif", "--format", "png"});
    unsetenv("LD_DEBUG");
    EXPECT_EQ(convert.status, 0);
    EXPECT_FALSE(Contains(convert.err, "libfreeimage")) << convert.err;
    EXPECT_EQ(extract.status, 0);
    EXPECT_TRUE(Contains(extract.err, "libfreeimage")) << extract.err;
}

TEST_F(ConventionsCliTest, DashReadsStandardInputAndWritesStandardOutput) {
    MakeGif("clip.gif", 3, 10, 7);
    // Standard output receives exactly the movie a file would hold.
    const CliRun piped = Quorvel({"convert", "-", "-o", "-", "--fps", "20"}, dir / "clip.gif");
    ASSERT_EQ(piped.status, 0) << piped.err;
    ASSERT_TRUE(Quorvel({"convert", "-q", "clip.gif", "--fps", "20"}).status == 0);
    EXPECT_EQ(piped.out, ReadText(dir / "clip.swf"));
    EXPECT_EQ(piped.out.substr(0, 3), "FWS");

    // "-" alone names its outputs after standard input.
    fs::create_directory(dir / "frames");
    const CliRun movie = Quorvel({"convert", "-"}, dir / "clip.gif");
    EXPECT_EQ(movie.status, 0) << movie.err;
    EXPECT_EQ(movie.out, "./stdin.swf\n");
    EXPECT_EQ(swftest::ReadSwfFile(dir / "stdin.swf").frameCount, 3);
    const CliRun frames = Quorvel({"extract", "-", "-o", "frames", "-f", "png"}, dir / "clip.gif");
    EXPECT_EQ(frames.status, 0) << frames.err;
    EXPECT_EQ(dir.List().size(), 4u);  // clip.gif, clip.swf, frames, stdin.swf: nothing left over
    EXPECT_EQ(frames.out, "frames/stdin_f0.png\nframes/stdin_f1.png\nframes/stdin_f2.png\n");

    // A PNG is taken as a GIF is: a still one is a movie of one frame.
    const CliRun still = Quorvel({"convert", "-", "-o", "-"}, dir / "frames/stdin_f0.png");
    EXPECT_EQ(still.status, 0) << still.err;
    EXPECT_EQ(still.out.substr(0, 3), "FWS");

    // Errors name "-"; misuse is a usage error.
    ASSERT_TRUE(WriteText(dir / "frames/notes.txt", "GIF is not how this starts"));
    const CliRun broken = Quorvel({"convert", "-", "-o", "-"}, dir / "frames/notes.txt");
    EXPECT_EQ(broken.status, 1);
    EXPECT_EQ(broken.out, "");
    EXPECT_TRUE(Contains(broken.err, "quorvel: -: ")) << broken.err;
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"convert", "clip.gif", "stdin.swf", "-o", "-"},
          {"convert", "-", "clip.gif"},
          {"convert", "clip.gif", "-o", "-", "--html"}}) {
        const CliRun misuse = Quorvel(args, dir / "clip.gif");
        EXPECT_EQ(misuse.status, 2) << misuse.err;
        EXPECT_EQ(misuse.out, "");
    }
}

// A client of 127.0.0.1:port that sends a request a byte a second for as long as it lives.
class SlowClient {
public:
    explicit SlowClient(int port) : m_fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_connected = connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        m_thread = std::thread([this] {
            const std::string request = "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: " +
                                        std::string(1000, 'y') + "\r\n\r\n";
            for (std::size_t i = 0; m_connected && i < request.size() && !m_stop; ++i) {
                if (send(m_fd, &request[i], 1, MSG_NOSIGNAL) != 1) break;
                for (int tick = 0; tick < 100 && !m_stop; ++tick)
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        });
    }
    ~SlowClient() {
        m_stop = true;
        m_thread.join();
        close(m_fd);
    }
    SlowClient(const SlowClient&) = delete;
    SlowClient& operator=(const SlowClient&) = delete;

    bool Connected() const { return m_connected; }

private:
    int m_fd;
    bool m_connected = false;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// Whether the child has exited, waiting up to `most` for it (it stays to be waited for).
bool ExitsWithin(int pid, std::chrono::milliseconds most) {
    const auto end = std::chrono::steady_clock::now() + most;
    do {
        siginfo_t info{};
        if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
            info.si_pid == pid)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } while (std::chrono::steady_clock::now() < end);
    return false;
}

// Every signal that stops a run ends it at once, with 128 + its number, and leaves no file:
// convert removes its temporary files, and play ends within two seconds whatever its clients
// do (one sending its request a byte a second here), with nothing of its movie on disk even
// when it is killed outright, or by a signal sent twice.
TEST_F(ConventionsCliTest, SignalsExitWith128PlusTheSignalAndLeaveNoFiles) {
    MakeGif("long.gif", 400, 400, 300);
    MakeGif("clip.gif", 3);
    fs::create_directories(dir / "tmp");
    fs::create_directories(dir / "ruffle");
    ASSERT_TRUE(WriteText(dir / "ruffle/ruffle.js", ""));  // all that play needs of Ruffle
    const char* const tmp = std::getenv("TMPDIR");
    const std::string oldTmp = tmp ? tmp : "";
    setenv("QUORVEL_RUFFLE_DIR", (dir / "ruffle").c_str(), 1);  // for the children
    setenv("TMPDIR", (dir / "tmp").c_str(), 1);
    const std::vector<std::string> convert = {"convert", "long.gif", "-o", "out", "-j", "1"};
    const std::vector<std::string> play = {"play", "--no-open", "clip.gif"};
    const struct {
        const std::vector<std::string>& args;
        std::vector<int> signals;
        std::optional<int> status;  // none: killed, or 128 + SIGINT if it ended first
    } cases[] = {
        {convert, {SIGINT}, 128 + SIGINT},  {convert, {SIGTERM}, 128 + SIGTERM},
        {convert, {SIGHUP}, 128 + SIGHUP},  {convert, {SIGQUIT}, 128 + SIGQUIT},
        {play, {SIGINT}, 128 + SIGINT},     {play, {SIGTERM}, 128 + SIGTERM},
        {play, {SIGHUP}, 128 + SIGHUP},     {play, {SIGQUIT}, 128 + SIGQUIT},
        {play, {SIGKILL}, -1},              {play, {SIGINT, SIGINT}, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + std::to_string(c.signals[0]) + " x" +
                     std::to_string(c.signals.size()));
        fs::create_directories(dir / "out");
        bool ended = false, slowClient = false;
        const CliRun run = RunQuorvelWhile(c.args, dir.Path(), [&](int pid) {
            std::optional<SlowClient> client;
            for (int i = 0; i < 6000; ++i) {
                // Under way: the movie's temporary file exists, or play prints its address.
                const std::string out = ReadText(dir / ".stdout");
                if (c.args[0] == "convert" ? !fs::is_empty(dir / "out") : Contains(out, "\n")) {
                    if (c.args[0] == "play") client.emplace(std::stoi(out.substr(17)));
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            slowClient = client && client->Connected();
            if (client) std::this_thread::sleep_for(std::chrono::milliseconds(300));
            for (const int signal : c.signals) {
                kill(pid, signal);
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            ended = ExitsWithin(pid, std::chrono::seconds(2));
        });
        if (c.status) EXPECT_EQ(run.status, *c.status) << run.err;
        else EXPECT_TRUE(run.status == -1 || run.status == 128 + SIGINT) << run.status;
        EXPECT_TRUE(ended);
        EXPECT_EQ(slowClient, c.args[0] == "play");
        EXPECT_TRUE(fs::is_empty(dir / "out"));
        EXPECT_TRUE(fs::is_empty(dir / "tmp"));
        fs::remove_all(dir / "out");
    }
    unsetenv("QUORVEL_RUFFLE_DIR");
    if (oldTmp.empty()) unsetenv("TMPDIR");
    else setenv("TMPDIR", oldTmp.c_str(), 1);
}

TEST_F(ConventionsCliTest, ClosedStandardOutputStopsTheRunCleanly) {
    for (const char* name : {"a.gif", "b.gif", "c.gif"}) MakeGif(name, 60, 300, 200);
    fs::create_directories(dir / "out");
    const struct {
        std::vector<std::string> args;
        std::size_t mostFiles;  // what may be complete when the first name cannot be printed
    } cases[] = {{{"convert", ".", "-o", "out", "-j", "2"}, 2},
                 {{"extract", "a.gif", "-o", "out"}, 60}};
    for (const auto& c : cases) {
        const CliRun run = RunQuorvelWhile(c.args, dir.Path(), {}, true);
        EXPECT_EQ(run.status, 1) << run.err;
        EXPECT_EQ(run.err, "quorvel: cannot write to standard output: Broken pipe; stopped\n");
        const std::vector<std::string> left = ListFolder(dir / "out");
        EXPECT_GE(left.size(), 1u);
        EXPECT_LE(left.size(), c.mostFiles);
        for (const std::string& file : left) {
            EXPECT_NE(file[0], '.') << file;  // no temporary file
            if (file.ends_with(".swf")) {
                EXPECT_EQ(swftest::ReadSwfFile(dir / "out" / file).frameCount, 60) << file;
            }
        }
        fs::remove_all(dir / "out");
        fs::create_directories(dir / "out");
    }
}

TEST_F(ConventionsCliTest, NoOverwriteKeepsExistingOutputsWithANote) {
    MakeGif("a.gif", 2);
    MakeGif("b.gif", 2);
    ASSERT_TRUE(WriteBytes(dir / "a.swf", {'o', 'l', 'd'}));
    CliRun run = Quorvel({"convert", "-n", "a.gif", "b.gif"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "./b.swf\n");
    EXPECT_TRUE(Contains(run.err, "quorvel: ./a.swf: exists; not replaced")) << run.err;
    EXPECT_TRUE(Contains(run.err, "Converted 1 of 2 files, 1 skipped.")) << run.err;
    EXPECT_EQ(ReadText(dir / "a.swf"), "old");
    run = Quorvel({"convert", "-n", "a.gif"});  // one file: the note and no summary
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "quorvel: ./a.swf: exists; not replaced (--no-overwrite)\n");
    // Replacing stays the default.
    run = Quorvel({"convert", "-q", "a.gif"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(ReadText(dir / "a.swf").substr(0, 3), "FWS");

    ASSERT_TRUE(WriteBytes(dir / "a_f1.png", {'o', 'l', 'd'}));
    run = Quorvel({"extract", "--no-overwrite", "a.gif"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "./a_f0.png\n");
    EXPECT_TRUE(Contains(run.err, "./a_f1.png")) << run.err;
    EXPECT_EQ(ReadText(dir / "a_f1.png"), "old");
}

TEST_F(ConventionsCliTest, DigitsPadFrameNumbers) {
    MakeGif("a.gif", 11);
    const struct {
        std::vector<std::string> extra;
        const char* first;
        const char* last;
    } cases[] = {{{}, "a_f00.png", "a_f10.png"},  // as wide as the last frame's number
                 {{"--digits", "3"}, "a_f000.png", "a_f010.png"},
                 {{"--digits", "1"}, "a_f0.png", "a_f10.png"},
                 {{"--digits", "0"}, "a_f0.png", "a_f10.png"}};
    for (const auto& c : cases) {
        fs::remove_all(dir / "f");
        fs::create_directory(dir / "f");
        std::vector<std::string> args = {"extract", "a.gif", "-o", "f"};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        const CliRun run = Quorvel(args);
        ASSERT_EQ(run.status, 0) << run.err;
        ASSERT_EQ(std::distance(fs::directory_iterator(dir / "f"), fs::directory_iterator()), 11);
        EXPECT_TRUE(Contains(run.out, std::string("f/") + c.first + "\n")) << run.out;
        EXPECT_TRUE(Contains(run.out, std::string("f/") + c.last + "\n")) << run.out;
    }
    EXPECT_EQ(Quorvel({"extract", "a.gif", "--digits", "x"}).status, 2);
}

TEST_F(ConventionsCliTest, HtmlPagePlaysTheMovieAtItsSize) {
    MakeGif("say \"hi\" & go.gif", 2, 33, 21);
    struct Case {
        std::vector<std::string> extra;
        const char* ruffle;
        bool transparent;  // the page shows through the movie: Ruffle draws no stage
    };
    const Case cases[] = {
        {{}, "<script src=\"https://unpkg.com/@ruffle-rs/ruffle\"></script>", false},
        {{"--ruffle-url", "ruffle/ruffle.js"}, "<script src=\"ruffle/ruffle.js\"></script>", false},
        {{"--transparent"}, "<script src=\"https://unpkg.com/@ruffle-rs/ruffle\"></script>", true},
        {{"--transparent", "--bitmaps", "lossless"}, "ruffle-rs/ruffle\"></script>", true},
        {{"--background", "navy"}, "ruffle-rs/ruffle\"></script>", false},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"convert", "say \"hi\" & go.gif", "--html"};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        const CliRun run = Quorvel(args);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, "./say \"hi\" & go.swf\n./say \"hi\" & go.html\n");
        const std::string page = ReadText(dir / "say \"hi\" & go.html");
        EXPECT_TRUE(Contains(page, c.ruffle)) << page;
        EXPECT_TRUE(Contains(page, "<title>say &quot;hi&quot; &amp; go</title>")) << page;
        EXPECT_TRUE(Contains(page, "url: \"say%20%22hi%22%20%26%20go.swf\"")) << page;
        EXPECT_TRUE(Contains(page, "width = \"33px\"") && Contains(page, "height = \"21px\""));
        EXPECT_TRUE(Contains(page, "allowScriptAccess: true }")) << page;
        EXPECT_EQ(Contains(page, "splashScreen: false,\n  wmode: \"transparent\"\n};"),
                  c.transparent)
            << page;
        EXPECT_EQ(Contains(page, "wmode"), c.transparent) << page;
    }
    // Without --html no page.
    fs::remove(dir / "say \"hi\" & go.html");
    EXPECT_EQ(Quorvel({"convert", "-q", "say \"hi\" & go.gif"}).status, 0);
    EXPECT_FALSE(fs::exists(dir / "say \"hi\" & go.html"));
}

}  // namespace
