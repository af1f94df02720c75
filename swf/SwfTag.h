#pragma once

#include <cstdint>
#include <vector>

#include "swf/BitWriter.h"

// Tag codes of the tags this writer produces.
enum class SwfTagCode : uint16_t {
    End = 0,
    ShowFrame = 1,
    SetBackgroundColor = 9,
    DoAction = 12,
    DefineBitsLossless = 20,
    DefineBitsJPEG2 = 21,
    PlaceObject2 = 26,
    RemoveObject2 = 28,
    DefineShape3 = 32,
    DefineButton2 = 34,
    DefineBitsJPEG3 = 35,
    DefineBitsLossless2 = 36,
    DefineSprite = 39,
    ExportAssets = 56,
    FileAttributes = 69,
    SymbolClass = 76,
};

// How a tag header is written: the short form (code and length in one 16-bit field) holds
// lengths up to 62; the long form (length field 0x3F, then a 32-bit length) holds any. Our
// character definitions and placements always take the long form, whatever their length, as
// Flash's own tools wrote them.
enum class SwfTagForm { Fit, Long };

// The longest tag body whose length, header included, still fits a signed 32-bit count.
constexpr uint32_t kMaxTagBodyLength = 0x7FFFFFFF - 6;

// Appends the header of a tag with this code and a body of `length` bytes: the short form when
// form is Fit and the length is below 63, the long form otherwise.
void WriteTagHeader(BitWriter& w, SwfTagCode code, uint32_t length,
                    SwfTagForm form = SwfTagForm::Fit);

// The whole tag: header and body. Empty when the body is longer than kMaxTagBodyLength.
std::vector<uint8_t> MakeTag(SwfTagCode code, const std::vector<uint8_t>& body,
                             SwfTagForm form = SwfTagForm::Fit);
