#include "swf/CSWFButton.h"

#include <cstring>

#include "swf/BitWriter.h"
#include "swf/SwfTag.h"

namespace {

constexpr uint8_t kActionStop = 0x07;
constexpr uint8_t kActionGetURL = 0x83;
constexpr uint8_t kActionEndFlag = 0x00;
// Condition flags as written: CondOverDownToOverUp in the first byte, nothing in the second.
constexpr uint8_t kCondOverDownToOverUp[2] = {0x08, 0x00};

}  // namespace

bool CSWFAction::AddGetURL(const char* url) {
    if (url == nullptr) return false;
    const std::size_t n = std::strlen(url);
    if (n > kMaxUrlBytes) return false;
    Record r{kActionGetURL, {}};
    r.payload.reserve(n + 2);
    r.payload.insert(r.payload.end(), url, url + n + 1);  // the URL and its NUL
    r.payload.push_back(0);                               // the empty target window
    m_records.push_back(std::move(r));
    return true;
}

void CSWFAction::AddStop() { m_records.push_back({kActionStop, {}}); }

const uint8_t* CSWFAction::GetData() {
    BitWriter w;
    for (const Record& r : m_records) {
        w.WriteU8(r.code);
        // Codes of 0x80 and above carry a length; a record without payload is the code alone.
        if (!r.payload.empty()) {
            w.WriteU16(static_cast<uint16_t>(r.payload.size()));
            w.WriteBytes(r.payload);
        }
    }
    w.WriteU8(kActionEndFlag);
    m_data = w.TakeBytes();
    return m_data.data();
}

CSWFButton::CSWFButton(uint16_t id) : CSWFObject(SWF_KIND_BUTTON, id, 0xFFFF) {}

bool CSWFButton::AddRecord(uint8_t flags, uint16_t id, uint16_t depth) {
    if (m_records.size() >= kMaxRecords) return false;
    m_records.push_back({static_cast<uint8_t>(flags & 0x0F), id, depth});
    return true;
}

bool CSWFButton::AddAction(CSWFAction& action) {
    // Every condition action but the last carries its own size + 4 in a 16-bit field.
    if (!m_actions.empty() && m_actions.back().size() + 4 > 0xFFFF) return false;
    const uint8_t* bytes = action.GetData();
    m_actions.emplace_back(bytes, bytes + action.GetSize());
    return true;
}

const uint8_t* CSWFButton::GetData() {
    m_data.clear();
    BitWriter records;
    for (const Record& r : m_records) {
        records.WriteU8(r.flags);
        records.WriteU16(r.id);
        records.WriteU16(r.depth);
        CSWFMatrix matrix;
        matrix.SetMatrix(0, 0, 0, 0, 0, 0);
        WriteEncoded(records, matrix);
        records.WriteU8(0);  // the empty CXFORMWITHALPHA: no colour change
    }
    const std::size_t recordBytes = records.Bytes().size();

    BitWriter body;
    body.WriteU16(GetId());
    body.WriteU8(0);  // ReservedFlags, TrackAsMenu 0: a push button
    // ActionOffset: from this field to the first condition action, 0 when there is none.
    body.WriteU16(m_actions.empty() ? 0 : static_cast<uint16_t>(recordBytes + 3));
    body.WriteBytes(records.Bytes());
    body.WriteU8(0);  // CharacterEndFlag
    for (std::size_t i = 0; i < m_actions.size(); ++i) {
        const std::vector<uint8_t>& a = m_actions[i];
        const bool last = i + 1 == m_actions.size();
        body.WriteU16(last ? 0 : static_cast<uint16_t>(a.size() + 4));  // CondActionSize
        body.WriteBytes(kCondOverDownToOverUp, sizeof kCondOverDownToOverUp);
        body.WriteBytes(a);
    }
    if (!m_actions.empty()) body.WriteU16(0);

    m_data = MakeTag(SwfTagCode::DefineButton2, body.Bytes(), SwfTagForm::Long);
    return m_data.empty() ? nullptr : m_data.data();
}
