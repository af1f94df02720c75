#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <fstream>
#include <functional>
#include <string>

#include "SwfTestUtil.h"
#include "support/SwfReader.h"
#include "swf/CSWFBitmap.h"
#include "swf/CSWFMovie.h"
#include "swf/CSWFShape.h"
#include "jobs/convert/Timeline.h"

using swftest::Hex;

namespace {

// Header of a 100 x 50 stage at 12 frames per second (RECT of 7 bytes), frame count and length
// left out: the tags start at offset 19.
constexpr std::size_t kHeader100x50 = 19;

std::vector<uint8_t> FileBytes(const std::filesystem::path& path) {
    auto bytes = ReadFileBytes(path);
    EXPECT_TRUE(bytes.has_value()) << path;
    return bytes.value_or(std::vector<uint8_t>{});
}

// The tags between the header of a 100 x 50 movie and its End tag.
std::vector<uint8_t> BodyOf(const std::function<void(CSWFMovie&)>& append) {
    ScratchDir dir;
    const auto path = dir / "body.swf";
    CSWFMovie movie;
    EXPECT_TRUE(movie.OpenFile(path, 100, 50, 12));
    append(movie);
    EXPECT_TRUE(movie.CloseFile()) << movie.GetError();
    const auto bytes = FileBytes(path);
    if (bytes.size() < kHeader100x50 + 2) return {};
    return std::vector<uint8_t>(bytes.begin() + kHeader100x50, bytes.end() - 2);
}

// A character whose tag is a fixed byte sequence.
class FixedObject : public CSWFObject {
public:
    FixedObject(int kind, uint16_t id, std::vector<uint8_t> tag)
        : CSWFObject(kind, id, 0), m_tag(std::move(tag)) {}
    const uint8_t* GetData() override { return m_tag.empty() ? nullptr : m_tag.data(); }
    int GetSize() const override { return static_cast<int>(m_tag.size()); }

private:
    std::vector<uint8_t> m_tag;
};

TEST(MovieTest, WhiteBackgroundAndOneFrameIs28Bytes) {
    ScratchDir dir;
    const auto path = dir / "movie.swf";
    CSWFMovie movie;
    ASSERT_TRUE(movie.OpenFile(path, 100, 50, 12)) << movie.GetError();
    movie.SetBackgroundColor(0xFF, 0xFF, 0xFF);
    ASSERT_TRUE(movie.ShowFrame());
    EXPECT_EQ(movie.GetFrameCount(), 1);
    ASSERT_TRUE(movie.CloseFile()) << movie.GetError();
    EXPECT_EQ(FileBytes(path), Hex("46 57 53 03 1C 00 00 00 60 00 3E 80 00 1F 40 00 0C 01 00 "
                                   "43 02 FF FF FF 40 00 00 00"));
    EXPECT_EQ(dir.List(), std::vector<std::string>{"movie.swf"});
}

TEST(MovieTest, NothingAppendedIs21Bytes) {
    ScratchDir dir;
    const auto path = dir / "empty.swf";
    CSWFMovie movie;
    ASSERT_TRUE(movie.OpenFile(path, 100, 50, 12));
    ASSERT_TRUE(movie.CloseFile()) << movie.GetError();
    EXPECT_EQ(FileBytes(path),
              Hex("46 57 53 03 15 00 00 00 60 00 3E 80 00 1F 40 00 0C 00 00 00 00"));
}

TEST(MovieTest, TagsAppendedBeforeOpenFileAreRefused) {
    ScratchDir dir;
    const auto path = dir / "early.swf";
    CSWFMovie movie;
    movie.SetBackgroundColor(0xFF, 0xFF, 0xFF);
    EXPECT_FALSE(movie.ShowFrame());
    EXPECT_EQ(movie.GetError(), "cannot append to the movie: no file is open");
    ASSERT_TRUE(movie.OpenFile(path, 100, 50, 12));
    ASSERT_TRUE(movie.CloseFile()) << movie.GetError();
    EXPECT_EQ(FileBytes(path),
              Hex("46 57 53 03 15 00 00 00 60 00 3E 80 00 1F 40 00 0C 00 00 00 00"));
}

TEST(MovieTest, FrameRateIsWholeFramesInTheHighByte) {
    for (const auto& [fps, bytes] : {std::pair{12, "00 0C"}, std::pair{25, "00 19"},
                                     std::pair{1, "00 01"}, std::pair{255, "00 FF"}}) {
        ScratchDir dir;
        CSWFMovie movie;
        ASSERT_TRUE(movie.OpenFile(dir / "rate.swf", 100, 50, fps)) << movie.GetError();
        ASSERT_TRUE(movie.CloseFile());
        const auto file = FileBytes(dir / "rate.swf");
        ASSERT_EQ(file.size(), 21u);
        EXPECT_EQ(std::vector<uint8_t>(file.begin() + 15, file.begin() + 17), Hex(bytes)) << fps;
    }
}

TEST(MovieTest, FrameRateOutsideTheFieldIsRefused) {
    for (int fps : {0, -1, 256, 1000}) {
        ScratchDir dir;
        CSWFMovie movie;
        EXPECT_FALSE(movie.OpenFile(dir / "rate.swf", 100, 50, fps)) << fps;
        EXPECT_NE(movie.GetError().find("frame rate " + std::to_string(fps)), std::string::npos)
            << movie.GetError();
        EXPECT_TRUE(dir.List().empty());
        // The movie stays usable: a later OpenFile with a good rate works.
        EXPECT_TRUE(movie.OpenFile(dir / "rate.swf", 100, 50, 10)) << movie.GetError();
        EXPECT_TRUE(movie.CloseFile());
    }
}

TEST(MovieTest, PlaceObject2Examples) {
    FixedObject shape1(SWF_KIND_SHAPE, 1, Hex("40 00"));
    FixedObject button2(SWF_KIND_BUTTON, 2, Hex("40 00"));
    EXPECT_EQ(BodyOf([&](CSWFMovie& m) { EXPECT_TRUE(m.PlaceObject(&shape1, 1)); }),
              Hex("BF 06 06 00 00 00 06 01 00 01 00 00"));
    EXPECT_EQ(BodyOf([&](CSWFMovie& m) { EXPECT_TRUE(m.PlaceObject(&button2, 2)); }),
              Hex("BF 06 06 00 00 00 06 02 00 02 00 00"));
    // A placement matrix other than the identity is written as it is.
    FixedObject moved(SWF_KIND_SHAPE, 0x0304, Hex("40 00"));
    moved.Matrix().SetMatrix(0, 0, 0, 0, 10, 5);
    EXPECT_EQ(BodyOf([&](CSWFMovie& m) { EXPECT_TRUE(m.PlaceObject(&moved, 0x0102)); }),
              Hex("BF 06 09 00 00 00 06 02 01 04 03 12 C8 32 00"));
}

TEST(MovieTest, RemoveObject2TakesTheDepthOnly) {
    EXPECT_EQ(BodyOf([&](CSWFMovie& m) { EXPECT_TRUE(m.RemoveObject(0x0102)); }),
              Hex("02 07 02 01"));
}

// A changed area of 3 x 2 pixels at (8, 16): a shape of that size at the origin, filled one
// bitmap pixel per pixel, moved into place by its placement.
TEST(MovieTest, ChangedAreaShapeAndPlacement) {
    CSWFShape shape = BitmapShape(6, 5, 3, 2);
    shape.Matrix().SetMatrix(0, 0, 0, 0, 8, 16);
    EXPECT_EQ(BodyOf([&](CSWFMovie& m) { EXPECT_TRUE(m.DefineObject(&shape, 6, true)); }),
              Hex("3F 08 22 00 00 00 06 00 38 07 80 14 00 01 41 05 00 D9 40 00 05 00 00 00 00 10 "
                  "3C 25 AD E0 0D 60 14 6B 88 03 58 0B 00 00 "
                  // PlaceObject2: HasMatrix and HasCharacter, depth 6, id 6, a translation
                  // only, of 10-bit fields: 160 and 320 twips.
                  "BF 06 09 00 00 00 06 06 00 06 00 14 50 28 00"));
}

TEST(MovieTest, DefineObjectPlacesEverythingButBitmaps) {
    const auto tag = Hex("C1 00 AA BB CC");  // the movie copies a tag without reading it
    const struct {
        const char* name;
        int kind;
        bool place;
        const char* body;
    } cases[] = {
        {"shape placed", SWF_KIND_SHAPE, true,
         "C1 00 AA BB CC BF 06 06 00 00 00 06 07 00 09 00 00"},
        {"button placed", SWF_KIND_BUTTON, true,
         "C1 00 AA BB CC BF 06 06 00 00 00 06 07 00 09 00 00"},
        {"shape not placed", SWF_KIND_SHAPE, false, "C1 00 AA BB CC"},
        {"bitmap never placed", SWF_KIND_BITMAP, true, "C1 00 AA BB CC"},
    };
    for (const auto& c : cases) {
        FixedObject obj(c.kind, 9, tag);
        EXPECT_EQ(BodyOf([&](CSWFMovie& m) { EXPECT_TRUE(m.DefineObject(&obj, 7, c.place)); }),
                  Hex(c.body))
            << c.name;
    }
}

TEST(MovieTest, NoObjectOrNoDataAppendsNothing) {
    FixedObject empty(SWF_KIND_BITMAP, 3, {});
    EXPECT_EQ(BodyOf([&](CSWFMovie& m) {
                  EXPECT_FALSE(m.DefineObject(nullptr, 1, true));
                  EXPECT_FALSE(m.PlaceObject(nullptr, 1));
                  EXPECT_FALSE(m.DefineObject(&empty, 1, true));
                  EXPECT_NE(m.GetError().find("character 3"), std::string::npos);
              }),
              std::vector<uint8_t>{});
}

TEST(MovieTest, RealObjectsAreCopiedUnchanged) {
    CSWFShape shape(4, 0, 0, 2, 2, 4);
    shape.AddBitmapFillStyle(3, 0, 0, 1, 1, 0, 0, 1, 1);
    const float origin[2] = {0, 0};
    shape.ChangeStyle(origin, 0);
    shape.AddStraightEdge(1, 0);
    const uint8_t jpeg[] = {0xFF, 0xD8, 0xFF, 0xD9};
    CSWFBitmap bitmap(3, jpeg, 4);
    std::vector<uint8_t> expected = swftest::Encode(bitmap);
    const auto shapeTag = swftest::Encode(shape);
    expected.insert(expected.end(), shapeTag.begin(), shapeTag.end());
    const auto place = Hex("BF 06 06 00 00 00 06 04 00 04 00 00");
    expected.insert(expected.end(), place.begin(), place.end());
    EXPECT_EQ(BodyOf([&](CSWFMovie& m) {
                  EXPECT_TRUE(m.DefineObject(&bitmap, 3, true));
                  EXPECT_TRUE(m.DefineObject(&shape, shape.GetDepth(), true));
              }),
              expected);
}

TEST(MovieTest, FrameCountStopsAt65535) {
    ScratchDir dir;
    const auto path = dir / "long.swf";
    CSWFMovie movie;
    ASSERT_TRUE(movie.OpenFile(path, 10, 10, 30));
    for (int i = 0; i < CSWFMovie::kMaxFrames; ++i) ASSERT_TRUE(movie.ShowFrame()) << i;
    EXPECT_FALSE(movie.ShowFrame());
    EXPECT_NE(movie.GetError().find("65535"), std::string::npos) << movie.GetError();
    EXPECT_EQ(movie.GetFrameCount(), 65535);
    ASSERT_TRUE(movie.CloseFile()) << movie.GetError();
    const auto swf = swftest::ReadSwfFile(path);
    ASSERT_TRUE(swf.ok) << swf.error;
    EXPECT_EQ(swf.frameCount, 65535);
    EXPECT_EQ(swf.CountTags(swftest::kTagShowFrame), 65535);
}

TEST(MovieTest, WideStageWidensTheRect) {
    ScratchDir dir;
    const auto path = dir / "wide.swf";
    CSWFMovie movie;
    ASSERT_TRUE(movie.OpenFile(path, 8191, 2000, 10));
    movie.ShowFrame();
    ASSERT_TRUE(movie.CloseFile());
    const auto swf = swftest::ReadSwfFile(path);
    ASSERT_TRUE(swf.ok) << swf.error;
    EXPECT_EQ(swf.rectBits, 19u);
    EXPECT_EQ(swf.xmax, 163820);
    EXPECT_EQ(swf.ymax, 40000);
}

TEST(MovieTest, StageTooLargeIsRefused) {
    ScratchDir dir;
    CSWFMovie movie;
    EXPECT_FALSE(movie.OpenFile(dir / "huge.swf", 1e9f, 10, 10));
    EXPECT_FALSE(movie.GetError().empty());
    EXPECT_TRUE(dir.List().empty());
}

TEST(MovieTest, OpenFileInAMissingFolderFails) {
    ScratchDir dir;
    const auto path = dir / "missing" / "out.swf";
    CSWFMovie movie;
    EXPECT_FALSE(movie.OpenFile(path, 100, 50, 12));
    EXPECT_EQ(movie.GetError(), "cannot create " + path.string() + ": No such file or directory");
    // Nothing can be appended, and closing without a file writes nothing.
    movie.SetBackgroundColor(1, 2, 3);
    EXPECT_FALSE(movie.ShowFrame());
    EXPECT_FALSE(movie.CloseFile());
    EXPECT_TRUE(dir.List().empty());
}

TEST(MovieTest, OpenFileOnAFolderFails) {
    ScratchDir dir;
    std::filesystem::create_directory(dir / "out.swf");
    CSWFMovie movie;
    EXPECT_FALSE(movie.OpenFile(dir / "out.swf", 100, 50, 12));
    EXPECT_NE(movie.GetError().find("Is a directory"), std::string::npos) << movie.GetError();
    EXPECT_EQ(dir.List(), std::vector<std::string>{"out.swf"});
}

TEST(MovieTest, SecondOpenFileFailsAndKeepsTheFirst) {
    ScratchDir dir;
    CSWFMovie movie;
    ASSERT_TRUE(movie.OpenFile(dir / "first.swf", 100, 50, 12));
    EXPECT_FALSE(movie.OpenFile(dir / "second.swf", 100, 50, 12));
    movie.ShowFrame();
    ASSERT_TRUE(movie.CloseFile()) << movie.GetError();
    EXPECT_EQ(dir.List(), std::vector<std::string>{"first.swf"});
    EXPECT_EQ(FileBytes(dir / "first.swf").size(), 23u);
    // A movie writes one file: after closing it neither reopens nor closes again.
    EXPECT_FALSE(movie.OpenFile(dir / "third.swf", 100, 50, 12));
    EXPECT_FALSE(movie.CloseFile());
    EXPECT_FALSE(movie.ShowFrame());
    EXPECT_EQ(dir.List(), std::vector<std::string>{"first.swf"});
}

TEST(MovieTest, TargetChangesOnlyWhenClosed) {
    ScratchDir dir;
    const auto path = dir / "anim.swf";
    WriteText(path, "old contents");
    CSWFMovie movie;
    ASSERT_TRUE(movie.OpenFile(path, 100, 50, 12));
    movie.SetBackgroundColor(0xFF, 0xFF, 0xFF);
    movie.ShowFrame();
    EXPECT_EQ(ReadText(path), "old contents");
    const auto entries = dir.List();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1], "anim.swf");
    EXPECT_EQ(entries[0].rfind(".anim.swf.", 0), 0u) << entries[0];  // hidden, beside the target
    ASSERT_TRUE(movie.CloseFile()) << movie.GetError();
    EXPECT_EQ(FileBytes(path).size(), 28u);
    EXPECT_EQ(dir.List(), std::vector<std::string>{"anim.swf"});
}

