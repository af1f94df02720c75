#include "anim/AnimationFormat.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>

namespace {

bool EndsWithNoCase(std::string_view name, std::string_view ending) {
    if (name.size() < ending.size()) return false;
    return std::equal(ending.begin(), ending.end(), name.end() - static_cast<std::ptrdiff_t>(ending.size()),
                      [](char a, char b) {
                          return std::tolower(static_cast<unsigned char>(a)) ==
                                 std::tolower(static_cast<unsigned char>(b));
                      });
}

}  // namespace

AnimationFormat FormatOfStart(std::string_view start) {
    if (start.starts_with("GIF87a") || start.starts_with("GIF89a")) return AnimationFormat::Gif;
    if (start.size() >= 12 && start.starts_with("RIFF") && start.substr(8, 4) == "WEBP")
        return AnimationFormat::WebP;
    if (start.starts_with(std::string_view("\x89PNG\r\n\x1a\n", 8))) return AnimationFormat::Png;
    return AnimationFormat::Unknown;
}

AnimationFormat FormatOfFile(const std::string& utf8Path) {
    const int fd = ::open(utf8Path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return AnimationFormat::Unknown;
    char start[kFormatSignatureBytes];
    std::size_t got = 0;
    while (got < sizeof start) {
        const ssize_t n = ::pread(fd, start + got, sizeof start - got, static_cast<off_t>(got));
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return FormatOfStart(std::string_view(start, got));
}

const char* FormatName(AnimationFormat format) {
    switch (format) {
        case AnimationFormat::WebP:
            return "WebP";
        case AnimationFormat::Png:
            return "PNG";
        default:
            return "GIF";
    }
}

bool HasAnimationExtension(std::string_view name) {
    for (const std::string_view ending : {".gif", ".webp", ".png", ".apng"})
        if (EndsWithNoCase(name, ending)) return true;
    return false;
}
