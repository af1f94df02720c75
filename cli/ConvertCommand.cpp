#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <system_error>

#include "base/AtomicFile.h"
#include "cli/CliCommon.h"
#include "cli/MovieOptions.h"
#include "cli/OutputTarget.h"
#include "cli/PlayerPage.h"
#include "cli/Progress.h"
#include "cli/RunChecks.h"
#include "cli/Ruffle.h"
#include "cli/StdStreams.h"
#include "cli/Usage.h"
#include "jobs/BatchJob.h"
#include "jobs/ConvertJob.h"

namespace fs = std::filesystem;

namespace {

struct ConvertArgs {
    std::vector<std::string> inputs;
    std::string output;
    MovieArgs movie;
    bool quiet = false;
    bool verbose = false;  // each file's plan and time, and where Ruffle's files went
    bool noOverwrite = false;
    bool html = false;
    bool offline = false;  // Ruffle's files beside the pages
    std::string ruffleUrl = kDefaultRuffleUrl;
};

// Writes the page that plays a converted movie beside it and lists it among the result's
// outputs. A page that exists is kept when asked; a page that cannot be written fails the file.
void AddPlayerPage(JobResult& result, const ConvertArgs& options) {
    if (!result.Succeeded() || result.outputs.empty()) return;
    const fs::path movie = result.outputs.front();
    const fs::path page = PagePath(movie);
    std::error_code ec;
    if (options.noOverwrite && fs::exists(page, ec)) {
        if (!options.quiet) PrintError(page.string(), "exists; not replaced (--no-overwrite)");
        return;
    }
    const std::string text =
        PlayerPage(movie.stem().string(), movie.filename().string(), result.plan.width,
                   result.plan.height, options.offline ? kBesideRuffleUrl : options.ruffleUrl,
                   options.movie.movie.transparent);
    const int error = WriteFileAtomically(page, reinterpret_cast<const uint8_t*>(text.data()),
                                          text.size());
    if (error != 0) {
        result.status = JobResult::Status::Failed;
        result.error = "the movie was written, but not its page " + page.string() + ": " +
                       ErrorText(error);
        return;
    }
    result.outputs.push_back(page.string());
}

// Copies Ruffle's files beside the page of a converted movie, into "ruffle" of its folder, once
// for each folder of the run. They are not listed among the outputs, which are what was asked
// for; -v says where they went.
void AddRuffle(JobResult& result, const RuffleBuild& ruffle, std::set<fs::path>& folders,
               const ConvertArgs& options) {
    if (!result.Succeeded() || result.outputs.empty()) return;
    const fs::path folder = fs::path(result.outputs.front()).parent_path() / "ruffle";
    if (!folders.insert(folder).second) return;
    std::vector<std::string> copied;
    if (const std::string error = CopyRuffle(ruffle, folder, options.noOverwrite, copied);
        !error.empty()) {
        result.status = JobResult::Status::Failed;
        result.error = "the movie and its page were written, but not Ruffle's files: " + error;
    } else if (options.verbose) {
        std::cerr << "quorvel: " << QuoteName(folder.string()) << ": Ruffle's web build, "
                  << copied.size() << " files copied\n";
    }
}

// "0.30 s"
std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", seconds);
    return text;
}

// What -v says of a converted file: the movie it planned, the pictures it encoded, and when it
// was done, in seconds from the start of the run.
void PrintPlan(const JobResult& result, double seconds) {
    const JobPlan& plan = result.plan;
    if (plan.fps == 0) return;  // never planned
    std::cerr << "quorvel: " << QuoteName(result.input) << ": " << plan.width << " x "
              << plan.height << " pixels, " << plan.frames << " frames at " << plan.fps
              << " fps, " << Seconds(static_cast<double>(plan.movieMs) / 1000) << " a pass (the "
              << Seconds(static_cast<double>(plan.gifMs) / 1000) << " of the animation); "
              << result.encoded << " pictures encoded, done " << Seconds(seconds)
              << " into the run\n";
}