TEST(MovieTest, AbandoningLeavesNoTemporaryFile) {
    ScratchDir dir;
    const auto path = dir / "anim.swf";
    WriteText(path, "keep me");
    {
        CSWFMovie movie;
        ASSERT_TRUE(movie.OpenFile(path, 100, 50, 12));
        movie.ShowFrame();
        movie.Abandon();
        EXPECT_EQ(dir.List(), std::vector<std::string>{"anim.swf"});
        EXPECT_FALSE(movie.CloseFile());
    }
    {
        CSWFMovie movie;  // destroyed without CloseFile
        ASSERT_TRUE(movie.OpenFile(dir / "other.swf", 100, 50, 12));
        movie.ShowFrame();
    }
    EXPECT_EQ(dir.List(), std::vector<std::string>{"anim.swf"});
    EXPECT_EQ(ReadText(path), "keep me");
}

// Write errors while tags stream out are remembered and make CloseFile fail: the file size
// limit of the process makes the writes fail with "File too large".
TEST(MovieTest, WriteFailureLeavesNoFileAndTheTargetIntact) {
    ScratchDir dir;
    const auto path = dir / "anim.swf";
    WriteText(path, "earlier movie");
    const std::vector<uint8_t> jpeg(100000, 0x55);
    CSWFBitmap bitmap(3, jpeg.data(), static_cast<int32_t>(jpeg.size()));

    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);

    CSWFMovie movie;
    const bool opened = movie.OpenFile(path, 100, 50, 12);
    bool appendFailed = false;
    for (int i = 0; opened && i < 5; ++i) {
        appendFailed |= !movie.DefineObject(&bitmap, 3, true);
        movie.ShowFrame();
    }
    const bool closed = opened && movie.CloseFile();

    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    ASSERT_TRUE(opened) << movie.GetError();
    EXPECT_TRUE(appendFailed);  // the appends after the failure say so at once
    EXPECT_FALSE(closed);
    EXPECT_EQ(movie.GetError(), "cannot write " + path.string() + ": File too large");
    EXPECT_EQ(dir.List(), std::vector<std::string>{"anim.swf"});
    EXPECT_EQ(ReadText(path), "earlier movie");
}

