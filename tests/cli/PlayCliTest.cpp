// The movie for a viewer without Flash or the internet: `quorvel play` serves exactly the page,
// the movie and Ruffle to this machine and cleans up after itself; `convert --html --offline`
// puts Ruffle beside the pages. (tests/player plays them in a browser.)

#include <gtest/gtest.h>
#include <httplib.h>
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

    // Runs `quorvel play`, calls serving(address) once the address is out, then interrupts it.
    CliRun Play(const std::vector<std::string>& args,
                const std::function<void(const std::string& address)>& serving) {
        return RunQuorvelWhile(args, dir.Path(), [&](int pid) {
            std::string out;
            for (int i = 0; i < 300 && out.find('\n') == std::string::npos; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                out = ReadText(dir / ".stdout");
            }
            if (out.find('\n') != std::string::npos) serving(out.substr(0, out.find('\n')));
            kill(pid, SIGINT);
        });
    }
};

struct Answer {
    int status = 0;  // 0: no answer
    std::string body;
};

// The port and the path of an address as play prints it; port 0 when it is not one.
std::pair<int, std::string> SplitAddress(const std::string& address) {
    std::smatch parts;
    if (!std::regex_match(address, parts,
                          std::regex("http://127\\.0\\.0\\.1:([0-9]+)(/[0-9a-f]{32}/)")))
        return {0, ""};
    return {std::stoi(parts[1]), parts[2]};
}

Answer Get(const std::string& host, int port, const std::string& path) {
    httplib::Client client(host, port);
    client.set_url_encode(false);  // the path goes out as written
    const httplib::Result result = client.Get(path);
    return result ? Answer{result->status, result->body} : Answer{};
}

TEST_F(PlayCliTest, ServesThePageTheMovieAndRuffleAloneThenRemovesTheMovie) {
    ASSERT_EQ(Quorvel({"convert", "-q", "clip.gif", "--fps", "5"}).status, 0);
    const std::string movie = ReadText(dir / "clip.swf");
    fs::create_directory(dir / "tmp");
    const ScopedEnv tmp("TMPDIR", (dir / "tmp").string());
    std::string address;
    std::vector<std::pair<std::string, Answer>> answers;
    bool otherAddress = true;
    const CliRun run =
        Play({"play", "--no-open", "clip.gif", "--fps", "5"}, [&](const std::string& at) {
            address = at;
            const auto [port, token] = SplitAddress(address);
            if (port == 0) return;
            for (const std::string& path :
                 {token, token + "clip.swf", token + "ruffle/ruffle.js", token + "ruffle/",
                  token + "ruffle/ruffle.js.map", token + "clip.gif",
                  token + "../" + token + "clip.swf", token + "ruffle/%2e%2e/clip.swf",
                  token.substr(0, token.size() - 1), std::string("/"),
                  std::string("/00000000000000000000000000000000/clip.swf")})
                answers.push_back({path, Get("127.0.0.1", port, path)});
            otherAddress = Get("127.0.0.2", port, token).status != 0;  // not on other addresses
        });
    EXPECT_EQ(run.status, 128 + SIGINT) << run.err;
    ASSERT_EQ(run.out, address + "\n");
    ASSERT_EQ(answers.size(), 11u) << address;
    for (std::size_t i = 0; i < answers.size(); ++i) {
        SCOPED_TRACE(answers[i].first);
        EXPECT_EQ(answers[i].second.status, i < 3 ? 200 : 404);
    }
    EXPECT_TRUE(answers[1].second.body == movie);
    EXPECT_TRUE(answers[2].second.body == ReadText(kShippedRuffle / "ruffle.js"));
    EXPECT_NE(answers[0].second.body.find("<script src=\"ruffle/ruffle.js\">"), std::string::npos);
    EXPECT_NE(answers[0].second.body.find("url: \"clip.swf\""), std::string::npos);
    EXPECT_FALSE(otherAddress);
    EXPECT_TRUE(fs::is_empty(dir / "tmp"));  // the converted movie is gone
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
    for (const std::string name : {"clip.swf", "packed.swf"}) {
        SCOPED_TRACE(name);
        Answer page, served;
        const CliRun run = Play({"play", "--no-open", name}, [&](const std::string& address) {
            const auto [port, token] = SplitAddress(address);
            page = Get("127.0.0.1", port, token);
            served = Get("127.0.0.1", port, token + name);
        });
        EXPECT_EQ(run.status, 128 + SIGINT) << run.err;
        EXPECT_TRUE(served.body == ReadText(dir / name));
        // At the stage's size, 8 x 6, read from the header.
        EXPECT_NE(page.body.find("width = \"8px\""), std::string::npos) << page.body;
        EXPECT_NE(page.body.find("height = \"6px\""), std::string::npos);
    }

    ASSERT_TRUE(WriteText(dir / "notes.txt", "not a movie"));
    fs::create_directory(dir / "empty");
    const struct {
        std::vector<std::string> args;
        const char* ruffleDir;  // QUORVEL_RUFFLE_DIR, when set
        int status;
        const char* says;
    } cases[] = {
        {{"play", "clip.swf", "--fps", "3"}, nullptr, 2, "the movie options are for a GIF"},
        {{"play", "notes.txt"}, nullptr, 1, "notes.txt: neither a GIF nor an SWF movie"},
        {{"play", "missing.gif"}, nullptr, 1, "missing.gif: No such file or directory"},
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
        const CliRun refused = Quorvel(c.args);
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
    CliRun run = Quorvel({"convert", "clip.gif", "other.gif", "-o", "site", "--html", "--offline"});
    ASSERT_EQ(run.status, 0) << run.err;
    std::string expected = "site/clip.swf\nsite/clip.html\n";
    for (const std::string& file : files) expected += "site/ruffle/" + file + "\n";
    EXPECT_EQ(run.out, expected + "site/other.swf\nsite/other.html\n");
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
