// The movie for a viewer without Flash or the internet: `quorvel play` serves exactly the page,
// the movie and Ruffle to this machine and cleans up after itself; `convert --html --offline`
// puts Ruffle beside the pages. (tests/player plays them in a browser.)

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <regex>
#include <thread>

#include "support/CliTest.h"
#include "support/CliRunner.h"
#include "support/GifBuilder.h"

namespace fs = std::filesystem;

namespace {

// Ruffle's web build as the build tree ships it beside cli/quorvel.
const fs::path kShippedRuffle =
    fs::path(QUORVEL_CLI_PATH).parent_path().parent_path() / "share" / "quorvel" / "ruffle";

// Sets an environment variable for the programs the test starts, until it goes.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : m_name(name) {
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() { unsetenv(m_name); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
};

class PlayCliTest : public CliTest {
protected:
    void SetUp() override {
        if (!fs::exists(kShippedRuffle / "ruffle.js"))
            GTEST_SKIP() << "this build has no Ruffle (run scripts/setup-deps)";
        MakeGif("clip.gif", 3);
    }

    // Runs `quorvel play` with standard input from `input`, calls serving(address) once the
    // address is out, then sends it `signal`.
    CliRun Play(const std::vector<std::string>& args,
                const std::function<void(const std::string& address)>& serving,
                const fs::path& input = "/dev/null", int signal = SIGINT) {
        return RunQuorvelWhile(
            args, dir.Path(),
            [&](int pid) {
                std::string out;
                for (int i = 0; i < 300 && out.find('\n') == std::string::npos; ++i) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                    out = ReadText(dir / ".stdout");
                }
                if (out.find('\n') != std::string::npos) serving(out.substr(0, out.find('\n')));
                kill(pid, signal);
            },
            false, input);
    }
};

struct Answer {
    int status = 0;  // 0: no answer
    std::string body;
    httplib::Headers headers;
};

// The port and the path of an address as play prints it; port 0 when it is not one.
std::pair<int, std::string> SplitAddress(const std::string& address) {
    std::smatch parts;
    if (!std::regex_match(address, parts,
                          std::regex("http://127\\.0\\.0\\.1:([0-9]+)(/[0-9a-f]{32}/)")))
        return {0, ""};
    return {std::stoi(parts[1]), parts[2]};
}

Answer Get(const std::string& host, int port, const std::string& path,
           const httplib::Headers& headers = {}) {
    httplib::Client client(host, port);
    client.set_url_encode(false);  // the path goes out as written
    client.set_connection_timeout(2);
    client.set_read_timeout(2);  // an answer shorter than it says ends in a time-out
    const httplib::Result result = client.Get(path, headers);
    return result ? Answer{result->status, result->body, result->headers} : Answer{};
}

// A connection to the port of this machine; -1 when none.
int Connect(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
        return fd;
    if (fd >= 0) close(fd);
    return -1;
}

