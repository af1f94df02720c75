#include "anim/ApngChunks.h"

#include <zlib.h>

#include <cstring>

namespace {

constexpr uint32_t Tag(const char (&name)[5]) {
    return uint32_t(uint8_t(name[0])) << 24 | uint32_t(uint8_t(name[1])) << 16 |
           uint32_t(uint8_t(name[2])) << 8 | uint32_t(uint8_t(name[3]));
}

uint32_t Be32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

uint16_t Be16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

std::string TagName(uint32_t type) {
    std::string name(4, '?');
    for (int i = 0; i < 4; ++i) {
        const char c = static_cast<char>(type >> (24 - 8 * i));
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) name[static_cast<std::size_t>(i)] = c;
    }
    return name;
}

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
constexpr uint32_t kMaxChunk = 0x7fffffff;

}  // namespace

bool FrameFits(const ApngChunks::Frame& frame, uint32_t width, uint32_t height, bool first) {
    if (frame.width == 0 || frame.height == 0) return false;
    if (first && (frame.x != 0 || frame.y != 0 || frame.width != width || frame.height != height))
        return false;
    return uint64_t{frame.x} + frame.width <= width && uint64_t{frame.y} + frame.height <= height;
}

bool ApngChunks::Fail(std::string cause) {
    m_error = std::move(cause);
    return false;
}

bool ApngChunks::Read(Chunk& chunk) {
    const std::size_t left = m_size - m_pos;
    if (left < 12) return Fail("the PNG file breaks off after frame " + std::to_string(m_frames));
    const uint8_t* p = m_begin + m_pos;
    chunk.size = Be32(p);
    chunk.type = Be32(p + 4);
    chunk.data = p + 8;
    if (chunk.size > kMaxChunk) return Fail("a chunk longer than 2^31 - 1 bytes");
    if (left - 12 < chunk.size)
        return Fail("the PNG file breaks off in its " + TagName(chunk.type) + " chunk after frame " +
                    std::to_string(m_frames));
    const uLong crc = crc32(crc32(0L, Z_NULL, 0), p + 4, chunk.size + 4);
    if (crc != Be32(chunk.data + chunk.size))
        return Fail("the CRC of a " + TagName(chunk.type) + " chunk is wrong (after frame " +
                    std::to_string(m_frames) + ")");
    m_pos += 12 + std::size_t{chunk.size};
    return true;
}

bool ApngChunks::CheckSequence(const Chunk& chunk) {
    if (chunk.size < 4) return Fail("a " + TagName(chunk.type) + " chunk without a sequence number");
    const uint32_t sequence = Be32(chunk.data);
    if (sequence != m_sequence)
        return Fail("the " + TagName(chunk.type) + " chunk's sequence number is " +
                    std::to_string(sequence) + ", not " + std::to_string(m_sequence));
    ++m_sequence;
    return true;
}

bool ApngChunks::ReadControl(const Chunk& chunk, Frame& frame, bool first) {
    if (chunk.size != 26) return Fail("an fcTL chunk of " + std::to_string(chunk.size) + " bytes");
    if (!CheckSequence(chunk)) return false;
    const uint8_t* p = chunk.data + 4;
    frame = {};
    frame.width = Be32(p);
    frame.height = Be32(p + 4);
    frame.x = Be32(p + 8);
    frame.y = Be32(p + 12);
    const uint32_t num = Be16(p + 16), den = Be16(p + 18);
    frame.delayMs = static_cast<int>(num * 1000 / (den == 0 ? 100 : den));
    if (p[20] > 2 || p[21] > 1) return Fail("an fcTL chunk with an unknown dispose or blend op");
    frame.dispose = static_cast<Dispose>(p[20]);
    frame.blend = static_cast<Blend>(p[21]);
    if (!FrameFits(frame, m_width, m_height, first))
        return Fail("frame " + std::to_string(m_frames + 1) + " (" + std::to_string(frame.width) +
                    " x " + std::to_string(frame.height) + " at " + std::to_string(frame.x) + ", " +
                    std::to_string(frame.y) + ") does not fit the " + std::to_string(m_width) +
                    " x " + std::to_string(m_height) + " canvas");
    return true;
}

