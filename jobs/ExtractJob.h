#pragma once

#include "jobs/ConversionSettings.h"
#include "jobs/JobResult.h"

// Writes every composed frame of settings.m_strGifPath to
// "<output folder>/<title>_f<index>.<bmp|png|jpg|tga>" (format from m_nExtractFormat),
// 24 bits per pixel, frame indexes from 0. Progress counts frames written.
JobResult ExtractFrames(const ConversionSettings& settings, const JobControl& control = {});
