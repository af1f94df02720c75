#include "swf/SwfCompression.h"

#include <lzma.h>
#include <zlib.h>

#include <cstring>
#include <fstream>
#include <memory>

#include "swf/BitWriter.h"

namespace {

// Signature, version and length: the bytes of a movie that are never compressed.
constexpr std::size_t kPlainHead = 8;
// A ZWS file's head: the plain head, the LZMA data's length, the 5 LZMA property bytes.
constexpr std::size_t kLzmaProperties = 5;
constexpr std::size_t kZwsHead = kPlainHead + 4 + kLzmaProperties;
// liblzma's .lzma stream starts with the 5 property bytes and an 8-byte uncompressed size.
constexpr std::size_t kLzmaAloneHead = kLzmaProperties + 8;
constexpr std::size_t kChunk = 256 * 1024;
// The most a movie's LZMA stream may ask of memory to be read: the header chooses the
// dictionary (up to 4 GiB); ours take 8 MiB, liblzma's largest preset 64 MiB.
constexpr uint64_t kMaxDecoderMemory = uint64_t{128} << 20;

// One compressor or decompressor, run over chunks: Run takes what it can of the input, fills
// what it can of the output, and says whether the stream is complete.
class Coder {
public:
    enum class Status { More, Done, Failed };
    virtual ~Coder() = default;
    virtual Status Run(const uint8_t*& in, std::size_t& inLeft, uint8_t*& out, std::size_t& outLeft,
                       bool finish) = 0;
};

class ZlibCoder : public Coder {
public:
    explicit ZlibCoder(bool compress) : m_bCompress(compress) {
        m_bReady = (compress ? deflateInit(&m_z, Z_BEST_COMPRESSION) : inflateInit(&m_z)) == Z_OK;
    }
    ~ZlibCoder() override {
        if (m_bReady) m_bCompress ? deflateEnd(&m_z) : inflateEnd(&m_z);
    }
    Status Run(const uint8_t*& in, std::size_t& inLeft, uint8_t*& out, std::size_t& outLeft,
               bool finish) override {
        if (!m_bReady) return Status::Failed;
        // zlib counts in 32 bits; our chunks are far smaller.
        m_z.next_in = const_cast<Bytef*>(in);
        m_z.avail_in = static_cast<uInt>(inLeft);
        m_z.next_out = out;
        m_z.avail_out = static_cast<uInt>(outLeft);
        const int rc =
            m_bCompress ? deflate(&m_z, finish ? Z_FINISH : Z_NO_FLUSH) : inflate(&m_z, Z_NO_FLUSH);
        in = m_z.next_in;
        inLeft = m_z.avail_in;
        out = m_z.next_out;
        outLeft = m_z.avail_out;
        if (rc == Z_STREAM_END) return Status::Done;
        return rc == Z_OK || rc == Z_BUF_ERROR ? Status::More : Status::Failed;
    }

private:
    z_stream m_z{};
    bool m_bCompress;
    bool m_bReady = false;
};

class LzmaCoder : public Coder {
public:
    // Compresses at liblzma's default preset, or decompresses a .lzma stream.
    explicit LzmaCoder(bool compress) {
        if (!compress) {
            m_bReady = lzma_alone_decoder(&m_s, kMaxDecoderMemory) == LZMA_OK;
            return;
        }
        lzma_options_lzma options;
        m_bReady = !lzma_lzma_preset(&options, LZMA_PRESET_DEFAULT) &&
                   lzma_alone_encoder(&m_s, &options) == LZMA_OK;
    }
    ~LzmaCoder() override { lzma_end(&m_s); }
    Status Run(const uint8_t*& in, std::size_t& inLeft, uint8_t*& out, std::size_t& outLeft,
               bool finish) override {
        if (!m_bReady) return Status::Failed;
        m_s.next_in = in;
        m_s.avail_in = inLeft;
        m_s.next_out = out;
        m_s.avail_out = outLeft;
        const lzma_ret rc = lzma_code(&m_s, finish ? LZMA_FINISH : LZMA_RUN);
        in = m_s.next_in;
        inLeft = m_s.avail_in;
        out = m_s.next_out;
        outLeft = m_s.avail_out;
        if (rc == LZMA_STREAM_END) return Status::Done;
        return rc == LZMA_OK || rc == LZMA_BUF_ERROR ? Status::More : Status::Failed;
    }

private:
    lzma_stream m_s = LZMA_STREAM_INIT;
    bool m_bReady = false;
};

// Where compressed bytes go: the file, but for a ZWS file the .lzma stream's head is kept
// apart (its property bytes belong in the file's head, its size field nowhere).
class CompressedSink {
public:
    CompressedSink(AtomicFile& out, bool lzma) : m_out(out), m_bLzma(lzma) {}
    bool Put(const uint8_t* data, std::size_t size) {
        m_nTotal += size;
        while (m_bLzma && size > 0 && m_head.size() < kLzmaAloneHead) {
            m_head.push_back(*data++);
            --size;
        }
        return size == 0 || m_out.Write(data, size);
    }
    // The ZWS fields written once the stream is complete.
    bool Finish() {
        if (!m_bLzma) return true;
        if (m_head.size() < kLzmaAloneHead) return false;
        uint8_t fields[4 + kLzmaProperties];
        PutU32LE(fields, static_cast<uint32_t>(m_nTotal - kLzmaAloneHead));
        std::memcpy(fields + 4, m_head.data(), kLzmaProperties);
        return m_out.WriteAt(kPlainHead, fields, sizeof fields);
    }

private:
    AtomicFile& m_out;
    bool m_bLzma;
    std::vector<uint8_t> m_head;
    uint64_t m_nTotal = 0;
};

std::unique_ptr<Coder> MakeCoder(SwfCompression compression, bool compress) {
    if (compression == SwfCompression::Lzma) return std::make_unique<LzmaCoder>(compress);
    return std::make_unique<ZlibCoder>(compress);
}

// Compresses what is left of `in` into sink.
std::string CompressRest(std::ifstream& in, Coder& coder, CompressedSink& sink) {
    std::vector<uint8_t> input(kChunk), output(kChunk);
    const uint8_t* next = input.data();
    std::size_t left = 0;
    bool finish = false;
    for (;;) {
        if (left == 0 && !finish) {
            in.read(reinterpret_cast<char*>(input.data()), static_cast<std::streamsize>(kChunk));
            if (in.bad()) return "cannot read the movie back";
            next = input.data();
            left = static_cast<std::size_t>(in.gcount());
            finish = in.eof();
        }
        uint8_t* out = output.data();
        std::size_t room = output.size();
        const Coder::Status status = coder.Run(next, left, out, room, finish);
        if (status == Coder::Status::Failed) return "the compressor failed";
        if (!sink.Put(output.data(), output.size() - room)) return ErrorText(0);
        if (status == Coder::Status::Done) return sink.Finish() ? "" : "the compressor failed";
    }
}

}  // namespace

