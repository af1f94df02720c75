#pragma once

#include <filesystem>

#include "jobs/ConversionSettings.h"
#include "jobs/JobResult.h"

// Converts the GIF at gifPath into the movie at moviePath: one JPEG bitmap frame per composed
// GIF frame at options.fps, with a full-stage button opening options.targetUrl when it is not
// blank (the defaults; the other options change that). Progress counts frames written. The file
// appears only when complete.
JobResult ConvertFile(const std::string& gifPath, const std::filesystem::path& moviePath,
                      const ConvertOptions& options, const JobControl& control = {});

// Where the movie of gifPath goes: "<outputFolder>/<title>.swf", the folder being the GIF's own
// (or the current one) when outputFolder is empty.
std::filesystem::path MoviePath(const std::string& outputFolder, const std::string& gifPath);

// The URL as the movie carries it: leading and trailing white space removed, and every byte
// outside ASCII (the UTF-8 of non-ASCII characters) written as a %XX escape.
std::string EncodeTargetUrl(const std::string& url);
