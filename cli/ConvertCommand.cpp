#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>

#include "base/AtomicFile.h"
#include "cli/CliCommon.h"
#include "cli/PlayerPage.h"
#include "cli/Progress.h"
#include "cli/RunChecks.h"
#include "cli/StdStreams.h"
#include "gif/GifInfo.h"
#include "jobs/BatchJob.h"
#include "jobs/BatchProgress.h"
#include "jobs/ConvertJob.h"

namespace fs = std::filesystem;

namespace {

struct ConvertArgs {
    std::vector<std::string> inputs;
    std::string output;
    ConvertOptions movie;
    bool likeGif = false;  // the GIF's timing and looping where not given otherwise
    unsigned threads = 0;  // 0: one per core
    bool quiet = false;
    bool noOverwrite = false;
    bool html = false;
    std::string ruffleUrl = kDefaultRuffleUrl;
};

// Writes the page that plays a converted movie beside it and lists it among the result's
// outputs. A page that exists is kept when asked; a page that cannot be written fails the file.
void AddPlayerPage(JobResult& result, const std::string& gif, const ConvertArgs& options) {
    if (!result.Succeeded() || result.outputs.empty()) return;
    const fs::path movie = result.outputs.front();
    const fs::path page = PagePath(movie);
    std::error_code ec;
    if (options.noOverwrite && fs::exists(page, ec)) {
        if (!options.quiet) PrintError(page.string(), "exists; not replaced (--no-overwrite)");
        return;
    }
    const GifInfo info = ScanGifFile(gif);
    const std::string text = PlayerPage(movie.stem().string(), movie.filename().string(),
                                        info.width, info.height, options.ruffleUrl);
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

// Each input is a GIF file or a folder, which stands for its GIF files. Inputs that name
// neither are reported at once and counted as failed.
std::vector<std::string> ExpandInputs(const std::vector<std::string>& inputs, int& failed,
                                      bool quiet) {
    std::vector<std::string> files;
    for (const std::string& input : inputs) {
        std::error_code ec;
        const fs::file_status status = fs::status(input, ec);
        if (fs::is_directory(status)) {
            std::string error;
            std::vector<std::string> listed = ListGifFiles(input, &error);
            if (!error.empty()) {
                PrintError(input, error);
                ++failed;
            } else if (listed.empty() && !quiet) {
                PrintWarning(input, "no GIF files in this folder");
            }
            files.insert(files.end(), listed.begin(), listed.end());
        } else if (fs::exists(status)) {
            files.push_back(input);
        } else {
            PrintError(input, ec ? ec.message() : "no such file or folder");
            ++failed;
        }
    }
    return files;
}

// Files of a run: all of them, those that failed and those left alone.
struct Counts {
    int total;
    int failed;
    int skipped;
};

int ConvertAndReport(const std::vector<std::string>& files, const std::string& outputFolder,
                     const ConvertArgs& options,
                     const std::function<std::string(const std::string&)>& shownName,
                     bool toStdout, Counts counts);

int RunConvert(const ConvertArgs& options) {
    if (const std::string problem = TargetUrlProblem(options.movie.targetUrl); !problem.empty()) {
        std::cerr << "quorvel: " << problem << '\n';
        return kExitUsage;
    }
    if (const std::string warning = TargetUrlWarning(options.movie.targetUrl); !warning.empty())
        std::cerr << "quorvel: warning: " << warning << '\n';
    const bool fromStdin =
        std::find(options.inputs.begin(), options.inputs.end(), kStdStream) != options.inputs.end();
    const bool toStdout = options.output == kStdStream;
    if (fromStdin && options.inputs.size() > 1) {
        std::cerr << "quorvel: standard input ('-') must be the only input\n";
        return kExitUsage;
    }
    if (toStdout && options.html) {
        std::cerr << "quorvel: --html needs a folder for the page, not standard output\n";
        return kExitUsage;
    }

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

    int failed = 0;
    std::vector<std::string> files =
        fromStdin ? std::vector<std::string>{input}
                  : ExpandInputs(options.inputs, failed, options.quiet);
    if (const std::string problem = OneMovieProblem(options.inputs, files.size(), failed);
        toStdout && !problem.empty()) {
        std::cerr << "quorvel: " << problem << '\n';
        return kExitUsage;
    }
    std::string outputFolder = options.output;
    if (toStdout) outputFolder = (temp.Path() / "out").string();
    else if (fromStdin && outputFolder.empty()) outputFolder = ".";
    if (toStdout) fs::create_directory(outputFolder);

    const int total = static_cast<int>(options.inputs.size() > 1 || files.size() > 1
                                           ? files.size() + static_cast<std::size_t>(failed)
                                           : 0);
    failed += RefuseOutputsThatAreInputs(files, outputFolder, options.html);
    // Inputs whose movie exists already are left alone when asked.
    int skipped = 0;
    if (options.noOverwrite && !toStdout) {
        std::erase_if(files, [&](const std::string& file) {
            const fs::path movie = MoviePath(outputFolder, file);
            std::error_code ec;
            if (!fs::exists(movie, ec)) return false;
            if (!options.quiet) PrintError(movie.string(), "exists; not replaced (--no-overwrite)");
            ++skipped;
            return true;
        });
    }

    Counts counts{total, failed, skipped};
    return ConvertAndReport(files, outputFolder, options, shownName, toStdout, counts);
}

// Converts the files into outputFolder, printing each result in input order as soon as the
// files before it are done, then the run's summary; returns the exit status.
int ConvertAndReport(const std::vector<std::string>& files, const std::string& outputFolder,
                     const ConvertArgs& options,
                     const std::function<std::string(const std::string&)>& shownName,
                     bool toStdout, Counts counts) {
    // Progress and results arrive from several threads when files run side by side.
    std::mutex outputMutex;
    std::vector<std::string> names;
    for (const std::string& file : files) names.push_back(QuoteName(shownName(file)));
    const bool showProgress = !options.quiet && isatty(STDERR_FILENO);
    Progress progress(showProgress, names,
                      showProgress ? BatchProgress::ScanTotals(files)
                                   : std::vector<int>(files.size(), 0));

    JobControl control;
    control.cancel = InterruptFlag();
    control.threads = options.threads;
    const auto onFrame = [&](std::size_t index, int frames) {
        std::lock_guard<std::mutex> lock(outputMutex);
        progress.Frames(index, frames);
    };
    // Results are printed in input order, each as soon as every earlier file is done.
    std::vector<std::optional<JobResult>> finished(files.size());
    std::size_t printed = 0;
    int failedLate = 0;  // files that failed in the batch
    const auto onFileDone = [&](std::size_t index, const JobResult& result) {
        std::lock_guard<std::mutex> lock(outputMutex);
        progress.Clear();
        finished[index] = result;
        finished[index]->input = shownName(result.input);
        if (options.html) AddPlayerPage(*finished[index], files[index], options);
        for (; printed < files.size() && finished[printed]; ++printed) {
            if (!options.quiet && !toStdout) PrintOutputs(finished[printed]->outputs);
            if (!OutputClosed()) ReportResult(*finished[printed]);
            if (!finished[printed]->Succeeded()) ++failedLate;
            finished[printed].reset();
        }
        progress.FileDone(index);
    };
    const BatchResult batch =
        ConvertBatch({files, outputFolder, options.movie}, control, onFileDone, onFrame);
    progress.Clear();

    if (toStdout && batch.Converted() == 1 && failedLate == 0) {
        if (const std::string error = CopyToStandardOutput(batch.results.front().outputs.front());
            !error.empty()) {
            PrintError(kStdStream, error);
            return kExitInputFailed;
        }
    }

    if (OutputClosed()) return kExitInputFailed;
    counts.failed += failedLate;
    if (batch.cancelled) {
        std::cerr << "quorvel: cancelled\n";
        counts.failed += static_cast<int>(files.size() - batch.results.size());
    }
    if (counts.total > 0 && !options.quiet) {
        std::cerr << "Converted " << counts.total - counts.failed - counts.skipped << " of "
                  << counts.total << " files";
        if (counts.failed > 0) std::cerr << ", " << counts.failed << " failed";
        if (counts.skipped > 0) std::cerr << ", " << counts.skipped << " skipped";
        std::cerr << ".\n";
    }
    return counts.failed > 0 ? kExitInputFailed : kExitSuccess;
}

}  // namespace

Command AddConvertCommand(CLI::App& app) {
    auto options = std::make_shared<ConvertArgs>();
    ConvertOptions& movie = options->movie;
    CLI::App* sub = app.add_subcommand(
        "convert",
        "Convert GIF files into SWF movies: one JPEG frame per GIF frame, named <title>.swf.\n"
        "An INPUT that is a folder stands for the GIF files in it (*.gif in any letter case).");
    sub->add_option("INPUT", options->inputs,
                    "GIF files or folders of GIF files; - reads one GIF from standard input "
                    "(its movie is stdin.swf)")
        ->required();
    sub->add_option("-o,--output", options->output,
                    "Folder for the movies (default: each input's folder); - writes the one "
                    "movie to standard output");
    sub->add_option("--fps", movie.fps,
                    "Frames per second of the movie, " + std::to_string(kMinFps) + " to " +
                        std::to_string(kMaxFps) + " (default " + std::to_string(kDefaultFps) +
                        "; with --timing gif, the lowest rate that shows every delay exactly)")
        ->check(WholeNumber())
        ->check(CLI::Range(kMinFps, kMaxFps));
    AddChoiceOption(sub, "--timing", movie.timing, kTimingNames,
                    "How long each GIF frame lasts (fixed: one frame at --fps, whatever its "
                    "delay; gif: its own delay, 10 ms or less lasting 100 ms as in browsers)");
    sub->add_option_function<std::string>(
           "--loop", [&movie](const std::string& value) { movie.loop = *LoopOptionFromName(value); },
           "forever (the player loops), once (stops on the last frame), gif (the GIF's own loop "
           "count) or N (plays N times and stops)")
        ->check(CLI::Validator(
            [](std::string& value) {
                return LoopOptionFromName(value) ? std::string()
                                                 : "must be forever, once, gif or a number from 1";
            },
            "N"))
        ->default_str("forever");
    sub->add_flag("--like-gif", options->likeGif,
                  "Play the GIF as browsers do: --timing gif --loop gif (either may still be "
                  "given), and areas an image restores to the background show the stage");
    AddChoiceOption(sub, "--quality", movie.quality, kQualityNames, "JPEG quality");
    AddChoiceOption(sub, "--bitmaps", movie.bitmaps, kBitmapKindNames,
                    "How frames are stored (lossless: the exact pixels, zlib-compressed)");
    sub->add_flag("--changed-areas", movie.changedAreas,
                  "Store only the part of each frame that changed since the frame before");
    AddColorOption(sub, "--background", movie.background,
                   "Colour of the stage, and what the frames are composed on");
    sub->add_flag("--transparent", movie.transparent,
                  "Keep the GIF's transparency: pixels that no image covers stay transparent in "
                  "the bitmaps (DefineBitsLossless2, DefineBitsJPEG3), showing what lies below "
                  "the movie");
    sub->add_option("--url", movie.targetUrl,
                    "Open this URL when the movie is clicked (a button over the whole stage)");
    sub->add_option("-j,--jobs", options->threads,
                    "Threads to use; several files are converted at once (default: one per core)")
        ->check(WholeNumber())
        ->check(CLI::Range(1u, 256u));
    sub->add_flag("-q,--quiet", options->quiet, "Print nothing but errors and warnings");
    sub->add_flag("-n,--no-overwrite", options->noOverwrite,
                  "Leave movies (and pages) that exist alone, with a note, instead of replacing them");
    sub->add_flag("--html", options->html,
                  "Also write <title>.html beside each movie: a page that plays it with Ruffle");
    sub->add_option("--ruffle-url", options->ruffleUrl,
                    "Address of Ruffle's web build for the --html page")
        ->default_str(kDefaultRuffleUrl);
    return {sub, [options, sub] {
        ConvertOptions& chosen = options->movie;
        chosen.fpsGiven = sub->count("--fps") > 0;
        if (options->likeGif && sub->count("--timing") == 0) chosen.timing = Timing::Gif;
        if (options->likeGif && sub->count("--loop") == 0) chosen.loop.kind = LoopOption::Kind::Gif;
        chosen.restoreToStage = options->likeGif;
        return RunConvert(*options);
    }};
}
