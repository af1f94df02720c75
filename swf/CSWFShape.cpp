#include "swf/CSWFShape.h"

#include <algorithm>
#include <cstring>

#include "swf/BitWriter.h"
#include "swf/SwfTag.h"

namespace {

// Style change state flags.
constexpr uint8_t kStateLineStyle = 0x08;
constexpr uint8_t kStateFillStyle1 = 0x04;
constexpr uint8_t kStateFillStyle0 = 0x02;
constexpr uint8_t kStateMoveTo = 0x01;

constexpr uint8_t kSolidFill = 0x00;
constexpr uint8_t kClippedBitmapFill = 0x41;
constexpr uint8_t kUnsmoothedClippedBitmapFill = 0x43;

// NumBits of a straight edge is four bits holding the width minus 2: at most 17 bits, which
// hold magnitudes up to 65535 twips.
constexpr uint32_t kMaxEdgeMagnitude = 65535;

int32_t ClampWide(int32_t v) {
    const auto limit = static_cast<int32_t>(kMaxWideMagnitude);
    return std::clamp(v, -limit, limit);
}

void WriteColor(BitWriter& w, uint32_t rgba) {
    uint8_t bytes[4];
    std::memcpy(bytes, &rgba, 4);
    w.WriteBytes(bytes, 4);
}

void WriteCount(BitWriter& w, std::size_t count) {
    if (count < 255) {
        w.WriteU8(static_cast<uint8_t>(count));
    } else {
        w.WriteU8(0xFF);
        w.WriteU16(static_cast<uint16_t>(count));
    }
}

// The fill matrix scale of one axis, mapping the source extent onto the destination extent. A
// bitmap pixel is one twip in the bitmap's own space, so 20 shows one bitmap pixel per shape
// pixel; that is also the scale for an empty source extent.
float FillScale(float s1, float s2, float d1, float d2) {
    if (s2 - s1 == 0.0f) return 20.0f;
    return 20.0f * (d2 - d1) / (s2 - s1);
}

}  // namespace

CSWFShape::CSWFShape(uint16_t id, float left, float top, float right, float bottom, uint16_t depth)
    : CSWFObject(SWF_KIND_SHAPE, id, depth) {
    m_bounds.SetRect(left, top, right, bottom);
}

bool CSWFShape::AddLineStyle(uint32_t rgba) {
    if (m_lineStyles.size() >= kMaxStyles) return false;
    m_lineStyles.push_back({20, rgba});
    return true;
}

bool CSWFShape::AddSolidFillStyle(uint32_t rgba) {
    if (m_fillStyles.size() >= kMaxStyles) return false;
    m_fillStyles.push_back({kSolidFill, rgba, 0, {0, 0, 0, 0, 0, 0}});
    return true;
}

bool CSWFShape::AddBitmapFillStyle(uint16_t bitmapId, float sx1, float sy1, float sx2, float sy2,
                                   float dx1, float dy1, float dx2, float dy2) {
    if (m_fillStyles.size() >= kMaxStyles) return false;
    const float scaleX = FillScale(sx1, sx2, dx1, dx2);
    const float scaleY = FillScale(sy1, sy2, dy1, dy2);
    m_fillStyles.push_back({kClippedBitmapFill, 0, bitmapId, {scaleX, scaleY, 0, 0, dx1, dy1}});
    return true;
}

void CSWFShape::ChangeStyle(const float* moveTo, uint16_t lineStyle) {
    ShapeRecord r{false,    kStateLineStyle | kStateFillStyle1 | kStateFillStyle0, 0, 0, 1, 0,
                  lineStyle};
    if (moveTo != nullptr) {
        // MoveBits is five bits wide: the move fields hold at most 31 bits.
        r.flags |= kStateMoveTo;
        r.x = ClampWide(PixelsToTwips(moveTo[0]));
        r.y = ClampWide(PixelsToTwips(moveTo[1]));
    }
    m_records.push_back(r);
}

