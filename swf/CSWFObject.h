#pragma once

#include <cstdint>
#include <vector>

// Kinds of character definitions. The movie places every kind except bitmaps, which are only
// ever shown through a shape's bitmap fill.
constexpr int SWF_KIND_SHAPE = 0;
constexpr int SWF_KIND_BITMAP = 2;
constexpr int SWF_KIND_BUTTON = 3;

// RECT record: four signed twips values sharing one width. Coordinates enter in pixels.
// Widths grow up to 31 bits; a coordinate beyond that (about 53 million pixels), or NaN, is
// held saturated and makes IsValid false.
class CSWFRectangle {
public:
    virtual ~CSWFRectangle() = default;

    void SetRect(float xmin, float ymin, float xmax, float ymax);
    // Encodes the stored values anew; the pointer stays valid until the next call.
    const uint8_t* GetData();
    int GetSize() const { return static_cast<int>(m_data.size()); }
    // False when a coordinate given to SetRect could not be held.
    bool IsValid() const { return m_bValid; }

private:
    // In file order: xmin, xmax, ymin, ymax.
    int32_t m_nTwips[4] = {0, 0, 0, 0};
    bool m_bValid = true;
    std::vector<uint8_t> m_data;
};

// MATRIX record. A matrix never set is the identity and encodes as the single byte 00. Scale
// and rotate/skew factors are 16.16 fixed point, translations twips. Factors of magnitude 16384
// or more, translations beyond 2^30 - 1 twips, and NaN are held saturated (IsValid false).
class CSWFMatrix {
public:
    virtual ~CSWFMatrix() = default;

    // Replaces the whole matrix; a part whose pair of values is zero is left out.
    void SetMatrix(float scaleX, float scaleY, float rotateSkew0, float rotateSkew1,
                   float translateX, float translateY);
    // This matrix followed by a scaling of both axes by n: every factor and the translation
    // multiplied by n (an identity gains the scale n). Saturated values make IsValid false.
    CSWFMatrix Scaled(int n) const;
    const uint8_t* GetData();
    int GetSize() const { return static_cast<int>(m_data.size()); }
    bool IsValid() const { return m_bValid; }

private:
    // Two values that share one field width.
    struct Pair {
        bool present = false;  // scale and rotation only
        unsigned bits = 0;
        int32_t a = 0;
        int32_t b = 0;
    };
    Pair m_scale;      // scaleX, scaleY (16.16)
    Pair m_rotate;     // rotateSkew0, rotateSkew1 (16.16)
    Pair m_translate;  // translateX, translateY (twips); always written
    bool m_bValid = true;
    std::vector<uint8_t> m_data;
};

// CXFORMWITHALPHA record with both the multiply and the add terms. Multiply factors are 8.8
// fixed point, add terms whole numbers. The record's 4-bit width limits every term to a
// magnitude of 8447 (factors below 33.0, add terms from -8447 to 8447); a transform with a term
// outside that, or a NaN, is refused: IsValid is false and GetData returns null (size 0).
class CSWFColorTransform {
public:
    // All eight terms 0: every channel multiplied by 0.
    CSWFColorTransform();
    // Multiply factors red, green, blue, alpha, then add terms red, green, blue, alpha. A null
    // pointer gives all terms 0.
    explicit CSWFColorTransform(const float terms[8]);
    virtual ~CSWFColorTransform() = default;

    const uint8_t* GetData();
    int GetSize() const { return static_cast<int>(m_data.size()); }
    bool IsValid() const { return m_bValid; }

private:
    // Multiply terms red, green, blue, alpha, then add terms in the same order.
    int32_t m_nTerms[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    bool m_bValid = true;
    std::vector<uint8_t> m_data;
};

// Base of the character definitions (shape, bitmap, button). GetData returns the complete
// definition tag, header included; GetSize its byte count, valid once GetData has run. Kind, id
// and depth are fixed when the object is made.
class CSWFObject {
public:
    virtual ~CSWFObject() = default;

    virtual const uint8_t* GetData() = 0;
    virtual int GetSize() const = 0;

    int GetKind() const { return m_nKind; }
    uint16_t GetId() const { return m_nId; }
    uint16_t GetDepth() const { return m_nDepth; }
    // Bitmaps are only ever shown through a shape's bitmap fill; every other kind is placed.
    bool IsPlaced() const { return m_nKind != SWF_KIND_BITMAP; }

    // The matrix written into the character's PlaceObject2 tag; the identity unless set.
    CSWFMatrix& Matrix() { return m_matrix; }

protected:
    CSWFObject(int kind, uint16_t id, uint16_t depth) : m_nKind(kind), m_nId(id), m_nDepth(depth) {}
    CSWFObject(const CSWFObject&) = default;
    CSWFObject& operator=(const CSWFObject&) = default;

private:
    int m_nKind;
    uint16_t m_nId;
    uint16_t m_nDepth;
    CSWFMatrix m_matrix;
};