TEST_F(PlayCliTest, ServesThePageTheMovieAndRuffleAloneToItsOwnAddressThenRemovesTheMovie) {
    ASSERT_EQ(Quorvel({"convert", "-q", "clip.gif", "--fps", "5"}).status, 0);
    const std::string movie = ReadText(dir / "clip.swf");
    fs::create_directory(dir / "tmp");
    const ScopedEnv tmp("TMPDIR", (dir / "tmp").string());
    std::string address;
    struct Asked {
        std::string path, host;  // host: "" for 127.0.0.1:PORT, else with ":PORT" for "+"
        int status;
        Answer answer{};
    };
    std::vector<Asked> asked;
    bool otherAddress = true, movieOnDisk = true;
    const CliRun run =
        Play({"play", "--no-open", "clip.gif", "--fps", "5"}, [&](const std::string& at) {
            address = at;
            const auto [port, token] = SplitAddress(address);
            if (port == 0) return;
            movieOnDisk = !fs::is_empty(dir / "tmp");  // served from memory
            asked = {{token, "", 200}, {token + "movie.swf", "", 200},
                     {token + "ruffle/ruffle.js", "", 200},
                     // Names the browser may use for this machine.
                     {token, "localhost+", 200}, {token, "LocalHost+", 200},
                     // Anything else is not this server to a browser: a page of another site
                     // whose name was pointed here, say.
                     {token, "evil.example+", 403}, {token, "localhost.evil.example+", 403},
                     {token, "127.0.0.1", 403}, {token, "127.0.0.1:1", 403}, {token, "+", 403},
                     // Nothing but what was added.
                     {token + "ruffle/", "", 404}, {token + "ruffle/ruffle.js.map", "", 404},
                     {token + "clip.swf", "", 404}, {token + "clip.gif", "", 404},
                     {token + "../" + token + "movie.swf", "", 404},
                     {token + "ruffle/%2e%2e/movie.swf", "", 404},
                     {token.substr(0, token.size() - 1), "", 404}, {"/", "", 404},
                     {"/00000000000000000000000000000000/movie.swf", "", 404}};
            for (Asked& a : asked) {
                httplib::Headers headers;
                std::string host = a.host;
                if (host.ends_with('+')) host.replace(host.size() - 1, 1, ":" + std::to_string(port));
                if (!host.empty()) headers.emplace("Host", host);
                a.answer = Get("127.0.0.1", port, a.path, headers);
            }
            otherAddress = Get("127.0.0.2", port, token).status != 0;  // not on other addresses
        });
    EXPECT_EQ(run.status, 128 + SIGINT) << run.err;
    ASSERT_EQ(run.out, address + "\n");
    ASSERT_EQ(asked.size(), 19u) << address;
    for (const Asked& a : asked) EXPECT_EQ(a.answer.status, a.status) << a.path << " " << a.host;
    EXPECT_TRUE(asked[1].answer.body == movie);
    EXPECT_TRUE(asked[2].answer.body == ReadText(kShippedRuffle / "ruffle.js"));
    EXPECT_NE(asked[0].answer.body.find("<script src=\"ruffle/ruffle.js\">"), std::string::npos);
    EXPECT_NE(asked[0].answer.body.find("url: \"movie.swf\""), std::string::npos);
    EXPECT_NE(asked[0].answer.body.find("<title>clip</title>"), std::string::npos);
    EXPECT_FALSE(otherAddress);
    EXPECT_FALSE(movieOnDisk);
    EXPECT_TRUE(fs::is_empty(dir / "tmp"));
}

// Byte ranges are answered within the movie: an end past it is its last byte, and a range that
// starts past it is refused with 416.
TEST_F(PlayCliTest, RangesAreClampedToTheMovie) {
    ASSERT_EQ(Quorvel({"convert", "-q", "clip.gif"}).status, 0);
    const std::string movie = ReadText(dir / "clip.swf");
    const std::size_t size = movie.size();
    const std::string n = std::to_string(size);
    const struct {
        std::string range;
        int status;
        std::string contentRange;
        std::size_t first, length;  // of the movie, in the body
    } cases[] = {
        {"bytes=0-9", 206, "bytes 0-9/" + n, 0, 10},
        {"bytes=10-99999999", 206, "bytes 10-" + std::to_string(size - 1) + "/" + n, 10, size - 10},
        {"bytes=20-", 206, "bytes 20-" + std::to_string(size - 1) + "/" + n, 20, size - 20},
        {"bytes=-5", 206, "bytes " + std::to_string(size - 5) + "-" + std::to_string(size - 1) +
                              "/" + n, size - 5, 5},
        {"bytes=-99999999", 206, "bytes 0-" + std::to_string(size - 1) + "/" + n, 0, size},
        {"bytes=0-0," + n + "-", 206, "bytes 0-0/" + n, 0, 1},  // the one that fits
        {"bytes=" + n + "-", 416, "bytes */" + n, 0, 0},
        {"bytes=" + n + "-99999999", 416, "bytes */" + n, 0, 0},
    };
    // The movie as it is, read from its file, and the GIF's, from memory.
    for (const std::string input : {"clip.swf", "clip.gif"}) {
        std::vector<Answer> answers;
        const CliRun run = Play({"play", "--no-open", input}, [&](const std::string& address) {
            const auto [port, token] = SplitAddress(address);
            for (const auto& c : cases)
                answers.push_back(Get("127.0.0.1", port, token + "movie.swf", {{"Range", c.range}}));
        });
        EXPECT_EQ(run.status, 128 + SIGINT) << run.err;
        ASSERT_EQ(answers.size(), std::size(cases));
        for (std::size_t i = 0; i < answers.size(); ++i) {
            const auto& c = cases[i];
            const Answer& answer = answers[i];
            SCOPED_TRACE(input + " " + c.range);
            EXPECT_EQ(answer.status, c.status);
            const auto range = answer.headers.find("Content-Range");
            EXPECT_EQ(range == answer.headers.end() ? "" : range->second, c.contentRange);
            EXPECT_TRUE(answer.body == movie.substr(c.first, c.length)) << answer.body.size();
        }
    }
}

