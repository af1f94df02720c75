#pragma once

#include <filesystem>
#include <string>
#include <vector>

// Ruffle's web build as shipped with quorvel, for `quorvel play` and pages made with --offline.

// Where Ruffle's web build is, and its files, source maps left out.
struct RuffleBuild {
    std::filesystem::path folder;
    std::vector<std::string> files;  // names in folder, sorted
    std::string error;               // why there is none: then files is empty

    bool Found() const { return error.empty(); }
};

// The folder QUORVEL_RUFFLE_DIR names when it is set; otherwise share/quorvel/ruffle beside the
// folder of the running program (<prefix>/bin/quorvel: <prefix>/share/quorvel/ruffle; the build
// tree holds a copy at the same place for its cli/quorvel).
RuffleBuild FindRuffle();

// Copies Ruffle's files into the folder `to` (made when missing), each complete or not at all;
// a file that exists is kept when keepExisting. Appends the files written to `written`; returns
// an empty string or the cause of the failure.
std::string CopyRuffle(const RuffleBuild& ruffle, const std::filesystem::path& to,
                       bool keepExisting, std::vector<std::string>& written);
