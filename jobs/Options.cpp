#include "jobs/Options.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <utility>

namespace {

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

template <typename Choice, std::size_t N>
std::optional<Choice> FromName(const ChoiceName<Choice> (&names)[N], std::string_view name) {
    for (const auto& entry : names) {
        if (SameIgnoringCase(entry.name, name)) return entry.value;
    }
    return std::nullopt;
}

template <typename Choice, std::size_t N>
std::string_view Name(const ChoiceName<Choice> (&names)[N], Choice value) {
    for (const auto& entry : names) {
        if (entry.value == value) return entry.name;
    }
    return {};
}

template <typename Choice, std::size_t N>
std::string NameList(const ChoiceName<Choice> (&names)[N]) {
    std::string list;
    for (std::size_t i = 0; i < N; ++i) {
        if (i > 0) list += i + 1 == N ? " or " : ", ";
        list += names[i].name;
    }
    return list;
}

}  // namespace

std::optional<Quality> QualityFromName(std::string_view name) { return FromName(kQualityNames, name); }
std::optional<ExtractFormat> ExtractFormatFromName(std::string_view name) {
    return FromName(kExtractFormatNames, name);
}
std::optional<Timing> TimingFromName(std::string_view name) { return FromName(kTimingNames, name); }
std::optional<BitmapKind> BitmapKindFromName(std::string_view name) {
    return FromName(kBitmapKindNames, name);
}

std::optional<LoopOption> LoopOptionFromName(std::string_view name) {
    using Kind = LoopOption::Kind;
    const std::pair<std::string_view, Kind> words[] = {
        {"forever", Kind::Forever}, {"once", Kind::Once}, {"gif", Kind::Gif}};
    for (const auto& [word, kind] : words) {
        if (SameIgnoringCase(word, name)) return LoopOption{kind, 1};
    }
    int times = 0;
    const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), times);
    if (error != std::errc() || end != name.data() + name.size() || times < 1) return std::nullopt;
    return LoopOption{Kind::Times, times};
}

std::optional<RgbColor> ColorFromName(std::string_view name) {
    if (SameIgnoringCase(name, "white")) return kWhiteRgb;
    if (SameIgnoringCase(name, "black")) return 0;
    if (name.size() != 7 || name[0] != '#') return std::nullopt;
    RgbColor color = 0;
    const auto [end, error] = std::from_chars(name.data() + 1, name.data() + 7, color, 16);
    if (error != std::errc() || end != name.data() + 7) return std::nullopt;
    return color;
}

std::string ColorName(RgbColor color) {
    static const char kHex[] = "0123456789abcdef";
    std::string name = "#";
    for (int shift = 20; shift >= 0; shift -= 4) name += kHex[(color >> shift) & 15];
    return name;
}

std::string_view NameOf(Quality quality) { return Name(kQualityNames, quality); }
std::string_view NameOf(ExtractFormat format) { return Name(kExtractFormatNames, format); }
std::string_view NameOf(Timing timing) { return Name(kTimingNames, timing); }
std::string_view NameOf(BitmapKind kind) { return Name(kBitmapKindNames, kind); }
std::string QualityNameList() { return NameList(kQualityNames); }
std::string ExtractFormatNameList() { return NameList(kExtractFormatNames); }