TEST(MovieTest, RenameFailureLeavesNoTemporaryFile) {
    ScratchDir dir;
    const auto path = dir / "anim.swf";
    CSWFMovie movie;
    ASSERT_TRUE(movie.OpenFile(path, 100, 50, 12));
    movie.ShowFrame();
    // Something else puts a non-empty folder where the movie should go.
    std::filesystem::create_directory(path);
    WriteText(path / "inside", "x");
    EXPECT_FALSE(movie.CloseFile());
    EXPECT_EQ(movie.GetError().rfind("cannot write " + path.string() + ": ", 0), 0u)
        << movie.GetError();
    EXPECT_EQ(dir.List(), std::vector<std::string>{"anim.swf"});
    EXPECT_TRUE(std::filesystem::is_directory(path));
    EXPECT_EQ(ReadText(path / "inside"), "x");
}

TEST(MovieTest, NewFileFollowsTheUmaskAndAReplacedFileKeepsItsMode) {
    ScratchDir dir;
    const mode_t oldMask = umask(022);
    CSWFMovie fresh;
    const bool freshOk = fresh.OpenFile(dir / "new.swf", 10, 10, 10) && fresh.CloseFile();
    umask(027);
    CSWFMovie masked;
    const bool maskedOk = masked.OpenFile(dir / "masked.swf", 10, 10, 10) && masked.CloseFile();
    umask(oldMask);
    ASSERT_TRUE(freshOk);
    ASSERT_TRUE(maskedOk);

    WriteText(dir / "private.swf", "old");
    ASSERT_EQ(chmod((dir / "private.swf").c_str(), 0600), 0);
    CSWFMovie replacing;
    ASSERT_TRUE(replacing.OpenFile(dir / "private.swf", 10, 10, 10));
    ASSERT_TRUE(replacing.CloseFile());

    const auto mode = [&](const char* name) {
        struct stat st {};
        EXPECT_EQ(stat((dir / name).c_str(), &st), 0);
        return st.st_mode & 0777;
    };
    EXPECT_EQ(mode("new.swf"), 0644u);
    EXPECT_EQ(mode("masked.swf"), 0640u);
    EXPECT_EQ(mode("private.swf"), 0600u);
}