void CSWFShape::AddStraightEdge(float dx, float dy) {
    const int64_t x = PixelsToTwips(dx);
    const int64_t y = PixelsToTwips(dy);
    const uint32_t largest =
        std::max(Magnitude(static_cast<int32_t>(x)), Magnitude(static_cast<int32_t>(y)));
    // Pieces of at most kMaxEdgeMagnitude each; the partial sums are truncated multiples of
    // the whole delta, so the pieces add up to it exactly.
    const int64_t pieces = largest == 0 ? 1 : (largest + kMaxEdgeMagnitude - 1) / kMaxEdgeMagnitude;
    int64_t doneX = 0;
    int64_t doneY = 0;
    for (int64_t i = 1; i <= pieces; ++i) {
        const int64_t toX = x * i / pieces;
        const int64_t toY = y * i / pieces;
        m_records.push_back({true, 0, static_cast<int32_t>(toX - doneX),
                             static_cast<int32_t>(toY - doneY), 0, 0, 0});
        doneX = toX;
        doneY = toY;
    }
}

std::vector<uint8_t> CSWFShape::EncodeRecords(unsigned numFillBits, unsigned numLineBits) const {
    BitWriter w;
    for (const ShapeRecord& r : m_records) {
        if (r.edge) {
            unsigned bits = CountSignedBits({r.x, r.y});
            if (bits < 2) bits = 2;
            w.WriteUBits(2, 0x3);  // TypeFlag, StraightFlag
            w.WriteUBits(4, bits - 2);
            w.WriteUBits(1, 1);  // GeneralLineFlag: both deltas follow
            w.WriteSBits(bits, r.x);
            w.WriteSBits(bits, r.y);
            continue;
        }
        w.WriteUBits(6, r.flags);  // TypeFlag 0, StateNewStyles 0, then the four state flags
        if (r.flags & kStateMoveTo) {
            const unsigned bits = CountSignedBits({r.x, r.y});
            w.WriteUBits(5, bits);
            w.WriteSBits(bits, r.x);
            w.WriteSBits(bits, r.y);
        }
        if (r.flags & kStateFillStyle0) w.WriteUBits(numFillBits, r.fillStyle0);
        if (r.flags & kStateFillStyle1) w.WriteUBits(numFillBits, r.fillStyle1);
        if (r.flags & kStateLineStyle) w.WriteUBits(numLineBits, r.lineStyle);
    }
    w.WriteUBits(6, 0);  // end record
    return w.TakeBytes();
}

const uint8_t* CSWFShape::GetData() {
    m_data.clear();
    const unsigned numFillBits = CountUnsignedBits(static_cast<uint32_t>(m_fillStyles.size()));
    const unsigned numLineBits = CountUnsignedBits(static_cast<uint32_t>(m_lineStyles.size()));

    BitWriter body;
    body.WriteU16(GetId());
    WriteEncoded(body, m_bounds);
    WriteCount(body, m_fillStyles.size());
    for (const FillStyle& f : m_fillStyles) {
        const bool plain = f.type == kClippedBitmapFill && !m_bSmoothed;
        body.WriteU8(plain ? kUnsmoothedClippedBitmapFill : f.type);
        if (f.type == kSolidFill) {
            WriteColor(body, f.color);
        } else {
            body.WriteU16(f.bitmapId);
            CSWFMatrix matrix;
            matrix.SetMatrix(f.matrix[0], f.matrix[1], f.matrix[2], f.matrix[3], f.matrix[4],
                             f.matrix[5]);
            WriteEncoded(body, matrix);
        }
    }
    WriteCount(body, m_lineStyles.size());
    for (const LineStyle& l : m_lineStyles) {
        body.WriteU16(l.width);
        WriteColor(body, l.color);
    }
    body.WriteU8(static_cast<uint8_t>(numFillBits << 4 | numLineBits));
    body.WriteBytes(EncodeRecords(numFillBits, numLineBits));

    m_data = MakeTag(SwfTagCode::DefineShape3, body.Bytes(), SwfTagForm::Long);
    return m_data.empty() ? nullptr : m_data.data();
}
