#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "jobs/BatchJob.h"
#include "swf/CSWFMovie.h"

// Libraries: files whose symbols, one MovieClip for each GIF, a Flash project creates by name.
// Their own timeline has one frame; each symbol's definitions come before it.

// A library being written: the file every GIF of a run adds its symbol to, in turn.
struct LibraryTarget {
    CSWFMovie movie;
    std::vector<SwfSymbol> symbols;
    // The name the next GIF's symbol gets.
    std::string nextName;
};

// Whether name is an ActionScript identifier: a letter, '_' or '$', then letters, digits, '_'
// or '$' (ASCII), and not a reserved word.
bool IsActionScriptIdentifier(std::string_view name);
// Whether name is identifiers joined by dots ("game.anim").
bool IsPackageName(std::string_view name);
// The identifier made of a GIF's title: every other character becomes '_', a leading digit or
// a reserved word gains a leading '_', an empty title gives "Animation".
std::string SymbolNameFromTitle(std::string_view title);

// The symbol names of the request's files, in order: --symbol for a library of one file, else
// each title's identifier, made unique with "_2", "_3"...; each with the package prefix.
std::vector<std::string> SymbolNames(const BatchRequest& request);

// Converts every file of the request into one library at request.movieFile, one after the
// other. A file that fails stops the run and no library is written; its result says why.
BatchResult ConvertToLibrary(const BatchRequest& request, const JobControl& control,
                             const BatchEvents& events);
// ConvertBatch for a library request: one library at request.movieFile holding every file's
// symbol, or, without it, a library of its own for each file (<title>.swf).
BatchResult ConvertLibraries(const BatchRequest& request, const JobControl& control,
                             const BatchEvents& events);
