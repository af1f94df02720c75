#include "jobs/Options.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <utility>

#include "swf/CSWFButton.h"
#include "swf/CSWFMovie.h"

static_assert(kMinFps == CSWFMovie::kMinFrameRate && kMaxFps == CSWFMovie::kMaxFrameRate);
static_assert(kMaxUrlBytes == CSWFAction::kMaxUrlBytes);

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

std::optional<LoopOption> LoopOptionFromName(std::string_view name) {
    using Kind = LoopOption::Kind;
    const std::pair<std::string_view, Kind> words[] = {
        {"forever", Kind::Forever}, {"once", Kind::Once}, {"gif", Kind::Gif}};
    for (const auto& [word, kind] : words) {
        if (SameIgnoringCase(word, name)) return LoopOption{kind, 1};
    }
    int times = 0;
    if (name.starts_with('-')) return std::nullopt;  // "-0" too
    const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), times);
    if (error != std::errc() || end != name.data() + name.size() || times < 0) return std::nullopt;
    // 0 plays for ever, as a GIF's loop count of 0 does, and gifsicle's and ffmpeg's.
    return times == 0 ? LoopOption{Kind::Forever, 1} : LoopOption{Kind::Times, times};
}

std::string ColorName(RgbColor color) {
    static const char kHex[] = "0123456789abcdef";
    std::string name = "#";
    for (int shift = 20; shift >= 0; shift -= 4) name += kHex[(color >> shift) & 15];
    return name;
}

FrameRules FrameRulesOf(Timing timing, bool restoreToStage) {
    return {timing == Timing::Gif, restoreToStage};
}

std::string TitleFromPath(const std::string& path) {
    // The stem: no folder, no last extension ("anim.GIF" -> "anim"); a name that starts with
    // its only dot (".gif") keeps it, and a path ending in a separator has no title.
    return std::filesystem::path(path).stem().string();
}

int ConvertOptions::LowestSwfVersion() const {
    MovieFormat format = Format();
    int lowest = LowestVersion(format);
    if (library == LibraryKind::As2) lowest = std::max(lowest, 6);  // ExportAssets, attachMovie
    return lowest;
}

MovieFormat ConvertOptions::Format() const {
    MovieFormat format;
    format.compression = compression;
    format.actionScript3 = library == LibraryKind::As3;
    format.smoothBitmaps = smooth;
    format.scale = scale;
    format.version = static_cast<uint8_t>(swfVersion);
    if (swfVersion != 0) return format;
    // The lowest version of the format, then what an ActionScript 2 library adds to it.
    format.version = LowestVersion(format);
    if (library == LibraryKind::As2) format.version = std::max<uint8_t>(format.version, 6);
    return format;
}
