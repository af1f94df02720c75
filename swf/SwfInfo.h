#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "swf/SwfCompression.h"

// What a movie file holds, as `quorvel info` shows it: its header, and the symbols it names.
struct SwfSummary {
    // Whether the header was read (the rest is valid then); error says why not, or where the
    // tags break off.
    bool opened = false;
    std::string error;

    SwfCompression compression = SwfCompression::None;
    int version = 0;
    uint32_t fileLength = 0;       // as the header says: the uncompressed length
    double width = 0, height = 0;  // the stage, in pixels
    double frameRate = 0;
    int frames = 0;  // of the file's own timeline, as its header says
    bool fileAttributes = false;
    bool actionScript3 = false;  // FileAttributes' flag
    // Whether it defines bitmaps with an alpha channel (DefineBitsLossless2, DefineBitsJPEG3):
    // pictures that let what lies below the movie show through.
    bool alphaBitmaps = false;

    struct Symbol {
        uint16_t id = 0;
        std::string name;
        bool isClass = false;   // SymbolClass, else ExportAssets
        int spriteFrames = -1;  // the frames of the sprite it names; -1: not a sprite
    };
    std::vector<Symbol> symbols;  // in file order
};

// Reads a whole movie file's bytes (FWS, CWS or ZWS). A file that breaks off inside a tag
// keeps what came before it, with the cause in error.
SwfSummary SummarizeSwf(const std::vector<uint8_t>& file);