uint8_t LowestVersionFor(SwfCompression compression) {
    switch (compression) {
        case SwfCompression::Zlib:
            return 6;
        case SwfCompression::Lzma:
            return 13;
        case SwfCompression::None:
            break;
    }
    return 1;
}

std::string CompressMovieFile(const std::filesystem::path& movie, AtomicFile& out,
                              SwfCompression compression) {
    std::ifstream in(movie, std::ios::binary);
    uint8_t head[kZwsHead] = {};
    if (!in.read(reinterpret_cast<char*>(head), kPlainHead)) return "cannot read the movie back";
    head[0] = compression == SwfCompression::Lzma ? 'Z' : 'C';
    const bool lzma = compression == SwfCompression::Lzma;
    // A ZWS head's own fields are filled in once the data is written.
    if (!out.Write(head, lzma ? kZwsHead : kPlainHead)) return ErrorText(out.ErrorCode());
    const std::unique_ptr<Coder> coder = MakeCoder(compression, true);
    CompressedSink sink(out, lzma);
    std::string error = CompressRest(in, *coder, sink);
    if (!error.empty() && out.ErrorCode() != 0) error = ErrorText(out.ErrorCode());
    return error;
}

namespace {

// Inflates data into movie until it holds `length` bytes or the stream ends.
bool Inflate(Coder& coder, const uint8_t* data, std::size_t size, std::vector<uint8_t>& movie,
             std::size_t length) {
    std::vector<uint8_t> output(kChunk);
    while (movie.size() < length) {
        uint8_t* out = output.data();
        std::size_t room = output.size();
        const std::size_t before = size;
        const Coder::Status status = coder.Run(data, size, out, room, true);
        movie.insert(movie.end(), output.data(), out);
        if (status == Coder::Status::Failed) return false;
        if (status == Coder::Status::Done || (size == before && room == output.size())) break;
    }
    if (movie.size() > length) movie.resize(length);
    return movie.size() == length;
}

}  // namespace

std::optional<std::vector<uint8_t>> UncompressedMovie(const std::vector<uint8_t>& file,
                                                      std::string& error) {
    if (file.size() < kPlainHead || file[1] != 'W' || file[2] != 'S' ||
        std::strchr("FCZ", file[0]) == nullptr || file[0] == 0) {
        error = "not an SWF movie";
        return std::nullopt;
    }
    if (file[0] == 'F') return file;
    const std::size_t length = file[4] | file[5] << 8 | file[6] << 16 | std::size_t{file[7]} << 24;
    std::vector<uint8_t> movie(file.begin(), file.begin() + kPlainHead);
    movie[0] = 'F';
    const bool lzma = file[0] == 'Z';
    std::vector<uint8_t> stream;
    if (lzma) {
        if (file.size() < kZwsHead) {
            error = "the LZMA head is cut short";
            return std::nullopt;
        }
        // A .lzma stream: the property bytes, an unknown size, the data.
        stream.assign(file.begin() + kPlainHead + 4, file.begin() + kZwsHead);
        stream.insert(stream.end(), 8, 0xFF);
        stream.insert(stream.end(), file.begin() + kZwsHead, file.end());
    }
    const uint8_t* data = lzma ? stream.data() : file.data() + kPlainHead;
    const std::size_t size = lzma ? stream.size() : file.size() - kPlainHead;
    const std::unique_ptr<Coder> coder =
        MakeCoder(lzma ? SwfCompression::Lzma : SwfCompression::Zlib, false);
    if (!Inflate(*coder, data, size, movie, length)) {
        error = std::string(lzma ? "the LZMA" : "the zlib") +
                " data does not inflate to the movie's length of " + std::to_string(length) +
                " bytes";
        return std::nullopt;
    }
    return movie;
}
