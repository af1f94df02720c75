// A movie built the way the converter builds one, with real JPEG frames, read back by the
// independent tag walker and decoded by ffmpeg.

#include <FreeImage.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "SwfTestUtil.h"
#include "support/SwfReader.h"
#include "swf/CSWFBitmap.h"
#include "swf/CSWFButton.h"
#include "swf/CSWFMovie.h"
#include "swf/CSWFShape.h"


namespace {

// Hit test, over, down, up: the order in which the converter adds its button records.
constexpr uint8_t kButtonStates[] = {0x08, 0x02, 0x04, 0x01};

constexpr int kWidth = 64;
constexpr int kHeight = 48;

struct Rgb {
    uint8_t r, g, b;
};
const Rgb kFrameColors[] = {{230, 20, 20}, {20, 200, 30}, {30, 40, 220}};

// A solid kWidth x kHeight frame as a progressive JPEG, as the converter encodes its frames.
std::vector<uint8_t> SolidJpeg(Rgb color) {
    std::unique_ptr<FIBITMAP, decltype(&FreeImage_Unload)> dib(
        FreeImage_Allocate(kWidth, kHeight, 24), &FreeImage_Unload);
    if (!dib) return {};
    RGBQUAD quad{};
    quad.rgbRed = color.r;
    quad.rgbGreen = color.g;
    quad.rgbBlue = color.b;
    for (unsigned y = 0; y < kHeight; ++y) {
        for (unsigned x = 0; x < kWidth; ++x) FreeImage_SetPixelColor(dib.get(), x, y, &quad);
    }
    std::unique_ptr<FIMEMORY, decltype(&FreeImage_CloseMemory)> mem(FreeImage_OpenMemory(),
                                                                    &FreeImage_CloseMemory);
    if (!FreeImage_SaveToMemory(FIF_JPEG, dib.get(), mem.get(),
                                JPEG_QUALITYGOOD | JPEG_PROGRESSIVE)) {
        return {};
    }
    BYTE* data = nullptr;
    DWORD size = 0;
    if (!FreeImage_AcquireMemory(mem.get(), &data, &size)) return {};
    return std::vector<uint8_t>(data, data + size);
}

class MovieReadBack : public ::testing::Test {
protected:
    void SetUp() override {
        for (const Rgb& c : kFrameColors) {
            m_jpegs.push_back(SolidJpeg(c));
            ASSERT_FALSE(m_jpegs.back().empty());
        }
        m_path = m_dir / "anim.swf";
        CSWFMovie movie;
        ASSERT_TRUE(movie.OpenFile(m_path, kWidth, kHeight, 12)) << movie.GetError();
        movie.SetBackgroundColor(0xFF, 0xFF, 0xFF);

        CSWFAction action;
        ASSERT_TRUE(action.AddGetURL("https://example.org/"));
        const float origin[2] = {0, 0};
        CSWFShape hit(1, 0, 0, kWidth, kHeight, 1);
        hit.AddLineStyle(SWFColor(0, 0, 0, 0));
        hit.AddSolidFillStyle(SWFColor(0, 0, 0, 0));
        hit.ChangeStyle(origin, 1);
        hit.AddStraightEdge(kWidth, 0);
        hit.AddStraightEdge(0, kHeight);
        hit.AddStraightEdge(-kWidth, 0);
        hit.AddStraightEdge(0, -kHeight);
        ASSERT_TRUE(movie.DefineObject(&hit, 1, false));
        CSWFButton button;
        for (uint8_t flags : kButtonStates) button.AddRecord(flags, 1, 1);
        button.AddAction(action);
        ASSERT_TRUE(movie.DefineObject(&button, 2, true));

        uint16_t id = 3;
        for (const auto& jpeg : m_jpegs) {
            CSWFBitmap bitmap(id, jpeg.data(), static_cast<int32_t>(jpeg.size()));
            const auto shapeId = static_cast<uint16_t>(id + 1);
            CSWFShape frame(shapeId, 0, 0, kWidth, kHeight, shapeId);
            frame.AddBitmapFillStyle(id, 0, 0, kWidth, kHeight, 0, 0, kWidth, kHeight);
            frame.ChangeStyle(origin, 0);
            frame.AddStraightEdge(kWidth, 0);
            frame.AddStraightEdge(0, kHeight);
            frame.AddStraightEdge(-kWidth, 0);
            frame.AddStraightEdge(0, -kHeight);
            ASSERT_TRUE(movie.DefineObject(&bitmap, id, true));
            ASSERT_TRUE(movie.DefineObject(&frame, shapeId, true));
            ASSERT_TRUE(movie.ShowFrame());
            id = static_cast<uint16_t>(id + 2);
        }
        ASSERT_TRUE(movie.CloseFile()) << movie.GetError();
    }