// The usage errors that show before any input is read; 0 when there is none.
int RefusedUsage(const ConvertArgs& options, const ConvertOptions& chosen) {
    const bool fromStdin =
        std::find(options.inputs.begin(), options.inputs.end(), kStdStream) != options.inputs.end();
    const bool toStdout = options.output == kStdStream;
    if (const std::string problem = TargetUrlProblem(chosen.targetUrl); !problem.empty())
        return UsageError("convert", problem);
    if (fromStdin && options.inputs.size() > 1)
        return UsageError("convert", "standard input ('-') must be the only input");
    if (toStdout && options.html)
        return UsageError("convert", "--html needs a folder for the page, not standard output");
    if (const std::string refusal = TerminalRefusal(); toStdout && !refusal.empty())
        return UsageError("convert", refusal);
    return 0;
}

// The usage errors of the inputs found: several for one movie (-o NAME.swf names one library
// of them all with --library), or what the options for Flash projects cannot do with them.
std::string OutputsProblem(const ConvertArgs& options, const ConvertOptions& chosen,
                           const CLI::App& command, std::size_t files, int failed, bool oneMovie) {
    const bool oneLibrary = options.output != kStdStream && chosen.library != LibraryKind::None;
    if (options.html && chosen.library != LibraryKind::None)
        return "--html writes a page that plays a movie; a library is not one";
    if (std::string problem = OneMovieProblem(options.output, options.inputs, files, failed);
        oneMovie && !oneLibrary && !problem.empty())
        return problem;
    return FlashOptionsProblem(chosen, command, files);
}

// How the files of a run ended, besides converted.
struct Tally {
    int total = 0;
    int failed = 0;
    int interrupted = 0;
    int notStarted = 0;
    int skipped = 0;

    int Converted() const { return total - failed - interrupted - notStarted - skipped; }
};

void PrintSummary(const Tally& tally) {
    std::cerr << "Converted " << tally.Converted() << " of " << tally.total << " files";
    const std::pair<int, const char*> others[] = {{tally.failed, "failed"},
                                                  {tally.interrupted, "interrupted"},
                                                  {tally.notStarted, "not started"},
                                                  {tally.skipped, "skipped"}};
    for (const auto& [count, what] : others)
        if (count > 0) std::cerr << ", " << count << " " << what;
    std::cerr << ".\n";
}

// Prints what a file's conversion wrote or kept and how it ended, and counts it.
// A library that several inputs share is noted once.
void Print(const JobResult& result, const ConvertArgs& options, Tally& tally,
           std::set<std::string>& noted, double seconds) {
    if (!options.quiet && options.output != kStdStream) PrintOutputs(result.outputs);
    if (options.verbose && !OutputClosed()) PrintPlan(result, seconds);
    for (const std::string& kept : result.skipped)
        if (!options.quiet && noted.insert(kept).second)
            PrintError(kept, "exists; not replaced (--no-overwrite)");
    if (!OutputClosed()) ReportResult(result);
    if (result.status == JobResult::Status::Failed) ++tally.failed;
    if (result.status == JobResult::Status::Cancelled) ++tally.interrupted;
    if (!result.skipped.empty()) ++tally.skipped;
}

