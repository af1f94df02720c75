#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

enum class ApngDispose : uint8_t { None = 0, Background = 1, Previous = 2 };
enum class ApngBlend : uint8_t { Source = 0, Over = 1 };

// A frame: its control (fcTL, or the whole canvas for a still PNG) and where its data lies.
struct ApngFrame {
    uint32_t width = 0, height = 0, x = 0, y = 0;
    int delayMs = 0;  // delay_num / delay_den seconds (a denominator of 0 means 100)
    ApngDispose dispose = ApngDispose::None;
    ApngBlend blend = ApngBlend::Source;
    struct Span {
        const uint8_t* data;
        std::size_t size;
    };
    std::vector<Span> data;  // the zlib stream of its image, in pieces
};

// The chunks of a PNG or APNG file (the APNG format: acTL, fcTL and fdAT beside IHDR, IDAT and
// IEND), read in order with every CRC and sequence number checked, one frame at a time. It
// decodes no pixel: a frame is its control and the compressed data of its image.
class ApngChunks {
public:
    using Dispose = ApngDispose;
    using Blend = ApngBlend;
    using Frame = ApngFrame;

    enum class Step { Frame, End, Failed };

    // Reads the signature and the chunks up to the first IDAT. False with the cause in Error().
    bool Open(const uint8_t* data, std::size_t size);
    // The next frame; End after the last (IEND, or the count acTL gives), Failed when the file
    // breaks off or is damaged before the frame is whole (Error() says where).
    Step Next(Frame& frame);

    uint32_t Width() const { return m_width; }
    uint32_t Height() const { return m_height; }
    // acTL's num_plays (0: for ever); none for a still PNG.
    std::optional<uint32_t> Plays() const { return m_plays; }
    bool Animated() const { return m_plays.has_value(); }
    // The 13 bytes of IHDR, and the chunks the pixels of every frame need (PLTE, tRNS), whole.
    const uint8_t* Header() const { return m_header; }
    const std::vector<uint8_t>& ColourChunks() const { return m_colours; }
    const std::string& Error() const { return m_error; }
    int FramesRead() const { return m_frames; }

private:
    struct Chunk {
        uint32_t type = 0;
        const uint8_t* data = nullptr;
        uint32_t size = 0;
    };
    // The chunk at the cursor, moved past; false at a chunk that is cut short or damaged.
    bool Read(Chunk& chunk);
    bool ReadControl(const Chunk& chunk, Frame& frame, bool first);
    bool CheckSequence(const Chunk& chunk);
    bool Fail(std::string cause);
    Step CollectData(Frame& frame, uint32_t dataType);

    const uint8_t* m_begin = nullptr;
    std::size_t m_size = 0, m_pos = 0;
    uint32_t m_width = 0, m_height = 0;
    const uint8_t* m_header = nullptr;
    std::vector<uint8_t> m_colours;
    std::optional<uint32_t> m_plays;
    uint32_t m_frameLimit = 1;
    uint32_t m_sequence = 0;
    std::optional<Frame> m_first;  // the control before IDAT, when the default image is a frame
    bool m_bAtIdat = true;
    int m_frames = 0;
    std::string m_error;
};

// Whether the image of a frame's control fits the canvas (the default image's fills it).
bool FrameFits(const ApngChunks::Frame& frame, uint32_t width, uint32_t height, bool first);
