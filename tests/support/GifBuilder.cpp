#include "support/GifBuilder.h"

#include <gif_lib.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

int AppendOutput(GifFileType* gif, const GifByteType* data, int size) {
    auto* out = static_cast<std::vector<uint8_t>*>(gif->UserData);
    out->insert(out->end(), data, data + size);
    return size;
}

// giflib wants a power-of-two table; pad with black.
ColorMapObject* MakeColorMap(const std::vector<GifRgb>& colors) {
    int count = 2;
    while (count < static_cast<int>(colors.size())) count *= 2;
    std::vector<GifColorType> entries(static_cast<size_t>(count), GifColorType{0, 0, 0});
    for (size_t i = 0; i < colors.size() && i < entries.size(); ++i) {
        entries[i] = {colors[i].r, colors[i].g, colors[i].b};
    }
    return GifMakeMapObject(count, entries.data());
}

std::string GifError(const char* what, int code) {
    const char* text = GifErrorString(code);
    return std::string(what) + ": " + (text ? text : std::to_string(code));
}

}  // namespace

void PrintTo(const GifRgb& color, std::ostream* os) {
    *os << "rgb(" << int(color.r) << ", " << int(color.g) << ", " << int(color.b) << ")";
}

GifBuilder& GifBuilder::GlobalColors(std::vector<GifRgb> colors, int backgroundIndex) {
    m_globalColors = std::move(colors);
    m_background = backgroundIndex;
    return *this;
}

GifBuilder& GifBuilder::Loop(int count) {
    m_loop = count;
    return *this;
}

GifBuilder& GifBuilder::Comment(std::string text) {
    m_items.push_back({Item::kComment, {}, std::move(text)});
    return *this;
}

GifBuilder& GifBuilder::Image(GifImage image) {
    m_items.push_back({Item::kImage, std::move(image), {}});
    return *this;
}

GifBuilder& GifBuilder::Solid(int left, int top, int width, int height, uint8_t fill, int delay,
                              int disposal, int transparent) {
    GifImage image;
    image.left = left;
    image.top = top;
    image.width = width;
    image.height = height;
    image.pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), fill);
    image.control = delay >= 0;
    image.delay = std::max(delay, 0);
    image.disposal = disposal;
    image.transparent = transparent;
    return Image(std::move(image));
}

std::vector<uint8_t> GifBuilder::Build() const {
    std::vector<uint8_t> bytes;
    int error = 0;
    GifFileType* gif = EGifOpen(&bytes, AppendOutput, &error);
    if (!gif) {
        m_error = GifError("EGifOpen", error);
        return {};
    }
    EGifSetGifVersion(gif, true);
    m_error.clear();
    auto fail = [&](const char* what) {
        if (m_error.empty()) m_error = GifError(what, gif->Error);
    };

    ColorMapObject* global = m_globalColors.empty() ? nullptr : MakeColorMap(m_globalColors);
    if (EGifPutScreenDesc(gif, m_width, m_height, 8, m_background, global) == GIF_ERROR) {
        fail("EGifPutScreenDesc");
    }
    GifFreeMapObject(global);

    if (m_loop >= 0) {
        const GifByteType loop[3] = {1, GifByteType(m_loop & 0xFF), GifByteType(m_loop >> 8)};
        if (EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_ERROR ||
            EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0") == GIF_ERROR ||
            EGifPutExtensionBlock(gif, 3, loop) == GIF_ERROR ||
            EGifPutExtensionTrailer(gif) == GIF_ERROR) {
            fail("NETSCAPE2.0");
        }
    }

    for (const Item& item : m_items) {
        if (item.kind == Item::kComment) {
            if (EGifPutComment(gif, item.text.c_str()) == GIF_ERROR) fail("EGifPutComment");
            continue;
        }
        const GifImage& image = item.image;
        if (image.control) {
            GraphicsControlBlock gcb{};
            gcb.DisposalMode = image.disposal;
            gcb.DelayTime = image.delay;
            gcb.TransparentColor = image.transparent < 0 ? NO_TRANSPARENT_COLOR : image.transparent;
            GifByteType extension[4];
            const size_t size = EGifGCBToExtension(&gcb, extension);
            if (EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(size), extension) ==
                GIF_ERROR) {
                fail("graphic control");
            }
        }
        ColorMapObject* local =
            image.localColors.empty() ? nullptr : MakeColorMap(image.localColors);
        if (!local && gif->Image.ColorMap) {
            // giflib 5.2 drops the previous image's local table here without freeing it.
            GifFreeMapObject(gif->Image.ColorMap);
            gif->Image.ColorMap = nullptr;
        }
        const bool described = EGifPutImageDesc(gif, image.left, image.top, image.width,
                                                image.height, image.interlace, local) != GIF_ERROR;
        GifFreeMapObject(local);
        if (!described) {
            fail("EGifPutImageDesc");
            continue;
        }
        std::vector<GifPixelType> row(static_cast<size_t>(image.width));
        for (int r : GifRowOrder(image.height, image.interlace)) {
            const size_t at = static_cast<size_t>(r) * static_cast<size_t>(image.width);
            for (size_t x = 0; x < row.size(); ++x) {
                row[x] = at + x < image.pixels.size() ? image.pixels[at + x] : 0;
            }
            if (EGifPutLine(gif, row.data(), image.width) == GIF_ERROR) {
                fail("EGifPutLine");
                break;
            }
        }
    }
    if (EGifCloseFile(gif, &error) == GIF_ERROR && m_error.empty()) {
        m_error = GifError("EGifCloseFile", error);
    }
    if (!m_error.empty()) return {};
    return bytes;
}

