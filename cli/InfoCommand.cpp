// quorvel info: what an animation is, as browsers show it, and the movie the timing options
// make of it, from scans that decode no pixel; or what a movie holds: its header, whether its
// pictures can be transparent, and the symbols it names, for a library. As text, or as JSON.

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <numeric>
#include <optional>
#include <sstream>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "anim/AnimationScan.h"
#include "cli/CliCommon.h"
#include "cli/MovieOptions.h"
#include "jobs/BatchJob.h"
#include "jobs/convert/ConversionPlan.h"
#include "swf/SwfInfo.h"

using Json = nlohmann::ordered_json;

namespace {

struct InfoOptions {
    std::vector<std::string> inputs;
    MovieArgs movie;
    bool json = false;
};

// What info tells of an animation: the animation as browsers show it (every image a frame,
// each as long as they show it), and the movie the options make of it.
struct AnimationFacts {
    GifInfo shown;
    ConversionPlan plan;
    int movieImages = 0;      // the frames the options compose, before the timing leaves any out
    int64_t movieFrames = 0;  // the movie's frames in one pass
};

AnimationFacts Study(const std::string& file, const ConvertOptions& chosen) {
    AnimationFacts facts;
    facts.shown = ScanAnimationFile(file, kBrowserFrames);
    if (!facts.shown.opened) return facts;
    const GifInfo scan = ScanAnimationFile(file, chosen.Rules());
    facts.plan = PlanConversion(scan, chosen);
    facts.movieImages = scan.frames;
    for (std::size_t i = 0; i < scan.delaysMs.size(); ++i)
        facts.movieFrames += facts.plan.ShowFrames(i);
    return facts;
}

// How often it plays: 0 for ever, as a count of passes.
int Plays(std::optional<int> loopExtension) {
    if (!loopExtension) return 1;
    return *loopExtension == 0 ? 0 : *loopExtension + 1;
}

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
    if (!info.loopExtension) return info.format == "GIF" ? "once (the GIF has no loop count)" : "once";
    const int plays = Plays(info.loopExtension);  // a count of N repeats N times after the first
    return plays == 0 ? "for ever" : Count(plays, "time");
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

// The movie's speed against the animation's, in percent.
int64_t SpeedPercent(int64_t movieFrames, int fps, int64_t gifMs) {
    return (gifMs * 100 * fps + movieFrames * 500) / (movieFrames * 1000);
}

// "3.20 s at 10 fps, 50% of the GIF's speed; loops for ever"
std::string MovieLength(const AnimationFacts& facts) {
    const ConversionPlan& plan = facts.plan;
    if (!plan.error.empty()) return "none: " + plan.error;
    if (facts.movieFrames <= 0) return "no frames";
    const int64_t percent = SpeedPercent(facts.movieFrames, plan.fps, plan.gifMs);
    return Seconds(facts.movieFrames * 1000 / plan.fps) + " at " + std::to_string(plan.fps) +
           " fps, " +
           (percent == 100 ? "the " + plan.format + "'s speed"
                           : std::to_string(percent) + "% of the " + plan.format + "'s speed") +
           "; " +
           (plan.passes == 0 ? "loops for ever"
                             : plan.passes == 1 ? "plays once" : "plays " + Count(plan.passes, "time"));
}

// "5, showing all 3 frames", or which frames it leaves out, and why.
std::string MovieFrames(const AnimationFacts& facts) {
    const int frames = facts.shown.frames;
    const ConversionPlan& plan = facts.plan;
    std::string text = std::to_string(facts.movieFrames) + ", showing ";
    if (plan.frames == frames) return text + "all " + Count(frames, "frame");
    text += std::to_string(plan.frames) + " of the " + Count(frames, "frame");
    if (facts.movieImages < frames) return text + ": those without a delay join the next";
    return text + ": " + std::to_string(facts.movieImages - plan.frames) +
           " shorter than a frame at " + std::to_string(plan.fps) + " fps left out";
}

// One line each, the file's name first.
std::vector<std::string> Describe(const std::string& file, const AnimationFacts& facts) {
    const GifInfo& info = facts.shown;
    std::vector<int> delays;
    for (const int delay : info.delaysMs) delays.push_back(ShownDelay(delay));
    std::vector<std::string> lines = {file, "  size          " + std::to_string(info.width) +
                                                " x " + std::to_string(info.height) + " pixels"};
    lines.push_back("  format        " + info.format);
    lines.push_back("  frames        " + std::to_string(info.frames));
    if (!delays.empty())
        lines.push_back("  duration      " + Seconds(info.durationMs) + ", " + FrameLengths(delays));
    lines.push_back("  loops         " + Loops(info));
    if (info.format == "GIF") lines.push_back("  colours       " + Colours(info));
    if (info.format == "GIF")
        lines.push_back("  transparency  " +
                    (info.transparentImages == 0
                         ? std::string("none")
                         : "a transparent colour in " + std::to_string(info.transparentImages) +
                               " of " + Count(info.images, "image")));
    if (info.frames > 0) {
        lines.push_back("  movie         " + MovieLength(facts));
        if (facts.plan.error.empty()) lines.push_back("  movie frames  " + MovieFrames(facts));
    }
    return lines;
}

// The same facts for jq and scripts: keys that are always there, null where they do not apply.
Json AnimationJson(const std::string& file, const AnimationFacts& facts) {
    const GifInfo& info = facts.shown;
    const bool gif = info.format == "GIF";
    Json delays = Json::array();
    for (const int delay : info.delaysMs) delays.push_back(ShownDelay(delay));
    Json json = {{"file", file}, {"kind", "animation"}, {"error", nullptr},
                 {"warning", info.error.empty() ? Json() : Json(info.error)},
                 {"format", info.format}, {"width", info.width}, {"height", info.height},
                 {"frames", info.frames}, {"duration_ms", info.durationMs},
                 {"delays_ms", delays}, {"plays", Plays(info.loopExtension)},
                 {"global_colors", gif ? Json(info.globalColors) : Json()},
                 {"local_color_tables", gif ? Json(info.localColorTables) : Json()},
                 {"transparent_images", gif ? Json(info.transparentImages) : Json()}};
    const ConversionPlan& plan = facts.plan;
    if (!plan.error.empty() || facts.movieFrames <= 0) {
        json["movie"] = nullptr;
        return json;
    }
    json["movie"] = {{"timing", NameOf(kTimingNames, plan.options.timing)}, {"fps", plan.fps},
                     {"frames", facts.movieFrames}, {"frames_shown", plan.frames},
                     {"duration_ms", facts.movieFrames * 1000 / plan.fps},
                     {"speed_percent", SpeedPercent(facts.movieFrames, plan.fps, plan.gifMs)},
                     {"plays", plan.passes}};
    return json;
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
    lines.push_back(std::string("  transparency  ") +
                    (movie.alphaBitmaps ? "bitmaps with an alpha channel" : "none"));
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

Json MovieJson(const std::string& file, const SwfSummary& movie) {
    Json symbols = Json::array();
    for (const SwfSummary::Symbol& symbol : movie.symbols) {
        symbols.push_back({{"name", symbol.name}, {"id", symbol.id},
                           {"table", symbol.isClass ? "SymbolClass" : "ExportAssets"},
                           {"frames", symbol.spriteFrames >= 0 ? Json(symbol.spriteFrames) : Json()}});
    }
    return {{"file", file}, {"kind", "movie"}, {"error", nullptr},
            {"warning", movie.error.empty() ? Json() : Json(movie.error)},
            {"version", movie.version}, {"actionscript3", movie.actionScript3},
            {"compression", NameOf(kCompressionNames, movie.compression)},
            {"file_length", movie.fileLength}, {"width", movie.width}, {"height", movie.height},
            {"fps", movie.frameRate}, {"frames", movie.frames},
            {"alpha_bitmaps", movie.alphaBitmaps}, {"symbols", symbols}};
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

// What info says of one input: its lines or its JSON, its warning, or why it says nothing.
struct Report {
    std::vector<std::string> lines;
    Json json;
    std::string warning;
    std::string error;
};

Report Examine(const std::string& file, const ConvertOptions& chosen) {
    Report report;
    if (const std::optional<std::vector<uint8_t>> bytes = MovieBytes(file)) {
        const SwfSummary movie = SummarizeSwf(*bytes);
        if (!movie.opened) return {{}, {}, {}, movie.error};
        return {DescribeMovie(file, movie), MovieJson(file, movie), movie.error, {}};
    }
    const AnimationFacts facts = Study(file, chosen);
    const GifInfo& info = facts.shown;
    if (!info.opened) return {{}, {}, {}, info.notGif ? "not a GIF" : info.error};
    if (!info.error.empty())
        report.warning = "the " + info.format + " breaks off after " +
                         Count(info.frames, "frame") + ": " + info.error;
    report.lines = Describe(file, facts);
    report.json = AnimationJson(file, facts);
    return report;
}

// The files of the inputs: a folder stands for its animation files, as convert takes them;
// a folder without any is an error of its own (empty file list, error set).
std::vector<std::pair<std::string, std::string>> Files(const std::vector<std::string>& inputs) {
    std::vector<std::pair<std::string, std::string>> files;
    for (const std::string& input : inputs) {
        std::error_code ec;
        if (!std::filesystem::is_directory(input, ec)) {
            files.push_back({input, ""});
            continue;
        }
        std::string error;
        const std::vector<std::string> listed = ListAnimationFiles(input, &error);
        if (error.empty() && listed.empty()) error = "no animation files in the folder";
        if (!error.empty()) files.push_back({input, error});
        for (const std::string& file : listed) files.push_back({file, ""});
    }
    return files;
}

// Text: a block for each file, a blank line between; JSON: one array of an object for each
// input file, errors among them ({"file", "kind": "error", "error"}), printed at the end.
int RunInfo(const InfoOptions& options, const ConvertOptions& chosen) {
    int status = kExitSuccess;
    bool first = true;
    Json all = Json::array();
    for (const auto& [file, folderError] : Files(options.inputs)) {
        const Report report = folderError.empty() ? Examine(file, chosen) : Report{{}, {}, {}, folderError};
        if (!report.error.empty()) {
            PrintError(file, report.error);
            all.push_back({{"file", file}, {"kind", "error"}, {"error", report.error}});
            status = kExitInputFailed;
            continue;
        }
        if (!report.warning.empty()) PrintWarning(file, report.warning);
        if (options.json) {
            all.push_back(report.json);
            continue;
        }
        if (!first) PrintOutputs({""});
        first = false;
        PrintOutputs(report.lines);
        if (OutputClosed()) return kExitInputFailed;
    }
    if (options.json) {
        // Line by line: JSON escapes every control character within its strings.
        std::istringstream text(all.dump(2, ' ', false, Json::error_handler_t::replace));
        std::vector<std::string> lines;
        for (std::string line; std::getline(text, line);) lines.push_back(line);
        PrintOutputs(lines);
    }
    return OutputClosed() ? kExitInputFailed : status;
}

}  // namespace

Command AddInfoCommand(CLI::App& app) {
    auto options = std::make_shared<InfoOptions>();
    CLI::App* sub = app.add_subcommand(
        "info",
        "Show what each animation (GIF, WebP, APNG) is, as browsers show it (size, format, "
        "frames, duration, loop count, colours, transparency), and the movie that convert makes "
        "of it with the timing options given (its length, rate, speed against the animation's, "
        "passes and frames); or, for an SWF movie, its version, compression, stage, rate, frame "
        "count, transparency and the symbols it names (SymbolClass, ExportAssets).");
    sub->add_option("FILE", options->inputs,
                    "GIF, WebP or PNG (APNG) files, SWF movies, or folders of animation files")
        ->required();
    AddTimingOptions(*sub, options->movie);
    sub->add_flag("--json", options->json,
                  "Print one JSON array with an object for each file, errors included "
                  "(\"kind\": \"animation\", \"movie\" or \"error\"), for jq and scripts");
    return {sub, [options, sub] { return RunInfo(*options, ChosenOptions(options->movie, *sub)); }};
}
