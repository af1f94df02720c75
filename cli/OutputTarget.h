#pragma once

#include <filesystem>
#include <string>

// Where a command's outputs go as -o names them, and the problems with that, worded alike for
// every command.

// Whether -o names the movie itself rather than a folder for movies: a name ending in ".swf"
// (in any letter case) that is not a folder already.
bool NamesMovieFile(const std::string& output);

// Makes the folder, with its parents, when it is missing. Returns an empty string, or the cause
// ("quorvel: <folder>: <cause>").
std::string MakeOutputFolder(const std::filesystem::path& folder);

// Why standard output cannot take a binary file (it is a terminal), or an empty string.
std::string TerminalRefusal();
