#include "swf/SwfInfo.h"

#include <map>
#include <optional>

#include "swf/SwfTag.h"

namespace {

uint32_t ReadLE(const std::vector<uint8_t>& bytes, std::size_t at, int size) {
    uint32_t v = 0;
    for (int i = size - 1; i >= 0; --i) v = v << 8 | bytes[at + static_cast<std::size_t>(i)];
    return v;
}

// A signed field of n bits starting at bit `bit` (most significant bit first).
int32_t ReadSigned(const std::vector<uint8_t>& bytes, std::size_t bit, unsigned n) {
    int64_t v = 0;
    for (unsigned i = 0; i < n; ++i, ++bit) v = v * 2 + (bytes[bit / 8] >> (7 - bit % 8) & 1);
    if (n > 0 && v >= int64_t{1} << (n - 1)) v -= int64_t{1} << n;
    return static_cast<int32_t>(v);
}

struct Tag {
    uint16_t code;
    std::size_t body;  // offset
    std::size_t size;
};

// The tag at `at`, or none when its header or body runs past the end.
std::optional<Tag> TagAt(const std::vector<uint8_t>& movie, std::size_t at) {
    if (at + 2 > movie.size()) return std::nullopt;
    const uint32_t codeAndLength = ReadLE(movie, at, 2);
    Tag tag{static_cast<uint16_t>(codeAndLength >> 6), at + 2, codeAndLength & 0x3F};
    if (tag.size == 0x3F) {
        if (at + 6 > movie.size()) return std::nullopt;
        tag.size = ReadLE(movie, at + 2, 4);
        tag.body = at + 6;
    }
    if (tag.body + tag.size > movie.size()) return std::nullopt;
    return tag;
}

// The entries of an ExportAssets or SymbolClass body: id, then a NUL-terminated name.
void ReadSymbols(const std::vector<uint8_t>& movie, const Tag& tag, bool isClass,
                 SwfSummary& summary) {
    if (tag.size < 2) return;
    const std::size_t end = tag.body + tag.size;
    std::size_t at = tag.body + 2;
    for (uint32_t i = ReadLE(movie, tag.body, 2); i > 0 && at + 2 < end; --i) {
        SwfSummary::Symbol symbol;
        symbol.id = static_cast<uint16_t>(ReadLE(movie, at, 2));
        symbol.isClass = isClass;
        for (at += 2; at < end && movie[at] != 0; ++at) symbol.name += static_cast<char>(movie[at]);
        ++at;
        summary.symbols.push_back(symbol);
    }
}

// Walks the tags after the header; sprites' frame counts go to their symbols.
void ReadTags(const std::vector<uint8_t>& movie, std::size_t at, SwfSummary& summary) {
    std::map<uint16_t, int> spriteFrames;
    for (;;) {
        const std::optional<Tag> tag = TagAt(movie, at);
        if (!tag) {
            summary.error = "the movie breaks off at byte " + std::to_string(at);
            break;
        }
        const auto code = static_cast<SwfTagCode>(tag->code);
        if (code == SwfTagCode::End) break;
        if (code == SwfTagCode::FileAttributes && tag->size >= 1) {
            summary.fileAttributes = true;
            summary.actionScript3 = (movie[tag->body] & 0x08) != 0;
        } else if (code == SwfTagCode::DefineSprite && tag->size >= 4) {
            spriteFrames[static_cast<uint16_t>(ReadLE(movie, tag->body, 2))] =
                static_cast<int>(ReadLE(movie, tag->body + 2, 2));
        } else if (code == SwfTagCode::DefineBitsLossless2 || code == SwfTagCode::DefineBitsJPEG3) {
            summary.alphaBitmaps = true;
        } else if (code == SwfTagCode::ExportAssets || code == SwfTagCode::SymbolClass) {
            ReadSymbols(movie, *tag, code == SwfTagCode::SymbolClass, summary);
        }
        at = tag->body + tag->size;
    }
    for (SwfSummary::Symbol& symbol : summary.symbols) {
        if (const auto sprite = spriteFrames.find(symbol.id); sprite != spriteFrames.end())
            symbol.spriteFrames = sprite->second;
    }
}

}  // namespace

SwfSummary SummarizeSwf(const std::vector<uint8_t>& file) {
    SwfSummary summary;
    const std::optional<std::vector<uint8_t>> movie = UncompressedMovie(file, summary.error);
    if (!movie) return summary;
    summary.compression = file[0] == 'C'   ? SwfCompression::Zlib
                          : file[0] == 'Z' ? SwfCompression::Lzma
                                           : SwfCompression::None;
    summary.version = file[3];
    summary.fileLength = ReadLE(file, 4, 4);
    const std::size_t bits = movie->size() > 8 ? (*movie)[8] >> 3 : 0;
    const std::size_t headerEnd = 8 + (5 + 4 * bits + 7) / 8 + 4;
    if (movie->size() < headerEnd) {
        summary.error = "the header breaks off";
        return summary;
    }
    int32_t field[4];
    for (std::size_t i = 0; i < 4; ++i)
        field[i] = ReadSigned(*movie, 64 + 5 + i * bits, static_cast<unsigned>(bits));
    summary.width = (field[1] - field[0]) / 20.0;
    summary.height = (field[3] - field[2]) / 20.0;
    summary.frameRate = ReadLE(*movie, headerEnd - 4, 2) / 256.0;
    summary.frames = static_cast<int>(ReadLE(*movie, headerEnd - 2, 2));
    summary.opened = true;
    ReadTags(*movie, headerEnd, summary);
    return summary;
}
