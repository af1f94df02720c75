#include <filesystem>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>

#include "cli/CliCommon.h"
#include "jobs/BatchJob.h"
#include "jobs/ConvertJob.h"

namespace fs = std::filesystem;

namespace {

struct ConvertOptions {
    std::vector<std::string> inputs;
    std::string output;
    int fps = kDefaultFps;
    std::string quality{NameOf(Quality::Normal)};
    std::string url;
    std::string bitmaps{"jpeg"};
    bool changedAreas = false;
    unsigned threads = 0;  // 0: one per core
    bool quiet = false;
};


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

int RunConvert(const ConvertOptions& options) {
    if (EncodeTargetUrl(options.url).size() > kMaxUrlBytes) {
        std::cerr << "quorvel: the target URL is longer than " << kMaxUrlBytes << " bytes\n";
        return kExitUsage;
    }
    int failed = 0;
    const std::vector<std::string> files = ExpandInputs(options.inputs, failed, options.quiet);

    ConversionSettings settings;
    settings.m_strOutputFolder = options.output;  // empty: beside each input
    settings.m_nFps = options.fps;
    settings.m_nQuality = QualityFromName(options.quality).value_or(Quality::Normal);
    settings.m_strTargetUrl = options.url;
    settings.m_bitmaps = BitmapKindFromName(options.bitmaps).value_or(BitmapKind::Jpeg);
    settings.m_bChangedAreas = options.changedAreas;

    // Progress and results arrive from several threads when files run side by side.
    std::mutex outputMutex;
    ProgressLine progress(!options.quiet, "quorvel");
    std::vector<int> framesOf(files.size(), 0);
    int filesDone = 0, framesDone = 0;
    auto showProgress = [&] {
        progress.Show(std::to_string(filesDone) + " of " + std::to_string(files.size()) +
                      " files, " + std::to_string(framesDone) + " frames written");
    };

    JobControl control;
    control.cancel = InterruptFlag();
    control.threads = options.threads;
    const auto onFrame = [&](std::size_t index, int frames) {
        std::lock_guard<std::mutex> lock(outputMutex);
        framesDone += frames - framesOf[index];
        framesOf[index] = frames;
        showProgress();
    };
    // Results are printed in input order, each as soon as every earlier file is done.
    std::vector<std::optional<JobResult>> finished(files.size());
    std::size_t printed = 0;
    const auto onFileDone = [&](std::size_t index, const JobResult& result) {
        std::lock_guard<std::mutex> lock(outputMutex);
        progress.Clear();
        finished[index] = result;
        for (; printed < files.size() && finished[printed]; ++printed) {
            if (!options.quiet) {
                for (const std::string& name : finished[printed]->outputs)
                    std::cout << name << '\n';
                std::cout << std::flush;
            }
            ReportResult(*finished[printed]);
            finished[printed].reset();
        }
        ++filesDone;
        showProgress();
    };
    const BatchResult batch = ConvertBatch(settings, files, control, onFileDone, onFrame);
    progress.Clear();

    const int total = static_cast<int>(options.inputs.size() > 1 || files.size() > 1
                                           ? files.size() + static_cast<std::size_t>(failed)
                                           : 0);
    failed += static_cast<int>(batch.results.size()) - batch.Converted();
    if (batch.cancelled) {
        std::cerr << "quorvel: cancelled\n";
        failed += static_cast<int>(files.size() - batch.results.size());
    }
    if (total > 0 && !options.quiet) {
        std::cerr << "Converted " << batch.Converted() << " of " << total << " files";
        if (failed > 0) std::cerr << ", " << failed << " failed";
        std::cerr << ".\n";
    }
    return failed > 0 ? kExitInputFailed : kExitSuccess;
}

}  // namespace

Command AddConvertCommand(CLI::App& app) {
    auto options = std::make_shared<ConvertOptions>();
    CLI::App* sub = app.add_subcommand(
        "convert",
        "Convert GIF files into SWF movies: one JPEG frame per GIF frame, named <title>.swf.\n"
        "An INPUT that is a folder stands for the GIF files in it (*.gif in any letter case).");
    sub->add_option("INPUT", options->inputs, "GIF files or folders of GIF files")->required();
    sub->add_option("-o,--output", options->output,
                    "Folder for the movies (default: each input's folder)");
    sub->add_option("--fps", options->fps,
                    "Frames per second of the movie, " + std::to_string(kMinFps) + " to " +
                        std::to_string(kMaxFps))
        ->check(CLI::Range(kMinFps, kMaxFps))
        ->default_str(std::to_string(kDefaultFps));
    sub->add_option("--quality", options->quality, "JPEG quality: " + QualityNameList())
        ->transform(ChoiceValidator(kQualityNames))
        ->default_str(options->quality);
    sub->add_option("--bitmaps", options->bitmaps,
                    "How frames are stored: jpeg, or lossless (the exact pixels, zlib-compressed)")
        ->transform(ChoiceValidator(kBitmapKindNames))
        ->default_str(options->bitmaps);
    sub->add_flag("--changed-areas", options->changedAreas,
                  "Store only the part of each frame that changed since the frame before");
    sub->add_option("--url", options->url,
                    "Open this URL when the movie is clicked (a button over the whole stage)");
    sub->add_option("-j,--jobs", options->threads,
                    "Threads to use; several files are converted at once (default: one per core)")
        ->check(CLI::Range(1u, 256u));
    sub->add_flag("-q,--quiet", options->quiet, "Print nothing but errors and warnings");
    return {sub, [options] { return RunConvert(*options); }};
}
