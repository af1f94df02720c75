#include "swf/CSWFBitmapLossless.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <memory>

#include "swf/BitWriter.h"
#include "swf/SwfTag.h"

namespace {

constexpr uint8_t kColorMapped = 3;
constexpr uint8_t kDirect = 5;
constexpr std::size_t kMaxColors = 256;

// Colours as keys: blue, green and red in the low 24 bits, and a marker bit that keeps every key
// apart from an empty slot (0). Transparency is a key of its own.
constexpr uint32_t kOpaqueKey = 1u << 24;
constexpr uint32_t kTransparentKey = 1u << 25;

uint32_t KeyAt(const BgrPixels& pixels, const uint8_t* row, int y, int x) {
    if (pixels.transparent != nullptr &&
        pixels.transparent[static_cast<std::size_t>(y) * static_cast<std::size_t>(pixels.width) +
                           static_cast<std::size_t>(x)] != 0) {
        return kTransparentKey;
    }
    const uint8_t* p = row + 3 * x;
    return kOpaqueKey | static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16;
}

// Red, green, blue (and alpha) of a key, premultiplied: a transparent colour is all zeros.
void AppendColor(std::vector<uint8_t>& out, uint32_t key, bool alpha) {
    const bool clear = key == kTransparentKey;
    const auto channel = [&](int shift) {
        return clear ? uint8_t{0} : static_cast<uint8_t>(key >> shift);
    };
    out.insert(out.end(), {channel(16), channel(8), channel(0)});
    if (alpha) out.push_back(clear ? 0 : 255);
}

bool HasTransparent(const BgrPixels& pixels) {
    if (pixels.transparent == nullptr) return false;
    const std::size_t count =
        static_cast<std::size_t>(pixels.width) * static_cast<std::size_t>(pixels.height);
    for (std::size_t i = 0; i < count; ++i) {
        if (pixels.transparent[i] != 0) return true;
    }
    return false;
}

// The colour keys met so far and their indices: an open-addressing table four times the largest
// palette, so probes stay short.
class ColorIndex {
public:
    // The key's index, a new one for a key not met before; -1 once more than 256 keys are met.
    int Find(uint32_t key) {
        std::size_t slot = (key * 2654435761u) >> 22;
        for (;; slot = (slot + 1) & (kSlots - 1)) {
            if (m_keys[slot] == key) return m_indices[slot];
            if (m_keys[slot] != 0) continue;
            if (m_order.size() == kMaxColors) return -1;
            m_keys[slot] = key;
            m_indices[slot] = static_cast<uint8_t>(m_order.size());
            m_order.push_back(key);
            return m_indices[slot];
        }
    }
    const std::vector<uint32_t>& Order() const { return m_order; }

private:
    static constexpr std::size_t kSlots = 1024;
    std::array<uint32_t, kSlots> m_keys{};
    std::array<uint8_t, kSlots> m_indices{};
    std::vector<uint32_t> m_order;
};

}  // namespace

std::vector<uint8_t> PackLossless(const BgrPixels& pixels, LosslessLayout& layout) {
    auto index = std::make_unique<ColorIndex>();
    const auto rowBytes = static_cast<std::size_t>((pixels.width + 3) & ~3);
    std::vector<uint8_t> rows(rowBytes * static_cast<std::size_t>(pixels.height));
    for (int y = 0; y < pixels.height; ++y) {
        const uint8_t* row = pixels.Row(y);
        uint8_t* out = rows.data() + static_cast<std::size_t>(y) * rowBytes;
        uint32_t lastKey = 0;
        int last = 0;
        for (int x = 0; x < pixels.width; ++x) {
            const uint32_t key = KeyAt(pixels, row, y, x);
            if (key != lastKey) {
                last = index->Find(key);
                if (last < 0) return PackDirect(pixels, layout);
                lastKey = key;
            }
            out[x] = static_cast<uint8_t>(last);
        }
    }
    const std::vector<uint32_t>& colors = index->Order();
    layout.format = kColorMapped;
    layout.alpha = colors.end() != std::find(colors.begin(), colors.end(), kTransparentKey);
    layout.width = static_cast<uint16_t>(pixels.width);
    layout.height = static_cast<uint16_t>(pixels.height);
    layout.colors = static_cast<uint16_t>(colors.size());
    std::vector<uint8_t> out;
    out.reserve(colors.size() * 4 + rows.size());
    for (uint32_t key : colors) AppendColor(out, key, layout.alpha);
    out.insert(out.end(), rows.begin(), rows.end());
    return out;
}

