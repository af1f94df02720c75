#include <gtest/gtest.h>

#include "jobs/Library.h"

namespace {

TEST(LibraryTest, TitlesBecomeIdentifiers) {
    const std::pair<const char*, const char*> cases[] = {
        {"Walk", "Walk"},           {"3 d-walk", "_3_d_walk"},  // a leading digit
        {"", "Animation"},          {"class", "_class"},        // a reserved word
        {"h\xC3\xA9llo", "h__llo"},                             // each byte of a UTF-8 letter
        {"$cash_1", "$cash_1"},     {"a.b", "a_b"}};
    for (const auto& [title, name] : cases) {
        EXPECT_EQ(SymbolNameFromTitle(title), name) << title;
        EXPECT_TRUE(IsActionScriptIdentifier(SymbolNameFromTitle(title))) << title;
    }
}

TEST(LibraryTest, IdentifiersAndPackageNames) {
    for (const char* name : {"A", "_", "$x9", "game"}) EXPECT_TRUE(IsActionScriptIdentifier(name));
    for (const char* name : {"", "9a", "a-b", "a.b", "var", "new", "a b"})
        EXPECT_FALSE(IsActionScriptIdentifier(name)) << name;
    for (const char* name : {"game", "game.anim", "a.b.c_d"}) EXPECT_TRUE(IsPackageName(name));
    for (const char* name : {"", ".game", "game.", "game..anim", "game.class", "1.a"})
        EXPECT_FALSE(IsPackageName(name)) << name;
}

TEST(LibraryTest, SymbolNamesAreUniqueAndTakeThePackage) {
    BatchRequest request;
    request.files = {"a/walk.gif", "b/walk.gif", "walk_2.gif", "b/walk.GIF"};
    EXPECT_EQ(SymbolNames(request),
              (std::vector<std::string>{"walk", "walk_2", "walk_2_2", "walk_3"}));
    request.options.package = "game.anim";
    request.options.symbol = "Hero";  // only for a library of one GIF
    EXPECT_EQ(SymbolNames(request).front(), "game.anim.walk");
    request.files = {"x.gif"};
    EXPECT_EQ(SymbolNames(request), std::vector<std::string>{"game.anim.Hero"});
}

}  // namespace