// Tags stream to the temporary file while the movie is written: memory holds at most the write
// buffer, and the file holds the rest before CloseFile.
TEST(MovieTest, TagsStreamToDiskBeforeClose) {
    ScratchDir dir;
    const auto path = dir / "big.swf";
    std::vector<uint8_t> jpeg(50000);
    for (std::size_t i = 0; i < jpeg.size(); ++i) jpeg[i] = static_cast<uint8_t>(i * 7);
    const std::vector<uint8_t> huge(600000, 0xAB);  // larger than the write buffer
    CSWFMovie movie;
    ASSERT_TRUE(movie.OpenFile(path, 320, 240, 25));
    for (int i = 0; i < 40; ++i) {
        CSWFBitmap b(static_cast<uint16_t>(3 + i), jpeg.data(), static_cast<int32_t>(jpeg.size()));
        ASSERT_TRUE(movie.DefineObject(&b, 0, false));
        ASSERT_TRUE(movie.ShowFrame());
    }
    CSWFBitmap big(100, huge.data(), static_cast<int32_t>(huge.size()));
    ASSERT_TRUE(movie.DefineObject(&big, 0, false));
    ASSERT_TRUE(movie.ShowFrame());

    const auto entries = dir.List();
    ASSERT_EQ(entries.size(), 1u);
    const auto written = std::filesystem::file_size(dir / entries[0]);
    EXPECT_GT(written, 40u * 50000u + 600000u - 256u * 1024u);
    EXPECT_FALSE(std::filesystem::exists(path));

    ASSERT_TRUE(movie.CloseFile()) << movie.GetError();
    const auto swf = swftest::ReadSwfFile(path);
    ASSERT_TRUE(swf.ok) << swf.error;
    EXPECT_EQ(swf.frameCount, 41);
    const auto bitmaps = swf.TagsWithCode(swftest::kTagDefineBitsJPEG2);
    ASSERT_EQ(bitmaps.size(), 41u);
    for (std::size_t i = 0; i < 40; ++i) {
        EXPECT_EQ(swftest::DefinitionId(*bitmaps[i]), 3 + i);
        EXPECT_EQ(swftest::JpegOfDefineBitsJPEG2(*bitmaps[i]), jpeg) << i;
    }
    EXPECT_EQ(swftest::JpegOfDefineBitsJPEG2(*bitmaps[40]), huge);
}

}  // namespace
