// quorvel play: a movie, or a GIF converted on the fly, in the desktop's browser with the Ruffle
// shipped with quorvel, served to this machine alone until interrupted.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <optional>
#include <thread>

#include "base/AtomicFile.h"
#include "cli/CliCommon.h"
#include "cli/LocalServer.h"
#include "cli/MovieOptions.h"
#include "cli/PlayerPage.h"
#include "cli/Progress.h"
#include "cli/Ruffle.h"
#include "cli/StdStreams.h"
#include "anim/AnimationFormat.h"
#include "jobs/ConvertJob.h"
#include "swf/SwfInfo.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

struct PlayArgs {
    std::string input;
    MovieArgs movie;
    bool noOpen = false;
};

struct Stage {
    int width = 0, height = 0;
    bool transparent = false;  // the page shows through where no picture covers the stage
};

// The stage of a movie file, and whether its pictures can be transparent (they have an alpha
// channel); none when it is not a movie that can be read.
std::optional<Stage> MovieStage(const fs::path& movie) {
    std::ifstream in(movie, std::ios::binary);
    const std::vector<uint8_t> bytes(std::istreambuf_iterator<char>(in), {});
    const SwfSummary summary = SummarizeSwf(bytes);
    const Stage stage{static_cast<int>(std::ceil(summary.width)),
                      static_cast<int>(std::ceil(summary.height)), summary.alphaBitmaps};
    if (!summary.opened || stage.width <= 0 || stage.height <= 0) return std::nullopt;
    return stage;
}

// The name the movie is served under, whatever the input's name: the page asks for it by this
// name, which no character of a file name (a newline, say) can garble.
constexpr const char* kMovieName = "movie.swf";
// The page that sends the browser on to the server, in a private folder of its own.
constexpr const char* kRedirectName = "play.html";

// What play serves: a converted movie in memory, or the input movie itself.
struct Movie {
    std::string title;  // of the page
    std::string bytes;  // the movie, when converted
    fs::path file;      // the movie, when the input is one
    Stage stage;
};

// Converts the GIF (called `shown` in messages) in a private folder and reads the movie back
// into memory, so that nothing of it is on disk while it is served and a killed play leaves
// nothing (the folder of one killed while converting is removed by the next run: TempFolder).
// Returns false after saying why not.
bool ConvertForPlaying(const std::string& gif, const std::string& shown,
                       const ConvertOptions& options, unsigned threads, Movie& movie) {
    TempFolder temp;
    if (const std::string error = temp.Create(); !error.empty()) {
        PrintError(shown, error);
        return false;
    }
    Progress progress(isatty(STDERR_FILENO) != 0, {QuoteName(shown)});
    JobControl control;
    control.cancel = InterruptFlag();
    control.threads = threads;
    control.planned = [&progress](const JobPlan& plan) { progress.Planned(0, plan.frames); };
    control.progress = [&progress](int done) { progress.Frames(0, done); };
    JobResult result = ConvertFile(gif, temp.Path() / kMovieName, options, control);
    progress.Clear();
    result.input = shown;
    if (ReportResult(result) != kExitSuccess) return false;
    movie.stage = {result.plan.width, result.plan.height, options.transparent};
    std::ifstream in(result.outputs.front(), std::ios::binary);
    movie.bytes.assign(std::istreambuf_iterator<char>(in), {});
    if (in.bad() || movie.bytes.empty()) {
        PrintError(shown, "cannot read back the movie made in " + temp.Path().string());
        return false;
    }
    return true;
}