// Idle connections, however many, neither delay the page nor keep play from stopping; nor does
// one that sends its request a byte a second.
TEST_F(PlayCliTest, ThePageLoadsAtOnceBesideSixHundredIdleConnections) {
    std::vector<int> idle;
    Answer page;
    const CliRun run = Play({"play", "--no-open", "clip.gif"}, [&](const std::string& address) {
        const auto [port, token] = SplitAddress(address);
        for (int i = 0; i < 600; ++i) idle.push_back(Connect(port));
        page = Get("127.0.0.1", port, token);  // within its 2 s time-outs
    });
    EXPECT_EQ(run.status, 128 + SIGINT) << run.err;
    EXPECT_EQ(std::count(idle.begin(), idle.end(), -1), 0);
    EXPECT_EQ(page.status, 200);
    EXPECT_NE(page.body.find("movie.swf"), std::string::npos);
    for (const int fd : idle) close(fd);
}

// The browser is sent to the address by a page only this user can read, so that the token is
// on no command line; the page goes once the browser has followed it, and one that a killed
// play left is removed by the next run.
TEST_F(PlayCliTest, OpensAPrivatePageThatSendsTheBrowserOnAndLeavesNothing) {
    // An xdg-open that notes what it was given, as the browser would find it.
    fs::create_directories(dir / "bin");
    fs::create_directories(dir / "tmp");
    const fs::path seen = dir / "seen";
    ASSERT_TRUE(WriteText(dir / "bin/xdg-open",
                          "#!/bin/sh\nstat -c %a \"$1\" \"$(dirname \"$1\")\" > '" +
                              seen.string() + ".part'\ncat \"$1\" >> '" + seen.string() +
                              ".part'\nprintf '%s\\n' \"$@\" >> '" + seen.string() +
                              ".part'\nmv '" + seen.string() + ".part' '" + seen.string() + "'\n"));
    fs::permissions(dir / "bin/xdg-open", fs::perms::owner_all);
    const ScopedEnv path("PATH", (dir / "bin").string() + ":" + std::getenv("PATH"));
    const ScopedEnv tmp("TMPDIR", (dir / "tmp").string());
    const auto waitFor = [](const std::function<bool()>& done) {
        for (int i = 0; i < 200 && !done(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return done();
    };

    std::string address, opened;
    bool keptUntilLoaded = false, goneOnceLoaded = false;
    CliRun run = Play({"play", "clip.gif"}, [&](const std::string& at) {
        address = at;
        if (!waitFor([&] { return fs::exists(seen); })) return;
        opened = ReadText(seen);
        const auto [port, token] = SplitAddress(address);
        keptUntilLoaded = !fs::is_empty(dir / "tmp");
        Get("127.0.0.1", port, token);  // the browser follows the page
        goneOnceLoaded = waitFor([&] { return fs::is_empty(dir / "tmp"); });
    });
    EXPECT_EQ(run.status, 128 + SIGINT) << run.err;
    const auto [port, token] = SplitAddress(address);
    ASSERT_NE(port, 0) << address;
    const std::string file = opened.substr(opened.rfind('\n', opened.size() - 2) + 1);
    EXPECT_TRUE(opened.starts_with("600\n700\n")) << opened;  // the page, its folder
    EXPECT_NE(opened.find("content=\"0; url=" + address + "\""), std::string::npos) << opened;
    EXPECT_EQ(file.find(token.substr(1, 32)), std::string::npos) << file;  // not in its arguments
    EXPECT_TRUE(file.starts_with((dir / "tmp").string())) << file;
    EXPECT_TRUE(keptUntilLoaded);
    EXPECT_TRUE(goneOnceLoaded);
    EXPECT_TRUE(fs::is_empty(dir / "tmp"));

    // Killed before the browser came: the page is left, in a folder that no run holds, which
    // the next run removes.
    fs::remove(seen);
    run = Play({"play", "clip.gif"}, [&](const std::string&) {
        waitFor([&] { return fs::exists(seen); });
    }, "/dev/null", SIGKILL);
    EXPECT_EQ(run.status, -1);
    EXPECT_EQ(ListFolder(dir / "tmp").size(), 1u);
    bool leftOver = true;
    run = Play({"play", "--no-open", "clip.gif"},
               [&](const std::string&) { leftOver = !fs::is_empty(dir / "tmp"); });
    EXPECT_EQ(run.status, 128 + SIGINT) << run.err;
    EXPECT_FALSE(leftOver);
}

TEST_F(PlayCliTest, PlaysAMovieAsItIsAndSaysWhatItCannotPlay) {
    ASSERT_EQ(Quorvel({"convert", "-q", "clip.gif"}).status, 0);
    // The same movie zlib-compressed, as Flash tools write them: "CWS", the version and the
    // uncompressed length stay, the rest is deflated.
    const std::string movie = ReadText(dir / "clip.swf");
    std::vector<uint8_t> packed(compressBound(uLong(movie.size() - 8)) + 8);
    uLongf packedSize = uLongf(packed.size() - 8);
    ASSERT_EQ(compress(packed.data() + 8, &packedSize,
                       reinterpret_cast<const Bytef*>(movie.data() + 8), uLong(movie.size() - 8)),
              Z_OK);
    std::copy(movie.begin(), movie.begin() + 8, packed.begin());
    packed[0] = 'C';
    packed.resize(packedSize + 8);
    ASSERT_TRUE(WriteBytes(dir / "packed.swf", packed));
    // Whatever its name, or from standard input, the movie is served as movie.swf.
    fs::copy_file(dir / "clip.gif", dir / "nl\nx.gif");
    // A transparent movie is played without its stage, as it is and converted on the fly: an
    // image over half the screen leaves the rest clear. A movie whose pictures cover the stage
    // keeps it.
    GifBuilder half(8, 6);
    half.GlobalColors({kRed, kBlue}).Solid(0, 0, 4, 6, 1, 10);
    ASSERT_TRUE(half.Write(dir / "half.gif")) << half.Error();
    ASSERT_EQ(Quorvel({"convert", "-q", "half.gif", "-o", "clear.swf", "--transparent"}).status, 0);
    ASSERT_EQ(Quorvel({"convert", "-q", "half.gif", "-o", "lossless.swf", "--transparent",
                       "--bitmaps", "lossless"})
                  .status,
              0);
    ASSERT_EQ(Quorvel({"convert", "-q", "clip.gif", "-o", "covered.swf", "--transparent"}).status,
              0);
    const struct {
        std::string input;
        const char* movie;  // what must be served
        const char* title;
        fs::path stdinFile = "/dev/null";
        std::vector<std::string> options = {};
        bool transparent = false;  // the page sets Ruffle's wmode "transparent"
    } played[] = {{"clip.swf", "clip.swf", "clip"},
                  {"packed.swf", "packed.swf", "packed"},
                  {"nl\nx.gif", "clip.swf", "nl\nx"},
                  {"-", "clip.swf", "stdin", dir / "clip.gif"},
                  {"clear.swf", "clear.swf", "clear", "/dev/null", {}, true},
                  {"lossless.swf", "lossless.swf", "lossless", "/dev/null", {}, true},
                  {"covered.swf", "covered.swf", "covered"},
                  {"half.gif", "clear.swf", "half", "/dev/null", {"--transparent"}, true}};
    for (const auto& p : played) {
        SCOPED_TRACE(p.input);
        Answer page, served;
        std::vector<std::string> args = {"play", "--no-open", p.input};
        args.insert(args.end(), p.options.begin(), p.options.end());
        const CliRun run = Play(
            args,
            [&](const std::string& address) {
                const auto [port, token] = SplitAddress(address);
                page = Get("127.0.0.1", port, token);
                served = Get("127.0.0.1", port, token + "movie.swf");
            },
            p.stdinFile);
        EXPECT_EQ(run.status, 128 + SIGINT) << run.err;
        EXPECT_EQ(served.status, 200);
        EXPECT_TRUE(served.body == ReadText(dir / p.movie));
        // At the stage's size, 8 x 6, read from the header.
        EXPECT_NE(page.body.find("width = \"8px\""), std::string::npos) << page.body;
        EXPECT_NE(page.body.find("height = \"6px\""), std::string::npos);
        EXPECT_NE(page.body.find("<title>" + std::string(p.title) + "</title>"), std::string::npos);
        EXPECT_EQ(page.body.find("wmode: \"transparent\"") != std::string::npos, p.transparent);
    }

    ASSERT_TRUE(WriteText(dir / "notes.txt", "not a movie"));
    fs::create_directory(dir / "empty");
    const struct {
        std::vector<std::string> args;
        const char* ruffleDir;  // QUORVEL_RUFFLE_DIR, when set
        int status;
        const char* says;
        const char* input = "/dev/null";  // standard input
    } cases[] = {
        {{"play", "clip.swf", "--fps", "3"}, nullptr, 2, "the movie options are for a GIF"},
        {{"play", "notes.txt"}, nullptr, 1, "notes.txt: neither a GIF nor an SWF movie"},
        {{"play", "missing.gif"}, nullptr, 1, "missing.gif: No such file or directory"},
        {{"play", "-"}, nullptr, 1, "quorvel: -: standard input is not a GIF", "notes.txt"},
        {{"play", "clip.gif"}, "empty", 1, "Ruffle's web build is missing"},
        {{"convert", "clip.gif", "-o", "empty", "--html", "--offline"},
         "empty",
         1,
         "Ruffle's web build is missing"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[1]);
        const ScopedEnv ruffle("QUORVEL_RUFFLE_DIR",
                               c.ruffleDir ? (dir / c.ruffleDir).string() : "");
        const CliRun refused = Quorvel(c.args, dir / c.input);
        EXPECT_EQ(refused.status, c.status);
        EXPECT_EQ(refused.out, "");
        EXPECT_NE(refused.err.find(c.says), std::string::npos) << refused.err;
    }
    EXPECT_TRUE(fs::is_empty(dir / "empty"));
}

TEST_F(PlayCliTest, OfflinePagesGetRuffleBesideThemOncePerRun) {
    fs::copy_file(dir / "clip.gif", dir / "other.gif");
    fs::create_directory(dir / "site");
    std::vector<std::string> files;  // what the run must print, and the folder must hold
    for (const fs::directory_entry& entry : fs::directory_iterator(kShippedRuffle))
        files.push_back(entry.path().filename().string());
    std::sort(files.begin(), files.end());
    // Standard output lists what was asked for, the movies and their pages; -v says on
    // standard error where Ruffle's files went.
    CliRun run = Quorvel({"convert", "clip.gif", "other.gif", "-o", "site", "--html", "--offline"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "site/clip.swf\nsite/clip.html\nsite/other.swf\nsite/other.html\n");
    EXPECT_FALSE(Contains(run.err, "ruffle")) << run.err;
    fs::remove_all(dir / "site");
    run = Quorvel({"convert", "clip.gif", "other.gif", "-o", "site", "--html", "--offline", "-v"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "site/clip.swf\nsite/clip.html\nsite/other.swf\nsite/other.html\n");
    EXPECT_TRUE(Contains(run.err, "quorvel: site/ruffle: Ruffle's web build, " +
                                      std::to_string(files.size()) + " files copied\n"))
        << run.err;
    EXPECT_EQ(ListFolder(dir / "site" / "ruffle"), files);
    for (const std::string& file : files) {
        EXPECT_FALSE(file.ends_with(".map")) << file;
        EXPECT_TRUE(ReadText(dir / "site/ruffle" / file) == ReadText(kShippedRuffle / file))
            << file;
    }
    EXPECT_NE(ReadText(dir / "site/clip.html").find("<script src=\"ruffle/ruffle.js\">"),
              std::string::npos);
    // With -n, Ruffle's files that are there stay as they are.
    ASSERT_TRUE(WriteText(dir / "site/ruffle/ruffle.js", "kept"));
    fs::remove(dir / "site/clip.swf");
    run = Quorvel({"convert", "clip.gif", "-o", "site", "--html", "--offline", "-n"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "site/clip.swf\n");
    EXPECT_EQ(ReadText(dir / "site/ruffle/ruffle.js"), "kept");
}

}  // namespace
