#pragma once

#include "jobs/ConversionSettings.h"
#include "jobs/JobResult.h"

// How the frame files are named and written.
struct ExtractNaming {
    int digits = 0;  // the index padded with zeros to this many digits ("a_f007.png"); 0: none
    // A frame file that exists is left as it is and listed in JobResult::skipped.
    bool keepExisting = false;
};

// Writes every composed frame of settings.m_strGifPath to
// "<output folder>/<title>_f<index>.<bmp|png|jpg|tga>" (format from m_nExtractFormat),
// 24 bits per pixel composed on m_background, frame indexes from 0; with m_bTransparent, PNG and
// TGA frames have 32 bits, transparent where no image covers the pixel (FreeImage writes a PNG
// frame without any such pixel with 24). Progress counts frames composed.
JobResult ExtractFrames(const ConversionSettings& settings, const JobControl& control = {},
                        const ExtractNaming& naming = {});
