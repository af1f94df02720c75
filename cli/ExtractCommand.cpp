#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <system_error>

#include "base/FileIdentity.h"
#include "cli/CliCommon.h"
#include "cli/OutputTarget.h"
#include "cli/Progress.h"
#include "cli/StdStreams.h"
#include "cli/Usage.h"
#include "jobs/BatchJob.h"
#include "jobs/ExtractJob.h"

namespace fs = std::filesystem;

namespace {

// The formats by the names the command line takes: the dialog's, and jpeg for jpg.
constexpr ChoiceName<ExtractFormat> kFormatNames[] = {
    {ExtractFormat::Png, "png"}, {ExtractFormat::Bmp, "bmp"}, {ExtractFormat::Jpg, "jpg"},
    {ExtractFormat::Jpg, "jpeg"}, {ExtractFormat::Tga, "tga"}};

// The command line's own defaults: PNG frames numbered as wide as the last frame's number, so
// that they sort as text; the dialog keeps the core's.
ExtractOptions CommandLineDefaults() {
    ExtractOptions options;
    options.format = ExtractFormat::Png;
    options.digits = ExtractOptions::kDigitsOfLastFrame;
    return options;
}

struct ExtractArgs {
    std::vector<std::string> inputs;
    std::string output;
    bool quiet = false;
    bool noOverwrite = false;
    ExtractOptions frames = CommandLineDefaults();
    std::string selection;  // --frames, checked as it was read
    const CLI::Option* format = nullptr;  // to tell whether they were given
    const CLI::Option* digits = nullptr;
};

// Whether -o names the frame files rather than their folder: a file name that holds a '%' or
// ends in an image format's extension (frames/f_%03d.png), and is not a folder already.
bool NamesFrameFiles(const std::string& output) {
    const fs::path path(output);
    const std::string name = path.filename().string();
    const std::string extension = path.extension().string();
    std::error_code ec;
    if (name.empty() || fs::is_directory(path, ec)) return false;
    return name.find('%') != std::string::npos ||
           (extension.size() > 1 && FromName(kFormatNames, extension.substr(1)));
}

// Takes the name pattern of -o into the options (its extension chooses the format); returns
// why it cannot be one, or an empty string.
std::string TakeNamePattern(ExtractArgs& args) {
    const fs::path path(args.output);
    const std::string name = path.filename().string();
    const std::string shown = "-o " + QuoteName(args.output) + ": ";
    std::string error;
    if (!ReadFrameNamePattern(name, error)) return shown + error;
    const std::string extension = path.extension().string();
    const std::optional<ExtractFormat> format =
        extension.size() > 1 ? FromName(kFormatNames, extension.substr(1)) : std::nullopt;
    if (!format) {
        return shown + "the name ends in the format's extension (.png, .bmp, .jpg, .jpeg or " +
               ".tga), which chooses it";
    }
    if (args.format->count() > 0 && *format != args.frames.format) {
        return "--format " + std::string(NameOf(kFormatNames, args.frames.format)) +
               " and the name's " + extension +
               " disagree: the extension of a name pattern chooses the format";
    }
    if (args.digits->count() > 0)
        return "--digits does not go with a name pattern: its %0Nd gives the width";
    args.frames.format = *format;
    args.frames.pattern = name;
    return {};
}

// The usage errors that show before any input is read; 0 when there is none.
int RefusedUsage(ExtractArgs& args) {
    if (args.output == kStdStream)
        return UsageError("extract", "frames cannot go to standard output (-o -): give a folder");
    const bool fromStdin =
        std::find(args.inputs.begin(), args.inputs.end(), kStdStream) != args.inputs.end();
    if (fromStdin && args.inputs.size() > 1)
        return UsageError("extract", "standard input ('-') must be the only input");
    if (!NamesFrameFiles(args.output)) return 0;
    if (const std::string problem = TakeNamePattern(args); !problem.empty())
        return UsageError("extract", problem);
    return 0;
}

// Why a name pattern cannot name the frames of what the inputs hold: not one animation (with
// several, each would overwrite the files of the one before); empty when it can.
std::string OnePatternProblem(const ExtractArgs& args, std::size_t files, int failed) {
    const std::string names = "'-o " + QuoteName(args.output) + "' names the frames of one input, but ";
    const std::string hint = "; give a folder, where each input's frames are named after it";
    if (args.inputs.size() > 1)
        return names + std::to_string(args.inputs.size()) + " inputs were given" + hint;
    if (failed > 0 || files == 1) return {};
    return names + QuoteName(args.inputs.front()) + " holds " +
           (files == 0 ? std::string("no animations") : std::to_string(files) + " animations") +
           hint;
}

// Where the frames of file go: -o's folder, or the pattern's; by default the input's own.
std::string FolderOf(const std::string& file, const ExtractArgs& args, bool fromStdin) {
    std::string folder = args.frames.pattern.empty()
                             ? args.output
                             : fs::path(args.output).parent_path().string();
    if (folder.empty() && args.frames.pattern.empty() && !fromStdin)
        folder = fs::path(file).parent_path().string();
    return folder.empty() ? "." : folder;
}

// What the frame files of a run are: the inputs they must not be, and the files planned so far,
// by their place once links are followed, with the input each is of.
struct RunFiles {
    std::map<FileIdentity, std::string> inputs;
    std::map<std::string, std::string> planned;
};

// Why the plan's frame files cannot be written in this run: one is an input of the run, or
// a frame file of an input planned before (one of the same title, into the same folder);
// empty when none is. Counts the plan's files among those planned.
std::string RunProblem(const ExtractPlan& plan, RunFiles& run) {
    std::error_code ec;
    const fs::path folder = fs::weakly_canonical(plan.folder, ec);
    std::vector<std::string> places;
    for (const PlannedFrame& file : plan.files) {
        const auto id = IdentityOf(file.path);
        if (const auto input = id ? run.inputs.find(*id) : run.inputs.end();
            input != run.inputs.end()) {
            return "its frame file " + QuoteName(file.path) + " is the same file as the input " +
                   QuoteName(input->second) + "; nothing was written for it";
        }
        places.push_back((folder / fs::path(file.path).filename()).string());
        if (const auto earlier = run.planned.find(places.back()); earlier != run.planned.end()) {
            return "its frame file " + QuoteName(file.path) + " is also one of " +
                   QuoteName(earlier->second) + "; nothing was written for it";
        }
    }
    for (const std::string& place : places) run.planned.emplace(place, plan.input);
    return {};
}

// Plans every file's extraction before any frame is written; the files that cannot go ahead
// are reported and counted as failed. Returns the plans of the others, in input order.
std::vector<ExtractPlan> PlanAll(const std::vector<std::string>& files, const ExtractArgs& args,
                                 bool fromStdin, int& failed) {
    RunFiles run;
    for (const std::string& file : files) {
        if (const auto id = IdentityOf(file)) run.inputs.emplace(*id, fromStdin ? kStdStream : file);
    }
    std::vector<ExtractPlan> plans;
    for (const std::string& file : files) {
        ExtractPlan plan = PlanExtraction(file, FolderOf(file, args, fromStdin), args.frames);
        const std::string problem = plan.error.empty() ? RunProblem(plan, run) : plan.error;
        if (problem.empty()) {
            plans.push_back(std::move(plan));
            continue;
        }
        PrintError(fromStdin ? kStdStream : file, problem);
        ++failed;
    }
    return plans;
}

// How the files of a run ended.
struct Tally {
    int total = 0;
    int failed = 0;
    int interrupted = 0;
    int notStarted = 0;

