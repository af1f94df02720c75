#include "anim/ApngChunks.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
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
// Larger than any chunk read whole: a palette of 256 colours takes 768 bytes.
constexpr uint32_t kMaxSmallChunk = 1024;

}  // namespace

bool FrameFits(const ApngChunks::Frame& frame, uint32_t width, uint32_t height, bool first) {
    if (frame.width == 0 || frame.height == 0) return false;
    if (first && (frame.x != 0 || frame.y != 0 || frame.width != width || frame.height != height))
        return false;
    return uint64_t{frame.x} + frame.width <= width && uint64_t{frame.y} + frame.height <= height;
}

std::size_t MaxFrameData(const uint8_t* header, uint32_t width, uint32_t height) {
    // Samples a pixel by colour type (grey, -, RGB, palette, grey and alpha, -, RGBA).
    static constexpr uint64_t kSamples[7] = {1, 4, 3, 1, 2, 4, 4};
    const uint64_t bits = header[8] * kSamples[std::min<uint8_t>(header[9], 6)];
    // Rows with their filter bytes, and more filter bytes for the passes of an interlaced image.
    const uint64_t rows = uint64_t{height} * (2 + (bits * width + 7) / 8) + 8 * uint64_t{height};
    return static_cast<std::size_t>(2 * compressBound(static_cast<uLong>(rows)) + 4096);
}

FILE* OpenForChunks(const std::string& utf8Path) { return std::fopen(utf8Path.c_str(), "rbe"); }

FILE* OpenForChunks(const std::vector<uint8_t>& bytes) {
    if (bytes.empty()) return std::fopen("/dev/null", "rbe");
    return fmemopen(const_cast<uint8_t*>(bytes.data()), bytes.size(), "rb");
}

void PutPngChunk(std::vector<uint8_t>& out, const char* type, const uint8_t* data, std::size_t size) {
    const auto put32 = [&out](uint32_t value) {
        for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
    };
    put32(static_cast<uint32_t>(size));
    const std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    if (size > 0) out.insert(out.end(), data, data + size);
    put32(static_cast<uint32_t>(crc32(crc32(0L, Z_NULL, 0), out.data() + start, static_cast<uInt>(size + 4))));
}

bool ApngChunks::Fail(std::string cause) {
    m_error = std::move(cause);
    return false;
}

bool ApngChunks::ReadHead(Head& head) {
    if (m_putBack) {
        head = *m_putBack;
        m_putBack.reset();
        return true;
    }
    uint8_t bytes[8];
    if (std::fread(bytes, 1, 8, m_file.get()) != 8)
        return Fail("the PNG file breaks off after frame " + std::to_string(m_frames));
    head = {Be32(bytes), Be32(bytes + 4)};
    if (head.size > kMaxChunk) return Fail("a chunk longer than 2^31 - 1 bytes");
    return true;
}

bool ApngChunks::ReadBody(const Head& head, std::vector<uint8_t>* to, std::size_t skip) {
    uint8_t type[4], piece[65536];
    for (int i = 0; i < 4; ++i) type[i] = static_cast<uint8_t>(head.type >> (24 - 8 * i));
    uLong crc = crc32(crc32(0L, Z_NULL, 0), type, 4);
    m_body.clear();
    for (std::size_t left = head.size; left > 0;) {
        const std::size_t want = std::min(left, sizeof piece);
        if (std::fread(piece, 1, want, m_file.get()) != want)
            return Fail("the PNG file breaks off in its " + TagName(head.type) +
                        " chunk after frame " + std::to_string(m_frames));
        crc = crc32(crc, piece, static_cast<uInt>(want));
        const std::size_t first = std::min(want, skip - std::min(skip, m_body.size()));
        m_body.insert(m_body.end(), piece, piece + first);
        if (to) to->insert(to->end(), piece + first, piece + want);
        left -= want;
    }
    uint8_t stored[4];
    if (std::fread(stored, 1, 4, m_file.get()) != 4)
        return Fail("the PNG file breaks off in its " + TagName(head.type) + " chunk after frame " +
                    std::to_string(m_frames));
    if (crc != Be32(stored))
        return Fail("the CRC of a " + TagName(head.type) + " chunk is wrong (after frame " +
                    std::to_string(m_frames) + ")");
    return true;
}

bool ApngChunks::ReadSmall(const Head& head) {
    if (head.size > kMaxSmallChunk)
        return Fail("a " + TagName(head.type) + " chunk of " + std::to_string(head.size) + " bytes");
    return ReadBody(head, nullptr, head.size);
}

bool ApngChunks::Skip(const Head& head) {
    return ReadBody(head, nullptr, 0);
}

