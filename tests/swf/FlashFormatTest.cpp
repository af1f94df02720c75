// The tags and headers of the files for Flash projects: libraries (DefineSprite, ExportAssets,
// SymbolClass), FileAttributes from version 8, CWS and ZWS files, unsmoothed bitmap fills and
// scaled placements. Compressed files are inflated here with zlib and liblzma themselves.

#include <gtest/gtest.h>
#include <lzma.h>
#include <zlib.h>

#include <functional>
#include <ostream>

#include "SwfTestUtil.h"
#include "support/TestFiles.h"
#include "swf/CSWFMovie.h"
#include "swf/CSWFShape.h"

using swftest::Hex;

namespace {

// The whole file of a 100 x 50 movie at 12 frames per second in this format.
std::vector<uint8_t> MovieBytes(const MovieFormat& format,
                                const std::function<void(CSWFMovie&)>& append = {}) {
    ScratchDir dir;
    CSWFMovie movie;
    EXPECT_TRUE(movie.SetFormat(format)) << movie.GetError();
    EXPECT_TRUE(movie.OpenFile(dir / "m.swf", 100, 50, 12)) << movie.GetError();
    if (append) append(movie);
    EXPECT_TRUE(movie.CloseFile()) << movie.GetError();
    return ReadFileBytes(dir / "m.swf").value_or(std::vector<uint8_t>{});
}

MovieFormat Version(uint8_t version) {
    MovieFormat format;
    format.version = version;
    return format;
}

// The CWS file's first 8 bytes and its zlib stream inflated.
std::vector<uint8_t> Inflated(const std::vector<uint8_t>& file) {
    std::vector<uint8_t> out(file.begin(), file.begin() + std::min<std::size_t>(8, file.size()));
    std::vector<uint8_t> rest(4096);
    uLongf size = rest.size();
    if (file.size() < 8 ||
        uncompress(rest.data(), &size, file.data() + 8, uLong(file.size() - 8)) != Z_OK)
        return {};
    out.insert(out.end(), rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(size));
    return out;
}

// The ZWS file's 17-byte head, its LZMA length field made FF FF FF FF when it is right, and its
// data decoded with the uncompressed length the header gives.
std::vector<uint8_t> Decoded(std::vector<uint8_t> file) {
    if (file.size() < 17) return {};
    const uint32_t packed = file[8] | file[9] << 8 | file[10] << 16 | uint32_t(file[11]) << 24;
    const uint32_t length = file[4] | file[5] << 8 | file[6] << 16 | uint32_t(file[7]) << 24;
    std::vector<uint8_t> stream(file.begin() + 12, file.begin() + 17);
    for (int i = 0; i < 8; ++i) stream.push_back(uint8_t(uint64_t(length - 8) >> (8 * i)));
    stream.insert(stream.end(), file.begin() + 17, file.end());
    if (packed == file.size() - 17) std::fill(file.begin() + 8, file.begin() + 12, 0xFF);
    std::vector<uint8_t> out(file.begin(), file.begin() + 17), rest(4096);
    lzma_stream s = LZMA_STREAM_INIT;
    if (lzma_alone_decoder(&s, UINT64_MAX) != LZMA_OK) return {};
    s.next_in = stream.data();
    s.avail_in = stream.size();
    s.next_out = rest.data();
    s.avail_out = rest.size();
    const lzma_ret rc = lzma_code(&s, LZMA_FINISH);
    out.insert(out.end(), rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(s.total_out));
    lzma_end(&s);
    return rc == LZMA_STREAM_END ? out : std::vector<uint8_t>{};
}

// The 2 x 2 bitmap-filled square of the shape tests, whose fill type is the 15th byte.
void DefineSquare(CSWFMovie& movie) {
    const float origin[2] = {0, 0};
    CSWFShape s(4, 0, 0, 2, 2, 4);
    s.AddBitmapFillStyle(3, 0, 0, 1, 1, 0, 0, 1, 1);
    s.ChangeStyle(origin, 0);
    s.AddStraightEdge(1, 0);
    s.AddStraightEdge(0, 1);
    s.AddStraightEdge(-1, 0);
    s.AddStraightEdge(0, -1);
    EXPECT_TRUE(movie.DefineObject(&s, 4, false));
}

struct FormatCase {
    const char* name;
    std::function<std::vector<uint8_t>()> bytes;
    const char* expected;
};

void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.name; }

class FlashFormat : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FlashFormat, EncodesByteForByte) { EXPECT_EQ(GetParam().bytes(), Hex(GetParam().expected)); }

constexpr const char* kStage = "60 00 3E 80 00 1F 40 00 0C ";  // 100 x 50 at 12 fps

