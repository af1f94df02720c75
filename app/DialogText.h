#pragma once

#include <QString>
#include <cstddef>
#include <string>

#include "jobs/BatchJob.h"
#include "jobs/JobResult.h"

// The texts the dialog shows, and the small conversions between what the user typed and what
// the jobs read. Kept apart from the widgets so that they can be checked on their own.

inline constexpr const char* kConversionDone = "The conversion finished successfully !!!";
inline constexpr const char* kExtractionDone = "The extraction finished successfully !!!";
inline constexpr const char* kInfoCaption = "Info...";
inline constexpr const char* kWarningCaption = "Quorvel";

// "1.0.0" -> "1.0": the version as the About box shows it.
QString VersionMajorMinor(const QString& version);

// The GIF file picker's filter; matches ".gif" in any letter case.
QString GifFileFilter();

// File names travel as the bytes the file system uses; the dialog shows them as text.
std::string PathFromText(const QString& text);
QString TextFromPath(const std::string& path);

// What the dialog says when a job has ended. No message for a job the user cancelled unless
// something failed before the cancel.
struct JobMessage {
    enum class Icon { None, Information, Warning };
    Icon icon = Icon::None;
    QString text;
};

JobMessage DescribeConversion(const JobResult& result);
JobMessage DescribeExtraction(const JobResult& result);
// fileCount: how many files the batch was given.
JobMessage DescribeBatch(const BatchResult& result, std::size_t fileCount);
