#include "jobs/ExtractJob.h"

#include <algorithm>
#include <filesystem>
#include <optional>
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


// Why frame files cannot go into folder; empty when they can.
std::string FolderProblem(const std::string& folder) {
    std::error_code ec;
    if (folder.empty()) return "no output folder given";
    if (std::filesystem::is_directory(folder, ec)) return {};
    return std::filesystem::exists(folder, ec) ? folder + " is not a folder"
                                               : "the output folder " + folder + " does not exist";
}

// How the frame files of an animation of `frames` frames are named: the options' pattern, or
// "<title>_f<number><extension>". None, with error set, for a pattern that names none.
std::optional<FrameNamePattern> NamesOf(const std::string& gifPath, const ExtractOptions& options,
                                        const FormatInfo& format, int frames, std::string& error) {
    if (options.pattern.empty()) {
        const int digits = options.digits == ExtractOptions::kDigitsOfLastFrame
                               ? DigitsOf(static_cast<uint64_t>(std::max(frames - 1, 0)))
                               : options.digits;
        // The title comes from the path as it is now, never from an earlier file.
        return FrameNamePattern{TitleFromPath(gifPath) + "_f", digits, format.extension};
    }
    std::optional<FrameNamePattern> names;
    if (options.pattern.find('/') != std::string::npos)
        error = "it names files of the output folder: no '/'";
    else
        names = ReadFrameNamePattern(options.pattern, error);
    if (!names) error = "the name pattern " + options.pattern + ": " + error;
    return names;
}

// Why the frame files cannot be written as planned: one of them is the input itself, a link to
// it say; empty when none is.
std::string FrameThatIsTheInput(const ExtractPlan& plan) {
    const std::optional<FileIdentity> input = IdentityOf(plan.input);
    if (!input) return {};
    for (const PlannedFrame& file : plan.files) {
        if (IdentityOf(file.path) == input) {
            return "its frame file " + file.path + " is the same file as the input " + plan.input +
                   "; nothing was written";
        }
    }
    return {};
}

// The chosen frames and their files, in frame order.
std::vector<PlannedFrame> FramesOf(const std::string& folder, const FrameNamePattern& names,
                                   const FrameSelection& chosen, int frames) {
    const std::string prefix = folder == "/" ? folder : folder + "/";
    std::vector<PlannedFrame> files;
    files.reserve(static_cast<std::size_t>(chosen.Count(frames)));
    for (int i = 0; i < frames; ++i) {
        if (chosen.Contains(i)) files.push_back({i, prefix + names.NameOf(static_cast<uint64_t>(i))});
    }
    return files;
}

// Writes the frame of the plan's next file, or keeps the file that is there when asked;
// returns an empty string or the cause.
std::string TakeFrame(const FreeImageApi& freeImage, const FormatInfo& format,
                      const ExtractOptions& options, FrameSource& source, SourceFrame& frame,
                      const std::string& path, JobResult& result) {
    std::error_code ec;
    if (options.existing == Existing::Keep && std::filesystem::exists(path, ec)) {
        result.skipped.push_back(path);
        return {};
    }
    const bool alpha = options.transparent && format.alpha;
    const std::string error =
        WriteFrame(freeImage, format, frame, source.Width(), source.Height(), alpha, path);
    if (!error.empty()) return "cannot write " + path + ": " + error;
    result.outputs.push_back(path);
    ++result.frames;
    return {};
}

// How an extraction that wrote or kept what it could ends: a warning where the animation breaks
// off after some frames, a failure where nothing was kept.
JobResult Finish(const ExtractPlan& plan, const FrameSource& source, bool stoppedEarly,
                 JobResult result) {
    if (result.status == JobResult::Status::Cancelled) return result;
    if (!source.Error().empty()) {
        if (result.frames == 0) return Fail(result, source.Error());
        result.warnings.push_back(source.Error() + "; kept the " + std::to_string(result.frames) +
                                  " frame" + (result.frames == 1 ? "" : "s") + " before it");
    } else if (result.frames == 0 && result.skipped.empty()) {
        return Fail(result, plan.damage.empty() ? "the " + plan.format + " has no images"
                                                : plan.damage);
    } else if (stoppedEarly && !plan.damage.empty()) {
        result.warnings.push_back(plan.damage + "; the frames chosen come before it");
    }
    return result;
}

