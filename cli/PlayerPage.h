#pragma once

#include <filesystem>
#include <string>

// The address of Ruffle's web build as Ruffle's own documentation gives it.
inline constexpr const char* kDefaultRuffleUrl = "https://unpkg.com/@ruffle-rs/ruffle";
// The address of Ruffle's web build beside a page: a folder "ruffle" of the page's own folder.
inline constexpr const char* kBesideRuffleUrl = "ruffle/ruffle.js";

// A web page that plays movieFile (a name in the page's own folder) with Ruffle's web build
// loaded from ruffleUrl, at the movie's size, from the start without a click; where Ruffle
// cannot be loaded, it says so in words and how to watch the movie anyway. Script access is
// allowed, so that the movie's URL button can open its page. A transparent movie is played
// without its stage colour (Ruffle's wmode "transparent"), so that the page shows through
// where no picture covers it.
std::string PlayerPage(const std::string& title, const std::string& movieFile, int width,
                       int height, const std::string& ruffleUrl, bool transparent);

// Where --html puts the page of a movie: beside it, "<title>.html".
std::filesystem::path PagePath(const std::filesystem::path& movie);
