// quorvel play: a movie, or a GIF converted on the fly, in the desktop's browser with the Ruffle
// shipped with quorvel, served to this machine alone until interrupted.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <thread>

#include "cli/CliCommon.h"
#include "cli/LocalServer.h"
#include "cli/MovieOptions.h"
#include "cli/PlayerPage.h"
#include "cli/Progress.h"
#include "cli/Ruffle.h"
#include "cli/StdStreams.h"
#include "anim/AnimationScan.h"
#include "jobs/ConvertJob.h"

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
};

// The stage of an uncompressed (FWS) or zlib-compressed (CWS) movie, from the RECT after its
// 8-byte header: a 5-bit field width n, then x min, x max, y min and y max in n-bit signed
// twips. Those take at most 17 bytes.
std::optional<Stage> MovieStage(const fs::path& movie) {
    std::ifstream in(movie, std::ios::binary);
    char head[4096] = {};
    in.read(head, sizeof head);
    const std::size_t size = static_cast<std::size_t>(in.gcount());
    uint8_t rect[17] = {};
    if (size >= 8 + sizeof rect && std::memcmp(head, "FWS", 3) == 0) {
        std::memcpy(rect, head + 8, sizeof rect);
    } else if (size > 8 && std::memcmp(head, "CWS", 3) == 0) {
        z_stream z{};
        if (inflateInit(&z) != Z_OK) return std::nullopt;
        z.next_in = reinterpret_cast<Bytef*>(head + 8);
        z.avail_in = static_cast<uInt>(size - 8);
        z.next_out = rect;
        z.avail_out = sizeof rect;
        inflate(&z, Z_SYNC_FLUSH);
        inflateEnd(&z);
        if (z.avail_out != 0) return std::nullopt;
    } else {
        return std::nullopt;
    }
    const int bits = rect[0] >> 3;
    int at = 5;
    const auto field = [&] {
        int64_t value = 0;
        for (int i = 0; i < bits; ++i, ++at)
            value = value << 1 | (rect[at / 8] >> (7 - at % 8) & 1);
        return bits > 0 && value >> (bits - 1) ? value - (int64_t{1} << bits) : value;
    };
    const int64_t xMin = field(), xMax = field(), yMin = field(), yMax = field();
    const Stage stage{static_cast<int>((xMax - xMin + 19) / 20),
                      static_cast<int>((yMax - yMin + 19) / 20)};
    if (stage.width <= 0 || stage.height <= 0) return std::nullopt;
    return stage;
}

// Converts the GIF into the folder; returns the movie's path, or empty after saying why not.
fs::path ConvertForPlaying(const std::string& gif, const fs::path& folder,
                           const ConvertOptions& options, unsigned threads) {
    Progress progress(isatty(STDERR_FILENO) != 0, {gif});
    JobControl control;
    control.cancel = InterruptFlag();
    control.threads = threads;
    control.planned = [&progress](const JobPlan& plan) { progress.Planned(0, plan.frames); };
    control.progress = [&progress](int done) { progress.Frames(0, done); };
    const JobResult result = ConvertFile(gif, MoviePath(folder.string(), gif), options, control);
    progress.Clear();
    if (ReportResult(result) != kExitSuccess) return {};
    return result.outputs.front();
}

// Starts xdg-open on the address, its outputs discarded (it and the browser it starts talk a
// lot); returns its pid, or -1.
pid_t OpenInBrowser(const std::string& address) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    std::string program = "xdg-open", argument = address;
    char* argv[] = {program.data(), argument.data(), nullptr};
    pid_t pid = -1;
    const int error = posix_spawnp(&pid, "xdg-open", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    return error == 0 ? pid : -1;
}

void SayOpenIt(const std::string& address) {
    std::cerr << "quorvel: could not open a browser (xdg-open); open " << address << " in one\n";
}

// Serves until a signal comes, opening the page in the browser unless told not to.
void ServeUntilInterrupted(const std::string& address, bool open) {
    pid_t browser = open ? OpenInBrowser(address) : -1;
    if (open && browser < 0) SayOpenIt(address);
    while (!InterruptFlag()->load()) {
        int status = 0;
        if (browser > 0 && waitpid(browser, &status, WNOHANG) == browser) {
            if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) SayOpenIt(address);
            browser = -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

// The movie to play and its stage: the input itself, or the GIF converted into the folder.
// Returns false after saying why there is none.
bool MovieToPlay(const PlayArgs& options, const ConvertOptions& chosen, TempFolder& temp,
                 fs::path& movie, Stage& stage) {
    const GifInfo gif = ScanAnimationFile(options.input);
    movie = options.input;
    if (gif.opened) {
        if (const std::string error = temp.Create(); !error.empty()) {
            PrintError(options.input, error);
            return false;
        }
        movie = ConvertForPlaying(options.input, temp.Path(), chosen,
                                  options.movie.threads);
        stage = {gif.width, gif.height};
        return !movie.empty();
    }
    if (const std::optional<Stage> size = MovieStage(movie)) {
        stage = *size;
        return true;
    }
    PrintError(options.input,
               gif.notGif ? "neither a GIF nor an SWF movie that can be read" : gif.error);
    return false;
}

int RunPlay(const PlayArgs& options, const ConvertOptions& chosen, bool movieOptionsGiven) {
    const RuffleBuild ruffle = FindRuffle();
    if (!ruffle.Found()) {
        std::cerr << "quorvel: " << ruffle.error << '\n';
        return kExitInputFailed;
    }
    TempFolder temp;  // the converted movie, removed at the end
    fs::path movie;
    Stage stage;
    if (!MovieToPlay(options, chosen, temp, movie, stage)) return kExitInputFailed;
    if (temp.Path().empty() && movieOptionsGiven) {
        std::cerr << "quorvel: " << options.input
                  << ": the movie options are for a GIF; this is a movie already\n"
                     "Run 'quorvel play --help' for usage.\n";
        return kExitUsage;
    }

    LocalServer server;
    const std::string name = movie.filename().string();
    server.AddText(
        "", PlayerPage(movie.stem().string(), name, stage.width, stage.height, kBesideRuffleUrl));
    server.AddFile(name, movie);
    for (const std::string& file : ruffle.files)
        server.AddFile("ruffle/" + file, ruffle.folder / file);
    if (const std::string error = server.Start(); !error.empty()) {
        PrintError(options.input, error);
        return kExitInputFailed;
    }
    PrintOutputs({server.Address()});
    if (OutputClosed()) return kExitInputFailed;
    std::cerr << "Playing " << options.input << " at the address above; Ctrl-C stops.\n";
    ServeUntilInterrupted(server.Address(), !options.noOpen);
    return kExitSuccess;
}

}  // namespace

Command AddPlayCommand(CLI::App& app) {
    auto options = std::make_shared<PlayArgs>();
    CLI::App* sub = app.add_subcommand(
        "play",
        "Play a movie, or a GIF converted with the movie options, in the desktop's browser with "
        "the Ruffle shipped with quorvel, without the internet. The page is served to this "
        "machine alone (127.0.0.1) until Ctrl-C; its address is the first line of output.");
    sub->add_option("INPUT", options->input, "A GIF file, or an SWF movie")->required();
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
