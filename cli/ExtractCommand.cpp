#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <memory>

#include "cli/CliCommon.h"
#include "cli/Progress.h"
#include "cli/StdStreams.h"
#include "gif/GifInfo.h"
#include "jobs/ConversionSettings.h"
#include "jobs/ExtractJob.h"

namespace {

struct ExtractOptions {
    std::string input;
    std::string output;
    std::string format{NameOf(ExtractFormat::Bmp)};
    bool quiet = false;
    bool noOverwrite = false;
    int digits = 0;
    std::string background = "white";
    bool transparent = false;
};

int RunExtract(const ExtractOptions& options) {
    // Standard input is stored in a private folder as "stdin.gif": its frames are stdin_f<i>.
    const bool fromStdin = options.input == kStdStream;
    TempFolder temp;
    std::string input = options.input;
    if (fromStdin) {
        std::string error = temp.Create();
        if (error.empty()) {
            input = (temp.Path() / "stdin.gif").string();
            error = SaveStandardInput(input);
        }
        if (!error.empty()) {
            PrintError(kStdStream, error);
            return kExitInputFailed;
        }
    }

    ConversionSettings settings;
    settings.m_strGifPath = input;
    settings.m_strGifTitle = GifTitleFromPath(input);
    settings.m_strOutputFolder = options.output;
    if (settings.m_strOutputFolder.empty()) {  // default: beside the input
        if (!fromStdin)
            settings.m_strOutputFolder = std::filesystem::path(options.input).parent_path().string();
        if (settings.m_strOutputFolder.empty()) settings.m_strOutputFolder = ".";
    }
    settings.m_nExtractFormat = ExtractFormatFromName(options.format).value_or(ExtractFormat::Bmp);
    settings.m_background = ColorFromName(options.background).value_or(kWhiteRgb);
    settings.m_bTransparent = options.transparent;

    const bool showProgress = !options.quiet && isatty(STDERR_FILENO);
    Progress progress(showProgress, {options.input}, {showProgress ? ScanGifFile(input).frames : 0});
    JobControl control;
    control.cancel = InterruptFlag();
    control.progress = [&progress](int done) { progress.Frames(0, done); };
    ExtractNaming naming;
    naming.digits = options.digits;
    naming.keepExisting = options.noOverwrite;
    JobResult result = ExtractFrames(settings, control, naming);
    progress.Clear();
    if (fromStdin) result.input = kStdStream;
    if (!options.quiet) {
        PrintOutputs(result.outputs);
        if (OutputClosed()) return kExitInputFailed;
        if (!result.skipped.empty()) {
            std::cerr << "quorvel: " << result.skipped.size()
                      << (result.skipped.size() == 1 ? " frame file exists" : " frame files exist")
                      << "; not replaced (--no-overwrite): " << result.skipped.front()
                      << (result.skipped.size() > 1 ? ", ..." : "") << '\n';
        }
    }
    return ReportResult(result);
}

}  // namespace

Command AddExtractCommand(CLI::App& app) {
    auto options = std::make_shared<ExtractOptions>();
    CLI::App* sub = app.add_subcommand(
        "extract", "Write every frame of a GIF as an image file, named <title>_f<index>.<format>.");
    sub->add_option("INPUT", options->input,
                    "The GIF file; - reads it from standard input (frames stdin_f<index>)")
        ->required();
    sub->add_option("-o,--output", options->output,
                    "Folder for the frame files (default: the input's folder)");
    sub->add_option("-f,--format", options->format, "Image format: " + ExtractFormatNameList())
        ->transform(ChoiceValidator(kExtractFormatNames))
        ->default_str(options->format);
    sub->add_option("--background", options->background,
                    "Colour the frames are composed on: #rrggbb, white or black")
        ->check(ColorValidator())
        ->default_str(options->background);
    sub->add_flag("--transparent", options->transparent,
                  "PNG and TGA frames get an alpha channel (32 bits), transparent where no image "
                  "covers the pixel (an opaque PNG frame has 24); BMP and JPG frames stay 24-bit, "
                  "on the --background colour");
    sub->add_flag("-q,--quiet", options->quiet, "Print nothing but errors and warnings");
    sub->add_flag("-n,--no-overwrite", options->noOverwrite,
                  "Leave frame files that exist alone, with a note, instead of replacing them");
    sub->add_option("--digits", options->digits,
                    "Pad the frame numbers with zeros to N digits (a_f007.png; default: no padding)")
        ->check(WholeNumber())
        ->check(CLI::Range(0, 9));
    return {sub, [options] { return RunExtract(*options); }};
}
