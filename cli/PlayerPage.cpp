#include "cli/PlayerPage.h"

#include <cstdio>

namespace {

std::string EscapeHtml(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            default: out += c;
        }
    }
    return out;
}

// A file name as a relative URL: everything but unreserved characters as %XX.
std::string EscapeUrlPath(const std::string& name) {
    std::string out;
    for (const unsigned char c : name) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' || c == '~';
        if (plain) {
            out += static_cast<char>(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        }
    }
    return out;
}

}  // namespace

std::string PlayerPage(const std::string& title, const std::string& movieFile, int width,
                       int height, const std::string& ruffleUrl, bool transparent) {
    const std::string w = std::to_string(width), h = std::to_string(height);
    // Our movies have no sound, so nothing waits for a click: the movie plays at once, with
    // neither Ruffle's unmute overlay nor its splash screen. The movie's address goes into a
    // script as a JSON string: escaped for the URL it is, it holds no quote, backslash or "<".
    return "<!DOCTYPE html>\n"
           "<html lang=\"en\">\n"
           "<head>\n"
           "<meta charset=\"utf-8\">\n"
           "<title>" + EscapeHtml(title) + "</title>\n"
           "<style>body { margin: 0; } #movie { width: " + w + "px; height: " + h + "px; }\n"
           "p { margin: 1em; max-width: 40em; font-family: sans-serif; }</style>\n"
           "<script>\n"
           "window.RufflePlayer = window.RufflePlayer || {};\n"
           "window.RufflePlayer.config = {\n"
           "  allowScriptAccess: true, autoplay: \"on\", unmuteOverlay: \"hidden\", splashScreen: false" +
           std::string(transparent ? ",\n  wmode: \"transparent\"" : "") + "\n"
           "};\n"
           "</script>\n"
           "<script src=\"" + EscapeHtml(ruffleUrl) + "\"></script>\n"
           "</head>\n"
           "<body>\n"
           "<p id=\"no-ruffle\" hidden>This page plays " + EscapeHtml(movieFile) +
           " with Ruffle, a Flash player for web pages, but Ruffle could not be loaded from " +
           EscapeHtml(ruffleUrl) + ". To watch the movie without the internet, make its page "
           "with Ruffle beside it (quorvel convert --html --offline), or play it with quorvel "
           "play " + EscapeHtml(movieFile) + ".</p>\n"
           "<noscript><p>This page needs JavaScript to play the movie with Ruffle.</p></noscript>\n"
           "<div id=\"movie\"></div>\n"
           "<script>\n"
           "window.addEventListener(\"DOMContentLoaded\", () => {\n"
           "  if (!window.RufflePlayer.newest) {\n"
           "    document.getElementById(\"no-ruffle\").hidden = false;\n"
           "    return;\n"
           "  }\n"
           "  const player = window.RufflePlayer.newest().createPlayer();\n"
           "  player.style.width = \"" + w + "px\";\n"
           "  player.style.height = \"" + h + "px\";\n"
           "  document.getElementById(\"movie\").appendChild(player);\n"
           "  player.load({ url: \"" + EscapeUrlPath(movieFile) + "\", allowScriptAccess: true });\n"
           "});\n"
           "</script>\n"
           "</body>\n"
           "</html>\n";
}

std::filesystem::path PagePath(const std::filesystem::path& movie) {
    return std::filesystem::path(movie).replace_extension(".html");
}
