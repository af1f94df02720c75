#pragma once

#include <CLI/CLI.hpp>
#include <vector>

#include "jobs/Options.h"

// The options that shape a movie, as `convert` and `play` both take them.
struct MovieArgs {
    ConvertOptions movie;
    bool likeGif = false;  // the GIF's timing and looping where not given otherwise
    unsigned threads = 0;  // 0: one per core
};

// Defines the options on the command; returns them.
std::vector<CLI::Option*> AddMovieOptions(CLI::App& command, MovieArgs& args);

// The conversion's options once the command has been parsed: --like-gif gives the GIF's timing
// and looping where they were not given, and --fps counts as given only when it was.
ConvertOptions ChosenOptions(const MovieArgs& args, const CLI::App& command);
