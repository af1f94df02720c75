#pragma once

// Helpers shared by the SWF writer tests.

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

namespace swftest {

// "46 57 53" -> {0x46, 0x57, 0x53}.
inline std::vector<uint8_t> Hex(const std::string& text) {
    std::vector<uint8_t> out;
    std::istringstream in(text);
    std::string byte;
    while (in >> byte) out.push_back(static_cast<uint8_t>(std::stoul(byte, nullptr, 16)));
    return out;
}

inline std::vector<uint8_t> Bytes(const uint8_t* data, int size) {
    if (data == nullptr || size <= 0) return {};
    return std::vector<uint8_t>(data, data + size);
}

// The encoding of anything with GetData and GetSize, in that order.
template <typename T>
std::vector<uint8_t> Encode(T& object) {
    const uint8_t* data = object.GetData();
    return Bytes(data, object.GetSize());
}

}  // namespace swftest
