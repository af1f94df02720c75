#include "cli/MovieOptions.h"

#include "cli/CliCommon.h"

std::vector<CLI::Option*> AddMovieOptions(CLI::App& command, MovieArgs& args) {
    ConvertOptions& movie = args.movie;
    const std::size_t before = command.get_options().size();
    command
        .add_option("--fps", movie.fps,
                    "Frames per second of the movie, " + std::to_string(kMinFps) + " to " +
                        std::to_string(kMaxFps) + " (default " + std::to_string(kDefaultFps) +
                        "; with --timing gif, the lowest rate that shows every delay exactly)")
        ->check(WholeNumber())
        ->check(CLI::Range(kMinFps, kMaxFps))
        ->type_name("N");
    AddChoiceOption(&command, "--timing", movie.timing, kTimingNames,
                    "How long each GIF frame lasts (fixed: one frame at --fps, whatever its "
                    "delay; gif: its own delay, 10 ms or less lasting 100 ms as in browsers)");
    command
        .add_option_function<std::string>(
            "--loop",
            [&movie](const std::string& value) { movie.loop = *LoopOptionFromName(value); },
            "forever (the player loops), once (stops on the last frame), gif (the GIF's own loop "
            "count) or N (plays N times and stops)")
        ->check(CLI::Validator(
            [](std::string& value) {
                return LoopOptionFromName(value) ? std::string()
                                                 : "must be forever, once, gif or a number from 1";
            },
            "N"))
        ->type_name("COUNT")
        ->default_str("forever");
    command.add_flag("--like-gif", args.likeGif,
                     "Play the GIF as browsers do: --timing gif --loop gif (either may still be "
                     "given), and areas an image restores to the background show the stage");
    AddChoiceOption(&command, "--quality", movie.quality, kQualityNames, "JPEG quality");
    AddChoiceOption(&command, "--bitmaps", movie.bitmaps, kBitmapKindNames,
                    "How frames are stored (lossless: the exact pixels, zlib-compressed)");
    command.add_flag("--changed-areas", movie.changedAreas,
                     "Store only the part of each frame that changed since the frame before");
    AddColorOption(&command, "--background", movie.background,
                   "Colour of the stage, and what the frames are composed on");
    command.add_flag("--transparent", movie.transparent,
                     "Keep the GIF's transparency: pixels that no image covers stay transparent in "
                     "the bitmaps (DefineBitsLossless2, DefineBitsJPEG3), showing what lies below "
                     "the movie");
    command
        .add_option("--url", movie.targetUrl,
                    "Open this URL when the movie is clicked (a button over the whole stage)")
        ->type_name("URL");
    command
        .add_option(
            "-j,--jobs", args.threads,
            "Threads to use, 1 to 256; several files are converted at once (default: one per "
            "core)")
        ->check(WholeNumber())
        ->check(CLI::Range(1u, 256u))
        ->type_name("N");
    std::vector<CLI::Option*> added = command.get_options();
    added.erase(added.begin(), added.begin() + static_cast<std::ptrdiff_t>(before));
    return added;
}

ConvertOptions ChosenOptions(const MovieArgs& args, const CLI::App& command) {
    ConvertOptions chosen = args.movie;
    chosen.fpsGiven = command.count("--fps") > 0;
    if (args.likeGif && command.count("--timing") == 0) chosen.timing = Timing::Gif;
    if (args.likeGif && command.count("--loop") == 0) chosen.loop.kind = LoopOption::Kind::Gif;
    chosen.restoreToStage = args.likeGif;
    return chosen;
}
