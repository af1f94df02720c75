#include <gtest/gtest.h>

#include <string>

#include "SwfTestUtil.h"
#include "swf/CSWFButton.h"

using swftest::Encode;
using swftest::Hex;

namespace {

// Hit test, over, down, up: the order in which the converter adds its button records.
constexpr uint8_t kButtonStates[] = {0x08, 0x02, 0x04, 0x01};

TEST(ActionTest, ListEncodings) {
    const struct {
        const char* name;
        std::vector<const char*> urls;
        const char* bytes;
    } cases[] = {
        {"empty list", {}, "00"},
        {"empty URL", {""}, "83 02 00 00 00 00"},
        {"page.htm", {"page.htm"}, "83 0A 00 70 61 67 65 2E 68 74 6D 00 00 00"},
        {"two records", {"a", "bc"}, "83 03 00 61 00 00 83 04 00 62 63 00 00 00"},
    };
    for (const auto& c : cases) {
        CSWFAction a;
        for (const char* url : c.urls) ASSERT_TRUE(a.AddGetURL(url)) << c.name;
        EXPECT_EQ(Encode(a), Hex(c.bytes)) << c.name;
    }
}

TEST(ActionTest, UrlLengthLimit) {
    // 65533 bytes fill the 16-bit length with the two NULs; one more is refused.
    const std::string longest(CSWFAction::kMaxUrlBytes, 'x');
    CSWFAction a;
    ASSERT_TRUE(a.AddGetURL(longest.c_str()));
    const auto bytes = Encode(a);
    ASSERT_EQ(bytes.size(), longest.size() + 6);
    EXPECT_EQ(bytes[0], 0x83);
    EXPECT_EQ(bytes[1], 0xFF);
    EXPECT_EQ(bytes[2], 0xFF);

    const std::string tooLong(CSWFAction::kMaxUrlBytes + 1, 'x');
    CSWFAction b;
    EXPECT_FALSE(b.AddGetURL(tooLong.c_str()));
    EXPECT_FALSE(b.AddGetURL(nullptr));
    EXPECT_EQ(Encode(b), Hex("00"));  // nothing was added
}

// The conversion job's button for the URL page.htm, byte for byte.
TEST(ButtonTest, UrlButtonSixtyBytes) {
    CSWFAction action;
    ASSERT_TRUE(action.AddGetURL("page.htm"));
    CSWFButton button;
    for (uint8_t flags : kButtonStates) ASSERT_TRUE(button.AddRecord(flags, 1, 1));
    ASSERT_TRUE(button.AddAction(action));
    const auto expected =
        Hex("BF 08 36 00 00 00 02 00 00 1F 00 "
            "08 01 00 01 00 00 00 02 01 00 01 00 00 00 04 01 00 01 00 00 00 01 01 00 01 00 00 00 "
            "00 00 00 08 00 83 0A 00 70 61 67 65 2E 68 74 6D 00 00 00 00 00");
    ASSERT_EQ(expected.size(), 60u);
    EXPECT_EQ(Encode(button), expected);
    EXPECT_EQ(button.GetSize(), 60);
    EXPECT_EQ(button.GetKind(), SWF_KIND_BUTTON);
    EXPECT_EQ(button.GetId(), 2);
    EXPECT_EQ(button.GetDepth(), 0xFFFF);
}

TEST(ButtonTest, TagSizeGrowsWithTheUrl) {
    for (std::size_t n : {0u, 1u, 100u, 4000u}) {
        const std::string url(n, 'u');
        CSWFAction action;
        ASSERT_TRUE(action.AddGetURL(url.c_str()));
        CSWFButton button;
        for (uint8_t flags : kButtonStates) button.AddRecord(flags, 1, 1);
        button.AddAction(action);
        const auto bytes = Encode(button);
        ASSERT_EQ(bytes.size(), n + 52);
        const uint32_t length = bytes[2] | bytes[3] << 8 | bytes[4] << 16 | bytes[5] << 24;
        EXPECT_EQ(length, n + 46);
    }
}

TEST(ButtonTest, WithoutConditionActions) {
    CSWFButton button;
    button.AddRecord(0x08, 1, 1);
    EXPECT_EQ(Encode(button), Hex("BF 08 0D 00 00 00 02 00 00 00 00 08 01 00 01 00 00 00 00"));
}

TEST(ButtonTest, StateFlagsKeepTheirLowFourBits) {
    CSWFButton button;
    button.AddRecord(0x18, 0x0203, 0x0405);
    EXPECT_EQ(Encode(button), Hex("BF 08 0D 00 00 00 02 00 00 00 00 08 03 02 05 04 00 00 00"));
}

TEST(ButtonTest, OnlyTheLastConditionActionHasSizeZero) {
    CSWFAction first, second;
    first.AddGetURL("a");  // b1 = 7
    second.AddGetURL("");  // b2 = 6
    CSWFButton button;
    button.AddRecord(0x08, 1, 1);
    button.AddAction(first);
    button.AddAction(second);
    EXPECT_EQ(Encode(button), Hex("BF 08 24 00 00 00 02 00 00 0A 00 08 01 00 01 00 00 00 00 "
                                  "0B 00 08 00 83 03 00 61 00 00 00 "
                                  "00 00 08 00 83 02 00 00 00 00 "
                                  "00 00"));
}

TEST(ButtonTest, EmptyActionListIsAttachedAsItsEndByte) {
    CSWFAction none;
    CSWFButton button;
    button.AddAction(none);
    EXPECT_EQ(Encode(button), Hex("BF 08 0D 00 00 00 02 00 00 03 00 00 00 00 08 00 00 00 00"));
}

// The size field of a condition action that is followed by another is 16 bits.
TEST(ButtonTest, ConditionActionTooLongToBeFollowedRefusesTheNext) {
    const std::string url(CSWFAction::kMaxUrlBytes, 'x');
    CSWFAction big, small;
    ASSERT_TRUE(big.AddGetURL(url.c_str()));
    small.AddGetURL("a");
    CSWFButton button;
    ASSERT_TRUE(button.AddAction(big));  // alone it is the last, of size 0
    EXPECT_FALSE(button.AddAction(small));
    const auto bytes = Encode(button);
    EXPECT_EQ(bytes.size(), 12u + url.size() + 6 + 4 + 2);

    CSWFButton fits;
    const std::string fitting(65531 - 6, 'y');  // b + 4 = 65535
    CSWFAction edge;
    ASSERT_TRUE(edge.AddGetURL(fitting.c_str()));
    ASSERT_TRUE(fits.AddAction(edge));
    EXPECT_TRUE(fits.AddAction(small));
}

TEST(ButtonTest, ActionOffsetStaysWithinSixteenBits) {
    CSWFButton button;
    for (std::size_t i = 0; i < CSWFButton::kMaxRecords; ++i) {
        ASSERT_TRUE(button.AddRecord(0x08, 1, 1));
    }
    EXPECT_FALSE(button.AddRecord(0x08, 1, 1));
    CSWFAction action;
    button.AddAction(action);
    const auto bytes = Encode(button);
    ASSERT_GT(bytes.size(), 11u);
    EXPECT_EQ(bytes[9] | bytes[10] << 8, CSWFButton::kMaxRecords * 7 + 3);
}

}  // namespace
