// convert for Flash projects: libraries of symbols (ActionScript 3 and 2), compression,
// versions, smoothing and scale, and `info` on the movies they make. The files are read with
// the tests' own tag walker and with zlib and liblzma.

#include <gtest/gtest.h>
#include <lzma.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "support/CliTest.h"
#include "support/SwfReader.h"

namespace fs = std::filesystem;
using namespace swftest;

namespace {

class FlashCliTest : public CliTest {
protected:
    // Frames of three colours in turn.
    void MakeGif(const std::string& name, int frames) {
        GifBuilder gif(8, 6);
        gif.GlobalColors({{250, 0, 0}, {0, 0, 250}, {0, 200, 0}});
        for (int i = 0; i < frames; ++i) gif.Solid(0, 0, 8, 6, uint8_t(i % 3), 10);
        ASSERT_TRUE(gif.Write(dir / name)) << gif.Error();
    }
    SwfFile Read(const std::string& name) {
        SwfFile swf = ReadSwfFile(dir / name);
        EXPECT_TRUE(swf.ok) << swf.error;
        return swf;
    }
};

// Each symbol: its sprite's timeline, by name.
struct Library {
    std::map<std::string, SwfFile> sprites;
    std::map<std::string, uint16_t> ids;
};

Library SymbolsOf(const SwfFile& swf, uint16_t table) {
    Library library;
    std::map<uint16_t, SwfFile> sprites;
    std::set<uint16_t> defined;
    for (const SwfTag& tag : swf.tags) {
        if (tag.code == kTagDefineSprite) {
            uint16_t id = 0;
            SwfFile sprite = ParseSprite(tag, &id);
            EXPECT_TRUE(sprite.ok) << sprite.error;
            // Every character it places is defined before it.
            for (const SwfTag* place : sprite.TagsWithCode(kTagPlaceObject2))
                EXPECT_TRUE(defined.count(ParsePlaceObject2(*place)->id)) << "sprite " << id;
            sprites[id] = sprite;
        }
        if (tag.code == kTagDefineSprite || tag.code == kTagDefineShape3 ||
            tag.code == kTagDefineBitsJPEG2 || tag.code == kTagDefineBitsLossless) {
            EXPECT_TRUE(defined.insert(DefinitionId(tag)).second) << "id used twice";
        }
        if (tag.code == table) {
            for (const auto& [id, name] : ParseSymbols(tag)) {
                library.sprites[name] = sprites[id];
                library.ids[name] = id;
            }
        }
    }
    return library;
}

TEST_F(FlashCliTest, SeveralGifsMakeOneActionScript3Library) {
    MakeGif("Walk.gif", 3);
    MakeGif("3 d-jump.gif", 5);
    const CliRun run = Quorvel({"convert", "--library", "Walk.gif", "3 d-jump.gif", "-o", "lib.swf",
                                "--bitmaps", "lossless", "--package", "game.anim"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "lib.swf\n");
    const SwfFile swf = Read("lib.swf");
    EXPECT_EQ(swf.version, 9);
    ASSERT_FALSE(swf.tags.empty());
    ASSERT_EQ(swf.tags[0].code, kTagFileAttributes);
    EXPECT_EQ(swf.tags[0].body, std::vector<uint8_t>({8, 0, 0, 0}));
    EXPECT_EQ(swf.frameCount, 1);
    EXPECT_EQ(swf.CountTags(kTagExportAssets), 0);
    EXPECT_EQ(swf.CountTags(kTagDoAction), 0);
    const Library library = SymbolsOf(swf, kTagSymbolClass);
    ASSERT_EQ(library.sprites.size(), 2u);
    // A symbol loops: its frames and no Stop.
    EXPECT_EQ(library.sprites.at("game.anim.Walk").frameCount, 3);
    EXPECT_EQ(library.sprites.at("game.anim._3_d_jump").frameCount, 5);
    for (const auto& [name, sprite] : library.sprites) EXPECT_EQ(sprite.CountTags(kTagDoAction), 0);
}

TEST_F(FlashCliTest, ActionScript2LibrariesExportAndStopAsLoopSays) {
    MakeGif("clip.gif", 4);
    const struct {
        std::vector<std::string> options;
        int frames;
        bool stops;
    } cases[] = {{{}, 4, true},  // the GIF has no loop count: it plays once, as in browsers
                 {{"--loop", "forever"}, 4, false},
                 {{"--loop", "0"}, 4, false},
                 {{"--timing", "fixed"}, 4, false},
                 {{"--loop", "once"}, 4, true},
                 {{"--loop", "2"}, 8, true},
                 {{"--loop", "2", "--symbol", "Hero"}, 8, true}};
    for (const auto& c : cases) {
        std::vector<std::string> args = {"convert", "--library=as2", "clip.gif", "-o", "a.swf"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const CliRun run = Quorvel(args);
        ASSERT_EQ(run.status, 0) << run.err;
        const SwfFile swf = Read("a.swf");
        EXPECT_EQ(swf.version, 6);
        EXPECT_EQ(swf.CountTags(kTagFileAttributes), 0);
        const Library library = SymbolsOf(swf, kTagExportAssets);
        const std::string name = c.options.size() == 4 ? "Hero" : "clip";
        SCOPED_TRACE(c.options.empty() ? "defaults" : c.options.front() + " " + c.options.back());
        ASSERT_EQ(library.sprites.count(name), 1u) << name;
        const SwfFile& sprite = library.sprites.at(name);
        EXPECT_EQ(sprite.frameCount, c.frames);
        // The Stop is in the last frame: after the last ShowFrame but one.
        const auto actions = sprite.TagsWithCode(kTagDoAction);
        ASSERT_EQ(actions.size(), c.stops ? 1u : 0u);
        if (c.stops) {
            EXPECT_EQ(actions[0]->body, std::vector<uint8_t>({0x07, 0x00}));
            EXPECT_EQ(sprite.tags[sprite.tags.size() - 3].offset, actions[0]->offset);
        }
    }
}

TEST_F(FlashCliTest, OneFailedGifNamesItAndWritesNoLibrary) {
    MakeGif("good.gif", 2);
    std::ofstream(dir / "bad.gif") << "not a GIF";
    const CliRun run =
        Quorvel({"convert", "--library", "good.gif", "bad.gif", "good.gif", "-o", "lib.swf"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("bad.gif"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("no library written"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(dir / "lib.swf"));
    EXPECT_EQ(dir.List(), std::vector<std::string>({"bad.gif", "good.gif"}));
}

TEST_F(FlashCliTest, NoOverwriteKeepsALibraryOfSeveralGifs) {
    MakeGif("a.gif", 2);
    MakeGif("b.gif", 3);
    std::ofstream(dir / "lib.swf") << "kept";
    const CliRun run = Quorvel({"convert", "--library", "a.gif", "b.gif", "-o", "lib.swf", "-n"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("not replaced"), std::string::npos) << run.err;
    EXPECT_EQ(ReadText(dir / "lib.swf"), "kept");
}

TEST_F(FlashCliTest, OptionsThatCannotBeFollowedAreUsageErrors) {
    MakeGif("a.gif", 2);
    MakeGif("b.gif", 2);
    const std::vector<std::vector<std::string>> refused = {
        {"--library", "--url", "http://example.org/"},
        {"--library", "--html"},
        {"--library", "--loop", "once"},  // an ActionScript 3 symbol cannot stop
        {"--library", "--symbol", "class"},
        {"--library", "--symbol", "9lives"},
        {"--library", "--package", "game..anim"},
        {"--symbol", "Name"},  // without --library
        {"--library=as4"},
        {"--compress", "zlib", "--swf-version", "5"},
        {"--compress", "lzma", "--swf-version", "12"},
        {"--library", "--swf-version", "8"},
        {"--library=as2", "--swf-version", "5"},
        {"--swf-version", "44"},
        {"--scale", "0"},
        {"--compress", "gzip"}};
    for (const auto& options : refused) {
        std::vector<std::string> args = {"convert", "a.gif", "-o", "m.swf"};
        args.insert(args.end(), options.begin(), options.end());
        const CliRun run = Quorvel(args);
        EXPECT_EQ(run.status, 2) << options.back() << ": " << run.err;
    }
    EXPECT_EQ(
        Quorvel({"convert", "--library", "--symbol", "X", "a.gif", "b.gif", "-o", "l.swf"}).status,
        2);
    EXPECT_FALSE(fs::exists(dir / "m.swf"));
    EXPECT_FALSE(fs::exists(dir / "l.swf"));
}

// The uncompressed movie of a CWS or ZWS file, inflated here.
std::vector<uint8_t> Uncompressed(const std::vector<uint8_t>& file) {
    const uint32_t length = file[4] | file[5] << 8 | file[6] << 16 | uint32_t(file[7]) << 24;
    std::vector<uint8_t> movie(file.begin(), file.begin() + 8);
    movie.resize(length);
    movie[0] = 'F';
    if (file[0] == 'C') {
        uLongf size = length - 8;
        EXPECT_EQ(uncompress(movie.data() + 8, &size, file.data() + 8, uLong(file.size() - 8)),
                  Z_OK);
        EXPECT_EQ(size, length - 8);
        return movie;
    }
    std::vector<uint8_t> stream(file.begin() + 12, file.begin() + 17);
    for (int i = 0; i < 8; ++i) stream.push_back(uint8_t(uint64_t(length - 8) >> (8 * i)));
    stream.insert(stream.end(), file.begin() + 17, file.end());
    lzma_stream s = LZMA_STREAM_INIT;
    EXPECT_EQ(lzma_alone_decoder(&s, UINT64_MAX), LZMA_OK);
    s.next_in = stream.data();
    s.avail_in = stream.size();
    s.next_out = movie.data() + 8;
    s.avail_out = length - 8;
    EXPECT_EQ(lzma_code(&s, LZMA_FINISH), LZMA_STREAM_END);
    EXPECT_EQ(s.total_out, length - 8);
    lzma_end(&s);
    return movie;
}

TEST_F(FlashCliTest, CompressedFilesHoldTheMovieOfTheirVersion) {
    MakeGif("clip.gif", 3);
    const struct {
        const char* how;
        std::vector<std::string> version;
        char signature;
        uint8_t expected;
    } cases[] = {
        {"zlib", {}, 'C', 6}, {"lzma", {}, 'Z', 13}, {"zlib", {"--swf-version", "10"}, 'C', 10}};
    for (const auto& c : cases) {
        std::vector<std::string> args = {"convert", "clip.gif", "-o", "c.swf", "--compress", c.how};
        args.insert(args.end(), c.version.begin(), c.version.end());
        ASSERT_EQ(Quorvel(args).status, 0);
        std::vector<std::string> plain = {"convert", "clip.gif", "-o", "p.swf"};
        plain.insert(plain.end(), {"--swf-version", std::to_string(c.expected)});
        ASSERT_EQ(Quorvel(plain).status, 0);
        const std::vector<uint8_t> file = *ReadFileBytes(dir / "c.swf");
        ASSERT_GT(file.size(), 17u);
        EXPECT_EQ(file[0], c.signature);
        EXPECT_EQ(file[3], c.expected);
        if (c.signature == 'Z') {
            EXPECT_EQ(file[8] | file[9] << 8 | file[10] << 16 | uint32_t(file[11]) << 24,
                      file.size() - 17);
        }
        // The same movie as the uncompressed one of that version.
        EXPECT_EQ(Uncompressed(file), *ReadFileBytes(dir / "p.swf")) << c.how;
    }
}

TEST_F(FlashCliTest, VersionsFromEightStartWithFileAttributesAndDoNotSmooth) {
    MakeGif("clip.gif", 2);
    const struct {
        std::vector<std::string> options;
        uint8_t version;
        uint8_t fill;
    } cases[] = {{{}, 3, 0x41},
                 {{"--swf-version", "7"}, 7, 0x41},
                 {{"--swf-version", "10"}, 10, 0x43},
                 {{"--swf-version", "10", "--smooth"}, 10, 0x41},
                 {{"--smooth"}, 8, 0x41},
                 {{"--swf-version", "43", "--changed-areas"}, 43, 0x43}};
    for (const auto& c : cases) {
        std::vector<std::string> args = {"convert", "clip.gif", "-o", "v.swf"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        ASSERT_EQ(Quorvel(args).status, 0);
        const SwfFile swf = Read("v.swf");
        EXPECT_EQ(swf.version, c.version);
        EXPECT_EQ(swf.CountTags(kTagFileAttributes), c.version >= 8 ? 1 : 0);
        if (c.version >= 8) {
            EXPECT_EQ(swf.tags[0].code, kTagFileAttributes);
        }
        for (const SwfTag* shape : swf.TagsWithCode(kTagDefineShape3))
            for (const ShapeFill& fill : ParseDefineShape3(*shape).fills)
                EXPECT_EQ(fill.type, c.fill) << "version " << int(c.version);
    }
}

TEST_F(FlashCliTest, ScaleMultipliesTheStageAndThePlacementsOnly) {
    MakeGif("clip.gif", 3);
    ASSERT_EQ(Quorvel({"convert", "clip.gif", "-o", "s.swf", "--scale", "3", "--changed-areas",
                       "--url", "http://example.org/"})
                  .status,
              0);
    ASSERT_EQ(Quorvel({"convert", "clip.gif", "-o", "p.swf", "--changed-areas", "--url",
                       "http://example.org/"})
                  .status,
              0);
    const SwfFile scaled = Read("s.swf"), plain = Read("p.swf");
    EXPECT_EQ(scaled.xmax, 3 * 8 * 20);
    EXPECT_EQ(scaled.ymax, 3 * 6 * 20);
    const auto places = scaled.TagsWithCode(kTagPlaceObject2);
    const auto plainPlaces = plain.TagsWithCode(kTagPlaceObject2);
    ASSERT_EQ(places.size(), plainPlaces.size());
    for (std::size_t i = 0; i < places.size(); ++i) {
        const SwfMatrix m = ParsePlaceObject2(*places[i])->matrix;
        const SwfMatrix p = ParsePlaceObject2(*plainPlaces[i])->matrix;
        EXPECT_TRUE(m.hasScale);
        EXPECT_EQ(m.scaleX, 3 << 16);
        EXPECT_EQ(m.scaleY, 3 << 16);
        EXPECT_EQ(m.translateX, 3 * p.translateX);
        EXPECT_EQ(m.translateY, 3 * p.translateY);
    }
    // The shapes and bitmaps are those of the plain movie.
    for (const uint16_t code : {kTagDefineShape3, kTagDefineBitsJPEG2, kTagDefineButton2}) {
        const auto a = scaled.TagsWithCode(code), b = plain.TagsWithCode(code);
        ASSERT_EQ(a.size(), b.size());
        for (std::size_t i = 0; i < a.size(); ++i) EXPECT_EQ(a[i]->body, b[i]->body);
    }
}

TEST_F(FlashCliTest, InfoShowsAMoviesHeaderAndItsSymbols) {
    MakeGif("Walk.gif", 3);
    MakeGif("Jump.gif", 2);
    ASSERT_EQ(Quorvel({"convert", "--library", "Walk.gif", "Jump.gif", "-o", "lib.swf",
                       "--compress", "lzma", "--timing", "fixed", "--fps", "12"})
                  .status,
              0);
    const CliRun run = Quorvel({"info", "lib.swf"});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string expected_start =
        "lib.swf\n  version       13, ActionScript 3\n"
        "  compression   LZMA (ZWS), ";
    EXPECT_EQ(run.out.substr(0, expected_start.size()), expected_start);
    for (const char* line :
         {"  stage         8 x 6 pixels\n", "  rate          12 fps\n", "  frames        1\n",
          "  symbol        Walk (character 1, SymbolClass, 3 frames)\n",
          "  symbol        Jump (character "})
        EXPECT_NE(run.out.find(line), std::string::npos) << line << run.out;
    ASSERT_EQ(
        Quorvel({"convert", "--library=as2", "Walk.gif", "-o", "two.swf", "--compress", "zlib"})
            .status,
        0);
    const CliRun two = Quorvel({"info", "two.swf"});
    EXPECT_NE(two.out.find("  compression   zlib (CWS)"), std::string::npos) << two.out;
    EXPECT_NE(two.out.find("  symbol        Walk (character 1, ExportAssets, 3 frames)"),
              std::string::npos)
        << two.out;
    const std::string cut("CWS\x06\x40\0\0\0garbage", 15);  // not a zlib stream
    std::ofstream(dir / "cut.swf") << cut;
    EXPECT_EQ(Quorvel({"info", "cut.swf"}).status, 1);
}

}  // namespace
