#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "swf/CSWFObject.h"

// A list of action records, encoded as the Actions field of a button's condition action or the
// body of a DoAction tag, ending with ActionEndFlag.
class CSWFAction {
public:
    // The ActionGetURL length field is 16 bits and holds the URL, its NUL and the empty
    // target's NUL.
    static constexpr std::size_t kMaxUrlBytes = 65533;

    virtual ~CSWFAction() = default;

    // Appends ActionGetURL with this URL and an empty target window. False, and nothing added,
    // when url is null or longer than kMaxUrlBytes.
    bool AddGetURL(const char* url);
    // Appends ActionStop: the timeline stops at the frame that runs it.
    void AddStop();
    // Encodes the list; the pointer stays valid until the next call.
    const uint8_t* GetData();
    int GetSize() const { return static_cast<int>(m_data.size()); }

private:
    struct Record {
        uint8_t code;
        std::vector<uint8_t> payload;
    };
    std::vector<Record> m_records;
    std::vector<uint8_t> m_data;
};

// A push button: one DefineButton2 tag whose button records show other characters in the
// button's states and whose condition actions run when the mouse is released over it.
class CSWFButton : public CSWFObject {
public:
    // ActionOffset is 16 bits: with every record 7 bytes long, at most 9361 records fit.
    static constexpr std::size_t kMaxRecords = 9361;

    explicit CSWFButton(uint16_t id = 2);

    // Appends a button record showing character id at depth in the states of flags (hit test
    // 0x08, down 0x04, over 0x02, up 0x01; higher bits are dropped). False when full.
    bool AddRecord(uint8_t flags, uint16_t id, uint16_t depth);
    // Appends a condition action running a copy of the list when the mouse button is released
    // over the button. False, and nothing added, when the previous condition action is too long
    // to be followed by another (its size field is 16 bits).
    bool AddAction(CSWFAction& action);

    // Builds the DefineButton2 tag. Null, with size 0, if it would not fit a 32-bit length.
    const uint8_t* GetData() override;
    int GetSize() const override { return static_cast<int>(m_data.size()); }

private:
    struct Record {
        uint8_t flags;
        uint16_t id;
        uint16_t depth;
    };
    std::vector<Record> m_records;
    std::vector<std::vector<uint8_t>> m_actions;  // the bytes of each condition action's list
    std::vector<uint8_t> m_data;
};
