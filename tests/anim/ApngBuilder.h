#pragma once

// APNG files made on the spot for the tests: RGBA frames, each compressed with zlib as rows of
// filter type 0, with the chunks (and where each begins) kept so that a test can damage them.

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

struct TestApngFrame {
    uint32_t width = 1, height = 1, x = 0, y = 0;
    uint16_t delayNum = 1, delayDen = 10;
    uint8_t dispose = 0, blend = 0;
    std::vector<uint8_t> rgba;  // width * height pixels, rows top first
    std::size_t zerosAfter = 0;  // zero bytes past the rows in its zlib stream: data no row needs
};

struct TestApng {
    std::vector<uint8_t> bytes;
    std::vector<std::size_t> chunkStarts;  // every chunk's offset, and the file's end
    // For each frame, where the chunk after its data ends (the frame is whole from there on).
    std::vector<std::size_t> frameWhole;
};

class ApngWriter {
public:
    ApngWriter(uint32_t width, uint32_t height) : m_width(width), m_height(height) {}
    // acTL with this play count (none: a still PNG of the first frame); its frame count is the
    // frames' unless given.
    ApngWriter& Plays(uint32_t plays) { m_plays = plays, m_animated = true; return *this; }
    ApngWriter& FrameCount(uint32_t count) { m_count = count; return *this; }
    // The first frame is the default image (IDAT) unless hidden, when IDAT holds it without fcTL.
    ApngWriter& HiddenDefault() { m_hidden = true; return *this; }
    ApngWriter& Frame(TestApngFrame frame) { m_frames.push_back(std::move(frame)); return *this; }

    TestApng Build() const {
        TestApng out;
        const uint8_t sig[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
        out.bytes.assign(sig, sig + 8);
        std::vector<uint8_t> ihdr = Join(Be32(m_width), Be32(m_height));
        ihdr.insert(ihdr.end(), {8, 6, 0, 0, 0});
        Chunk(out, "IHDR", ihdr);
        if (m_animated)
            Chunk(out, "acTL", Join(Be32(m_count ? m_count : static_cast<uint32_t>(m_frames.size() - m_hidden)), Be32(m_plays)));
        uint32_t sequence = 0;
        for (std::size_t i = 0; i < m_frames.size(); ++i) {
            const TestApngFrame& f = m_frames[i];
            const bool control = m_animated && !(i == 0 && m_hidden);
            if (control) {
                std::vector<uint8_t> fctl = Join(Join(Join(Join(Be32(sequence++), Be32(f.width)), Be32(f.height)), Be32(f.x)), Be32(f.y));
                fctl.insert(fctl.end(), {uint8_t(f.delayNum >> 8), uint8_t(f.delayNum), uint8_t(f.delayDen >> 8),
                                         uint8_t(f.delayDen), f.dispose, f.blend});
                Chunk(out, "fcTL", fctl);
                Whole(out, i);
            }
            const std::vector<uint8_t> data = Compress(f);
            if (i == 0) {
                Chunk(out, "IDAT", data);
            } else {
                Chunk(out, "fdAT", Join(Be32(sequence++), data));
            }
        }
        Chunk(out, "IEND", {});
        Whole(out, m_frames.size());
        out.chunkStarts.push_back(out.bytes.size());
        return out;
    }

    static std::vector<uint8_t> Join(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    }

    // Sets the CRC of the chunk at offset right after a test changed it.
    static void FixCrc(std::vector<uint8_t>& bytes, std::size_t offset) {
        const uint32_t size = uint32_t(bytes[offset]) << 24 | uint32_t(bytes[offset + 1]) << 16 |
                              uint32_t(bytes[offset + 2]) << 8 | bytes[offset + 3];
        const uLong crc = crc32(0, bytes.data() + offset + 4, size + 4);
        for (int i = 0; i < 4; ++i) bytes[offset + 8 + size + i] = uint8_t(crc >> (24 - 8 * i));
    }

private:
    static std::vector<uint8_t> Be32(uint32_t v) {
        return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
    }
    static void Chunk(TestApng& out, const char* type, const std::vector<uint8_t>& data) {
        out.chunkStarts.push_back(out.bytes.size());
        std::vector<uint8_t> body(type, type + 4);
        body.insert(body.end(), data.begin(), data.end());
        out.bytes = Join(Join(Join(out.bytes, Be32(static_cast<uint32_t>(data.size()))), body),
                         Be32(static_cast<uint32_t>(crc32(0, body.data(), static_cast<uInt>(body.size())))));
    }
    // The frame before `next` is whole once the chunk just written is read.
    void Whole(TestApng& out, std::size_t next) const {
        if (next == 0 || (next == 1 && m_hidden)) return;
        out.frameWhole.push_back(out.bytes.size());
    }
    static std::vector<uint8_t> Compress(const TestApngFrame& f) {
        std::vector<uint8_t> raw;
        for (uint32_t y = 0; y < f.height; ++y) {
            raw.push_back(0);
            raw.insert(raw.end(), f.rgba.begin() + y * f.width * 4, f.rgba.begin() + (y + 1) * f.width * 4);
        }
        // Deflated a piece at a time, so that a stream of gigabytes costs no more to make.
        z_stream z{};
        deflateInit(&z, Z_DEFAULT_COMPRESSION);
        std::vector<uint8_t> out, zeros(1 << 16, 0);
        uint8_t piece[1 << 16];
        const auto feed = [&](const uint8_t* data, std::size_t size, int flush) {
            z.next_in = const_cast<uint8_t*>(data);
            z.avail_in = static_cast<uInt>(size);
            do {
                z.next_out = piece;
                z.avail_out = sizeof piece;
                deflate(&z, flush);
                out.insert(out.end(), piece, piece + (sizeof piece - z.avail_out));
            } while (z.avail_out == 0);
        };
        feed(raw.data(), raw.size(), Z_NO_FLUSH);
        for (std::size_t left = f.zerosAfter; left > 0; left -= std::min(left, zeros.size()))
            feed(zeros.data(), std::min(left, zeros.size()), Z_NO_FLUSH);
        feed(nullptr, 0, Z_FINISH);
        deflateEnd(&z);
        return out;
    }

    uint32_t m_width, m_height;
    bool m_animated = false, m_hidden = false;
    uint32_t m_plays = 0, m_count = 0;
    std::vector<TestApngFrame> m_frames;
};