std::vector<uint8_t> PackDirect(const BgrPixels& pixels, LosslessLayout& layout) {
    layout.format = kDirect;
    layout.alpha = HasTransparent(pixels);
    layout.width = static_cast<uint16_t>(pixels.width);
    layout.height = static_cast<uint16_t>(pixels.height);
    layout.colors = 0;
    std::vector<uint8_t> out;
    out.reserve(static_cast<std::size_t>(pixels.width) * static_cast<std::size_t>(pixels.height) *
                4);
    for (int y = 0; y < pixels.height; ++y) {
        const uint8_t* row = pixels.Row(y);
        for (int x = 0; x < pixels.width; ++x) {
            const uint32_t key = KeyAt(pixels, row, y, x);
            // Without alpha the first byte of each pixel is reserved and 0.
            if (!layout.alpha) out.push_back(0);
            if (layout.alpha) out.push_back(key == kTransparentKey ? 0 : 255);
            AppendColor(out, key, false);
        }
    }
    return out;
}

std::vector<uint8_t> CompressZlib(const uint8_t* data, std::size_t size) {
    struct FreeCompressor {
        void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
    };
    const std::unique_ptr<libdeflate_compressor, FreeCompressor> compressor(
        libdeflate_alloc_compressor(kLosslessLevel));
    if (!compressor) return {};
    // The worst case is as large as the input; what is kept is a copy of what was written, so
    // that the rest of that room is neither cleared nor held while the frame waits its turn.
    const std::size_t bound = libdeflate_zlib_compress_bound(compressor.get(), size);
    const auto room = std::make_unique_for_overwrite<uint8_t[]>(bound);
    const std::size_t written =
        libdeflate_zlib_compress(compressor.get(), data, size, room.get(), bound);
    return std::vector<uint8_t>(room.get(), room.get() + written);
}

std::vector<uint8_t> CompressLossless(const std::vector<uint8_t>& packed,
                                      const LosslessLayout& layout) {
    std::vector<uint8_t> best = CompressZlib(packed.data(), packed.size());
    if (layout.format != kColorMapped || layout.colors > kRunColors) return best;

    z_stream stream{};
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15, 9, Z_RLE) != Z_OK) {
        return best;
    }
    const uLong bound = deflateBound(&stream, static_cast<uLong>(packed.size()));
    const auto room = std::make_unique_for_overwrite<uint8_t[]>(bound);
    stream.next_in = const_cast<Bytef*>(packed.data());  // zlib's API is not const-correct
    stream.avail_in = static_cast<uInt>(packed.size());
    stream.next_out = room.get();
    stream.avail_out = static_cast<uInt>(bound);
    const bool done = deflate(&stream, Z_FINISH) == Z_STREAM_END;
    const uLong written = stream.total_out;
    deflateEnd(&stream);
    if (done && (best.empty() || written < best.size()))
        best.assign(room.get(), room.get() + written);
    return best;
}

CSWFBitmapLossless::CSWFBitmapLossless(uint16_t id, const LosslessLayout& layout,
                                       const uint8_t* zlib, std::size_t size)
    : CSWFObject(SWF_KIND_BITMAP, id, 0) {
    const bool mapped = layout.format == kColorMapped;
    if ((!mapped && layout.format != kDirect) || layout.width == 0 || layout.height == 0 ||
        (mapped && (layout.colors == 0 || layout.colors > kMaxColors)) || zlib == nullptr ||
        size == 0 || size > kMaxTagBodyLength - 8) {
        return;
    }
    BitWriter body;
    body.WriteU16(id);
    body.WriteU8(layout.format);
    body.WriteU16(layout.width);
    body.WriteU16(layout.height);
    if (mapped) body.WriteU8(static_cast<uint8_t>(layout.colors - 1));
    body.WriteBytes(zlib, size);
    m_data =
        MakeTag(layout.alpha ? SwfTagCode::DefineBitsLossless2 : SwfTagCode::DefineBitsLossless,
                body.Bytes(), SwfTagForm::Long);
}
