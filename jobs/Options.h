#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/FrameRules.h"
#include "base/MovieFormat.h"
#include "base/Pixels.h"
#include "jobs/FrameFiles.h"

// The choices and limits of the jobs' options, named once for the jobs, the command line and
// the dialog.

// JPEG quality of the movie's bitmaps.
enum class Quality : int { Low = 0, Normal = 1, High = 2 };
// Image format of extracted frames.
enum class ExtractFormat : int { Bmp = 0, Png = 1, Jpg = 2, Tga = 3 };

// How long each GIF frame stays on the stage: one SWF frame each at the fixed rate, or the GIF's
// own delays.
enum class Timing : int { Fixed = 0, Gif = 1 };
// How the movie's bitmaps are stored.
enum class BitmapKind : int { Jpeg = 0, Lossless = 1 };
// A movie that plays, or a library whose symbols (one MovieClip for each GIF) ActionScript 3
// classes or ActionScript 2's attachMovie create by name.
enum class LibraryKind : int { None = 0, As3 = 1, As2 = 2 };

// How often the movie plays: for ever (the player loops the timeline), once, as the GIF says,
// or a given number of times.
struct LoopOption {
    enum class Kind { Forever, Once, Gif, Times } kind = Kind::Forever;
    int times = 1;  // for Times: how many passes, at least 1

    bool operator==(const LoopOption&) const = default;
};

// Frames per second of a movie, as the SWF header holds them (8.8 fixed point, whole numbers).
constexpr int kMinFps = 1;
constexpr int kMaxFps = 255;
constexpr int kDefaultFps = 10;
// Bytes of the target URL as the movie carries it (EncodeTargetUrl): what a tag of at most 65535
// bytes holds beside the URL's terminating zero and the empty target window's.
constexpr std::size_t kMaxUrlBytes = 65533;

// What a job does with an output file that exists already.
enum class Existing : int { Replace = 0, Keep = 1 };

// The frames a job makes of a GIF, for conversion and extraction alike: with the GIF's own
// timing every image is one; an area restored to the background shows the stage or the GIF's
// background colour.
FrameRules FrameRulesOf(Timing timing, bool restoreToStage);

// The title used in output names: the file name without its folder and without its extension
// ("anim.GIF" -> "anim").
std::string TitleFromPath(const std::string& path);

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
inline constexpr ChoiceName<LibraryKind> kLibraryNames[] = {{LibraryKind::As3, "as3"},
                                                            {LibraryKind::As2, "as2"}};
inline constexpr ChoiceName<SwfCompression> kCompressionNames[] = {
    {SwfCompression::None, "none"}, {SwfCompression::Zlib, "zlib"}, {SwfCompression::Lzma, "lzma"}};

// The versions --swf-version takes, and the largest --scale.
constexpr int kMinSwfVersion = 3;
constexpr int kMaxSwfVersion = 43;
constexpr int kMaxScale = 64;

// Whether two names are the same, letter case ignored.
bool SameIgnoringCase(std::string_view a, std::string_view b);

// The value of a name in a table (letter case ignored); none for an unknown name.
template <typename Choice, std::size_t N>
std::optional<Choice> FromName(const ChoiceName<Choice> (&names)[N], std::string_view name) {
    for (const auto& entry : names) {
        if (SameIgnoringCase(entry.name, name)) return entry.value;
    }
    return std::nullopt;
}

// The name of a value; empty for a value outside the table.
template <typename Choice, std::size_t N>
std::string_view NameOf(const ChoiceName<Choice> (&names)[N], Choice value) {
    for (const auto& entry : names) {
        if (entry.value == value) return entry.name;
    }
    return {};
}

// The names joined for a message: "low, normal or high".
template <typename Choice, std::size_t N>
std::string NameList(const ChoiceName<Choice> (&names)[N]) {
    std::string list;
    for (std::size_t i = 0; i < N; ++i) {
        if (i > 0) list += i + 1 == N ? " or " : ", ";
        list += names[i].name;
    }
    return list;
}

// "#rgb" or "#rrggbb" (hexadecimal digits in either letter case, "#rgb" standing for
// "#rrggbb" as in CSS), or one of CSS's named colours (any letter case); none otherwise.
std::optional<RgbColor> ColorFromName(std::string_view name);
// "#rrggbb" in lower case.
std::string ColorName(RgbColor color);

// "forever", "once", "gif" or a whole number of passes from 1 up, 0 meaning for ever (letter
// case ignored).
std::optional<LoopOption> LoopOptionFromName(std::string_view name);

// What a conversion makes of each GIF; the defaults give the plain movie.
struct ConvertOptions {
    int fps = kDefaultFps;             // frames per second, kMinFps to kMaxFps
    bool fpsGiven = false;             // with Timing::Gif, fps is the rate only when given
    Quality quality = Quality::Normal;  // of JPEG bitmaps
    std::string targetUrl;             // blank: no button
    Timing timing = Timing::Fixed;
    LoopOption loop;
    BitmapKind bitmaps = BitmapKind::Jpeg;
    bool changedAreas = false;  // later frames store only what changed
    RgbColor background = kWhiteRgb;  // the stage, and what the frames are composed on
    bool transparent = false;         // pixels no image covers stay transparent
    // An area restored to the background shows the stage, as browsers show the page there,
    // rather than the GIF's background colour.
    bool restoreToStage = false;

    // The file, for Flash projects: the defaults give an uncompressed version 3 movie.
    int swfVersion = 0;  // 0: the lowest the options below allow
    SwfCompression compression = SwfCompression::None;
    bool smooth = false;  // let players smooth the bitmaps (version 8 and later)
    int scale = 1;        // the stage and every placement, 1 to kMaxScale
    LibraryKind library = LibraryKind::None;
    std::string symbol;   // the symbol of a library of one GIF; empty: from its title
    std::string package;  // prefix of every symbol's name ("game.anim"); empty: none

    FrameRules Rules() const { return FrameRulesOf(timing, restoreToStage); }
    // The lowest version the options allow: 3, or what compression, smoothing or a library
    // needs (ActionScript 2 libraries 6, ActionScript 3 ones 9).
    int LowestSwfVersion() const;
    // The file these options write (the version asked for, else the lowest).
    MovieFormat Format() const;
};

// What an extraction writes for each composed frame: "<folder>/<title>_f<index>.<format>", or
// the name the pattern gives it.
struct ExtractOptions {
    // As digits: the index padded to as many digits as the last frame's number has, so that the
    // names sort ("a_f00" to "a_f10" for 11 frames, whichever frames are chosen).
    static constexpr int kDigitsOfLastFrame = -1;

    ExtractFormat format = ExtractFormat::Bmp;
    RgbColor background = kWhiteRgb;  // what the frames are composed on
    bool transparent = false;         // PNG and TGA frames keep the pixels no image covers clear
    int digits = 0;  // the index padded with zeros to this many digits ("a_f007.png"); 0: none
    // The frame files' names, "frame_%03d.png" (ReadFrameNamePattern), in the folder; empty:
    // "<title>_f<index>.<format>". The pattern's own width stands, not digits.
    std::string pattern;
    FrameSelection frames;  // the frames written, by their numbers; empty: all
    // A frame file that exists is replaced, or left as it is and listed in JobResult::skipped.
    Existing existing = Existing::Replace;
    bool likeGif = false;  // the frames a browser shows (every image, restored areas on the stage)

    FrameRules Rules() const { return FrameRulesOf(likeGif ? Timing::Gif : Timing::Fixed, likeGif); }
};