// Converts the files of the request, printing each result in input order as soon as every
// earlier file is done, with its page and Ruffle's files when asked, and counting failures.
BatchResult ConvertAll(const BatchRequest& request, const ConvertArgs& options,
                       const RuffleBuild& ruffle,
                       const std::function<std::string(const std::string&)>& shownName,
                       Tally& tally) {
    const std::vector<std::string>& files = request.files;
    // Progress and results arrive from several threads when files run side by side.
    std::mutex outputMutex;
    std::vector<std::string> names;
    for (const std::string& file : files) names.push_back(QuoteName(shownName(file)));
    const bool showProgress = !options.quiet && isatty(STDERR_FILENO);
    Progress progress(showProgress, names);

    JobControl control;
    control.cancel = InterruptFlag();
    control.threads = options.movie.threads;
    BatchEvents events;
    events.planned = [&](std::size_t index, const JobPlan& plan) {
        std::lock_guard<std::mutex> lock(outputMutex);
        progress.Planned(index, plan.frames);
    };
    events.frames = [&](std::size_t index, int frames) {
        std::lock_guard<std::mutex> lock(outputMutex);
        progress.Frames(index, frames);
    };
    std::vector<std::optional<JobResult>> finished(files.size());
    using Clock = std::chrono::steady_clock;
    const Clock::time_point started = Clock::now();
    std::vector<double> seconds(files.size());  // into the run, when each file was done
    std::size_t printed = 0;
    std::set<fs::path> ruffleFolders;  // where Ruffle's files were copied
    std::set<std::string> noted;       // outputs kept, said so
    events.fileDone = [&](std::size_t index, const JobResult& result) {
        std::lock_guard<std::mutex> lock(outputMutex);
        progress.Clear();
        finished[index] = result;
        seconds[index] = std::chrono::duration<double>(Clock::now() - started).count();
        finished[index]->input = shownName(result.input);
        if (options.html) AddPlayerPage(*finished[index], options);
        for (; printed < files.size() && finished[printed]; ++printed) {
            if (options.offline) AddRuffle(*finished[printed], ruffle, ruffleFolders, options);
            Print(*finished[printed], options, tally, noted, seconds[printed]);
            finished[printed].reset();
        }
        progress.FileDone(index);
    };
    const BatchResult batch = ConvertBatch(request, control, events);
    progress.Clear();
    return batch;
}

// After the batch: the movie to standard output when asked, the summary, the exit status.
int EndOfRun(const BatchResult& batch, std::size_t files, bool toStdout, bool summary,
             Tally& tally) {
    if (toStdout && batch.Converted() == 1 && tally.failed == 0) {
        if (const std::string error = CopyToStandardOutput(batch.results.front().outputs.front());
            !error.empty()) {
            PrintError(kStdStream, error);
            return kExitInputFailed;
        }
    }
    if (OutputClosed()) return kExitInputFailed;
    if (batch.cancelled) {
        std::cerr << "quorvel: cancelled\n";
        tally.notStarted = static_cast<int>(files - batch.results.size());
    }
    if (summary) PrintSummary(tally);
    return tally.failed + tally.interrupted + tally.notStarted > 0 ? kExitInputFailed
                                                                   : kExitSuccess;
}

int RunConvert(const ConvertArgs& options, const ConvertOptions& chosen, const CLI::App& command) {
    if (const int status = RefusedUsage(options, chosen)) return status;
    if (const std::string warning = TargetUrlWarning(chosen.targetUrl); !warning.empty())
        std::cerr << "quorvel: warning: " << warning << '\n';
    const RuffleBuild ruffle = options.offline ? FindRuffle() : RuffleBuild{};
    if (!ruffle.Found()) {
        std::cerr << "quorvel: " << ruffle.error << '\n';
        return kExitInputFailed;
    }
    const bool fromStdin = options.inputs.front() == kStdStream;
    const bool toStdout = options.output == kStdStream;

    // Standard input is stored and read as kStoredStdinPath, so that its movie is named
    // stdin.swf; standard output receives a movie made in a private folder once it is whole.
    const std::string input = fromStdin ? kStoredStdinPath : "";
    TempFolder temp;
    std::string streamError = fromStdin ? SaveStandardInput() : std::string();
    if (streamError.empty() && toStdout) streamError = temp.Create();
    if (!streamError.empty()) {
        PrintError(kStdStream, streamError);
        return kExitInputFailed;
    }
    const auto shownName = [&](const std::string& file) {
        return fromStdin && file == input ? std::string(kStdStream) : file;
    };

    Tally tally;
    std::vector<std::string> files =
        fromStdin ? std::vector<std::string>{input} : ExpandInputs(options.inputs, tally.failed);
    // -o - and -o NAME.swf name one movie; -o DIR a folder, made when missing.
    const bool toFile = !toStdout && NamesMovieFile(options.output);
    if (const std::string problem = OutputsProblem(options, chosen, command, files.size(),
                                                   tally.failed, toStdout || toFile);
        !problem.empty())
        return UsageError("convert", problem);
    BatchRequest request{files, toFile ? "" : options.output, chosen, toFile ? options.output : "",
                         options.noOverwrite && !toStdout ? Existing::Keep : Existing::Replace};
    if (toStdout)
        request.outputFolder = (temp.Path() / "out").string();
    else if (fromStdin && request.outputFolder.empty() && !toFile)
        request.outputFolder = ".";
    const fs::path folder =
        toFile ? fs::path(options.output).parent_path() : fs::path(request.outputFolder);
    if (const std::string error = files.empty() ? "" : MakeOutputFolder(folder); !error.empty()) {
        PrintError(folder.string(), error);
        return kExitInputFailed;
    }

    tally.total = static_cast<int>(files.size()) + tally.failed;
    tally.failed += RefuseOutputsThatAreInputs(request, options.html, ruffle.files);
    const bool summary = !options.quiet && (options.inputs.size() > 1 || files.size() > 1);
    const BatchResult batch = ConvertAll(request, options, ruffle, shownName, tally);
    return EndOfRun(batch, request.files.size(), toStdout, summary, tally);
}

}  // namespace