bool GifBuilder::Write(const std::filesystem::path& path) const {
    const std::vector<uint8_t> bytes = Build();
    return !bytes.empty() && WriteBytes(path, bytes);
}

std::vector<int> GifRowOrder(int height, bool interlace) {
    std::vector<int> rows;
    if (!interlace) {
        for (int r = 0; r < height; ++r) rows.push_back(r);
        return rows;
    }
    const int start[4] = {0, 4, 2, 1};
    const int step[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass) {
        for (int r = start[pass]; r < height; r += step[pass]) rows.push_back(r);
    }
    return rows;
}

void RawAppend16(std::vector<uint8_t>& out, int value) {
    out.push_back(uint8_t(value & 0xFF));
    out.push_back(uint8_t((value >> 8) & 0xFF));
}

void RawAppend(std::vector<uint8_t>& out, std::initializer_list<int> bytes) {
    for (int b : bytes) out.push_back(uint8_t(b));
}

void RawHeader(std::vector<uint8_t>& out, int width, int height, const std::vector<GifRgb>& colors,
               int backgroundIndex) {
    RawAppend(out, {'G', 'I', 'F', '8', '9', 'a'});
    RawAppend16(out, width);
    RawAppend16(out, height);
    int flags = 0x70;  // colour resolution 8 bits
    if (!colors.empty()) {
        int bits = 1;
        while ((1 << bits) < static_cast<int>(colors.size())) ++bits;
        flags |= 0x80 | (bits - 1);  // global table present, 2^bits entries
    }
    RawAppend(out, {flags, backgroundIndex, 0});
    for (const GifRgb& c : colors) RawAppend(out, {c.r, c.g, c.b});
}

void RawControl(std::vector<uint8_t>& out, int delay, int disposal, int transparent) {
    RawAppend(out, {0x21, 0xF9, 4});  // extension, graphic control, 4 data bytes
    RawAppend(out, {(disposal & 7) << 2 | (transparent >= 0 ? 1 : 0)});
    RawAppend16(out, delay);
    RawAppend(out, {transparent >= 0 ? transparent : 0, 0});  // index, block terminator
}

void RawImage(std::vector<uint8_t>& out, int left, int top, int width, int height,
              const std::vector<uint8_t>& pixels) {
    out.push_back(0x2C);
    RawAppend16(out, left);
    RawAppend16(out, top);
    RawAppend16(out, width);
    RawAppend16(out, height);
    out.push_back(0);  // no local colour table, not interlaced
    const std::vector<uint8_t> data = RawImageData(pixels);
    out.insert(out.end(), data.begin(), data.end());
}

std::vector<uint8_t> RawImageData(const std::vector<uint8_t>& pixels) {
    constexpr int kClear = 256;
    constexpr int kEnd = 257;
    std::vector<uint8_t> codes;  // the packed code stream
    uint32_t buffer = 0;
    int bits = 0;
    auto put = [&](int code) {  // 9-bit codes, least significant bit first
        buffer |= static_cast<uint32_t>(code) << bits;
        bits += 9;
        while (bits >= 8) {
            codes.push_back(uint8_t(buffer & 0xFF));
            buffer >>= 8;
            bits -= 8;
        }
    };
    // A clear code every 128 literals keeps the decoder's table, and so the code width, small.
    for (size_t i = 0; i < pixels.size(); ++i) {
        if (i % 128 == 0) put(kClear);
        put(pixels[i]);
    }
    if (pixels.empty()) put(kClear);
    put(kEnd);
    if (bits > 0) codes.push_back(uint8_t(buffer & 0xFF));

    std::vector<uint8_t> out = {8};  // LZW minimum code size
    for (size_t at = 0; at < codes.size(); at += 255) {
        const size_t n = std::min<size_t>(255, codes.size() - at);
        out.push_back(uint8_t(n));
        out.insert(out.end(), codes.begin() + static_cast<std::ptrdiff_t>(at),
                   codes.begin() + static_cast<std::ptrdiff_t>(at + n));
    }
    out.push_back(0);
    return out;
}

void RawTrailer(std::vector<uint8_t>& out) { out.push_back(0x3B); }
