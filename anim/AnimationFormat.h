#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The animation formats Quorvel reads, told apart by their first bytes, never by a file's name.
enum class AnimationFormat { Unknown, Gif, WebP, Png };

// How many first bytes FormatOfStart needs to tell every format.
inline constexpr std::size_t kFormatSignatureBytes = 12;

// "GIF87a" or "GIF89a"; "RIFF", a size, "WEBP"; the eight bytes of the PNG signature.
AnimationFormat FormatOfStart(std::string_view start);
// The format of the file at utf8Path; Unknown when it cannot be read or starts like none.
AnimationFormat FormatOfFile(const std::string& utf8Path);
// "GIF", "WebP", "PNG".
const char* FormatName(AnimationFormat format);

// Whether a file name ends like an animation that a folder's listing takes: ".gif", ".webp",
// ".png" or ".apng", in any letter case.
bool HasAnimationExtension(std::string_view name);
