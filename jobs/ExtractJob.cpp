#include "jobs/ExtractJob.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "gif/CGifAnimation.h"
#include "jobs/FrameSnapshot.h"

namespace {

struct ExtractFormat {
    const char* extension;
    FREE_IMAGE_FORMAT fif;
    const char* name;
};

// Indexed by ConversionSettings::m_nExtractFormat.
constexpr ExtractFormat kFormats[] = {
    {".bmp", FIF_BMP, "BMP"},
    {".png", FIF_PNG, "PNG"},
    {".jpg", FIF_JPEG, "JPEG"},
    {".tga", FIF_TARGA, "TGA"},
};

std::string ErrnoText(int error) { return std::strerror(error); }

// Writes data to a new temporary file beside path and renames it over path, so that path is
// either complete or untouched. Returns an empty string, or the cause of the failure.
std::string WriteFileReplacing(const std::string& path, const uint8_t* data, std::size_t size) {
    static std::atomic<unsigned> counter{0};
    const std::filesystem::path target(path);
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = (target.parent_path() /
                ("." + target.filename().string() + "." + std::to_string(getpid()) + "-" +
                 std::to_string(counter.fetch_add(1)) + ".tmp"))
                   .string();
        fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return ErrnoText(errno);
    }
    if (fd < 0) return "cannot create a temporary file";

    std::string error;
    while (size > 0 && error.empty()) {
        const ssize_t written = write(fd, data, size);
        if (written < 0) {
            if (errno != EINTR) error = ErrnoText(errno);
            continue;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    if (close(fd) != 0 && error.empty()) error = ErrnoText(errno);
    if (error.empty() && std::rename(temp.c_str(), path.c_str()) != 0) error = ErrnoText(errno);
    if (!error.empty()) unlink(temp.c_str());
    return error;
}

// Encodes image in format and writes it to path. Returns an empty string or the cause.
std::string SaveImage(FIBITMAP* image, const ExtractFormat& format, const std::string& path) {
    FIMEMORY* memory = FreeImage_OpenMemory();
    if (!memory) return "out of memory";
    std::string error;
    BYTE* data = nullptr;
    DWORD size = 0;
    if (!FreeImage_SaveToMemory(format.fif, image, memory, 0) ||
        !FreeImage_AcquireMemory(memory, &data, &size)) {
        error = std::string("cannot encode the frame as ") + format.name;
    } else {
        error = WriteFileReplacing(path, data, size);
    }
    FreeImage_CloseMemory(memory);
    return error;
}

JobResult Fail(JobResult result, std::string error) {
    result.status = JobResult::Status::Failed;
    result.error = std::move(error);
    return result;
}

}  // namespace

JobResult ExtractFrames(const ConversionSettings& settings, const JobControl& control) {
    JobResult result;
    result.input = settings.m_strGifPath;

    const int formatIndex = settings.m_nExtractFormat;
    if (formatIndex < 0 || formatIndex >= static_cast<int>(std::size(kFormats))) {
        return Fail(result, "unknown extraction format " + std::to_string(formatIndex) +
                                " (0 BMP, 1 PNG, 2 JPG, 3 TGA)");
    }
    const ExtractFormat& format = kFormats[formatIndex];

    std::string folder = settings.m_strOutputFolder;
    if (folder.empty()) return Fail(result, "no output folder given");
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec)) {
        return Fail(result, "the output folder " + folder + " does not exist");
    }
    if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    // The title comes from the path as it is now, never from an earlier file.
    const std::string prefix =
        (folder == "/" ? folder : folder + "/") + GifTitleFromPath(settings.m_strGifPath) + "_f";

    CGifAnimation gif;
    if (OpenSettingsGif(settings, gif) != 0) return Fail(result, gif.GetError());

    FrameSurface surface = CreateDrawingSurface(gif.Width(), gif.Height());
    int index = 0;
    for (;;) {
        if (control.Cancelled()) {
            result.status = JobResult::Status::Cancelled;
            break;
        }
        if (gif.NextFrame() <= 0) break;

        const std::string path = prefix + std::to_string(index) + format.extension;
        FrameSnapshot snapshot = SnapshotFrame(gif, surface);
        FIBITMAP* image24 = snapshot.image ? FreeImage_ConvertTo24Bits(snapshot.image) : nullptr;
        std::string error;
        if (!image24) {
            error = "cannot convert frame " + std::to_string(index) + " to 24 bits per pixel";
        } else {
            error = SaveImage(image24, format, path);
            FreeImage_Unload(image24);
        }
        ReleaseFrameSnapshot(snapshot);
        if (!error.empty()) return Fail(result, "cannot write " + path + ": " + error);

        result.outputs.push_back(path);
        ++result.frames;
        control.Report(result.frames);
        ++index;
    }
    ReleaseDrawingSurface(surface);

    if (result.status == JobResult::Status::Cancelled) return result;
    if (!gif.GetError().empty()) {
        if (result.frames == 0) return Fail(result, gif.GetError());
        result.warnings.push_back(gif.GetError() + "; kept the " + std::to_string(result.frames) +
                                  " frame" + (result.frames == 1 ? "" : "s") + " before it");
    } else if (result.frames == 0) {
        result.warnings.push_back("the GIF has no frames; nothing was written");
    }
    return result;
}
