#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <memory>

#include "cli/CliCommon.h"
#include "cli/OutputTarget.h"
#include "cli/Progress.h"
#include "cli/StdStreams.h"
#include "cli/Usage.h"
#include "jobs/ExtractJob.h"

namespace {

struct ExtractArgs {
    std::string input;
    std::string output;
    bool quiet = false;
    bool noOverwrite = false;
    ExtractOptions frames;
};

int RunExtract(ExtractArgs& options) {
    if (options.noOverwrite) options.frames.existing = Existing::Keep;
    if (options.output == kStdStream)
        return UsageError("extract", "frames cannot go to standard output (-o -): give a folder");
    // Standard input is stored and read as kStoredStdinPath: its frames are stdin_f<i>.
    const bool fromStdin = options.input == kStdStream;
    const std::string input = fromStdin ? kStoredStdinPath : options.input;
    if (const std::string error = fromStdin ? SaveStandardInput() : ""; !error.empty()) {
        PrintError(kStdStream, error);
        return kExitInputFailed;
    }

    std::string folder = options.output;
    if (folder.empty()) {  // default: beside the input
        if (!fromStdin) folder = std::filesystem::path(options.input).parent_path().string();
        if (folder.empty()) folder = ".";
    }
    if (const std::string error = MakeOutputFolder(folder); !error.empty()) {
        PrintError(folder, error);
        return kExitInputFailed;
    }

    const bool showProgress = !options.quiet && isatty(STDERR_FILENO);
    Progress progress(showProgress, {QuoteName(options.input)});
    JobControl control;
    control.cancel = InterruptFlag();
    control.planned = [&progress](const JobPlan& plan) { progress.Planned(0, plan.frames); };
    control.progress = [&progress](int done) { progress.Frames(0, done); };
    JobResult result = ExtractFrames(input, folder, options.frames, control);
    progress.Clear();
    if (fromStdin) result.input = kStdStream;
    if (!options.quiet) {
        PrintOutputs(result.outputs);
        if (OutputClosed()) return kExitInputFailed;
        if (!result.skipped.empty()) {
            std::cerr << "quorvel: " << result.skipped.size()
                      << (result.skipped.size() == 1 ? " frame file exists" : " frame files exist")
                      << "; not replaced (--no-overwrite): " << QuoteName(result.skipped.front())
                      << (result.skipped.size() > 1 ? ", ..." : "") << '\n';
        }
    }
    return ReportResult(result);
}

}  // namespace

Command AddExtractCommand(CLI::App& app) {
    auto options = std::make_shared<ExtractArgs>();
    ExtractOptions& frames = options->frames;
    CLI::App* sub = app.add_subcommand(
        "extract", "Write every frame of a GIF as an image file, named <title>_f<index>.<format>.");
    sub->add_option("INPUT", options->input,
                    "The GIF file; - reads it from standard input (frames stdin_f<index>)")
        ->required();
    sub->add_option("-o,--output", options->output,
                    "Folder for the frame files, made when missing (default: the input's folder)")
        ->type_name("DIR");
    AddChoiceOption(sub, "-f,--format", frames.format, kExtractFormatNames, "Image format");
    AddColorOption(sub, "--background", frames.background, "Colour the frames are composed on");
    sub->add_flag("--transparent", frames.transparent,
                  "PNG and TGA frames get an alpha channel (32 bits), transparent where no image "
                  "covers the pixel (an opaque PNG frame has 24); BMP and JPG frames stay 24-bit, "
                  "on the --background colour");
    sub->add_flag("--like-gif", frames.likeGif,
                  "The frames browsers show: every image one frame (images with delay 0 too), "
                  "and areas an image restores to the background on the --background colour");
    sub->add_flag("-q,--quiet", options->quiet, "Print nothing but errors and warnings");
    sub->add_flag("-n,--no-overwrite", options->noOverwrite,
                  "Leave frame files that exist alone, with a note, instead of replacing them");
    sub->add_option("--digits", frames.digits,
                    "Pad the frame numbers with zeros to N digits, 0 to 9 (a_f007.png; default: no "
                    "padding)")
        ->check(WholeNumber())
        ->check(CLI::Range(0, 9))
        ->type_name("N");
    return {sub, [options] { return RunExtract(*options); }};
}
