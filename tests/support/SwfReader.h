#pragma once

// A small SWF tag walker for tests, written apart from the writer so that it checks the
// files independently: header, tag headers and lengths, End tag, frame count.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "support/TestFiles.h"

namespace swftest {

enum TagCode : uint16_t {
    kTagEnd = 0,
    kTagShowFrame = 1,
    kTagSetBackgroundColor = 9,
    kTagDoAction = 12,
    kTagDefineBitsLossless = 20,
    kTagDefineBitsJPEG2 = 21,
    kTagPlaceObject2 = 26,
    kTagRemoveObject2 = 28,
    kTagDefineShape3 = 32,
    kTagDefineButton2 = 34,
    kTagDefineBitsJPEG3 = 35,
    kTagDefineBitsLossless2 = 36,
    kTagDefineSprite = 39,
    kTagExportAssets = 56,
    kTagFileAttributes = 69,
    kTagSymbolClass = 76,
};

struct SwfTag {
    uint16_t code = 0;
    std::size_t offset = 0;  // of the tag header in the file
    bool longHeader = false;
    std::vector<uint8_t> body;
};

struct SwfFile {
    bool ok = false;
    std::string error;  // why the file is not well formed, when ok is false

    std::string signature;
    uint8_t version = 0;
    uint32_t fileLength = 0;     // as the header says
    std::size_t actualSize = 0;  // bytes read
    unsigned rectBits = 0;
    int32_t xmin = 0, xmax = 0, ymin = 0, ymax = 0;  // stage in twips
    uint16_t frameRate = 0;                          // 8.8 fixed point
    uint16_t frameCount = 0;
    std::vector<SwfTag> tags;  // in file order, the End tag last

    int CountTags(uint16_t code) const;
    std::vector<const SwfTag*> TagsWithCode(uint16_t code) const;
};

// Walks a whole file. ok is true only when the signature is "FWS", the length field equals
// the byte count, every tag fits, the End tag closes the file exactly, and the frame count
// equals the number of ShowFrame tags.
SwfFile ParseSwf(const std::vector<uint8_t>& bytes);
SwfFile ReadSwfFile(const std::filesystem::path& path);

// The timeline of a DefineSprite tag, walked as a file's tags are: ok only when its tags end
// with End exactly at the end of the body and its frame count equals its ShowFrame tags. The
// sprite's id goes to spriteId.
SwfFile ParseSprite(const SwfTag& defineSprite, uint16_t* spriteId = nullptr);

// The entries of an ExportAssets or SymbolClass tag: character id and name, in order.
std::vector<std::pair<uint16_t, std::string>> ParseSymbols(const SwfTag& tag);

// The whole file, or nothing when it cannot be read.

// Reads bit fields most significant bit first.
class BitReader {
public:
    BitReader(const uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

    // False when the field runs past the end.
    bool Read(unsigned n, uint32_t& out);
    bool ReadSigned(unsigned n, int32_t& out);
    void Align() { m_bit = (m_bit + 7) / 8 * 8; }
    std::size_t BitPosition() const { return m_bit; }
    std::size_t BytesUsed() const { return (m_bit + 7) / 8; }

private:
    const uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_bit = 0;
};

struct SwfMatrix {
    bool hasScale = false;
    int32_t scaleX = 0, scaleY = 0;  // 16.16
    bool hasRotate = false;
    int32_t rotateSkew0 = 0, rotateSkew1 = 0;
    unsigned translateBits = 0;
    int32_t translateX = 0, translateY = 0;  // twips
};

struct ShapeFill {
    uint8_t type = 0;
    uint8_t rgba[4] = {};
    uint16_t bitmapId = 0;
    SwfMatrix matrix;
};

struct ShapeLine {
    uint16_t width = 0;
    uint8_t rgba[4] = {};
};

struct ShapeRecordInfo {
    enum Kind { kStyleChange, kStraightEdge, kEnd } kind = kEnd;
    uint8_t flags = 0;     // style change: StateLineStyle 8, StateFillStyle1 4, StateFillStyle0 2,
                           // StateMoveTo 1
    unsigned bits = 0;     // MoveBits, or the edge's delta width
    int32_t x = 0, y = 0;  // move to, or edge deltas, in twips
    uint32_t fillStyle0 = 0, fillStyle1 = 0, lineStyle = 0;
};

struct ShapeInfo {
    bool ok = false;
    std::string error;
    uint16_t id = 0;
    int32_t xmin = 0, xmax = 0, ymin = 0, ymax = 0;
    std::vector<ShapeFill> fills;
    std::vector<ShapeLine> lines;
    unsigned numFillBits = 0, numLineBits = 0;
    std::vector<ShapeRecordInfo> records;  // the end record last
};

// Decodes a DefineShape3 body: solid and bitmap fills, line styles, style changes without new
// styles and straight edges. ok is false when anything else is met or the records do not end
// exactly at the end of the body with zero padding.
ShapeInfo ParseDefineShape3(const SwfTag& tag);

// The character id at the start of a definition tag's body.
uint16_t DefinitionId(const SwfTag& tag);

// A PlaceObject2 tag's fields.
struct Placement {
    uint8_t flags = 0;
    uint16_t depth = 0;
    uint16_t id = 0;
    SwfMatrix matrix;  // when flags has HasMatrix (4)
};
std::optional<Placement> ParsePlaceObject2(const SwfTag& tag);

// The JPEG stream inside a DefineBitsJPEG2 tag: the data after the id and the leading
// FF D9 FF D8 pair, without the trailing FF D9 that the writer adds. Empty when the tag does not
// have that form.
std::vector<uint8_t> JpegOfDefineBitsJPEG2(const SwfTag& tag);

// A DefineBitsLossless or DefineBitsLossless2 bitmap, inflated with zlib: its pixels as red,
// green, blue, alpha (alpha 255 for DefineBitsLossless), rows top first.
struct LosslessBitmap {
    bool ok = false;
    std::string error;
    uint16_t id = 0;
    uint8_t format = 0;
    int colors = 0;  // format 3: entries in the colour table
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;
};
LosslessBitmap DecodeLossless(const SwfTag& tag);

// Plays a movie made of lossless bitmaps shown by bitmap-filled shapes (the changed-area and
// full-frame timelines): follows PlaceObject2 and RemoveObject2, and draws the display list at
// every ShowFrame over the background colour, opaque pixels over what is below, transparent
// ones leaving it. Each frame comes out as red, green, blue bytes, rows top first. The most
// objects the display list ever held goes to maxObjects. Empty, with the cause in error, when
// anything else is met.
std::vector<std::vector<uint8_t>> PlayLosslessMovie(const SwfFile& swf, std::string& error,
                                                    std::size_t* maxObjects = nullptr);

}  // namespace swftest
