#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

// Packs the fields of SWF records: bit fields most significant bit first, with no alignment
// between them, and whole-byte little-endian integers. Every bit-packed record of the writer
// goes through this class.
class BitWriter {
public:
    // Appends the low n bits of v (n from 0 to 32).
    void WriteUBits(unsigned n, uint32_t v);
    // Appends the low n bits of v's two's-complement form (n from 0 to 32).
    void WriteSBits(unsigned n, int32_t v);
    // Completes the current byte with zero bits, so that the next field starts a new byte.
    void Align();

    // Whole-byte writes start on a byte boundary: pending bits are completed first.
    void WriteU8(uint8_t v);
    void WriteU16(uint16_t v);
    void WriteU32(uint32_t v);
    void WriteBytes(const uint8_t* data, std::size_t size);
    void WriteBytes(const std::vector<uint8_t>& bytes) { WriteBytes(bytes.data(), bytes.size()); }

    // The bytes written so far; a partly filled last byte is included, its free bits zero.
    const std::vector<uint8_t>& Bytes() const { return m_bytes; }
    // Hands the bytes over and leaves the writer empty.
    std::vector<uint8_t> TakeBytes();
    // Number of bits written, alignment padding included.
    std::size_t BitCount() const;

private:
    std::vector<uint8_t> m_bytes;
    unsigned m_nFreeBits = 0;  // unused low bits of the last byte
};

// Little-endian helpers for whole-byte fields.
void PutU16LE(uint8_t* out, uint16_t v);
void PutU32LE(uint8_t* out, uint32_t v);
void AppendU16LE(std::vector<uint8_t>& out, uint16_t v);
void AppendU32LE(std::vector<uint8_t>& out, uint32_t v);

// |v| without overflow (the magnitude of INT32_MIN is 2^31).
uint32_t Magnitude(int32_t v);

// Bits needed for an unsigned value: the smallest n with 2^n > v (0 for 0, 1 for 1, 2 for 2
// and 3, 3 for 4 to 7). This is also the width of a style index for a list of v styles.
unsigned CountUnsignedBits(uint32_t v);

// Width of a group of signed fields that share one width, from the largest magnitude M of the
// group: n + 1 with n the smallest integer such that 2^n > M (M = 0 gives 1, 1 gives 2, 4096
// gives 14). Negative values count with their magnitude.
unsigned CountSignedBits(uint32_t largestMagnitude);
unsigned CountSignedBits(std::initializer_list<int32_t> values);

// Width of a pair of 16.16 factors from T, the larger magnitude of their integer parts:
// 17 + n with n the smallest integer such that 2^n > T (0.5 gives 17, 1.0 gives 18, 20.0 gives
// 22).
unsigned CountFixedBits(uint32_t integerMagnitude);

// Width of the terms of a colour transform from the largest term magnitude t: with
// M = t >> 8, 10 + n where n is the smallest integer such that 2^n >= M (M of 0 or 1 gives 10,
// 2 gives 11, 32 gives 15, 33 gives 16, which no record can hold).
unsigned CountColorTermBits(uint32_t largestTermMagnitude);

// The widest signed field whose width fits a 5-bit count is 31 bits; by the width rule it
// holds magnitudes up to 2^30 - 1.
constexpr uint32_t kMaxWideMagnitude = (1u << 30) - 1;

// v truncated toward zero, saturated to the 32-bit range; NaN gives 0.
int32_t SaturatingTruncate(double v);

// Twips are 1/20 pixel: the product is formed in double precision (where a float times 20 is
// exact) and truncated toward zero, so 0.35f (0.3499999940...) gives 6, not 7.
int32_t PixelsToTwips(float pixels);
// 16.16 fixed point, truncated toward zero (1.0 gives 65536, -0.5 gives -32768).
int32_t ToFixed16(float v);
// 8.8 fixed point, truncated toward zero (1.0 gives 256).
int32_t ToFixed8(float v);

// Appends the encoding of a record or tag object. Its GetData builds the bytes that GetSize
// then counts, so the two must be called in this order (never as two arguments of one call,
// whose evaluation order is unspecified).
template <typename Encodable>
void WriteEncoded(BitWriter& w, Encodable& object) {
    const uint8_t* data = object.GetData();
    const int size = object.GetSize();
    if (data != nullptr && size > 0) w.WriteBytes(data, static_cast<std::size_t>(size));
}
