#pragma once

// The jobs started from a dialog-style settings record, as the dialog starts them: the record's
// paths and the job's own options made from it.

#include "app/ConversionSettings.h"
#include "jobs/ConvertJob.h"
#include "jobs/ExtractJob.h"

inline JobResult ConvertFile(const ConversionSettings& settings, const JobControl& control = {}) {
    return ConvertFile(settings.m_strGifPath,
                       MoviePath(settings.m_strOutputFolder, settings.m_strGifPath),
                       ConvertOptionsFrom(settings), control);
}

inline JobResult ExtractFrames(const ConversionSettings& settings, const JobControl& control = {}) {
    return ExtractFrames(settings.m_strGifPath, settings.m_strOutputFolder,
                         ExtractOptionsFrom(settings), control);
}
