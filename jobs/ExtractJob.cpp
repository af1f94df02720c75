#include "jobs/ExtractJob.h"

#include <charconv>
#include <filesystem>
#include <optional>
#include <string_view>
#include <system_error>

#include "base/AtomicFile.h"
#include "base/FileIdentity.h"
#include "anim/AnimationScan.h"
#include "jobs/FrameSource.h"
#include "jobs/FreeImageLibrary.h"

namespace {

struct FormatInfo {
    ExtractFormat format;
    const char* extension;
    FREE_IMAGE_FORMAT fif;
    const char* name;
    bool alpha;  // can keep transparency
};

constexpr FormatInfo kFormats[] = {
    {ExtractFormat::Bmp, ".bmp", FIF_BMP, "BMP", false},
    {ExtractFormat::Png, ".png", FIF_PNG, "PNG", true},
    {ExtractFormat::Jpg, ".jpg", FIF_JPEG, "JPEG", false},
    {ExtractFormat::Tga, ".tga", FIF_TARGA, "TGA", true},
};

const FormatInfo* FindFormat(ExtractFormat format) {
    for (const FormatInfo& info : kFormats) {
        if (info.format == format) return &info;
    }
    return nullptr;
}

// Encodes image in format and writes it to path. Returns an empty string or the cause.
std::string SaveImage(const FreeImageApi& freeImage, FIBITMAP* image, const FormatInfo& format,
                      const std::string& path) {
    const FreeImageMemory memory(freeImage.OpenMemory(nullptr, 0));
    if (!memory) return "out of memory";
    BYTE* data = nullptr;
    DWORD size = 0;
    if (!freeImage.SaveToMemory(format.fif, image, memory.get(), 0) ||
        !freeImage.AcquireMemory(memory.get(), &data, &size)) {
        return std::string("cannot encode the frame as ") + format.name;
    }
    const int error = WriteFileAtomically(path, data, size);
    return error == 0 ? std::string() : ErrorText(error);
}

// The width x height 24-bit frame with an alpha channel: 0 where uncovered (rows top first) is
// not 0, else 255.
FreeImageBitmap WithAlpha(const FreeImageApi& freeImage, FIBITMAP* image, int width, int height,
                          const std::vector<uint8_t>& uncovered) {
    FreeImageBitmap rgba(freeImage.ConvertTo32Bits(image));
    const auto columns = static_cast<std::size_t>(width);
    if (!rgba || uncovered.size() != columns * static_cast<std::size_t>(height)) return nullptr;
    for (int y = 0; y < height; ++y) {
        BYTE* pixel = freeImage.GetScanLine(rgba.get(), height - 1 - y);  // FreeImage's are bottom up
        for (std::size_t x = 0; x < columns; ++x, pixel += 4) {
            if (uncovered[static_cast<std::size_t>(y) * columns + x] != 0)
                pixel[FI_RGBA_ALPHA] = 0;
        }
    }
    return rgba;
}

// A frame's number as its file name gives it: the index, padded with zeros to `digits`.
std::string FrameNumber(uint64_t index, int digits) {
    std::string number = std::to_string(index);
    if (static_cast<int>(number.size()) < digits)
        number.insert(0, static_cast<std::size_t>(digits) - number.size(), '0');
    return number;
}

// A file in folder that the run would write a frame to ("<title>_f<number><extension>", for any
// number of frames) and that is the input itself, a link to it say; empty when there is none.
std::filesystem::path FrameFileThatIsTheInput(const std::string& folder, const std::string& title,
                                              std::string_view extension, int digits,
                                              const std::string& input) {
    const std::optional<FileIdentity> gif = IdentityOf(input);
    if (!gif) return {};
    const std::string start = title + "_f";
    return FindEntryThatIs(folder, *gif, [&](std::string_view name) {
        if (name.size() <= start.size() + extension.size() || !name.starts_with(start) ||
            !name.ends_with(extension))
            return false;
        name = name.substr(start.size(), name.size() - start.size() - extension.size());
        uint64_t index = 0;
        const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), index);
        return error == std::errc() && end == name.data() + name.size() &&
               FrameNumber(index, digits) == name;
    });
}

// A FreeImage copy of a frame's pixels, rows top first; null when the frame is empty or FreeImage
// cannot be loaded. Its resolution is 0, which the JPEG and PNG writers carry into their files.
FreeImageBitmap CopyFramePixels(SourceFrame& frame, int width, int height) {
    const FreeImageApi* freeImage = LoadFreeImage();
    const BgrPixels pixels = frame.Area(width, height, {0, 0, width, height});
    if (freeImage == nullptr || pixels.top == nullptr) return nullptr;
    FreeImageBitmap image(freeImage->ConvertFromRawBitsEx(
        TRUE, frame.pixels.data(), FIT_BITMAP, width, height, static_cast<int>(pixels.stride), 24,
        FI_RGBA_RED_MASK, FI_RGBA_GREEN_MASK, FI_RGBA_BLUE_MASK, TRUE));
    if (image) {
        freeImage->SetDotsPerMeterX(image.get(), 0);
        freeImage->SetDotsPerMeterY(image.get(), 0);
    }
    return image;
}

