// libFuzzer target: a whole conversion of the input to a movie in a temporary folder. The first
// kOptionBytes bytes choose the options (see OptionsFrom); the rest is the GIF file.
// A conversion that succeeds leaves exactly its movie, one that fails leaves nothing, and every
// failure names its cause.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "fuzz/ConvertOptions.h"
#include "jobs/ConvertJob.h"

namespace fs = std::filesystem;

namespace {

// The folder for the input and the movie: $QUORVEL_FUZZ_TMP (scripts/fuzz makes one in memory and
// removes it: libFuzzer often ends with _Exit), else a new one in /tmp.
const fs::path& Folder() {
    static const fs::path folder = [] {
        if (const char* given = std::getenv("QUORVEL_FUZZ_TMP"); given && *given)
            return fs::path(given);
        char name[] = "/tmp/quorvel-convert-fuzz-XXXXXX";
        if (!mkdtemp(name)) std::abort();
        return fs::path(name);
    }();
    return folder;
}

// The files in folder other than the input.
int FilesBeside(const fs::path& folder, const fs::path& input) {
    int count = 0;
    for (const auto& entry : fs::directory_iterator(folder)) count += entry.path() != input;
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kOptionBytes) return 0;
    const uint8_t* gif = data + kOptionBytes;
    const size_t gifSize = size - kOptionBytes;
    // Large screens slow the search down without reaching new code (the GIF reader's own target
    // takes them); refused screens still go through.
    if (gifSize >= 10) {
        const int64_t width = gif[6] | gif[7] << 8;
        const int64_t height = gif[8] | gif[9] << 8;
        if (width * height > (1 << 18) && width <= 8191 && height <= 8191 &&
            width * height <= 16777215) {
            return 0;
        }
    }

    const fs::path input = Folder() / "in.gif";
    std::FILE* file = std::fopen(input.c_str(), "wb");
    if (!file) std::abort();
    const bool written = std::fwrite(gif, 1, gifSize, file) == gifSize;
    if (std::fclose(file) != 0 || !written) std::abort();

    const fs::path movie = MoviePath(Folder().string(), input.string());
    JobControl control;
    control.threads = 1;
    const JobResult result = ConvertFile(input.string(), movie, OptionsFrom(data), control);

    std::error_code ec;
    if (result.Succeeded()) {
        if (result.outputs.size() != 1 || result.outputs[0] != movie.string()) std::abort();
        if (fs::file_size(movie, ec) < 21 || ec) std::abort();  // header and end tag at least
    } else {
        if (result.error.empty() || !result.outputs.empty() || fs::exists(movie)) std::abort();
    }
    fs::remove(movie, ec);
    if (FilesBeside(Folder(), input) != 0) std::abort();  // a temporary file left behind
    return 0;
}