    ScratchDir m_dir;
    std::filesystem::path m_path;
    std::vector<std::vector<uint8_t>> m_jpegs;
};

TEST_F(MovieReadBack, TagWalkerAgreesWithTheHeader) {
    const auto swf = swftest::ReadSwfFile(m_path);
    ASSERT_TRUE(swf.ok) << swf.error;
    EXPECT_EQ(swf.version, 3);
    EXPECT_EQ(swf.fileLength, std::filesystem::file_size(m_path));
    EXPECT_EQ(swf.xmax, kWidth * 20);
    EXPECT_EQ(swf.ymax, kHeight * 20);
    EXPECT_EQ(swf.frameRate, 12 << 8);
    EXPECT_EQ(swf.frameCount, 3);

    using namespace swftest;
    std::vector<uint16_t> codes;
    for (const auto& t : swf.tags) codes.push_back(t.code);
    const std::vector<uint16_t> expected = {kTagSetBackgroundColor,
                                            kTagDefineShape3,
                                            kTagDefineButton2,
                                            kTagPlaceObject2,
                                            kTagDefineBitsJPEG2,
                                            kTagDefineShape3,
                                            kTagPlaceObject2,
                                            kTagShowFrame,
                                            kTagDefineBitsJPEG2,
                                            kTagDefineShape3,
                                            kTagPlaceObject2,
                                            kTagShowFrame,
                                            kTagDefineBitsJPEG2,
                                            kTagDefineShape3,
                                            kTagPlaceObject2,
                                            kTagShowFrame,
                                            kTagEnd};
    EXPECT_EQ(codes, expected);

    const auto bitmaps = swf.TagsWithCode(kTagDefineBitsJPEG2);
    const auto shapes = swf.TagsWithCode(kTagDefineShape3);
    const auto places = swf.TagsWithCode(kTagPlaceObject2);
    ASSERT_EQ(bitmaps.size(), 3u);
    ASSERT_EQ(shapes.size(), 4u);
    ASSERT_EQ(places.size(), 4u);
    EXPECT_EQ(ParsePlaceObject2(*places[0])->depth, 2);
    EXPECT_EQ(ParsePlaceObject2(*places[0])->id, 2);
    for (std::size_t i = 0; i < 3; ++i) {
        const auto id = static_cast<uint16_t>(3 + 2 * i);
        EXPECT_EQ(DefinitionId(*bitmaps[i]), id);
        EXPECT_EQ(JpegOfDefineBitsJPEG2(*bitmaps[i]), m_jpegs[i]);
        const auto shape = ParseDefineShape3(*shapes[i + 1]);
        ASSERT_TRUE(shape.ok) << shape.error;
        EXPECT_EQ(shape.id, id + 1);
        ASSERT_EQ(shape.fills.size(), 1u);
        EXPECT_EQ(shape.fills[0].bitmapId, id);
        EXPECT_EQ(shape.fills[0].matrix.scaleX, 20 * 65536);
        const auto place = ParsePlaceObject2(*places[i + 1]);
        ASSERT_TRUE(place.has_value());
        EXPECT_EQ(place->id, id + 1);
        EXPECT_EQ(place->depth, id + 1);
        EXPECT_EQ(place->flags, 0x06);
    }
}

TEST_F(MovieReadBack, FfmpegDecodesEveryFrame) {
    if (!std::filesystem::exists("/usr/bin/ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
    const auto pattern = m_dir / "frame%d.png";
    const std::string command = "/usr/bin/ffmpeg -nostdin -v error -i '" + m_path.string() +
                                "' -f image2 '" + pattern.string() + "' 2>&1";
    std::string output;
    {
        std::unique_ptr<FILE, decltype(&pclose)> pipe(popen(command.c_str(), "r"), &pclose);
        ASSERT_TRUE(pipe);
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, pipe.get()) != nullptr) output += buffer;
        const int status = pclose(pipe.release());
        ASSERT_EQ(status, 0) << output;
    }
    EXPECT_EQ(output, "");
    for (std::size_t i = 0; i < 3; ++i) {
        const auto frame = m_dir / ("frame" + std::to_string(i + 1) + ".png");
        std::unique_ptr<FIBITMAP, decltype(&FreeImage_Unload)> dib(
            FreeImage_Load(FIF_PNG, frame.c_str(), 0), &FreeImage_Unload);
        ASSERT_TRUE(dib) << frame;
        EXPECT_EQ(FreeImage_GetWidth(dib.get()), unsigned{kWidth});
        EXPECT_EQ(FreeImage_GetHeight(dib.get()), unsigned{kHeight});
        RGBQUAD px{};
        ASSERT_TRUE(FreeImage_GetPixelColor(dib.get(), kWidth / 2, kHeight / 2, &px));
        EXPECT_NEAR(px.rgbRed, kFrameColors[i].r, 12) << i;
        EXPECT_NEAR(px.rgbGreen, kFrameColors[i].g, 12) << i;
        EXPECT_NEAR(px.rgbBlue, kFrameColors[i].b, 12) << i;
    }
    EXPECT_FALSE(std::filesystem::exists(m_dir / "frame4.png"));
}

}  // namespace
