#pragma once

#include <string>

// The option values every job reads. Strings are UTF-8; paths are passed to giflib and
// FreeImage as they are.
struct ConversionSettings {
    std::string m_strGifTitle;      // base name of the output files; jobs derive it from the path
    std::string m_strGifPath;       // the GIF to convert or extract
    std::string m_strOutputFolder;  // receives the output files
    int m_nFps = 10;                // frames per second of the movie, 1 to 255
    int m_nQuality = 1;             // JPEG quality: 0 low, 1 normal, 2 high
    std::string m_strInputFolder;   // folder of a batch
    std::string m_strTargetUrl;     // empty after trimming: no button
    bool m_bBatch = false;          // batch mode
    int m_nExtractFormat = 0;       // 0 BMP, 1 PNG, 2 JPG, 3 TGA
};

// The title used in output names: the file name without its folder and without a ".gif"
// extension in any letter case (other extensions are dropped as well). "anim.GIF" -> "anim".
std::string GifTitleFromPath(const std::string& path);
