#include <filesystem>
#include <iostream>
#include <map>
#include <memory>

#include "cli/CliCommon.h"
#include "jobs/ConversionSettings.h"
#include "jobs/ExtractJob.h"

namespace {

struct ExtractOptions {
    std::string input;
    std::string output;
    std::string format = "bmp";
    bool quiet = false;
};

// Format names and their ConversionSettings::m_nExtractFormat index.
const std::map<std::string, int> kFormatIndex = {{"bmp", 0}, {"png", 1}, {"jpg", 2}, {"tga", 3}};

int RunExtract(const ExtractOptions& options) {
    ConversionSettings settings;
    settings.m_strGifPath = options.input;
    settings.m_strGifTitle = GifTitleFromPath(options.input);
    settings.m_strOutputFolder = options.output;
    if (settings.m_strOutputFolder.empty()) {  // default: beside the input
        settings.m_strOutputFolder = std::filesystem::path(options.input).parent_path().string();
        if (settings.m_strOutputFolder.empty()) settings.m_strOutputFolder = ".";
    }
    const auto format = kFormatIndex.find(options.format);
    settings.m_nExtractFormat = format == kFormatIndex.end() ? -1 : format->second;

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
    sub->add_option("-f,--format", options->format, "Image format: bmp, png, jpg or tga")
        ->transform(CLI::IsMember({"bmp", "png", "jpg", "tga"}, CLI::ignore_case))
        ->default_str("bmp");
    sub->add_flag("-q,--quiet", options->quiet, "Print nothing but errors and warnings");
    return {sub, [options] { return RunExtract(*options); }};
}