Command AddConvertCommand(CLI::App& app) {
    auto options = std::make_shared<ConvertArgs>();
    CLI::App* sub = app.add_subcommand(
        "convert",
        "Convert GIF files into SWF movies named <title>.swf that play as the GIF does: each "
        "image as long as a browser shows it, looped as the GIF says (--timing fixed: one JPEG "
        "frame per GIF frame at --fps).\n"
        "An INPUT that is a folder stands for the GIF files in it (*.gif in any letter case).");
    sub->add_option("INPUT", options->inputs,
                    "GIF files or folders of GIF files; - reads one GIF from standard input "
                    "(its movie is stdin.swf)")
        ->required();
    sub->add_option("-o,--output", options->output,
                    "Folder for the movies, made when missing (default: each input's folder); "
                    "with one GIF, NAME.swf names the movie itself, and - writes it to standard "
                    "output (not to a terminal)")
        ->type_name("DIR");
    AddMovieOptions(*sub, options->movie);
    AddFlashOptions(*sub, options->movie);
    CLI::Option* quiet =
        sub->add_flag("-q,--quiet", options->quiet, "Print nothing but errors and warnings");
    sub->add_flag("-v,--verbose", options->verbose,
                  "Also say, on standard error, each movie's plan (stage, frames, rate, the "
                  "length of a pass and of the animation), how many pictures were encoded and "
                  "when it was done, and where Ruffle's files were copied")
        ->excludes(quiet);
    sub->add_flag("-n,--no-overwrite", options->noOverwrite,
                  "Leave movies (and pages) that exist alone, with a note, instead of replacing them");
    CLI::Option* html = sub->add_flag(
        "--html", options->html,
        "Also write <title>.html beside each movie: a page that plays it with Ruffle");
    CLI::Option* ruffleUrl = sub->add_option("--ruffle-url", options->ruffleUrl,
                                             "Address of Ruffle's web build for the --html page")
                                 ->type_name("URL")
                                 ->default_str(kDefaultRuffleUrl)
                                 ->needs(html);
    sub->add_flag("--offline", options->offline,
                  "With --html: copy Ruffle's web build, shipped with quorvel, beside the pages "
                  "(DIR/ruffle/; not listed with the outputs) and load it from there, so that "
                  "they play without the internet")
        ->needs(html)
        ->excludes(ruffleUrl);
    sub->footer(
        "For Flash projects:\n"
        "  quorvel convert --library Walk.gif Jump.gif -o anims.swf --compress zlib\n"
        "      an ActionScript 3 library: classes Walk and Jump (SymbolClass), for Haxe's\n"
        "      -swf-lib with @:bind class Walk extends flash.display.MovieClip {}\n"
        "  quorvel convert --library=as2 Walk.gif -o walk.swf --loop once\n"
        "      an ActionScript 2 library: _root.attachMovie(\"Walk\", \"w\", 1) (ExportAssets)\n"
        "  quorvel convert sprite.gif --scale 4 --bitmaps lossless --swf-version 10");
    return {sub, [options, sub] {
                return RunConvert(*options, ChosenOptions(options->movie, *sub), *sub);
            }};
}
