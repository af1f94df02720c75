#include <filesystem>
#include <iostream>
#include <memory>

#include "cli/CliCommon.h"
#include "jobs/ConversionSettings.h"
#include "jobs/ExtractJob.h"

namespace {

struct ExtractOptions {
    std::string input;
    std::string output;
    std::string format{NameOf(ExtractFormat::Bmp)};
    bool quiet = false;
};

int RunExtract(const ExtractOptions& options) {
    ConversionSettings settings;
    settings.m_strGifPath = options.input;
    settings.m_strGifTitle = GifTitleFromPath(options.input);
    settings.m_strOutputFolder = options.output;
    if (settings.m_strOutputFolder.empty()) {  // default: beside the input
        settings.m_strOutputFolder = std::filesystem::path(options.input).parent_path().string();
        if (settings.m_strOutputFolder.empty()) settings.m_strOutputFolder = ".";
    }
    settings.m_nExtractFormat = ExtractFormatFromName(options.format).value_or(ExtractFormat::Bmp);

    ProgressLine progress(!options.quiet, options.input);
    JobControl control;
    control.cancel = InterruptFlag();
    control.progress = [&progress](int done) {
        progress.Show(std::to_string(done) + (done == 1 ? " frame" : " frames") + " written");
    };
    const JobResult result = ExtractFrames(settings, control);
    progress.Clear();
    if (!options.quiet) {
        for (const std::string& name : result.outputs) std::cout << name << '\n';
        std::cout << std::flush;
    }
    return ReportResult(result);
}

}  // namespace

Command AddExtractCommand(CLI::App& app) {
    auto options = std::make_shared<ExtractOptions>();
    CLI::App* sub = app.add_subcommand(
        "extract", "Write every frame of a GIF as an image file, named <title>_f<index>.<format>.");
    sub->add_option("INPUT", options->input, "The GIF file")->required();
    sub->add_option("-o,--output", options->output,
                    "Folder for the frame files (default: the input's folder)");
    sub->add_option("-f,--format", options->format, "Image format: " + ExtractFormatNameList())
        ->transform(ChoiceValidator(kExtractFormatNames))
        ->default_str(options->format);
    sub->add_flag("-q,--quiet", options->quiet, "Print nothing but errors and warnings");
    return {sub, [options] { return RunExtract(*options); }};
}
