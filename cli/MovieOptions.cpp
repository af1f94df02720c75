#include "cli/MovieOptions.h"

#include "cli/CliCommon.h"
#include "jobs/Library.h"

std::vector<CLI::Option*> AddTimingOptions(CLI::App& command, MovieArgs& args) {
    ConvertOptions& movie = args.movie;
    // The command line follows the GIF unless told otherwise.
    movie.timing = Timing::Gif;
    const std::size_t before = command.get_options().size();
    command
        .add_option("--fps", movie.fps,
                    "Frames per second of the movie, " + std::to_string(kMinFps) + " to " +
                        std::to_string(kMaxFps) +
                        " (default: the lowest rate that shows every delay exactly; with "
                        "--timing fixed, " + std::to_string(kDefaultFps) + ")")
        ->check(NumberFrom(kMinFps, kMaxFps))
        ->type_name("N");
    AddChoiceOption(&command, "--timing", movie.timing, kTimingNames,
                    "How long each GIF frame lasts: gif, its own delay as browsers show it (10 ms "
                    "or less lasting 100 ms), every image a frame; or fixed, one frame at --fps "
                    "whatever its delay, images without a delay joining the next");
    command
        .add_option_function<std::string>(
            "--loop",
            [&movie](const std::string& value) { movie.loop = *LoopOptionFromName(value); },
            "How often the movie plays: gif (the GIF's own loop count; the default), forever or "
            "0 (the player loops; the default with --timing fixed), once (stops on the last "
            "frame) or N (plays N times in all and stops)")
        ->check(CLI::Validator(
            [](std::string& value) {
                return LoopOptionFromName(value)
                           ? std::string()
                           : "needs gif, forever, once or a number of plays (0: for ever), not " +
                                 value;
            },
            ""))
        ->type_name("gif|forever|once|N");
    command.add_flag("--like-gif", args.likeGif,
                     "Play the GIF as browsers do, which is the default: --timing gif --loop gif, "
                     "and areas an image restores to the background show the stage; with "
                     "--timing fixed, the GIF's loop count and restored areas still");
    std::vector<CLI::Option*> added = command.get_options();
    added.erase(added.begin(), added.begin() + static_cast<std::ptrdiff_t>(before));
    return added;
}

std::vector<CLI::Option*> AddMovieOptions(CLI::App& command, MovieArgs& args) {
    ConvertOptions& movie = args.movie;
    const std::size_t before = command.get_options().size();
    AddTimingOptions(command, args);
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
        ->check(NumberFrom(1, 256))
        ->type_name("N");
    std::vector<CLI::Option*> added = command.get_options();
    added.erase(added.begin(), added.begin() + static_cast<std::ptrdiff_t>(before));
    return added;
}

std::vector<CLI::Option*> AddFlashOptions(CLI::App& command, MovieArgs& args) {
    ConvertOptions& movie = args.movie;
    const std::size_t before = command.get_options().size();
    CLI::Option* library =
        command
            .add_flag("--library", args.library,
                      "Write a library for Flash projects instead of a movie that plays: each "
                      "GIF becomes a MovieClip symbol named after its title, for ActionScript 3 "
                      "classes (SymbolClass, version 9 or later), or with --library=as2 for "
                      "attachMovie (ExportAssets, version 6 or later); several GIFs with -o "
                      "NAME.swf make one library")
            ->check(CLI::Validator(
                [](std::string& value) {
                    if (value == "true") value = "as3";  // the flag alone
                    return FromName(kLibraryNames, value) ? std::string()
                                                          : value + " is not as3 or as2";
                },
                ""))
            ->type_name("[=as3|as2]");
    command
        .add_option("--symbol", movie.symbol,
                    "With --library and one GIF: the symbol's name, an ActionScript identifier "
                    "(default: the GIF's title made one)")
        ->type_name("NAME")
        ->needs(library);
    command
        .add_option("--package", movie.package,
                    "With --library: a package for every symbol's name (game.anim gives "
                    "game.anim.Title)")
        ->type_name("NAME")
        ->needs(library);
    AddChoiceOption(&command, "--compress", movie.compression, kCompressionNames,
                    "Compress the file (zlib: CWS, players from version 6; lzma: ZWS, from "
                    "version 13; the version is raised to match)");
    command
        .add_option("--swf-version", movie.swfVersion,
                    "The file's version, " + std::to_string(kMinSwfVersion) + " to " +
                        std::to_string(kMaxSwfVersion) +
                        " (default: 3, or the lowest the other options need); from 8 the file "
                        "starts with FileAttributes and its bitmaps are not smoothed unless "
                        "--smooth is given")
        ->check(NumberFrom(kMinSwfVersion, kMaxSwfVersion))
        ->type_name("N");
    command.add_flag("--smooth", movie.smooth,
                     "Let players smooth the bitmaps when they are scaled (version 8 and later; "
                     "the version is raised to 8)");
    command
        .add_option("--scale", movie.scale,
                    "Show the movie N times as large, each pixel a sharp N x N block, 1 to " +
                        std::to_string(kMaxScale) + " (the bitmaps stay as they are)")
        ->check(NumberFrom(1, kMaxScale))
        ->type_name("N")
        ->default_str("1");
    std::vector<CLI::Option*> added = command.get_options();
    added.erase(added.begin(), added.begin() + static_cast<std::ptrdiff_t>(before));
    return added;
}

std::string FlashOptionsProblem(const ConvertOptions& chosen, const CLI::App& command,
                                std::size_t files) {
    if (chosen.swfVersion != 0 && chosen.swfVersion < chosen.LowestSwfVersion()) {
        return "--swf-version " + std::to_string(chosen.swfVersion) + " is below " +
               std::to_string(chosen.LowestSwfVersion()) +
               ", the lowest version that the other options need";
    }
    if (chosen.library == LibraryKind::None) return {};
    if (!chosen.targetUrl.empty())
        return "--url makes a button on a movie's stage, not in a library";
    if (!chosen.symbol.empty() && files > 1)
        return "--symbol names the symbol of one GIF, but " + std::to_string(files) + " were given";
    if (!chosen.symbol.empty() && !IsActionScriptIdentifier(chosen.symbol))
        return "--symbol " + chosen.symbol + " is not an ActionScript identifier";
    if (!chosen.package.empty() && !IsPackageName(chosen.package))
        return "--package " + chosen.package + " is not a package name (identifiers and dots)";
    if (chosen.library == LibraryKind::As3 && command.count("--loop") > 0 &&
        chosen.loop.kind != LoopOption::Kind::Forever) {
        return "an ActionScript 3 library's symbols loop (players run no actions of it): "
               "--loop must be forever, or use --library=as2";
    }
    return {};
}

ConvertOptions ChosenOptions(const MovieArgs& args, const CLI::App& command) {
    ConvertOptions chosen = args.movie;
    if (!args.library.empty())
        chosen.library = FromName(kLibraryNames, args.library).value_or(LibraryKind::As3);
    chosen.fpsGiven = command.count("--fps") > 0;
    // The GIF's own timing, or --like-gif, follows the GIF in all: its loop count where none was
    // given (an ActionScript 3 library's symbols loop), and restored areas on the stage.
    // --timing fixed alone gives the fixed-rate movie of the core's defaults.
    const bool followsGif = args.likeGif || chosen.timing == Timing::Gif;
    if (followsGif && command.count("--loop") == 0 && chosen.library != LibraryKind::As3)
        chosen.loop.kind = LoopOption::Kind::Gif;
    chosen.restoreToStage = followsGif;
    return chosen;
}
