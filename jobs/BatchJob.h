#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "jobs/Options.h"
#include "jobs/JobResult.h"

// The animation files of a folder: regular files whose extension is ".gif", ".webp", ".png" or
// ".apng" in any letter case (HasAnimationExtension), as full paths, sorted by file name. On an unreadable folder returns an empty list and, when
// error is given, sets it to the cause.
std::vector<std::string> ListAnimationFiles(const std::string& folder, std::string* error = nullptr);

struct BatchResult {
    std::vector<JobResult> results;  // one per file, in list order (files not reached are absent)
    bool cancelled = false;

    int Converted() const;  // movies written (not those kept as they were)
    int Failed() const;
};

// What a batch tells as it goes. Each is called on the thread that works on the file (files may
// finish out of order when several run at once).
struct BatchEvents {
    // The plan of file `index`, for every file planned, before any file is converted.
    std::function<void(std::size_t index, const JobPlan& plan)> planned;
    // Frames of file `index` written so far.
    std::function<void(std::size_t index, int frames)> frames;
    // File `index` has ended, whatever happened.
    std::function<void(std::size_t index, const JobResult& result)> fileDone;
};

// Several GIFs to convert with the same options.
struct BatchRequest {
    std::vector<std::string> files;
    std::string outputFolder;  // empty: each movie beside its GIF
    ConvertOptions options;
    std::string movieFile = {};  // for one file: its movie, not <outputFolder>/<title>.swf
    // A movie that exists is replaced, or kept: its file then succeeds with the movie listed in
    // JobResult::skipped, unread.
    Existing existing = Existing::Replace;
};

// Where the request puts the movie of file `index`.
std::filesystem::path MovieOf(const BatchRequest& request, std::size_t index);
// The indexes of the files whose movies exist already.
std::vector<std::size_t> ExistingMovies(const BatchRequest& request);

// Converts each file of the request into its output folder, going on after a failed file: plans
// every file first (one scan each), then converts them. control.progress counts files done;
// control.threads bounds how many threads the whole batch uses, whole files running side by
// side. The result lists the files in list order whatever order they finished in.
BatchResult ConvertBatch(const BatchRequest& request, const JobControl& control = {},
                         const BatchEvents& events = {});