    int Extracted() const { return total - failed - interrupted - notStarted; }
};

void PrintSummary(const Tally& tally) {
    std::cerr << "Extracted the frames of " << tally.Extracted() << " of " << tally.total
              << " files";
    const std::pair<int, const char*> others[] = {
        {tally.failed, "failed"}, {tally.interrupted, "interrupted"}, {tally.notStarted, "not started"}};
    for (const auto& [count, what] : others)
        if (count > 0) std::cerr << ", " << count << " " << what;
    std::cerr << ".\n";
}

// Prints what an extraction wrote and kept and how it ended, and counts it.
void Print(const JobResult& result, bool quiet, Tally& tally) {
    if (!quiet) {
        PrintOutputs(result.outputs);
        if (!result.skipped.empty() && !OutputClosed()) {
            std::cerr << "quorvel: " << result.skipped.size()
                      << (result.skipped.size() == 1 ? " frame file exists" : " frame files exist")
                      << "; not replaced (--no-overwrite): " << QuoteName(result.skipped.front())
                      << (result.skipped.size() > 1 ? ", ..." : "") << '\n';
        }
    }
    if (!OutputClosed()) ReportResult(result);
    if (result.status == JobResult::Status::Failed) ++tally.failed;
    if (result.status == JobResult::Status::Cancelled) ++tally.interrupted;
}

// Extracts the planned files one after the other, printing each one's files as it ends.
void ExtractAll(const std::vector<ExtractPlan>& plans, const ExtractArgs& args, bool fromStdin,
                Tally& tally) {
    std::vector<std::string> names;
    for (const ExtractPlan& plan : plans) names.push_back(QuoteName(fromStdin ? kStdStream : plan.input));
    Progress progress(!args.quiet && isatty(STDERR_FILENO), names);
    for (std::size_t i = 0; i < plans.size(); ++i) progress.Planned(i, plans[i].plan.frames);
    for (std::size_t i = 0; i < plans.size(); ++i) {
        JobControl control;
        control.cancel = InterruptFlag();
        if (control.Cancelled()) {
            tally.notStarted = static_cast<int>(plans.size() - i);
            return;
        }
        control.planned = [&progress, i](const JobPlan& plan) { progress.Planned(i, plan.frames); };
        control.progress = [&progress, i](int done) { progress.Frames(i, done); };
        JobResult result = ExtractPlanned(plans[i], args.frames, control);
        progress.Clear();
        if (fromStdin) result.input = kStdStream;
        Print(result, args.quiet, tally);
        progress.FileDone(i);
    }
}

int RunExtract(ExtractArgs& args) {
    if (const int status = RefusedUsage(args)) return status;
    if (args.noOverwrite) args.frames.existing = Existing::Keep;
    std::string error;
    if (!args.selection.empty()) args.frames.frames = ReadFrameSelection(args.selection, error).value_or(FrameSelection{});
    // Standard input is stored and read as kStoredStdinPath: its frames are stdin_f<i>.
    const bool fromStdin = args.inputs.front() == kStdStream;
    if (error = fromStdin ? SaveStandardInput() : ""; !error.empty()) {
        PrintError(kStdStream, error);
        return kExitInputFailed;
    }
    Tally tally;
    const std::vector<std::string> files =
        fromStdin ? std::vector<std::string>{kStoredStdinPath} : ExpandInputs(args.inputs, tally.failed);
    if (const std::string problem = args.frames.pattern.empty()
                                        ? std::string()
                                        : OnePatternProblem(args, files.size(), tally.failed);
        !problem.empty())
        return UsageError("extract", problem);
    const std::string folder = args.output.empty() ? "" : FolderOf("", args, fromStdin);
    if (error = files.empty() ? "" : MakeOutputFolder(folder); !error.empty()) {
        PrintError(folder, error);
        return kExitInputFailed;
    }

    tally.total = static_cast<int>(files.size()) + tally.failed;
    const std::vector<ExtractPlan> plans = PlanAll(files, args, fromStdin, tally.failed);
    ExtractAll(plans, args, fromStdin, tally);
    if (OutputClosed()) return kExitInputFailed;
    if (!args.quiet && (args.inputs.size() > 1 || files.size() > 1)) PrintSummary(tally);
    return tally.failed + tally.interrupted + tally.notStarted > 0 ? kExitInputFailed
                                                                   : kExitSuccess;
}

// Accepts a frame selection (ReadFrameSelection), saying what is wrong with any other text.
CLI::Validator FrameSelectionCheck() {
    return CLI::Validator(
        [](std::string& text) {
            std::string error;
            return ReadFrameSelection(text, error) ? std::string() : error;
        },
        "");
}

}  // namespace