const FormatCase kFormatCases[] = {
    // The ActionScript 3 flag (0x08), in the short form, right after the header.
    {"FileAttributesActionScript3",
     [] {
         MovieFormat format = Version(9);
         format.actionScript3 = true;
         return MovieBytes(format);
     },
     "46 57 53 09 1B 00 00 00 60 00 3E 80 00 1F 40 00 0C 00 00 44 11 08 00 00 00 00 00"},
    {"FileAttributesVersion8NoFlags", [] { return MovieBytes(Version(8)); },
     "46 57 53 08 1B 00 00 00 60 00 3E 80 00 1F 40 00 0C 00 00 44 11 00 00 00 00 00 00"},
    // SpriteId 7, FrameCount 1, its PlaceObject2 and ShowFrame and End inside; the file's own
    // frame count stays 0.
    {"DefineSpriteHoldsItsTimeline",
     [] {
         return MovieBytes(Version(3), [](CSWFMovie& m) {
             CSWFMatrix identity;
             EXPECT_TRUE(m.BeginSprite());
             EXPECT_TRUE(m.PlaceCharacter(5, 1, identity));
             EXPECT_TRUE(m.ShowFrame());
             EXPECT_EQ(m.GetFrameCount(), 1);
             EXPECT_TRUE(m.EndSprite(7));
             EXPECT_EQ(m.GetFrameCount(), 0);
         });
     },
     "46 57 53 03 2F 00 00 00 60 00 3E 80 00 1F 40 00 0C 00 00 "
     "FF 09 14 00 00 00 07 00 01 00 BF 06 06 00 00 00 06 01 00 05 00 00 40 00 00 00 00 00"},
    {"ExportAssets",
     [] {
         return MovieBytes(Version(6), [](CSWFMovie& m) {
             EXPECT_TRUE(m.NameSymbols(SymbolTable::Exports, {{7, "Walk"}}));
         });
     },
     "46 57 53 06 20 00 00 00 60 00 3E 80 00 1F 40 00 0C 00 00 "
     "09 0E 01 00 07 00 57 61 6C 6B 00 00 00"},
    {"SymbolClass",
     [] {
         return MovieBytes(Version(7), [](CSWFMovie& m) {
             EXPECT_TRUE(m.NameSymbols(SymbolTable::Classes, {{7, "a.B"}, {9, "C"}}));
         });
     },
     "46 57 53 07 23 00 00 00 60 00 3E 80 00 1F 40 00 0C 00 00 "
     "0C 13 02 00 07 00 61 2E 42 00 09 00 43 00 00 00"},
    // The header's length is the uncompressed file's; the rest is one zlib stream.
    {"CwsHeader",
     [] {
         MovieFormat format = Version(6);
         format.compression = SwfCompression::Zlib;
         return Inflated(MovieBytes(format));
     },
     "43 57 53 06 15 00 00 00 60 00 3E 80 00 1F 40 00 0C 00 00 00 00"},
    // The LZMA data's length (FF FF FF FF here when right), properties lc 3 lp 0 pb 2 (5D) and
    // an 8 MiB dictionary, then the data; version 13 brings FileAttributes.
    {"ZwsHeader",
     [] {
         MovieFormat format = Version(13);
         format.compression = SwfCompression::Lzma;
         return Decoded(MovieBytes(format));
     },
     "5A 57 53 0D 1B 00 00 00 FF FF FF FF 5D 00 00 80 00 "
     "60 00 3E 80 00 1F 40 00 0C 00 00 44 11 00 00 00 00 00 00"},
    // From version 8 bitmap fills are 0x43, which players do not smooth...
    {"UnsmoothedFillFromVersion8", [] { return MovieBytes(Version(8), DefineSquare); },
     "46 57 53 08 42 00 00 00 60 00 3E 80 00 1F 40 00 0C 00 00 44 11 00 00 00 00 "
     "3F 08 21 00 00 00 04 00 38 05 00 14 00 01 43 03 00 D9 40 00 05 00 00 00 00 10 "
     "3C 25 A5 40 34 80 A6 9B 00 D2 05 80 00 00 00"},
    // ...unless smoothing is asked for.
    {"SmoothedFillWhenAsked",
     [] {
         MovieFormat format = Version(8);
         format.smoothBitmaps = true;
         return MovieBytes(format, DefineSquare);
     },
     "46 57 53 08 42 00 00 00 60 00 3E 80 00 1F 40 00 0C 00 00 44 11 00 00 00 00 "
     "3F 08 21 00 00 00 04 00 38 05 00 14 00 01 41 03 00 D9 40 00 05 00 00 00 00 10 "
     "3C 25 A5 40 34 80 A6 9B 00 D2 05 80 00 00 00"},
    // Scale 3: a 300 x 150 stage; a placement at (2, 1) pixels gains ScaleX = ScaleY = 3.0
    // (19 bits) and moves to (120, 60) twips (8 bits).
    {"ScaledStageAndPlacement",
     [] {
         MovieFormat format;
         format.scale = 3;
         return MovieBytes(format, [](CSWFMovie& m) {
             CSWFMatrix at;
             at.SetMatrix(0, 0, 0, 0, 2, 1);
             EXPECT_TRUE(m.PlaceCharacter(4, 4, at));
         });
     },
     "46 57 53 03 2A 00 00 00 70 00 0B B8 00 00 5D C0 00 0C 00 00 "
     "BF 06 0E 00 00 00 06 04 00 04 00 CD 80 00 30 00 02 1E 0F 00 00 00"},
};

