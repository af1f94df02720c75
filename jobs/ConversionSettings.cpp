#include "jobs/ConversionSettings.h"

#include <filesystem>

std::string GifTitleFromPath(const std::string& path) {
    // The stem: no folder, no last extension ("anim.GIF" -> "anim"); a name that starts with
    // its only dot (".gif") keeps it, and a path ending in a separator has no title.
    return std::filesystem::path(path).stem().string();
}
