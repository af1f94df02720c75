#include "support/SwfReader.h"

#include <zlib.h>

#include <fstream>
#include <iterator>
#include <map>

namespace swftest {
namespace {

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

SwfFile Bad(SwfFile f, std::string why) {
    f.ok = false;
    f.error = std::move(why);
    return f;
}

bool ReadMatrix(BitReader& r, SwfMatrix& m) {
    uint32_t flag = 0, n = 0;
    if (!r.Read(1, flag)) return false;
    m.hasScale = flag != 0;
    if (m.hasScale && (!r.Read(5, n) || !r.ReadSigned(n, m.scaleX) || !r.ReadSigned(n, m.scaleY))) {
        return false;
    }
    if (!r.Read(1, flag)) return false;
    m.hasRotate = flag != 0;
    if (m.hasRotate &&
        (!r.Read(5, n) || !r.ReadSigned(n, m.rotateSkew0) || !r.ReadSigned(n, m.rotateSkew1))) {
        return false;
    }
    if (!r.Read(5, n) || !r.ReadSigned(n, m.translateX) || !r.ReadSigned(n, m.translateY)) {
        return false;
    }
    m.translateBits = n;
    r.Align();
    return true;
}

ShapeInfo BadShape(ShapeInfo s, std::string why) {
    s.ok = false;
    s.error = std::move(why);
    return s;
}

}  // namespace

bool BitReader::Read(unsigned n, uint32_t& out) {
    out = 0;
    for (unsigned i = 0; i < n; ++i) {
        if (m_bit / 8 >= m_size) return false;
        const unsigned bit = (m_data[m_bit / 8] >> (7 - m_bit % 8)) & 1u;
        out = out << 1 | bit;
        ++m_bit;
    }
    return true;
}

bool BitReader::ReadSigned(unsigned n, int32_t& out) {
    uint32_t u = 0;
    if (!Read(n, u)) return false;
    if (n > 0 && n < 32 && (u >> (n - 1)) & 1u) u |= ~((uint32_t{1} << n) - 1);
    out = static_cast<int32_t>(u);
    return true;
}

ShapeInfo ParseDefineShape3(const SwfTag& tag) {
    ShapeInfo s;
    if (tag.code != kTagDefineShape3) return BadShape(s, "not a DefineShape3 tag");
    const std::vector<uint8_t>& b = tag.body;
    BitReader r(b.data(), b.size());
    uint32_t v = 0;
    auto u8 = [&](uint32_t& out) { return r.Read(8, out); };
    auto u16 = [&](uint32_t& out) {
        uint32_t lo = 0, hi = 0;
        if (!r.Read(8, lo) || !r.Read(8, hi)) return false;
        out = lo | hi << 8;
        return true;
    };
    if (!u16(v)) return BadShape(s, "no id");
    s.id = static_cast<uint16_t>(v);
    uint32_t n = 0;
    if (!r.Read(5, n) || !r.ReadSigned(n, s.xmin) || !r.ReadSigned(n, s.xmax) ||
        !r.ReadSigned(n, s.ymin) || !r.ReadSigned(n, s.ymax)) {
        return BadShape(s, "bounds run past the end");
    }
    r.Align();
    auto count = [&](uint32_t& out) {
        if (!u8(out)) return false;
        return out != 0xFF || u16(out);
    };
    uint32_t fills = 0;
    if (!count(fills)) return BadShape(s, "no fill style count");
    for (uint32_t i = 0; i < fills; ++i) {
        ShapeFill f;
        if (!u8(v)) return BadShape(s, "fill styles run past the end");
        f.type = static_cast<uint8_t>(v);
        if (f.type == 0x00) {
            for (uint8_t& c : f.rgba) {
                if (!u8(v)) return BadShape(s, "fill colour runs past the end");
                c = static_cast<uint8_t>(v);
            }
        } else if (f.type >= 0x40 && f.type <= 0x43) {
            if (!u16(v) || !ReadMatrix(r, f.matrix)) return BadShape(s, "bitmap fill cut short");
            f.bitmapId = static_cast<uint16_t>(v);
        } else {
            return BadShape(s, "unsupported fill type " + std::to_string(f.type));
        }
        s.fills.push_back(f);
    }
    uint32_t lines = 0;
    if (!count(lines)) return BadShape(s, "no line style count");
    for (uint32_t i = 0; i < lines; ++i) {
        ShapeLine l;
        if (!u16(v)) return BadShape(s, "line styles run past the end");
        l.width = static_cast<uint16_t>(v);
        for (uint8_t& c : l.rgba) {
            if (!u8(v)) return BadShape(s, "line colour runs past the end");
            c = static_cast<uint8_t>(v);
        }
        s.lines.push_back(l);
    }
    if (!u8(v)) return BadShape(s, "no style bits");
    s.numFillBits = v >> 4;
    s.numLineBits = v & 0xF;

    for (;;) {
        ShapeRecordInfo rec;
        uint32_t type = 0;
        if (!r.Read(1, type)) return BadShape(s, "records run past the end");
        if (type == 0) {
            uint32_t flags = 0;
            if (!r.Read(5, flags)) return BadShape(s, "records run past the end");
            if (flags == 0) {
                s.records.push_back(rec);
                break;
            }
            if (flags & 0x10) return BadShape(s, "new styles are not supported");
            rec.kind = ShapeRecordInfo::kStyleChange;
            rec.flags = static_cast<uint8_t>(flags);
            bool ok = true;
            if (flags & 0x01) {
                ok = r.Read(5, n) && r.ReadSigned(n, rec.x) && r.ReadSigned(n, rec.y);
                rec.bits = n;
            }
            if (ok && (flags & 0x02)) ok = r.Read(s.numFillBits, rec.fillStyle0);
            if (ok && (flags & 0x04)) ok = r.Read(s.numFillBits, rec.fillStyle1);
            if (ok && (flags & 0x08)) ok = r.Read(s.numLineBits, rec.lineStyle);
            if (!ok) return BadShape(s, "style change runs past the end");
        } else {
            uint32_t straight = 0, numBits = 0, general = 0;
            if (!r.Read(1, straight) || !straight) return BadShape(s, "curved edges unsupported");
            if (!r.Read(4, numBits) || !r.Read(1, general)) return BadShape(s, "edge cut short");
            rec.kind = ShapeRecordInfo::kStraightEdge;
            rec.bits = numBits + 2;
            bool ok = true;
            if (general) {
                ok = r.ReadSigned(rec.bits, rec.x) && r.ReadSigned(rec.bits, rec.y);
            } else {
                uint32_t vertical = 0;
                ok = r.Read(1, vertical) && r.ReadSigned(rec.bits, vertical ? rec.y : rec.x);
            }
            if (!ok) return BadShape(s, "edge runs past the end");
        }
        s.records.push_back(rec);
    }
    const std::size_t end = r.BitPosition();
    uint32_t pad = 0;
    if (end % 8 != 0 && (!r.Read(static_cast<unsigned>(8 - end % 8), pad) || pad != 0)) {
        return BadShape(s, "padding after the end record is not zero");
    }
    if (r.BytesUsed() != b.size()) return BadShape(s, "bytes after the end record");
    s.ok = true;
    return s;
}

int SwfFile::CountTags(uint16_t code) const {
    int n = 0;
    for (const SwfTag& t : tags) n += t.code == code ? 1 : 0;
    return n;
}

std::vector<const SwfTag*> SwfFile::TagsWithCode(uint16_t code) const {
    std::vector<const SwfTag*> out;
    for (const SwfTag& t : tags) {
        if (t.code == code) out.push_back(&t);
    }
    return out;
}

SwfFile ParseSwf(const std::vector<uint8_t>& bytes) {
    SwfFile f;
    f.actualSize = bytes.size();
    if (bytes.size() < 8) return Bad(f, "shorter than the fixed header");
    f.signature.assign(bytes.begin(), bytes.begin() + 3);
    if (f.signature != "FWS") return Bad(f, "signature is not FWS");
    f.version = bytes[3];
    f.fileLength = Le32(&bytes[4]);
    if (f.fileLength != bytes.size()) {
        return Bad(f, "length field " + std::to_string(f.fileLength) + " but the file has " +
                          std::to_string(bytes.size()) + " bytes");
    }

    BitReader rect(bytes.data() + 8, bytes.size() - 8);
    uint32_t nbits = 0;
    if (!rect.Read(5, nbits) || !rect.ReadSigned(nbits, f.xmin) ||
        !rect.ReadSigned(nbits, f.xmax) || !rect.ReadSigned(nbits, f.ymin) ||
        !rect.ReadSigned(nbits, f.ymax)) {
        return Bad(f, "stage RECT runs past the end");
    }
    f.rectBits = nbits;
    std::size_t pos = 8 + rect.BytesUsed();
    if (pos + 4 > bytes.size()) return Bad(f, "header runs past the end");
    f.frameRate = Le16(&bytes[pos]);
    f.frameCount = Le16(&bytes[pos + 2]);
    pos += 4;

    int showFrames = 0;
    bool ended = false;
    while (pos < bytes.size()) {
        if (ended) return Bad(f, "bytes after the End tag at offset " + std::to_string(pos));
        if (pos + 2 > bytes.size()) return Bad(f, "tag header runs past the end");
        SwfTag tag;
        tag.offset = pos;
        const uint16_t word = Le16(&bytes[pos]);
        tag.code = static_cast<uint16_t>(word >> 6);
        std::size_t length = word & 0x3Fu;
        pos += 2;
        if (length == 0x3F) {
            if (pos + 4 > bytes.size()) return Bad(f, "long tag length runs past the end");
            tag.longHeader = true;
            length = Le32(&bytes[pos]);
            pos += 4;
        }
        if (length > bytes.size() - pos) {
            return Bad(f, "tag " + std::to_string(tag.code) + " at offset " +
                              std::to_string(tag.offset) + " runs past the end");
        }
        tag.body.assign(bytes.begin() + static_cast<std::ptrdiff_t>(pos),
                        bytes.begin() + static_cast<std::ptrdiff_t>(pos + length));
        pos += length;
        if (tag.code == kTagShowFrame) ++showFrames;
        if (tag.code == kTagEnd) ended = true;
        f.tags.push_back(std::move(tag));
    }
    if (!ended) return Bad(f, "no End tag");
    if (showFrames != f.frameCount) {
        return Bad(f, "frame count " + std::to_string(f.frameCount) + " but " +
                          std::to_string(showFrames) + " ShowFrame tags");
    }
    f.ok = true;
    return f;
}

SwfFile ReadSwfFile(const std::filesystem::path& path) {
    const auto bytes = ReadFileBytes(path);
    if (!bytes) {
        SwfFile f;
        f.error = "cannot read " + path.string();
        return f;
    }
    return ParseSwf(*bytes);
}

uint16_t DefinitionId(const SwfTag& tag) {
    return tag.body.size() >= 2 ? Le16(tag.body.data()) : 0;
}

std::optional<Placement> ParsePlaceObject2(const SwfTag& tag) {
    if (tag.code != kTagPlaceObject2 || tag.body.size() < 5) return std::nullopt;
    Placement p;
    p.flags = tag.body[0];
    p.depth = Le16(&tag.body[1]);
    p.id = Le16(&tag.body[3]);
    if (p.flags & 0x04) {
        BitReader r(tag.body.data() + 5, tag.body.size() - 5);
        if (!ReadMatrix(r, p.matrix)) return std::nullopt;
    }
    return p;
}

LosslessBitmap DecodeLossless(const SwfTag& tag) {
    LosslessBitmap bitmap;
    const std::vector<uint8_t>& b = tag.body;
    const bool alpha = tag.code == kTagDefineBitsLossless2;
    if ((!alpha && tag.code != kTagDefineBitsLossless) || b.size() < 7) {
        bitmap.error = "not a lossless bitmap";
        return bitmap;
    }
    bitmap.id = Le16(&b[0]);
    bitmap.format = b[2];
    bitmap.width = Le16(&b[3]);
    bitmap.height = Le16(&b[5]);
    const bool mapped = bitmap.format == 3;
    if (!mapped && bitmap.format != 5) {
        bitmap.error = "format " + std::to_string(bitmap.format);
        return bitmap;
    }
    if (mapped && b.size() < 8) {
        bitmap.error = "no colour count";
        return bitmap;
    }
    bitmap.colors = mapped ? b[7] + 1 : 0;
    const std::size_t start = mapped ? 8 : 7;
    const auto w = static_cast<std::size_t>(bitmap.width);
    const auto h = static_cast<std::size_t>(bitmap.height);
    const std::size_t entry = alpha ? 4 : 3;
    const std::size_t rowBytes = mapped ? (w + 3) / 4 * 4 : w * 4;
    const std::size_t expected =
        (mapped ? static_cast<std::size_t>(bitmap.colors) * entry : 0) + rowBytes * h;
    std::vector<uint8_t> raw(expected + 1);
    uLongf size = raw.size();
    if (uncompress(raw.data(), &size, b.data() + start, b.size() - start) != Z_OK ||
        size != expected) {
        bitmap.error = "the zlib data does not inflate to " + std::to_string(expected) + " bytes";
        return bitmap;
    }
    const uint8_t* rows = raw.data() + (mapped ? bitmap.colors * entry : 0);
    for (std::size_t y = 0; y < h; ++y) {
        for (std::size_t x = 0; x < w; ++x) {
            uint8_t rgba[4];
            if (mapped) {
                const std::size_t index = rows[y * rowBytes + x];
                if (index >= static_cast<std::size_t>(bitmap.colors)) {
                    bitmap.error = "an index beyond the colour table";
                    return bitmap;
                }
                const uint8_t* c = raw.data() + index * entry;
                rgba[0] = c[0], rgba[1] = c[1], rgba[2] = c[2], rgba[3] = alpha ? c[3] : 255;
            } else {
                const uint8_t* c = rows + y * rowBytes + x * 4;
                rgba[0] = c[1], rgba[1] = c[2], rgba[2] = c[3], rgba[3] = alpha ? c[0] : 255;
            }
            bitmap.rgba.insert(bitmap.rgba.end(), rgba, rgba + 4);
        }
    }
    bitmap.ok = true;
    return bitmap;
}

std::vector<std::vector<uint8_t>> PlayLosslessMovie(const SwfFile& swf, std::string& error,
                                                    std::size_t* maxObjects) {
    const int width = (swf.xmax - swf.xmin) / 20, height = (swf.ymax - swf.ymin) / 20;
    const auto stagePixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    std::map<uint16_t, LosslessBitmap> bitmaps;
    std::map<uint16_t, uint16_t> shapeBitmap;  // shape id -> bitmap id
    struct Shown {
        uint16_t shape;
        int x, y;  // whole pixels
    };
    std::map<uint16_t, Shown> display;  // by depth
    std::vector<uint8_t> background(3, 255);
    std::vector<std::vector<uint8_t>> frames;
    if (maxObjects) *maxObjects = 0;
    const auto fail = [&](std::string why) {
        error = std::move(why);
        return std::vector<std::vector<uint8_t>>{};
    };
    for (const SwfTag& tag : swf.tags) {
        switch (tag.code) {
            case kTagSetBackgroundColor:
                if (tag.body.size() != 3) return fail("SetBackgroundColor of the wrong size");
                background = tag.body;
                break;
            case kTagDefineBitsLossless:
            case kTagDefineBitsLossless2: {
                LosslessBitmap bitmap = DecodeLossless(tag);
                if (!bitmap.ok) return fail(bitmap.error);
                bitmaps[bitmap.id] = std::move(bitmap);
                break;
            }
            case kTagDefineShape3: {
                const ShapeInfo shape = ParseDefineShape3(tag);
                if (!shape.ok || shape.fills.size() != 1 || shape.fills[0].type != 0x41)
                    return fail("a shape that is not one clipped bitmap fill");
                const SwfMatrix& m = shape.fills[0].matrix;
                if (m.scaleX != 20 << 16 || m.scaleY != 20 << 16 || m.hasRotate ||
                    m.translateX != 0 || m.translateY != 0)
                    return fail("a bitmap fill that does not map one pixel to one pixel");
                shapeBitmap[shape.id] = shape.fills[0].bitmapId;
                break;
            }
            case kTagPlaceObject2: {
                const auto place = ParsePlaceObject2(tag);
                if (!place || !shapeBitmap.count(place->id)) return fail("a placement of no shape");
                const SwfMatrix& m = place->matrix;
                if (m.hasScale || m.hasRotate || m.translateX % 20 || m.translateY % 20)
                    return fail("a placement that is not a move by whole pixels");
                display[place->depth] = {place->id, m.translateX / 20, m.translateY / 20};
                break;
            }
            case kTagRemoveObject2:
                if (tag.body.size() != 2 || display.erase(Le16(tag.body.data())) != 1)
                    return fail("a removal of an empty depth");
                break;
            case kTagShowFrame: {
                std::vector<uint8_t> frame(stagePixels * 3);
                for (std::size_t i = 0; i < stagePixels; ++i)
                    std::copy(background.begin(), background.end(), frame.begin() + i * 3);
                for (const auto& [depth, shown] : display) {
                    const auto found = bitmaps.find(shapeBitmap[shown.shape]);
                    if (found == bitmaps.end()) return fail("a shape filled with no bitmap");
                    const LosslessBitmap& bitmap = found->second;
                    for (int y = 0; y < bitmap.height; ++y) {
                        for (int x = 0; x < bitmap.width; ++x) {
                            const int sx = shown.x + x, sy = shown.y + y;
                            if (sx < 0 || sy < 0 || sx >= width || sy >= height)
                                return fail("a picture reaching outside the stage");
                            const uint8_t* p = &bitmap.rgba[(static_cast<std::size_t>(y) *
                                                                 bitmap.width + x) * 4];
                            if (p[3] == 0 && (p[0] | p[1] | p[2]) != 0)
                                return fail("a clear pixel not premultiplied");
                            if (p[3] == 0) continue;
                            if (p[3] != 255) return fail("a pixel neither opaque nor clear");
                            std::copy(p, p + 3, frame.begin() + (static_cast<std::ptrdiff_t>(sy) *
                                                                     width + sx) * 3);
                        }
                    }
                }
                if (maxObjects) *maxObjects = std::max(*maxObjects, display.size());
                frames.push_back(std::move(frame));
                break;
            }
            default:
                break;
        }
    }
    return frames;
}

std::vector<uint8_t> JpegOfDefineBitsJPEG2(const SwfTag& tag) {
    const std::vector<uint8_t>& b = tag.body;
    if (tag.code != kTagDefineBitsJPEG2 || b.size() < 8) return {};
    if (b[2] != 0xFF || b[3] != 0xD9 || b[4] != 0xFF || b[5] != 0xD8) return {};
    if (b[b.size() - 2] != 0xFF || b[b.size() - 1] != 0xD9) return {};
    return std::vector<uint8_t>(b.begin() + 6, b.end() - 2);
}

}  // namespace swftest

