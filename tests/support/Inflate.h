#pragma once

// zlib's own inflation, for checking the streams we write.

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <vector>

// The data of one whole zlib stream of at most `most` bytes; empty when it is not one.
inline std::vector<uint8_t> Inflate(const uint8_t* stream, std::size_t size,
                                    std::size_t most = std::size_t{1} << 20) {
    std::vector<uint8_t> out(most);
    uLongf length = out.size();
    if (uncompress(out.data(), &length, stream, size) != Z_OK) return {};
    out.resize(length);
    return out;
}

inline std::vector<uint8_t> Inflate(const std::vector<uint8_t>& stream) {
    return Inflate(stream.data(), stream.size());
}
