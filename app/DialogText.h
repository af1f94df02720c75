#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "app/InputFacts.h"
#include "jobs/BatchJob.h"
#include "jobs/BatchProgress.h"
#include "jobs/JobResult.h"

// The texts the dialog shows, and the small conversions between what the user typed and what
// the jobs read. Kept apart from the widgets so that they can be checked on their own.

inline constexpr const char* kConversionDone = "The conversion finished successfully !!!";
inline constexpr const char* kExtractionDone = "The extraction finished successfully !!!";
inline constexpr const char* kInfoCaption = "Info...";
inline constexpr const char* kWarningCaption = "Quorvel";
inline constexpr const char* kUseGifTiming = "Use the GIF's timing";

// The libraries the program is made with and their licences, for the About box.
QString LibrariesText();
// A web address on a name kept for examples and tests (RFC 2606 and 6761: example.com, .org
// and .net, and the .example, .test, .invalid and .localhost domains), or no address at all.
bool IsPlaceholderAddress(const QString& address);

// The file picker's filter; matches ".gif", ".webp", ".png" and ".apng" in any letter case.
QString GifFileFilter();
// Whether a file name ends like an animation a folder lists (HasAnimationExtension).
bool HasGifName(const QString& path);

// File names travel as the bytes the file system uses; the dialog shows them as text.
std::string PathFromText(const QString& text);
QString TextFromPath(const std::string& path);

// What the info line says about the input: a GIF's size, frames and looping, why it cannot be
// read, or how many GIF files a batch folder holds.
QString DescribeInput(const InputFacts& facts);
// Why Convert and Extract cannot start with this input, for the status line; empty when they
// can. scanning: the input changed and its scan has not come back yet.
QString InputProblem(const InputFacts& facts, bool scanning, bool outputGiven);

// About how large the movie will be: "Movie file about 120 KB"; "up to about" when only what
// changes is stored (the guess encodes whole frames).
QString DescribeMovieSize(int64_t bytes, bool atMost);

// "GIF 30.0 s · movie 60.0 s at 10 fps".
QString DescribeTimes(const JobPlan& times);
// The movie plays more than a tenth longer or shorter than the GIF.
bool TimesDiffer(const JobPlan& times);

// What the progress bar says: "86 of 600 frames, 14%, 0:12 left", with "1 of 3 files, " before
// it in a batch. The window's title while a job runs: "14% · Quorvel".
QString DescribeProgress(const BatchProgress::State& state, bool batch);
QString WindowTitle(std::optional<int> percent);
// The status line after a cancel, with how many files the job had written.
QString DescribeCancel(std::size_t written);

// What the dialog says when a job has ended. No message for a job the user cancelled unless
// something failed before the cancel.
struct JobMessage {
    enum class Icon { None, Information, Warning };
    Icon icon = Icon::None;
    QString text;
};

JobMessage DescribeConversion(const JobResult& result);
JobMessage DescribeExtraction(const JobResult& result);
// fileCount: how many files the batch was given; skipped: files left out because their movie
// existed.
JobMessage DescribeBatch(const BatchResult& result, std::size_t fileCount, std::size_t skipped = 0);
