#include "swf/CSWFObject.h"

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

// The 16.16 forms of a pair of factors and their shared width.
struct FixedPair {
    int32_t a;
    int32_t b;
    unsigned bits;
};

FixedPair MakeFixedPair(float a, float b, bool& valid) {
    if (std::isnan(a) || std::isnan(b)) valid = false;
    const uint32_t ia = Magnitude(SaturatingTruncate(a));
    const uint32_t ib = Magnitude(SaturatingTruncate(b));
    unsigned bits = CountFixedBits(ia > ib ? ia : ib);
    FixedPair pair{ToFixed16(a), ToFixed16(b), bits};
    if (bits > 31) {
        pair.bits = 31;
        pair.a = ClampWide(pair.a, valid);
        pair.b = ClampWide(pair.b, valid);
        valid = false;
    }
    return pair;
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

void CSWFMatrix::SetMatrix(float scaleX, float scaleY, float rotateSkew0, float rotateSkew1,
                           float translateX, float translateY) {
    *this = CSWFMatrix();
    if (scaleX != 0.0f || scaleY != 0.0f) {
        const FixedPair p = MakeFixedPair(scaleX, scaleY, m_bValid);
        m_bHasScale = true;
        m_nScaleX = p.a;
        m_nScaleY = p.b;
        m_nScaleBits = p.bits;
    }
    if (rotateSkew0 != 0.0f || rotateSkew1 != 0.0f) {
        const FixedPair p = MakeFixedPair(rotateSkew0, rotateSkew1, m_bValid);
        m_bHasRotate = true;
        m_nRotateSkew0 = p.a;
        m_nRotateSkew1 = p.b;
        m_nRotateBits = p.bits;
    }
    if (translateX != 0.0f || translateY != 0.0f) {
        m_nTranslateX = WideTwips(translateX, m_bValid);
        m_nTranslateY = WideTwips(translateY, m_bValid);
        m_nTranslateBits = CountSignedBits({m_nTranslateX, m_nTranslateY});
    }
}

const uint8_t* CSWFMatrix::GetData() {
    BitWriter w;
    w.WriteUBits(1, m_bHasScale ? 1 : 0);
    if (m_bHasScale) {
        w.WriteUBits(5, m_nScaleBits);
        w.WriteSBits(m_nScaleBits, m_nScaleX);
        w.WriteSBits(m_nScaleBits, m_nScaleY);
    }
    w.WriteUBits(1, m_bHasRotate ? 1 : 0);
    if (m_bHasRotate) {
        w.WriteUBits(5, m_nRotateBits);
        w.WriteSBits(m_nRotateBits, m_nRotateSkew0);
        w.WriteSBits(m_nRotateBits, m_nRotateSkew1);
    }
    w.WriteUBits(5, m_nTranslateBits);
    w.WriteSBits(m_nTranslateBits, m_nTranslateX);
    w.WriteSBits(m_nTranslateBits, m_nTranslateY);
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