INSTANTIATE_TEST_SUITE_P(Tags, FlashFormat, ::testing::ValuesIn(kFormatCases),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(FlashFormatTest, VersionsBelowWhatTheFormatNeedsAreRefused) {
    const std::pair<MovieFormat, uint8_t> needs[] = {{{.compression = SwfCompression::Zlib}, 6},
                                                     {{.compression = SwfCompression::Lzma}, 13},
                                                     {{.actionScript3 = true}, 9},
                                                     {{.smoothBitmaps = true}, 8},
                                                     {{}, 3}};
    for (auto [format, lowest] : needs) {
        EXPECT_EQ(LowestVersion(format), lowest);
        CSWFMovie movie;
        format.version = uint8_t(lowest - 1);
        EXPECT_FALSE(movie.SetFormat(format));
        format.version = lowest;
        EXPECT_TRUE(movie.SetFormat(format)) << movie.GetError();
    }
    CSWFMovie movie;
    EXPECT_FALSE(movie.SetFormat({.scale = 0}));
    EXPECT_FALSE(movie.SetFormat({.scale = 65}));
    ScratchDir dir;
    ASSERT_TRUE(movie.OpenFile(dir / "m.swf", 10, 10, 12));
    EXPECT_FALSE(movie.SetFormat({.scale = 2}));  // too late
    movie.Abandon();
}

TEST(FlashFormatTest, FilesThatDoNotInflateToTheirLengthAreRefused) {
    const char* files[] = {
        "47 49 46 38 39 61 00 00",                    // a GIF
        "43 57 53 06 15 00 00 00 78 DA 63",           // a zlib stream cut short
        "43 57 53 06 FF FF FF FF 78 DA 03 00 00 00 00 01",  // 4 GiB claimed, nothing there
        "5A 57 53 0D 15 00 00 00 05 00 00 00 5D 00",  // the LZMA head cut short
        // A 4 GiB dictionary: refused, not allocated.
        "5A 57 53 0D 15 00 00 00 05 00 00 00 5D FF FF FF FF 00 00 00 00 00"};
    for (const char* hex : files) {
        std::string error;
        EXPECT_FALSE(UncompressedMovie(Hex(hex), error).has_value()) << hex;
        EXPECT_FALSE(error.empty()) << hex;
    }
    std::string error;
    const std::vector<uint8_t> plain = Hex("46 57 53 03 0D 00 00 00 00 00 00 00 00");
    EXPECT_EQ(UncompressedMovie(plain, error), plain);
}

TEST(FlashFormatTest, SymbolTablesRefuseWhatCannotBeWritten) {
    ScratchDir dir;
    CSWFMovie movie;
    ASSERT_TRUE(movie.OpenFile(dir / "m.swf", 10, 10, 12));
    EXPECT_FALSE(movie.NameSymbols(SymbolTable::Classes, {}));
    EXPECT_FALSE(movie.NameSymbols(SymbolTable::Classes, {{3, ""}}));
    EXPECT_FALSE(movie.NameSymbols(SymbolTable::Exports, {{3, std::string("a\0b", 3)}}));
    EXPECT_FALSE(movie.EndSprite(3));  // none open
    ASSERT_TRUE(movie.BeginSprite());
    EXPECT_FALSE(movie.BeginSprite());
    EXPECT_FALSE(movie.EndSprite(0));
    movie.Abandon();
}

TEST(FlashFormatTest, SpritesAndDefinitionsRaiseTheHighestId) {
    ScratchDir dir;
    CSWFMovie movie;
    ASSERT_TRUE(movie.OpenFile(dir / "m.swf", 10, 10, 12));
    EXPECT_EQ(movie.HighestId(), 0);
    DefineSquare(movie);
    EXPECT_EQ(movie.HighestId(), 4);
    ASSERT_TRUE(movie.BeginSprite());
    ASSERT_TRUE(movie.EndSprite(9));
    EXPECT_EQ(movie.HighestId(), 9);
    movie.Abandon();
}

TEST(FlashFormatTest, ScaledMatricesSaturateAndAreFlagged) {
    CSWFMatrix near;
    near.SetMatrix(1, 1, 0.5f, 0, 0, 0);
    const CSWFMatrix doubled = near.Scaled(2);
    EXPECT_TRUE(doubled.IsValid());
    CSWFMatrix far;
    far.SetMatrix(0, 0, 0, 0, 30000000, 0);  // 6e8 twips: 3 times that is beyond 2^30
    EXPECT_TRUE(far.IsValid());
    EXPECT_FALSE(far.Scaled(3).IsValid());
    CSWFMatrix big;
    big.SetMatrix(10000, 10000, 0, 0, 0, 0);
    EXPECT_FALSE(big.Scaled(2).IsValid());
}

}  // namespace
