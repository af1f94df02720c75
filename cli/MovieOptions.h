#pragma once

#include <CLI/CLI.hpp>
#include <vector>

#include "jobs/Options.h"

// The options that shape a movie, as `convert` and `play` both take them.
struct MovieArgs {
    ConvertOptions movie;
    bool likeGif = false;  // the GIF's timing and looping where not given otherwise
    unsigned threads = 0;  // 0: one per core
    std::string library;   // --library: as3 or as2; empty: a movie that plays
};

// Defines the options on the command; returns them.
std::vector<CLI::Option*> AddMovieOptions(CLI::App& command, MovieArgs& args);

// Defines the options for Flash projects (libraries, compression, version, smoothing, scale)
// on the command; returns them.
std::vector<CLI::Option*> AddFlashOptions(CLI::App& command, MovieArgs& args);

// Why the options for Flash projects cannot be used as given (a version below what the others
// need, a name that is no identifier, --url or a --loop that an ActionScript 3 symbol cannot
// follow in a library); empty when they can. files: how many GIFs the run converts.
std::string FlashOptionsProblem(const ConvertOptions& chosen, const CLI::App& command,
                                std::size_t files);

// The conversion's options once the command has been parsed: --like-gif gives the GIF's timing
// and looping where they were not given (an ActionScript 3 library's symbols loop), and --fps
// counts as given only when it was.
ConvertOptions ChosenOptions(const MovieArgs& args, const CLI::App& command);