bool ApngChunks::Open(const uint8_t* data, std::size_t size) {
    *this = ApngChunks();
    m_begin = data;
    m_size = size;
    if (size < 8 || std::memcmp(data, kSignature, 8) != 0) return Fail("not a PNG file");
    m_pos = 8;
    Chunk chunk;
    if (!Read(chunk)) return false;
    if (chunk.type != Tag("IHDR") || chunk.size != 13) return Fail("the PNG file does not start with IHDR");
    m_header = chunk.data;
    m_width = Be32(chunk.data);
    m_height = Be32(chunk.data + 4);
    for (;;) {
        const std::size_t start = m_pos;
        if (!Read(chunk)) return false;
        if (chunk.type == Tag("IDAT")) {
            m_pos = start;
            return true;
        }
        if (chunk.type == Tag("IEND")) return Fail("the PNG file has no image data");
        if (chunk.type == Tag("PLTE") || chunk.type == Tag("tRNS")) {
            m_colours.insert(m_colours.end(), m_begin + start, m_begin + m_pos);
        } else if (chunk.type == Tag("acTL") && !m_plays) {
            if (chunk.size != 8) return Fail("an acTL chunk of " + std::to_string(chunk.size) + " bytes");
            m_frameLimit = Be32(chunk.data);
            if (m_frameLimit == 0 || m_frameLimit > kMaxChunk)
                return Fail("the acTL chunk's frame count " + std::to_string(m_frameLimit) +
                            " is not 1 to 2^31 - 1");
            m_plays = Be32(chunk.data + 4);
        } else if (chunk.type == Tag("fcTL") && m_plays && !m_first) {
            m_first.emplace();
            if (!ReadControl(chunk, *m_first, true)) return false;
        }
    }
}

ApngChunks::Step ApngChunks::CollectData(Frame& frame, uint32_t dataType) {
    for (;;) {
        const std::size_t start = m_pos;
        Chunk chunk;
        if (!Read(chunk)) return Step::Failed;
        if (chunk.type == dataType) {
            if (dataType == Tag("fdAT") && !CheckSequence(chunk)) return Step::Failed;
            const uint32_t skip = dataType == Tag("fdAT") ? 4 : 0;
            frame.data.push_back({chunk.data + skip, chunk.size - skip});
        } else if (chunk.type == Tag("fcTL") || chunk.type == Tag("IEND")) {
            m_pos = start;
            if (frame.data.empty()) {
                Fail("frame " + std::to_string(m_frames + 1) + " has no image data");
                return Step::Failed;
            }
            ++m_frames;
            return Step::Frame;
        } else if (chunk.type == Tag("IDAT") || chunk.type == Tag("fdAT")) {
            Fail("an " + TagName(chunk.type) + " chunk out of place");
            return Step::Failed;
        }
    }
}

ApngChunks::Step ApngChunks::Next(Frame& frame) {
    if (!m_error.empty()) return Step::Failed;
    if (m_bAtIdat) {
        m_bAtIdat = false;
        frame = m_first.value_or(Frame{m_width, m_height, 0, 0, 0, {}, {}, {}});
        const Step step = CollectData(frame, Tag("IDAT"));
        if (step != Step::Frame || !m_plays || m_first) return step;
        --m_frames;  // the default image is not part of the animation
    }
    if (static_cast<uint32_t>(m_frames) >= (m_plays ? m_frameLimit : 1)) return Step::End;
    Chunk chunk;
    for (;;) {
        if (!Read(chunk)) return Step::Failed;
        if (chunk.type == Tag("IEND")) return Step::End;
        if (chunk.type == Tag("fcTL")) break;
        if (chunk.type == Tag("IDAT") || chunk.type == Tag("fdAT")) {
            Fail("an " + TagName(chunk.type) + " chunk without a frame control before it");
            return Step::Failed;
        }
    }
    if (!ReadControl(chunk, frame, false)) return Step::Failed;
    return CollectData(frame, Tag("fdAT"));
}
