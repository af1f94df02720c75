#pragma once

#include <filesystem>
#include <string>

#include "jobs/JobResult.h"
#include "jobs/Options.h"
#include "jobs/convert/ConversionPlan.h"

// Converts the GIF at gifPath into the movie at moviePath: one JPEG bitmap frame per composed
// GIF frame at options.fps, with a full-stage button opening options.targetUrl when it is not
// blank (the defaults; the other options change that). control.planned hears the plan before
// the first frame is decoded; progress counts frames written. The file appears only when
// complete. The GIF is read twice: one scan for the plan, one decoding.
JobResult ConvertFile(const std::string& gifPath, const std::filesystem::path& moviePath,
                      const ConvertOptions& options, const JobControl& control = {});

// The plan of converting gifPath into moviePath, from one scan of the GIF that decodes no pixel.
ConversionPlan PlanMovie(const std::string& gifPath, const std::filesystem::path& moviePath,
                         const ConvertOptions& options);
// The same from that scan, made already (with options.Rules()).
ConversionPlan PlanScanned(const GifInfo& scan, const std::string& gifPath,
                           const std::filesystem::path& moviePath, const ConvertOptions& options);
// Converts as the plan says (a plan with an error fails); control.planned hears nothing.
JobResult ConvertPlanned(const ConversionPlan& plan, const JobControl& control = {});

// Where the movie of gifPath goes: "<outputFolder>/<title>.swf", the folder being the GIF's own
// (or the current one) when outputFolder is empty.
std::filesystem::path MoviePath(const std::string& outputFolder, const std::string& gifPath);

// The URL as the movie carries it: leading and trailing white space removed, and every byte
// outside ASCII (the UTF-8 of non-ASCII characters) written as a %XX escape.
std::string EncodeTargetUrl(const std::string& url);
