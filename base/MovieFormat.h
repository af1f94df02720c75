#pragma once

#include <cstdint>

// How a movie file is stored: "FWS" as it is, "CWS" with everything after the first 8 bytes in
// one zlib stream (players from version 6), "ZWS" with it in LZMA (players from version 13).
enum class SwfCompression : int { None = 0, Zlib = 1, Lzma = 2 };

// What kind of file a movie is, fixed before it is opened. The default is the plain movie: an
// uncompressed version 3 file.
struct MovieFormat {
    uint8_t version = 3;
    SwfCompression compression = SwfCompression::None;
    // From version 8 the file starts with FileAttributes; this sets its ActionScript 3 flag
    // (players then run no DoAction).
    bool actionScript3 = false;
    // From version 8 players smooth bitmap fills of type 0x41; unless this is set the shapes
    // defined get type 0x43, which they show pixel for pixel.
    bool smoothBitmaps = false;
    // The stage and every placement scaled by this whole number: pixel art shows as sharp
    // scale x scale blocks, the bitmaps as they are.
    int scale = 1;

    bool operator==(const MovieFormat&) const = default;
};
