#include "swf/CSWFObject.h"

#include <algorithm>
#include <cmath>

#include "swf/BitWriter.h"

namespace {

// Clamps a signed value into what a 31-bit field holds; clears valid when it had to.
int32_t ClampWide(int32_t v, bool& valid) {
    if (Magnitude(v) <= kMaxWideMagnitude) return v;
    valid = false;
    return v < 0 ? -static_cast<int32_t>(kMaxWideMagnitude)
                 : static_cast<int32_t>(kMaxWideMagnitude);
}

int32_t WideTwips(float pixels, bool& valid) {
    if (std::isnan(pixels)) valid = false;
    return ClampWide(PixelsToTwips(pixels), valid);
}

}  // namespace

void CSWFRectangle::SetRect(float xmin, float ymin, float xmax, float ymax) {
    m_bValid = true;
    m_nTwips[0] = WideTwips(xmin, m_bValid);
    m_nTwips[1] = WideTwips(xmax, m_bValid);
    m_nTwips[2] = WideTwips(ymin, m_bValid);
    m_nTwips[3] = WideTwips(ymax, m_bValid);
}

const uint8_t* CSWFRectangle::GetData() {
    const unsigned bits = CountSignedBits({m_nTwips[0], m_nTwips[1], m_nTwips[2], m_nTwips[3]});
    BitWriter w;
    w.WriteUBits(5, bits);
    for (int32_t v : m_nTwips) w.WriteSBits(bits, v);
    m_data = w.TakeBytes();
    return m_data.data();
}

namespace {

// The 16.16 forms of a pair of factors and their shared width.
void SetFixedPair(int32_t& a, int32_t& b, unsigned& bits, float fa, float fb, bool& valid) {
    if (std::isnan(fa) || std::isnan(fb)) valid = false;
    const uint32_t ia = Magnitude(SaturatingTruncate(fa));
    const uint32_t ib = Magnitude(SaturatingTruncate(fb));
    bits = CountFixedBits(ia > ib ? ia : ib);
    a = ToFixed16(fa);
    b = ToFixed16(fb);
    if (bits > 31) {
        bits = 31;
        a = ClampWide(a, valid);
        b = ClampWide(b, valid);
        valid = false;
    }
}

}  // namespace

void CSWFMatrix::SetMatrix(float scaleX, float scaleY, float rotateSkew0, float rotateSkew1,
                           float translateX, float translateY) {
    *this = CSWFMatrix();
    m_scale.present = scaleX != 0.0f || scaleY != 0.0f;
    if (m_scale.present) {
        SetFixedPair(m_scale.a, m_scale.b, m_scale.bits, scaleX, scaleY, m_bValid);
    }
    m_rotate.present = rotateSkew0 != 0.0f || rotateSkew1 != 0.0f;
    if (m_rotate.present) {
        SetFixedPair(m_rotate.a, m_rotate.b, m_rotate.bits, rotateSkew0, rotateSkew1, m_bValid);
    }
    if (translateX != 0.0f || translateY != 0.0f) {
        m_translate.a = WideTwips(translateX, m_bValid);
        m_translate.b = WideTwips(translateY, m_bValid);
        m_translate.bits = CountSignedBits({m_translate.a, m_translate.b});
    }
}

namespace {

// v times n, clamped into what a 31-bit field holds.
int32_t ScaledValue(int32_t v, int n, bool& valid) {
    const int64_t product = int64_t{v} * n;
    const auto limit = static_cast<int64_t>(kMaxWideMagnitude);
    if (product >= -limit && product <= limit) return static_cast<int32_t>(product);
    valid = false;
    return static_cast<int32_t>(product < 0 ? -limit : limit);
}

}  // namespace

CSWFMatrix CSWFMatrix::Scaled(int n) const {
    CSWFMatrix scaled = *this;
    bool& valid = scaled.m_bValid;
    if (!scaled.m_scale.present) {
        scaled.m_scale.present = true;
        scaled.m_scale.a = scaled.m_scale.b = 1 << 16;
    }
    for (Pair* factors : {&scaled.m_scale, &scaled.m_rotate}) {
        if (!factors->present) continue;
        factors->a = ScaledValue(factors->a, n, valid);
        factors->b = ScaledValue(factors->b, n, valid);
        // The width counts the integer parts, as SetMatrix does.
        factors->bits =
            CountFixedBits(std::max(Magnitude(factors->a), Magnitude(factors->b)) >> 16);
    }
    Pair& move = scaled.m_translate;
    move.a = ScaledValue(move.a, n, valid);
    move.b = ScaledValue(move.b, n, valid);
    move.bits = move.a == 0 && move.b == 0 ? 0 : CountSignedBits({move.a, move.b});
    return scaled;
}

const uint8_t* CSWFMatrix::GetData() {
    BitWriter w;
    auto writePair = [&w](const Pair& pair) {
        w.WriteUBits(5, pair.bits);
        w.WriteSBits(pair.bits, pair.a);
        w.WriteSBits(pair.bits, pair.b);
    };
    // Scale and rotation each open with a presence flag; the translation is always there.
    for (const Pair* optional : {&m_scale, &m_rotate}) {
        w.WriteUBits(1, optional->present ? 1 : 0);
        if (optional->present) writePair(*optional);
    }
    writePair(m_translate);
    m_data = w.TakeBytes();
    return m_data.data();
}

CSWFColorTransform::CSWFColorTransform() = default;

CSWFColorTransform::CSWFColorTransform(const float terms[8]) {
    if (terms == nullptr) return;
    for (int i = 0; i < 8; ++i) {
        if (std::isnan(terms[i])) m_bValid = false;
        // Multiply terms are 8.8 fixed point, add terms whole numbers; both truncate.
        m_nTerms[i] = i < 4 ? ToFixed8(terms[i]) : SaturatingTruncate(terms[i]);
        if (CountColorTermBits(Magnitude(m_nTerms[i])) > 15) m_bValid = false;
    }
}

const uint8_t* CSWFColorTransform::GetData() {
    m_data.clear();
    if (!m_bValid) return nullptr;
    uint32_t largest = 0;
    for (int32_t t : m_nTerms) {
        if (Magnitude(t) > largest) largest = Magnitude(t);
    }
    const unsigned bits = CountColorTermBits(largest);
    BitWriter w;
    w.WriteUBits(1, 1);  // HasAddTerms
    w.WriteUBits(1, 1);  // HasMultTerms
    w.WriteUBits(4, bits);
    for (int32_t t : m_nTerms) w.WriteSBits(bits, t);
    m_data = w.TakeBytes();
    return m_data.data();
}
