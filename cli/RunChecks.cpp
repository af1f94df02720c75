#include "cli/RunChecks.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <map>
#include <utility>

#include "base/FileIdentity.h"
#include "cli/CliCommon.h"
#include "cli/PlayerPage.h"
#include "jobs/ConvertJob.h"

namespace fs = std::filesystem;

std::string TargetUrlProblem(const std::string& url) {
    const std::string carried = EncodeTargetUrl(url);
    if (carried.size() > kMaxUrlBytes)
        return "the target URL is longer than " + std::to_string(kMaxUrlBytes) + " bytes";
    const auto control = std::find_if(carried.begin(), carried.end(), [](unsigned char c) {
        return c < 0x20 || c == 0x7F;
    });
    if (control == carried.end()) return {};
    char escape[4];
    std::snprintf(escape, sizeof escape, "%%%02X", static_cast<unsigned char>(*control));
    return "the target URL holds a control character (" + QuoteName(std::string(1, *control)) +
           "); write it as " + escape + " if it belongs there";
}

std::string TargetUrlWarning(const std::string& url) {
    std::string scheme = EncodeTargetUrl(url).substr(0, 11);
    std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const char* risky : {"javascript:", "vbscript:", "data:", "file:"}) {
        if (scheme.starts_with(risky))
            return std::string("the target URL is a ") + risky +
                   " address: a click runs script or opens local data rather than a page, "
                   "where the player allows it at all";
    }
    return {};
}

std::string OneMovieProblem(const std::string& output, const std::vector<std::string>& inputs,
                            std::size_t files, int failed) {
    const std::string writes = "'-o " + QuoteName(output) + "' writes one movie, but ";
    if (inputs.size() > 1) return writes + std::to_string(inputs.size()) + " inputs were given";
    if (failed > 0 || files == 1) return {};
    return writes + QuoteName(inputs.front()) + " holds " +
           (files == 0 ? std::string("no GIF files") : std::to_string(files) + " GIF files");
}

namespace {

// What a run writes for the movie of one input: the movie, the page with html, and Ruffle's
// files beside the page with offline pages; each with what it is called in an error.
std::vector<std::pair<std::string, fs::path>> OutputsOf(
    const fs::path& movie, bool html, const std::vector<std::string>& ruffleFiles) {
    std::vector<std::pair<std::string, fs::path>> outputs = {{"movie", movie}};
    if (html) outputs.emplace_back("page", PagePath(movie));
    for (const std::string& name : ruffleFiles)
        outputs.emplace_back("Ruffle file", movie.parent_path() / "ruffle" / name);
    return outputs;
}

}  // namespace

int RefuseOutputsThatAreInputs(BatchRequest& request, bool html,
                               const std::vector<std::string>& ruffleFiles) {
    std::map<FileIdentity, std::string> inputs;
    for (const std::string& file : request.files) {
        if (const auto id = IdentityOf(file)) inputs.emplace(*id, file);
    }
    std::map<std::string, fs::path> movies;  // by input, before any is left out
    for (std::size_t i = 0; i < request.files.size(); ++i)
        movies[request.files[i]] = MovieOf(request, i);
    const auto refused = std::erase_if(request.files, [&](const std::string& file) {
        const fs::path& movie = movies[file];
        std::error_code ec;
        if (const fs::path ruffle = movie.parent_path() / "ruffle";
            !ruffleFiles.empty() && fs::is_symlink(ruffle, ec)) {
            PrintError(file, "its Ruffle folder " + QuoteName(ruffle.string()) +
                                 " is a symbolic link, which quorvel does not write through; "
                                 "nothing was written for it");
            return true;
        }
        for (const auto& [kind, output] : OutputsOf(movie, html, ruffleFiles)) {
            const auto id = IdentityOf(output);
            const auto input = id ? inputs.find(*id) : inputs.end();
            if (input == inputs.end()) continue;
            PrintError(file, "its " + kind + " " + QuoteName(output.string()) +
                                 " is the same file as the input " + QuoteName(input->second) +
                                 "; nothing was written for it");
            return true;
        }
        return false;
    });
    return static_cast<int>(refused);
}
