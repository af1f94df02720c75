#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "jobs/Options.h"
#include "jobs/JobResult.h"

// The GIF files of a folder: regular files whose extension is ".gif" in any letter case, as
// full paths, sorted by file name. On an unreadable folder returns an empty list and, when
// error is given, sets it to the cause.
std::vector<std::string> ListGifFiles(const std::string& folder, std::string* error = nullptr);

struct BatchResult {
    std::vector<JobResult> results;  // one per file, in list order (files not reached are absent)
    bool cancelled = false;

    int Converted() const;
    int Failed() const;
};

// Called after each file, on the thread that converted it (files may finish out of order when
// several run at once).
using FileDoneCallback = std::function<void(std::size_t index, const JobResult& result)>;
// Called as frames of file `index` are written (frames written so far), on that file's thread.
using FrameProgressCallback = std::function<void(std::size_t index, int frames)>;

// Several GIFs to convert with the same options.
struct BatchRequest {
    std::vector<std::string> files;
    std::string outputFolder;  // empty: each movie beside its GIF
    ConvertOptions options;
    std::string movieFile = {};  // for one file: its movie, not <outputFolder>/<title>.swf
};

// Where the request puts the movie of file `index`.
std::filesystem::path MovieOf(const BatchRequest& request, std::size_t index);

// Converts each file of the request into its output folder, going on after a failed file. control.progress counts files
// done; control.threads bounds how many threads the whole batch uses, whole files running side
// by side. The result lists the files in list order whatever order they finished in.
BatchResult ConvertBatch(const BatchRequest& request, const JobControl& control = {}, const FileDoneCallback& onFileDone = {},
                         const FrameProgressCallback& onFrame = {});