// Writes the page that sends the browser on to the address into a new private folder (0700),
// readable by this user alone (0600): xdg-open gets its name rather than the address, whose
// token is the only key to the server and would be in its arguments, which every local user can
// read in /proc. Returns the page's path, or empty after saying why there is none.
fs::path WriteRedirectPage(const std::string& address, TempFolder& folder) {
    if (const std::string error = folder.Create(); !error.empty()) {
        std::cerr << "quorvel: " << error << '\n';
        return {};
    }
    const fs::path page = folder.Path() / kRedirectName;
    const std::string head =
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
    const std::string text = head + "<meta http-equiv=\"refresh\" content=\"0; url=" +
                             address + "\">\n<title>quorvel play</title>\n</head>\n<body>\n" +
                             "<p><a href=\"" + address +
                             "\">Play the movie</a></p>\n</body>\n</html>\n";
    const int fd = open(page.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    const bool written =
        fd >= 0 && write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    const int error = errno;
    if (fd >= 0) close(fd);
    if (written) return page;
    std::cerr << "quorvel: cannot write " << page.string() << ": " << ErrorText(error) << '\n';
    return {};
}

// Starts xdg-open on the file, its outputs discarded (it and the browser it starts talk a lot)
// and none of this program's other files open in it (the server's sockets); returns its pid,
// or -1.
pid_t OpenInBrowser(const fs::path& file) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    std::string program = "xdg-open", argument = file.string();
    char* argv[] = {program.data(), argument.data(), nullptr};
    pid_t pid = -1;
    const int error = posix_spawnp(&pid, "xdg-open", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    return error == 0 ? pid : -1;
}

void SayOpenIt(const std::string& address) {
    std::cerr << "quorvel: could not open a browser (xdg-open); open " << address << " in one\n";
}

// Serves until a signal comes, opening the redirect page in the browser when there is one, and
// removing it once the browser has followed it (it asks for the page) or could not be opened.
void ServeUntilInterrupted(const LocalServer& server, TempFolder& redirect) {
    pid_t browser = redirect.Path().empty() ? -1 : OpenInBrowser(redirect.Path() / kRedirectName);
    if (!redirect.Path().empty() && browser < 0) SayOpenIt(server.Address());
    while (!InterruptFlag()->load()) {
        int status = 0;
        if (browser > 0 && waitpid(browser, &status, WNOHANG) == browser) {
            if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
                SayOpenIt(server.Address());
                redirect.Remove();
            }
            browser = -1;
        }
        if (server.PageServed()) redirect.Remove();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

// The movie to play and its stage: the input itself, or the GIF (from standard input with "-")
// converted. Returns false after saying why there is none.
bool MovieToPlay(const PlayArgs& options, const ConvertOptions& chosen, Movie& movie) {
    const bool fromStdin = options.input == kStdStream;
    const std::string path = fromStdin ? kStoredStdinPath : options.input;
    if (const std::string error = fromStdin ? SaveStandardInput() : ""; !error.empty()) {
        PrintError(kStdStream, error);
        return false;
    }
    movie.title = fromStdin ? "stdin" : fs::path(path).stem().string();
    // An animation is told by its signature, and converted: the conversion reads it once to
    // plan and once to decode, and says what is wrong with it.
    if (!std::ifstream(path, std::ios::binary)) {
        PrintError(options.input, std::strerror(errno));
        return false;
    }
    if (FormatOfFile(path) != AnimationFormat::Unknown)
        return ConvertForPlaying(path, options.input, chosen, options.movie.threads, movie);
    if (const std::optional<Stage> size = MovieStage(path)) {
        movie.file = path;
        movie.stage = *size;
        return true;
    }
    PrintError(options.input, "neither a GIF nor an SWF movie that can be read");
    return false;
}

// Ends the program once it serves: the server's threads are not waited for, since a client can
// hold one in a read for ever, and nothing is left to remove (the movie is in memory, the
// redirect page gone).
[[noreturn]] void EndPlay(int status) {
    std::cout.flush();
    std::cerr.flush();
    const int signal = InterruptSignal();
    std::_Exit(signal ? 128 + signal : OutputClosed() ? kExitInputFailed : status);
}

// Prints the address and serves until interrupted.
int Serve(const LocalServer& server, const PlayArgs& options) {
    PrintOutputs({server.Address()});
    if (OutputClosed()) return kExitInputFailed;
    TempFolder redirect;
    if (!options.noOpen && WriteRedirectPage(server.Address(), redirect).empty())
        SayOpenIt(server.Address());
    std::cerr << "Playing " << QuoteName(options.input) << " at the address above; Ctrl-C stops.\n";
    ServeUntilInterrupted(server, redirect);
    return kExitSuccess;
}

int RunPlay(const PlayArgs& options, const ConvertOptions& chosen, bool movieOptionsGiven) {
    const RuffleBuild ruffle = FindRuffle();
    std::string error = ruffle.error;
    LocalServer* const server = ruffle.Found() ? LoadLocalServer(error) : nullptr;
    if (server == nullptr) {
        std::cerr << "quorvel: " << error << '\n';
        return kExitInputFailed;
    }
    Movie movie;
    if (!MovieToPlay(options, chosen, movie)) return kExitInputFailed;
    if (!movie.file.empty() && movieOptionsGiven) {
        std::cerr << "quorvel: " << QuoteName(options.input)
                  << ": the movie options are for a GIF; this is a movie already\n"
                     "Run 'quorvel play --help' for usage.\n";
        return kExitUsage;
    }

    server->AddBytes("", PlayerPage(movie.title, kMovieName, movie.stage.width,
                                    movie.stage.height, kBesideRuffleUrl, movie.stage.transparent));
    if (movie.file.empty()) server->AddBytes(kMovieName, std::move(movie.bytes));
    else server->AddFile(kMovieName, movie.file);
    for (const std::string& file : ruffle.files)
        server->AddFile("ruffle/" + file, ruffle.folder / file);
    if (error = server->Start(); !error.empty()) {
        PrintError(options.input, error);
        return kExitInputFailed;
    }
    EndPlay(Serve(*server, options));
}

}  // namespace

Command AddPlayCommand(CLI::App& app) {
    auto options = std::make_shared<PlayArgs>();
    CLI::App* sub = app.add_subcommand(
        "play",
        "Play a movie, or a GIF converted with the movie options, in the desktop's browser with "
        "the Ruffle shipped with quorvel, without the internet. The page is served to this "
        "machine alone (127.0.0.1) until Ctrl-C; its address is the first line of output.");
    sub->add_option("INPUT", options->input,
                    "A GIF file, or an SWF movie; - reads a GIF from standard input")
        ->required();
    const std::vector<CLI::Option*> movieOptions = AddMovieOptions(*sub, options->movie);
    sub->add_flag("--no-open", options->noOpen,
                  "Only print the page's address; do not open a browser");
    return {sub, [options, sub, movieOptions] {
                const bool given =
                    std::any_of(movieOptions.begin(), movieOptions.end(),
                                [](const CLI::Option* option) { return option->count() > 0; });
                return RunPlay(*options, ChosenOptions(options->movie, *sub), given);
            }};
}
