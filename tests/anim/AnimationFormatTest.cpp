// Formats told by their first bytes, and the names a folder's listing takes.

#include <gtest/gtest.h>

#include "anim/AnimationFormat.h"

TEST(AnimationFormat, TheSignatureTellsTheFormat) {
    const struct {
        std::string start;
        AnimationFormat format;
    } cases[] = {
        {"GIF89a....", AnimationFormat::Gif},
        {"GIF87a", AnimationFormat::Gif},
        {"GIF88a", AnimationFormat::Unknown},
        {std::string("RIFF\x10\0\0\0WEBPVP8L", 16), AnimationFormat::WebP},
        {"RIFF\x10\0\0\0WAVE", AnimationFormat::Unknown},
        {"RIFF1234WEB", AnimationFormat::Unknown},  // too short
        {"\x89PNG\r\n\x1a\n", AnimationFormat::Png},
        {"\x89PNG\r\n\x1a", AnimationFormat::Unknown},
        {"\x89PNG\n\n\x1a\n", AnimationFormat::Unknown},  // a PNG whose line ends were changed
        {"", AnimationFormat::Unknown},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatOfStart(c.start), c.format) << c.start;
}

TEST(AnimationFormat, ListedNames) {
    for (const char* name : {"a.gif", "B.GIF", "c.webp", "d.WebP", "e.png", "f.PNG", "g.apng", "h.aPnG", ".png"})
        EXPECT_TRUE(HasAnimationExtension(name)) << name;
    for (const char* name : {"a.gifs", "b.jpg", "png", "c.web", "d.webpx", "e.ap ng", ""})
        EXPECT_FALSE(HasAnimationExtension(name)) << name;
}
