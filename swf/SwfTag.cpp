#include "swf/SwfTag.h"

namespace {

constexpr uint32_t kLongLengthMark = 0x3F;

}  // namespace

void WriteTagHeader(BitWriter& w, SwfTagCode code, uint32_t length, SwfTagForm form) {
    const auto codeBits = static_cast<uint16_t>(static_cast<uint16_t>(code) << 6);
    if (form == SwfTagForm::Fit && length < kLongLengthMark) {
        w.WriteU16(static_cast<uint16_t>(codeBits | length));
        return;
    }
    w.WriteU16(static_cast<uint16_t>(codeBits | kLongLengthMark));
    w.WriteU32(length);
}

std::vector<uint8_t> MakeTag(SwfTagCode code, const std::vector<uint8_t>& body, SwfTagForm form) {
    if (body.size() > kMaxTagBodyLength) return {};
    BitWriter w;
    WriteTagHeader(w, code, static_cast<uint32_t>(body.size()), form);
    w.WriteBytes(body);
    return w.TakeBytes();
}