Command AddExtractCommand(CLI::App& app) {
    auto options = std::make_shared<ExtractArgs>();
    ExtractOptions& frames = options->frames;
    CLI::App* sub = app.add_subcommand(
        "extract",
        "Write the frames of GIFs as image files, each input's named <title>_f<index>.png:\n"
        "numbered from 0, as wide as the last frame's number (a_f00.png to a_f10.png for 11).\n"
        "An INPUT that is a folder stands for the animations in it (*.gif, *.webp, *.png, *.apng).");
    sub->add_option("INPUT", options->inputs,
                    "GIF files or folders of GIF files; - reads one GIF from standard input "
                    "(frames stdin_f<index>)")
        ->required();
    sub->add_option("-o,--output", options->output,
                    "Folder for the frame files, made when missing (default: each input's "
                    "folder); for one input, a name pattern such as frames/f_%03d.png: %d is the "
                    "frame number, %0Nd pads it to N digits, %% is a percent sign, and the "
                    "extension chooses the format")
        ->type_name("DIR|PATTERN");
    options->format = AddChoiceOption(sub, "-f,--format", frames.format, kFormatNames,
                                      "Image format (jpeg is jpg)");
    sub->add_option("--frames", options->selection,
                    "The frames to write, by their numbers from 0: 0-4,9 (ranges, 5- to the last, "
                    "and single frames); each keeps its number in its name")
        ->check(FrameSelectionCheck())
        ->type_name("LIST");
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
    options->digits = sub->add_option("--digits", frames.digits,
                                      "Pad the frame numbers with zeros to N digits, 0 to 9 (0: "
                                      "no padding; default: as many as the last frame's number has)")
                          ->check(WholeNumber())
                          ->check(CLI::Range(0, kMaxFrameDigits))
                          ->type_name("N");
    sub->footer(
        "For example:\n"
        "  quorvel extract clip.gif -o 'frames/f_%03d.png' --frames 0-4,9\n"
        "      frames/f_000.png to f_004.png, and f_009.png\n"
        "  quorvel extract gifs/ walk.gif -o frames/ --format jpeg\n"
        "      frames/<title>_f<index>.jpg for each animation of gifs/, and for walk.gif");
    return {sub, [options] { return RunExtract(*options); }};
}
