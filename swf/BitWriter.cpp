#include "swf/BitWriter.h"

#include <bit>
#include <cmath>
#include <limits>

void BitWriter::WriteUBits(unsigned n, uint32_t v) {
    if (n == 0) return;
    if (n < 32) v &= (uint32_t{1} << n) - 1;
    while (n > 0) {
        if (m_nFreeBits == 0) {
            m_bytes.push_back(0);
            m_nFreeBits = 8;
        }
        const unsigned take = n < m_nFreeBits ? n : m_nFreeBits;
        // The next `take` bits of v, counted from its most significant written bit.
        const uint32_t chunk = (v >> (n - take)) & ((uint32_t{1} << take) - 1);
        m_bytes.back() = static_cast<uint8_t>(m_bytes.back() | (chunk << (m_nFreeBits - take)));
        m_nFreeBits -= take;
        n -= take;
    }
}

void BitWriter::WriteSBits(unsigned n, int32_t v) { WriteUBits(n, static_cast<uint32_t>(v)); }

void BitWriter::Align() { m_nFreeBits = 0; }

void BitWriter::WriteU8(uint8_t v) {
    Align();
    m_bytes.push_back(v);
}

void BitWriter::WriteU16(uint16_t v) {
    Align();
    AppendU16LE(m_bytes, v);
}

void BitWriter::WriteU32(uint32_t v) {
    Align();
    AppendU32LE(m_bytes, v);
}

void BitWriter::WriteBytes(const uint8_t* data, std::size_t size) {
    Align();
    if (size > 0) m_bytes.insert(m_bytes.end(), data, data + size);
}

std::vector<uint8_t> BitWriter::TakeBytes() {
    m_nFreeBits = 0;
    return std::move(m_bytes);
}

std::size_t BitWriter::BitCount() const { return m_bytes.size() * 8 - m_nFreeBits; }

void PutU16LE(uint8_t* out, uint16_t v) {
    out[0] = static_cast<uint8_t>(v);
    out[1] = static_cast<uint8_t>(v >> 8);
}

void PutU32LE(uint8_t* out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(v >> (8 * i));
}

void AppendU16LE(std::vector<uint8_t>& out, uint16_t v) {
    uint8_t b[2];
    PutU16LE(b, v);
    out.insert(out.end(), b, b + 2);
}

void AppendU32LE(std::vector<uint8_t>& out, uint32_t v) {
    uint8_t b[4];
    PutU32LE(b, v);
    out.insert(out.end(), b, b + 4);
}

uint32_t Magnitude(int32_t v) {
    return v < 0 ? uint32_t{0} - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
}

unsigned CountUnsignedBits(uint32_t v) { return static_cast<unsigned>(std::bit_width(v)); }

unsigned CountSignedBits(uint32_t largestMagnitude) {
    return CountUnsignedBits(largestMagnitude) + 1;
}

unsigned CountSignedBits(std::initializer_list<int32_t> values) {
    uint32_t largest = 0;
    for (int32_t v : values) {
        const uint32_t m = Magnitude(v);
        if (m > largest) largest = m;
    }
    return CountSignedBits(largest);
}

unsigned CountFixedBits(uint32_t integerMagnitude) {
    return 17 + CountUnsignedBits(integerMagnitude);
}

unsigned CountColorTermBits(uint32_t largestTermMagnitude) {
    const uint32_t m = largestTermMagnitude >> 8;
    return 10 + (m <= 1 ? 0 : CountUnsignedBits(m - 1));
}

int32_t SaturatingTruncate(double v) {
    if (std::isnan(v)) return 0;
    constexpr double lo = std::numeric_limits<int32_t>::min();
    constexpr double hi = std::numeric_limits<int32_t>::max();
    if (v <= lo) return std::numeric_limits<int32_t>::min();
    if (v >= hi) return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(v);  // the conversion truncates toward zero
}

int32_t PixelsToTwips(float pixels) {
    return SaturatingTruncate(static_cast<double>(pixels) * 20.0);
}

int32_t ToFixed16(float v) { return SaturatingTruncate(static_cast<double>(v) * 65536.0); }

int32_t ToFixed8(float v) { return SaturatingTruncate(static_cast<double>(v) * 256.0); }