namespace swftest {

SwfFile ParseSprite(const SwfTag& defineSprite, uint16_t* spriteId) {
    if (defineSprite.body.size() < 4) return Bad(SwfFile{}, "sprite shorter than its header");
    if (spriteId) *spriteId = Le16(&defineSprite.body[0]);
    // The sprite's tags after the header of a movie with an empty stage, its frame count the
    // sprite's.
    const std::vector<uint8_t>& body = defineSprite.body;
    std::vector<uint8_t> file(9 + body.size());
    const uint8_t head[] = {'F', 'W', 'S', 3, 0, 0, 0, 0, 0x00, 0, 0};
    std::copy(std::begin(head), std::end(head), file.begin());
    std::copy(body.begin() + 2, body.end(), file.begin() + 11);
    const auto size = static_cast<uint32_t>(file.size());
    for (int i = 0; i < 4; ++i) file[4 + i] = static_cast<uint8_t>(size >> (8 * i));
    return ParseSwf(file);
}

std::vector<std::pair<uint16_t, std::string>> ParseSymbols(const SwfTag& tag) {
    std::vector<std::pair<uint16_t, std::string>> symbols;
    const std::vector<uint8_t>& b = tag.body;
    std::size_t at = 2;
    for (int n = b.size() >= 2 ? Le16(&b[0]) : 0; n > 0 && at + 2 < b.size(); --n) {
        std::pair<uint16_t, std::string> symbol{Le16(&b[at]), ""};
        for (at += 2; at < b.size() && b[at] != 0; ++at) symbol.second += char(b[at]);
        ++at;
        symbols.push_back(symbol);
    }
    return symbols;
}

}  // namespace swftest
