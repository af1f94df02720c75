#pragma once

#include <string>

#include "jobs/Options.h"

// What the dialog shows and edits: its single GIF or batch folder, where the output goes, and
// the options of its jobs. Strings are UTF-8. A job reads only its own options, made from this
// record when it starts.
struct ConversionSettings {
    std::string m_strGifTitle;      // base name of the output files; jobs derive it from the path
    std::string m_strGifPath;       // the GIF to convert or extract
    std::string m_strOutputFolder;  // receives the output files
    int m_nFps = kDefaultFps;       // frames per second of the movie, kMinFps to kMaxFps
    Quality m_nQuality = Quality::Normal;  // JPEG quality
    std::string m_strInputFolder;   // folder of a batch
    std::string m_strTargetUrl;     // empty after trimming: no button
    bool m_bBatch = false;          // batch mode
    ExtractFormat m_nExtractFormat = ExtractFormat::Bmp;  // image format of extracted frames

    // Output modes beyond the plain movie; the defaults give it byte for byte.
    Timing m_timing = Timing::Fixed;          // the GIF's delays, or one SWF frame per GIF frame
    bool m_bFpsGiven = false;  // with the GIF's timing, m_nFps is the rate only when given
    LoopOption m_loop;                        // how often the movie plays
    BitmapKind m_bitmaps = BitmapKind::Jpeg;  // how the bitmaps are stored
    bool m_bChangedAreas = false;             // later frames store only what changed
    RgbColor m_background = kWhiteRgb;        // the stage, and what the frames are composed on
    bool m_bTransparent = false;  // pixels no image covers stay transparent (movies, PNG, TGA)
    // For Flash projects: a library of symbols instead of a movie, and a compressed file.
    LibraryKind m_library = LibraryKind::None;
    SwfCompression m_compression = SwfCompression::None;
};

// The options of a conversion, or of an extraction, as the settings give them.
ConvertOptions ConvertOptionsFrom(const ConversionSettings& settings);
ExtractOptions ExtractOptionsFrom(const ConversionSettings& settings);