bool ApngChunks::CheckSequence(const Head& head) {
    if (head.size < 4) return Fail("a " + TagName(head.type) + " chunk without a sequence number");
    const uint32_t sequence = Be32(m_body.data());
    if (sequence != m_sequence)
        return Fail("the " + TagName(head.type) + " chunk's sequence number is " +
                    std::to_string(sequence) + ", not " + std::to_string(m_sequence));
    ++m_sequence;
    return true;
}

bool ApngChunks::ReadControl(const Head& head, Frame& frame, bool first) {
    if (head.size != 26) return Fail("an fcTL chunk of " + std::to_string(head.size) + " bytes");
    if (!ReadSmall(head) || !CheckSequence(head)) return false;
    const uint8_t* p = m_body.data() + 4;
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

bool ApngChunks::Open(FILE* file, bool keepData) {
    const int cause = errno;
    *this = ApngChunks();
    if (!file) return Fail("cannot open the file: " + std::string(std::strerror(cause)));
    m_file.reset(file);
    m_keepData = keepData;
    uint8_t signature[8];
    if (std::fread(signature, 1, 8, m_file.get()) != 8 || std::memcmp(signature, kSignature, 8) != 0)
        return Fail("not a PNG file");
    Head head;
    if (!ReadHead(head)) return false;
    if (head.type != Tag("IHDR") || head.size != 13) return Fail("the PNG file does not start with IHDR");
    if (!ReadSmall(head)) return false;
    std::memcpy(m_header, m_body.data(), sizeof m_header);
    m_width = Be32(m_header);
    m_height = Be32(m_header + 4);
    for (;;) {
        if (!ReadHead(head)) return false;
        if (head.type == Tag("IDAT")) {
            m_putBack = head;
            return true;
        }
        if (head.type == Tag("IEND")) return Fail("the PNG file has no image data");
        if (head.type == Tag("fcTL") && m_plays && !m_first) {
            m_first.emplace();
            if (!ReadControl(head, *m_first, true)) return false;
            continue;
        }
        const bool colours = head.type == Tag("PLTE") || head.type == Tag("tRNS");
        const bool control = head.type == Tag("acTL") && !m_plays;
        if (!(colours || control)) {
            if (!Skip(head)) return false;
            continue;
        }
        if (!ReadSmall(head)) return false;
        if (colours) {
            PutPngChunk(m_colours, head.type == Tag("PLTE") ? "PLTE" : "tRNS", m_body.data(), m_body.size());
        } else {
            if (head.size != 8) return Fail("an acTL chunk of " + std::to_string(head.size) + " bytes");
            m_frameLimit = Be32(m_body.data());
            if (m_frameLimit == 0 || m_frameLimit > kMaxChunk)
                return Fail("the acTL chunk's frame count " + std::to_string(m_frameLimit) +
                            " is not 1 to 2^31 - 1");
            m_plays = Be32(m_body.data() + 4);
        }
    }
}

ApngChunks::Step ApngChunks::CollectData(Frame& frame, uint32_t dataType) {
    const bool sequenced = dataType == Tag("fdAT");
    const std::size_t limit = MaxFrameData(m_header, frame.width, frame.height);
    std::size_t size = 0;
    for (bool any = false;;) {
        Head head;
        if (!ReadHead(head)) return Step::Failed;
        if (head.type == dataType) {
            size += head.size - (sequenced ? std::min<uint32_t>(head.size, 4) : 0);
            if (size > limit) {
                Fail("frame " + std::to_string(m_frames + 1) + " holds more data than a " +
                     std::to_string(frame.width) + " x " + std::to_string(frame.height) +
                     " image can need");
                return Step::Failed;
            }
            if (!ReadBody(head, m_keepData ? &frame.data : nullptr, sequenced ? 4 : 0)) return Step::Failed;
            if (sequenced && !CheckSequence(head)) return Step::Failed;
            any = true;
        } else if (head.type == Tag("fcTL") || head.type == Tag("IEND")) {
            m_putBack = head;
            if (!any) {
                Fail("frame " + std::to_string(m_frames + 1) + " has no image data");
                return Step::Failed;
            }
            ++m_frames;
            return Step::Frame;
        } else if (head.type == Tag("IDAT") || head.type == Tag("fdAT")) {
            Fail("an " + TagName(head.type) + " chunk out of place");
            return Step::Failed;
        } else if (!Skip(head)) {
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
    frame.data.clear();
    Head head;
    for (;;) {
        if (!ReadHead(head)) return Step::Failed;
        if (head.type == Tag("IEND")) return Step::End;
        if (head.type == Tag("fcTL")) break;
        if (head.type == Tag("IDAT") || head.type == Tag("fdAT")) {
            Fail("an " + TagName(head.type) + " chunk without a frame control before it");
            return Step::Failed;
        }
        if (!Skip(head)) return Step::Failed;
    }
    if (!ReadControl(head, frame, false)) return Step::Failed;
    return CollectData(frame, Tag("fdAT"));
}