JobResult Fail(JobResult result, std::string error) {
    result.status = JobResult::Status::Failed;
    result.error = std::move(error);
    return result;
}

// Checks the output folder, and that no frame file the run would write is the input itself.
// Returns the start of every frame file's path ("<folder>/<title>_f"), or sets error.
std::string FramePrefix(const std::string& gifPath, std::string folder, const FormatInfo& format,
                        int digits, std::string& error) {
    std::error_code ec;
    if (folder.empty()) {
        error = "no output folder given";
    } else if (!std::filesystem::is_directory(folder, ec)) {
        error = std::filesystem::exists(folder, ec)
                    ? folder + " is not a folder"
                    : "the output folder " + folder + " does not exist";
    }
    if (!error.empty()) return {};
    if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    // The title comes from the path as it is now, never from an earlier file.
    const std::string title = TitleFromPath(gifPath);
    const std::filesystem::path clash =
        FrameFileThatIsTheInput(folder, title, format.extension, digits, gifPath);
    if (!clash.empty()) {
        error = "its frame file " + clash.string() + " is the same file as the input " + gifPath +
                "; nothing was written";
        return {};
    }
    return (folder == "/" ? folder : folder + "/") + title + "_f";
}

// Writes one composed frame to path, with an alpha channel when asked. Returns an empty string
// or the cause.
std::string WriteFrame(const FreeImageApi& freeImage, const FormatInfo& format,
                       SourceFrame& frame, int width, int height, bool alpha,
                       const std::string& path) {
    FreeImageBitmap image = CopyFramePixels(frame, width, height);
    if (image && alpha) image = WithAlpha(freeImage, image.get(), width, height, frame.uncovered);
    if (!image) {
        return "cannot convert frame " + std::to_string(frame.index) + " to " +
               (alpha ? "32" : "24") + " bits per pixel";
    }
    return SaveImage(freeImage, image.get(), format, path);
}

JobResult Extract(const std::string& gifPath, std::string folder, const ExtractOptions& options,
                  const JobControl& control, JobResult& result) {
    const FormatInfo* format = FindFormat(options.format);
    if (format == nullptr) return Fail(result, "unknown image format");

    std::string error;
    const std::string prefix = FramePrefix(gifPath, folder, *format, options.digits, error);
    if (!error.empty()) return Fail(result, error);
    const FreeImageApi* freeImage = LoadFreeImage(&error);
    if (freeImage == nullptr) return Fail(result, error);
    std::error_code ec;

    // One scan that decodes no pixel tells the frames to write before the first is decoded.
    const GifInfo scan = ScanAnimationFile(gifPath, options.Rules());
    if (scan.opened) {
        result.plan = {scan.frames, scan.width, scan.height};
        control.Planned(result.plan);
    }
    FrameSource source;
    const bool alpha = options.transparent && format->alpha;
    source.ComposeOn(options.background, alpha, options.Rules());
    if (!source.Open(gifPath)) return Fail(result, source.Error());
    for (;;) {
        if (control.Cancelled()) {
            result.status = JobResult::Status::Cancelled;
            break;
        }
        std::optional<SourceFrame> frame = source.Next();
        if (!frame) break;

        const std::string path =
            prefix + FrameNumber(static_cast<uint64_t>(frame->index), options.digits) +
            format->extension;
        if (options.existing == Existing::Keep && std::filesystem::exists(path, ec)) {
            source.Recycle(std::move(frame->pixels));
            result.skipped.push_back(path);
            control.Report(result.frames + static_cast<int>(result.skipped.size()));
            continue;
        }
        error = WriteFrame(*freeImage, *format, *frame, source.Width(), source.Height(), alpha,
                           path);
        source.Recycle(std::move(frame->pixels));
        if (!error.empty()) return Fail(result, "cannot write " + path + ": " + error);

        result.outputs.push_back(path);
        ++result.frames;
        control.Report(result.frames + static_cast<int>(result.skipped.size()));
    }

    if (result.status == JobResult::Status::Cancelled) return result;
    if (!source.Error().empty()) {
        if (result.frames == 0) return Fail(result, source.Error());
        result.warnings.push_back(source.Error() + "; kept the " + std::to_string(result.frames) +
                                  " frame" + (result.frames == 1 ? "" : "s") + " before it");
    } else if (result.frames == 0 && result.skipped.empty()) {
        return Fail(result, "the " + scan.format + " has no images");
    }
    return result;
}

}  // namespace

JobResult ExtractFrames(const std::string& gifPath, const std::string& outputFolder,
                        const ExtractOptions& options, const JobControl& control) {
    JobResult result;
    result.input = gifPath;
    try {
        return Extract(gifPath, outputFolder, options, control, result);
    } catch (const std::bad_alloc&) {  // the frames written so far are whole
        return Fail(std::move(result), "not enough memory for the frames of this GIF");
    }
}
