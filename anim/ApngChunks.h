#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

enum class ApngDispose : uint8_t { None = 0, Background = 1, Previous = 2 };
enum class ApngBlend : uint8_t { Source = 0, Over = 1 };

// A frame: its control (fcTL, or the whole canvas for a still PNG) and its image's data.
struct ApngFrame {
    uint32_t width = 0, height = 0, x = 0, y = 0;
    int delayMs = 0;  // delay_num / delay_den seconds (a denominator of 0 means 100)
    ApngDispose dispose = ApngDispose::None;
    ApngBlend blend = ApngBlend::Source;
    // The zlib stream of its image (empty when the chunks keep no data).
    std::vector<uint8_t> data;
};

// The chunks of a PNG or APNG file (the APNG format: acTL, fcTL and fdAT beside IHDR, IDAT and
// IEND), read in order as they come, with every CRC and sequence number checked, one frame at a
// time: only the frame being read is held. It decodes no pixel: a frame is its control and the
// compressed data of its image.
class ApngChunks {
public:
    using Dispose = ApngDispose;
    using Blend = ApngBlend;
    using Frame = ApngFrame;

    enum class Step { Frame, End, Failed };

    // Reads the signature and the chunks up to the first IDAT from file, which the chunks own
    // from then on (null: the file could not be opened, errno says why). keepData false checks
    // the frames' data without keeping it. False with the cause in Error().
    bool Open(FILE* file, bool keepData = true);
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
    struct Head {
        uint32_t size = 0;
        uint32_t type = 0;
    };
    struct FileCloser {
        void operator()(FILE* file) const { std::fclose(file); }
    };
    // The next chunk's length and type (the one put back, if any); false at the end or a length
    // beyond 2^31 - 1.
    bool ReadHead(Head& head);
    // The chunk's data and CRC: its first `skip` bytes into m_body, the rest appended to `to`
    // (if any). False when it is cut short or its CRC is wrong.
    bool ReadBody(const Head& head, std::vector<uint8_t>* to, std::size_t skip);
    // A whole chunk whose data is small (a control, a colour table) into m_body, or one passed
    // over.
    bool ReadSmall(const Head& head);
    bool Skip(const Head& head);
    bool ReadControl(const Head& head, Frame& frame, bool first);
    bool CheckSequence(const Head& head);
    bool Fail(std::string cause);
    Step CollectData(Frame& frame, uint32_t dataType);

    std::unique_ptr<FILE, FileCloser> m_file;
    bool m_keepData = true;
    std::optional<Head> m_putBack;  // a chunk whose length and type were read ahead
    std::vector<uint8_t> m_body;    // the data of the last small chunk read
    uint32_t m_width = 0, m_height = 0;
    uint8_t m_header[13] = {};
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

// The most compressed data a frame of width x height may hold, by the bit depth and colour type
// of the 13-byte IHDR header: twice what zlib needs at worst for its rows with their filter
// bytes, and 4 KiB more. A frame with more is refused before its data is read, so that a frame
// costs what its pixels cost whatever its zlib stream says.
std::size_t MaxFrameData(const uint8_t* header, uint32_t width, uint32_t height);

// The file at utf8Path opened for reading, or bytes in memory read as a file (they must outlive
// it); null with errno set when it cannot be.
FILE* OpenForChunks(const std::string& utf8Path);
FILE* OpenForChunks(const std::vector<uint8_t>& bytes);

// Appends a chunk of type with its data and CRC.
void PutPngChunk(std::vector<uint8_t>& out, const char* type, const uint8_t* data, std::size_t size);