JobResult Extract(const ExtractPlan& plan, const ExtractOptions& options,
                  const JobControl& control, JobResult& result) {
    const FormatInfo* format = FindFormat(options.format);
    std::string error = format == nullptr ? "unknown image format" : plan.error;
    if (!error.empty()) return Fail(result, error);
    const FreeImageApi* freeImage = LoadFreeImage(&error);
    if (freeImage == nullptr) return Fail(result, error);
    if (plan.scanned) {
        result.plan = plan.plan;
        control.Planned(result.plan);
    }

    FrameSource source;
    source.ComposeOn(options.background, options.transparent && format->alpha, options.Rules());
    if (!source.Open(plan.input)) return Fail(result, source.Error());
    // Every frame is composed, up to the last one chosen; with all chosen, to the end, which
    // tells whether the file is whole.
    std::size_t next = 0;
    while (next < plan.files.size() || options.frames.All()) {
        if (control.Cancelled()) {
            result.status = JobResult::Status::Cancelled;
            break;
        }
        std::optional<SourceFrame> frame = source.Next();
        if (!frame) break;
        if (next < plan.files.size() && plan.files[next].index == frame->index) {
            error = TakeFrame(*freeImage, *format, options, source, *frame, plan.files[next].path,
                              result);
            ++next;
            if (error.empty()) control.Report(result.frames + static_cast<int>(result.skipped.size()));
        }
        source.Recycle(std::move(frame->pixels));
        if (!error.empty()) return Fail(result, error);
    }
    return Finish(plan, source, !options.frames.All() && next == plan.files.size(),
                  std::move(result));
}

}  // namespace

ExtractPlan PlanExtraction(const std::string& gifPath, const std::string& outputFolder,
                           const ExtractOptions& options) {
    ExtractPlan plan;
    plan.input = gifPath;
    plan.folder = outputFolder;
    if (plan.folder.size() > 1 && plan.folder.back() == '/') plan.folder.pop_back();
    const FormatInfo* format = FindFormat(options.format);
    plan.error = format == nullptr ? "unknown image format" : FolderProblem(outputFolder);
    if (!plan.error.empty()) return plan;

    const GifInfo scan = ScanAnimationFile(gifPath, options.Rules());
    plan.scanned = scan.opened;
    plan.format = scan.format;
    plan.damage = scan.error;
    if (!scan.opened) return plan;  // the extraction says why, when it opens the file
    plan.plan = {options.frames.Count(scan.frames), scan.width, scan.height};
    if (scan.frames > 0) plan.error = options.frames.Problem(scan.frames, scan.format);
    const std::optional<FrameNamePattern> names =
        NamesOf(gifPath, options, *format, scan.frames, plan.error);
    if (!plan.error.empty() || !names) return plan;
    plan.files = FramesOf(plan.folder, *names, options.frames, scan.frames);
    plan.error = FrameThatIsTheInput(plan);
    return plan;
}

JobResult ExtractPlanned(const ExtractPlan& plan, const ExtractOptions& options,
                         const JobControl& control) {
    JobResult result;
    result.input = plan.input;
    try {
        return Extract(plan, options, control, result);
    } catch (const std::bad_alloc&) {  // the frames written so far are whole
        return Fail(std::move(result), "not enough memory for the frames of this GIF");
    }
}

JobResult ExtractFrames(const std::string& gifPath, const std::string& outputFolder,
                        const ExtractOptions& options, const JobControl& control) {
    return ExtractPlanned(PlanExtraction(gifPath, outputFolder, options), options, control);
}
