#pragma once

#include <bit>
#include <cstdint>
#include <vector>

#include "swf/CSWFObject.h"

// A colour with alpha: the bytes red, green, blue, alpha in this order in memory, carried as
// one 4-byte value. Alpha 0 is fully transparent, 255 opaque.
constexpr uint32_t SWFColor(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    struct Bytes {
        uint8_t v[4];
    };
    return std::bit_cast<uint32_t>(Bytes{{r, g, b, a}});
}

// A filled outline: one DefineShape3 tag with its bounds, fill and line styles, and shape
// records (one style change, then straight edges). Coordinates enter in pixels.
class CSWFShape : public CSWFObject {
public:
    // The style index fields are at most 15 bits wide, so a shape holds at most 32767 fill
    // styles and 32767 line styles.
    static constexpr std::size_t kMaxStyles = 32767;

    CSWFShape(uint16_t id, float left, float top, float right, float bottom, uint16_t depth);

    // Appends a line style one pixel (20 twips) wide. False, and nothing added, when the list
    // is full.
    bool AddLineStyle(uint32_t rgba);
    // Appends a solid fill style. False when the list is full.
    bool AddSolidFillStyle(uint32_t rgba);
    // Appends a clipped bitmap fill that maps the source rectangle (sx1, sy1)-(sx2, sy2), in
    // bitmap pixels, onto the destination rectangle (dx1, dy1)-(dx2, dy2) of the shape. A
    // source of zero width or height maps one bitmap pixel to one shape pixel on that axis.
    // False when the list is full. The fill is smoothed in players of version 8 and later
    // (type 0x41) unless SetBitmapSmoothing(false) has been called (type 0x43, one they do
    // not smooth; older players smooth no bitmap and do not know it).
    bool AddBitmapFillStyle(uint16_t bitmapId, float sx1, float sy1, float sx2, float sy2,
                            float dx1, float dy1, float dx2, float dy2);
    // Appends a style change selecting fill style 1 as FillStyle0, no FillStyle1 and the given
    // line style (1-based, 0 for none); when moveTo is not null the pen moves to the point
    // moveTo[0], moveTo[1] (pixels).
    void ChangeStyle(const float* moveTo, uint16_t lineStyle);
    // Appends a straight edge from the pen position. A delta longer than one edge record holds
    // (65535 twips on either axis) becomes several edges adding up to the same delta.
    void AddStraightEdge(float dx, float dy);
    // Whether the shape's bitmap fills, earlier ones included, may be smoothed (the default).
    void SetBitmapSmoothing(bool smoothed) { m_bSmoothed = smoothed; }

    // Builds the DefineShape3 tag from the styles and records so far (the end record is added
    // to the encoding only). Null, with size 0, if the tag would not fit a 32-bit length.
    const uint8_t* GetData() override;
    int GetSize() const override { return static_cast<int>(m_data.size()); }

private:
    struct FillStyle {
        uint8_t type;  // 0x00 solid, 0x41 clipped bitmap (0x43 when not smoothed)
        uint32_t color;
        uint16_t bitmapId;
        float matrix[6];  // scaleX, scaleY, rotateSkew0, rotateSkew1, translateX, translateY
    };
    struct LineStyle {
        uint16_t width;  // twips
        uint32_t color;
    };
    struct ShapeRecord {
        bool edge;      // straight edge, else style change
        uint8_t flags;  // style change state flags
        int32_t x;      // move or delta, twips
        int32_t y;
        uint16_t fillStyle0;
        uint16_t fillStyle1;
        uint16_t lineStyle;
    };

    std::vector<uint8_t> EncodeRecords(unsigned numFillBits, unsigned numLineBits) const;

    CSWFRectangle m_bounds;
    std::vector<FillStyle> m_fillStyles;
    std::vector<LineStyle> m_lineStyles;
    std::vector<ShapeRecord> m_records;
    std::vector<uint8_t> m_data;
    bool m_bSmoothed = true;
};
