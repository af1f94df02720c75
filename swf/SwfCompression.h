#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "base/AtomicFile.h"
#include "base/MovieFormat.h"


// The lowest version whose players read files stored so.
uint8_t LowestVersionFor(SwfCompression compression);

// Writes the whole uncompressed movie in the file at `movie` ("FWS", header complete) into
// `out` as a compressed one: signature, the same version byte and length field (the length of
// the uncompressed file, header included), then the compressed rest. A ZWS file then holds the
// LZMA data's length (what follows the 5 property bytes), the 5 property bytes, and the raw
// LZMA data (liblzma's .lzma stream without its 13-byte header, its end marker kept). Empty on
// success, else why not.
std::string CompressMovieFile(const std::filesystem::path& movie, AtomicFile& out,
                              SwfCompression compression);

// The uncompressed movie of a file's bytes: an FWS file as it is, a CWS or ZWS one inflated,
// with the signature changed to "FWS". None, with the cause in error, when the bytes are not
// a movie or do not inflate to the length its header gives.
std::optional<std::vector<uint8_t>> UncompressedMovie(const std::vector<uint8_t>& file,
                                                      std::string& error);
