#include <gtest/gtest.h>

#include "jobs/Options.h"

namespace {

// Every choice has one name, found again in any letter case; other names are refused.
TEST(OptionsTest, NamesAndValuesMapBothWays) {
    for (const auto& [value, name] : kQualityNames) {
        EXPECT_EQ(NameOf(kQualityNames, value), name);
        std::string upper(name);
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        EXPECT_EQ(FromName(kQualityNames, upper), value) << upper;
    }
    EXPECT_EQ(FromName(kQualityNames, "best"), std::nullopt);
    EXPECT_EQ(FromName(kQualityNames, "1"), std::nullopt);  // names only, never numbers
    EXPECT_EQ(FromName(kExtractFormatNames, ""), std::nullopt);
    EXPECT_EQ(NameOf(kQualityNames, static_cast<Quality>(7)), "");
    EXPECT_EQ(NameList(kQualityNames), "low, normal or high");
    EXPECT_EQ(NameList(kTimingNames), "fixed or gif");
}

TEST(OptionsTest, LoopNamesAndCounts) {
    using Kind = LoopOption::Kind;
    const std::pair<const char*, std::optional<LoopOption>> cases[] = {
        {"forever", LoopOption{Kind::Forever, 1}}, {"Once", LoopOption{Kind::Once, 1}},
        {"gif", LoopOption{Kind::Gif, 1}},         {"3", LoopOption{Kind::Times, 3}},
        {"0", LoopOption{Kind::Forever, 1}},       {"-2", std::nullopt},
        {"-0", std::nullopt},                      {"+0", std::nullopt},
        {"3x", std::nullopt},                      {"", std::nullopt},
        {"99999999999", std::nullopt},
    };
    for (const auto& [name, loop] : cases) EXPECT_EQ(LoopOptionFromName(name), loop) << name;
}

TEST(OptionsTest, ColourNames) {
    const std::pair<const char*, std::optional<RgbColor>> cases[] = {
        {"#1a2B3c", 0x1A2B3C},     {"WHITE", 0xFFFFFF},        {"black", 0},
        {"#12345", std::nullopt},  {"#1234567", std::nullopt}, {"123456", std::nullopt},
        {"#12345g", std::nullopt}, {"#-12345", std::nullopt},  {"#+12345", std::nullopt},
        // "#rgb": each digit twice, as CSS reads it.
        {"#abc", 0xAABBCC},        {"#F0a", 0xFF00AA},         {"#000", 0},
        {"#ab", std::nullopt},     {"#abcd", std::nullopt},    {"#ab-", std::nullopt},
        {"#", std::nullopt},       {"", std::nullopt},         {"abc", std::nullopt},
        // CSS's names, in any letter case.
        {"red", 0xFF0000},         {"RebeccaPurple", 0x663399}, {"grey", 0x808080},
        {"gray", 0x808080},        {"aliceblue", 0xF0F8FF},    {"yellowgreen", 0x9ACD32},
        {"transparent", std::nullopt}, {"redd", std::nullopt}, {"re", std::nullopt},
    };
    for (const auto& [name, color] : cases) EXPECT_EQ(ColorFromName(name), color) << name;
    EXPECT_EQ(ColorName(0x0A0B0C), "#0a0b0c");
}

}  // namespace
