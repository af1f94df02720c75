#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "swf/CSWFButton.h"
#include "swf/CSWFMovie.h"

// The choices and limits of the jobs' options, named once for the jobs, the command line and
// the dialog.

// JPEG quality of the movie's bitmaps; the values are ConversionSettings::m_nQuality's.
enum class Quality : int { Low = 0, Normal = 1, High = 2 };
// Image format of extracted frames; the values are ConversionSettings::m_nExtractFormat's.
enum class ExtractFormat : int { Bmp = 0, Png = 1, Jpg = 2, Tga = 3 };

// How long each GIF frame stays on the stage: one SWF frame each at the fixed rate, or the GIF's
// own delays.
enum class Timing : int { Fixed = 0, Gif = 1 };
// How the movie's bitmaps are stored.
enum class BitmapKind : int { Jpeg = 0, Lossless = 1 };

// How often the movie plays: for ever (the player loops the timeline), once, as the GIF says,
// or a given number of times.
struct LoopOption {
    enum class Kind { Forever, Once, Gif, Times } kind = Kind::Forever;
    int times = 1;  // for Times: how many passes, at least 1

    bool operator==(const LoopOption&) const = default;
};

// Frames per second of a movie, as the SWF header holds them.
constexpr int kMinFps = CSWFMovie::kMinFrameRate;
constexpr int kMaxFps = CSWFMovie::kMaxFrameRate;
constexpr int kDefaultFps = 10;
// Bytes of the target URL as the movie carries it (EncodeTargetUrl).
constexpr std::size_t kMaxUrlBytes = CSWFAction::kMaxUrlBytes;
// Character ids and depths are 16-bit: frame k uses bitmap 3 + 2k and shape 4 + 2k, so the last
// frame that fits has its shape at 65534.
constexpr int kMaxMovieFrames = (65534 - 4) / 2 + 1;

// An option's values by name, in the order the user sees them.
template <typename Choice>
struct ChoiceName {
    Choice value;
    std::string_view name;
};
inline constexpr ChoiceName<Quality> kQualityNames[] = {
    {Quality::Low, "low"}, {Quality::Normal, "normal"}, {Quality::High, "high"}};
inline constexpr ChoiceName<ExtractFormat> kExtractFormatNames[] = {
    {ExtractFormat::Bmp, "bmp"}, {ExtractFormat::Png, "png"},
    {ExtractFormat::Jpg, "jpg"}, {ExtractFormat::Tga, "tga"}};

inline constexpr ChoiceName<Timing> kTimingNames[] = {{Timing::Fixed, "fixed"},
                                                      {Timing::Gif, "gif"}};
inline constexpr ChoiceName<BitmapKind> kBitmapKindNames[] = {{BitmapKind::Jpeg, "jpeg"},
                                                              {BitmapKind::Lossless, "lossless"}};

// A colour as 0xRRGGBB; the stage is white unless asked otherwise.
using RgbColor = uint32_t;
constexpr RgbColor kWhiteRgb = 0xFFFFFF;
// "#rrggbb" (hexadecimal digits in either letter case), "white" or "black"; none otherwise.
std::optional<RgbColor> ColorFromName(std::string_view name);
// "#rrggbb" in lower case.
std::string ColorName(RgbColor color);

// The value of a name (letter case ignored); none for an unknown name.
std::optional<Quality> QualityFromName(std::string_view name);
std::optional<ExtractFormat> ExtractFormatFromName(std::string_view name);
std::optional<Timing> TimingFromName(std::string_view name);
std::optional<BitmapKind> BitmapKindFromName(std::string_view name);
// "forever", "once", "gif" or a whole number of passes from 1 up.
std::optional<LoopOption> LoopOptionFromName(std::string_view name);
// The name of a value; empty for a value outside the list.
std::string_view NameOf(Quality quality);
std::string_view NameOf(ExtractFormat format);
std::string_view NameOf(Timing timing);
std::string_view NameOf(BitmapKind kind);
// The names joined for a message: "low, normal or high".
std::string QualityNameList();
std::string ExtractFormatNameList();
