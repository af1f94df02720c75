#pragma once

#include <CLI/CLI.hpp>
#include <vector>

#include "jobs/Options.h"

// The options that shape a movie, as `convert` and `play` both take them.
struct MovieArgs {
    ConvertOptions movie;
    bool likeGif = false;  // the GIF's looping and restored areas even with --timing fixed
    unsigned threads = 0;  // 0: one per core
    std::string library;   // --library: as3 or as2; empty: a movie that plays
};

// Defines the options of the movie's timing (--fps, --timing, --loop, --like-gif) on the
// command, the GIF's own timing the default; returns them.
std::vector<CLI::Option*> AddTimingOptions(CLI::App& command, MovieArgs& args);

// Defines the options on the command, the timing's among them; returns them.
std::vector<CLI::Option*> AddMovieOptions(CLI::App& command, MovieArgs& args);

// Defines the options for Flash projects (libraries, compression, version, smoothing, scale)
// on the command; returns them.
std::vector<CLI::Option*> AddFlashOptions(CLI::App& command, MovieArgs& args);

// Why the options for Flash projects cannot be used as given (a version below what the others
// need, a name that is no identifier, --url or a --loop that an ActionScript 3 symbol cannot
// follow in a library); empty when they can. files: how many GIFs the run converts.
std::string FlashOptionsProblem(const ConvertOptions& chosen, const CLI::App& command,
                                std::size_t files);

// The conversion's options once the command has been parsed: the GIF's timing (the default)
// or --like-gif gives the GIF's looping where --loop was not given (an ActionScript 3
// library's symbols loop) and shows restored areas on the stage; --timing fixed alone gives
// the core's default movie. --fps counts as given only when it was.
ConvertOptions ChosenOptions(const MovieArgs& args, const CLI::App& command);
