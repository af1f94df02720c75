// quorvel info: what a GIF holds, and how long its movie plays, from a scan that decodes no
// pixel; or what a movie holds: its header and the symbols it names, for a library.

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <numeric>
#include <optional>

#include "cli/CliCommon.h"
#include "anim/AnimationScan.h"
#include "jobs/convert/FrameTiming.h"
#include "swf/SwfInfo.h"

namespace {

struct InfoOptions {
    std::vector<std::string> inputs;
    int fps = kDefaultFps;
};

// "1.60 s"
std::string Seconds(int64_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", static_cast<double>(ms) / 1000.0);
    return text;
}

std::string Count(int64_t n, const std::string& what) {
    return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

// How long the frames last: "100 ms a frame" or "20 to 100 ms a frame".
std::string FrameLengths(const std::vector<int>& shown) {
    const auto [low, high] = std::minmax_element(shown.begin(), shown.end());
    return (*low == *high ? std::to_string(*low)
                          : std::to_string(*low) + " to " + std::to_string(*high)) +
           " ms a frame";
}

std::string Loops(const GifInfo& info) {
    const std::optional<int> extension = info.loopExtension;
    if (!extension) return info.format == "GIF" ? "once (the GIF has no loop count)" : "once";
    if (*extension == 0) return "for ever";
    return Count(*extension + 1, "time");  // a count of N repeats N times after the first
}

std::string Colours(const GifInfo& info) {
    std::string text = info.globalColors
                           ? std::to_string(info.globalColors) + " in the global table"
                           : "no global table";
    if (info.localColorTables > 0)
        text += "; " + Count(info.localColorTables, "image") + " with a table of its own (up to " +
                std::to_string(info.largestLocalColors) + ")";
    return text;
}

// "3.20 s at 10 fps, 50% of the GIF's speed"
std::string MovieLength(int64_t swfFrames, int fps, int64_t gifMs) {
    if (swfFrames <= 0) return "no frames";
    std::string text = Seconds(swfFrames * 1000 / fps) + " at " + std::to_string(fps) + " fps";
    const int64_t percent = (gifMs * 100 * fps + swfFrames * 500) / (swfFrames * 1000);
    return text + (percent == 100 ? ", the GIF's speed"
                                  : ", " + std::to_string(percent) + "% of the GIF's speed");
}

// shown: the GIF as browsers play it, every image a frame. One line each, the file's name first.
std::vector<std::string> Describe(const std::string& file, const GifInfo& info,
                                  const GifInfo& shown, int fps) {
    std::vector<int> delays;
    for (const int delay : shown.delaysMs) delays.push_back(ShownDelay(delay));
    const int64_t gifMs = std::accumulate(delays.begin(), delays.end(), int64_t{0});
    std::vector<std::string> lines = {file, "  size          " + std::to_string(info.width) +
                                                " x " + std::to_string(info.height) + " pixels"};
    lines.push_back("  format        " + info.format);
    lines.push_back("  frames        " + std::to_string(info.frames));
    if (info.images != info.frames)
        lines.back() +=
            " (" + Count(info.images, "image") + ": those without a delay join the next)";
    if (!delays.empty())
        lines.push_back("  duration      " + Seconds(gifMs) + ", " + FrameLengths(delays));
    lines.push_back("  loops         " + Loops(info));
    if (info.format == "GIF") lines.push_back("  colours       " + Colours(info));
    if (info.format == "GIF")
        lines.push_back("  transparency  " +
                    (info.transparentImages == 0
                         ? std::string("none")
                         : "a transparent colour in " + std::to_string(info.transparentImages) +
                               " of " + Count(info.images, "image")));
    if (info.frames > 0) {
        const int gifRate = ChooseFrameRate(shown.delaysMs);
        const std::vector<int> schedule = ScheduleFrames(shown.delaysMs, gifRate);
        lines.push_back("  movie         " + MovieLength(info.frames, fps, gifMs));
        lines.push_back("  --like-gif    " +
                        MovieLength(std::accumulate(schedule.begin(), schedule.end(), int64_t{0}),
                                    gifRate, gifMs));
    }
    return lines;
}

// "96", "12.5"
std::string Number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

std::string Storage(SwfCompression compression) {
    switch (compression) {
        case SwfCompression::Zlib:
            return "zlib (CWS)";
        case SwfCompression::Lzma:
            return "LZMA (ZWS)";
        case SwfCompression::None:
            break;
    }
    return "uncompressed (FWS)";
}

std::vector<std::string> DescribeMovie(const std::string& file, const SwfSummary& movie) {
    std::vector<std::string> lines = {file};
    lines.push_back("  version       " + std::to_string(movie.version) +
                    (movie.actionScript3 ? ", ActionScript 3" : ""));
    lines.push_back("  compression   " + Storage(movie.compression) + ", " +
                    std::to_string(movie.fileLength) + " bytes uncompressed");
    lines.push_back("  stage         " + Number(movie.width) + " x " + Number(movie.height) +
                    " pixels");
    lines.push_back("  rate          " + Number(movie.frameRate) + " fps");
    lines.push_back("  frames        " + std::to_string(movie.frames));
    if (movie.symbols.empty()) lines.push_back("  symbols       none");
    for (const SwfSummary::Symbol& symbol : movie.symbols) {
        std::string line = "  symbol        " + symbol.name + " (character " +
                           std::to_string(symbol.id) +
                           (symbol.isClass ? ", SymbolClass" : ", ExportAssets");
        if (symbol.spriteFrames >= 0) line += ", " + Count(symbol.spriteFrames, "frame");
        lines.push_back(line + ")");
    }
    return lines;
}

// A file that starts like a movie: FWS, CWS or ZWS.
std::optional<std::vector<uint8_t>> MovieBytes(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    char head[3] = {};
    if (!in.read(head, 3) || (head[0] != 'F' && head[0] != 'C' && head[0] != 'Z') ||
        head[1] != 'W' || head[2] != 'S')
        return std::nullopt;
    in.seekg(0);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Describes a movie; false when it could not be read at all.
bool ShowMovie(const std::string& file, const std::vector<uint8_t>& bytes, bool& first) {
    const SwfSummary movie = SummarizeSwf(bytes);
    if (!movie.opened) {
        PrintError(file, movie.error);
        return false;
    }
    if (!first) PrintOutputs({""});
    first = false;
    PrintOutputs(DescribeMovie(file, movie));
    if (!movie.error.empty()) PrintWarning(file, movie.error);
    return true;
}

int RunInfo(const InfoOptions& options) {
    int status = kExitSuccess;
    bool first = true;
    for (const std::string& file : options.inputs) {
        if (const std::optional<std::vector<uint8_t>> movie = MovieBytes(file)) {
            if (!ShowMovie(file, *movie, first)) status = kExitInputFailed;
            if (OutputClosed()) return kExitInputFailed;
            continue;
        }
        const GifInfo info = ScanAnimationFile(file);
        if (!info.opened) {
            PrintError(file, info.notGif ? "not a GIF" : info.error);
            status = kExitInputFailed;
            continue;
        }
        if (!first) PrintOutputs({""});
        first = false;
        PrintOutputs(
            Describe(file, info, ScanAnimationFile(file, kBrowserFrames), options.fps));
        if (!info.error.empty()) {
            PrintWarning(file, "the " + info.format + " breaks off after " + Count(info.frames, "frame") + ": " +
                                   info.error);
        }
        if (OutputClosed()) return kExitInputFailed;
    }
    return status;
}

}  // namespace

Command AddInfoCommand(CLI::App& app) {
    auto options = std::make_shared<InfoOptions>();
    CLI::App* sub = app.add_subcommand(
        "info",
        "Show what each animation (GIF, WebP, APNG) holds (size, format, frames, duration, "
        "loop count, colours, transparency) and how long its movie plays, at --fps and with the "
        "GIF's own timing (--like-gif); or, for an SWF movie, its version, compression, stage, "
        "rate, frame count and the symbols it names (SymbolClass, ExportAssets).");
    sub->add_option("FILE", options->inputs, "GIF, WebP or PNG (APNG) files, or SWF movies")
        ->required();
    sub->add_option("--fps", options->fps,
                    "The movie's frames per second, 1 to 255, as convert takes it (default " +
                        std::to_string(kDefaultFps) + ")")
        ->check(WholeNumber())
        ->check(CLI::Range(kMinFps, kMaxFps))
        ->type_name("N");
    return {sub, [options] { return RunInfo(*options); }};
}
