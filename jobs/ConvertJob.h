#pragma once

#include <filesystem>

#include "jobs/ConversionSettings.h"
#include "jobs/JobResult.h"

// Converts settings.m_strGifPath into "<output folder>/<title>.swf": one JPEG bitmap frame per
// composed GIF frame at m_nFps, with a full-stage button opening m_strTargetUrl when it is not
// blank. Progress counts frames written. The file appears only when complete.
JobResult ConvertFile(const ConversionSettings& settings, const JobControl& control = {});

// Where the movie of gifPath goes: "<outputFolder>/<title>.swf", the folder being the GIF's own
// (or the current one) when outputFolder is empty.
std::filesystem::path MoviePath(const std::string& outputFolder, const std::string& gifPath);

// The URL as the movie carries it: leading and trailing white space removed, and every byte
// outside ASCII (the UTF-8 of non-ASCII characters) written as a %XX escape.
std::string EncodeTargetUrl(const std::string& url);
