#include "gif/GifInfo.h"

#include <gif_lib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "gif/CGifAnimation.h"

namespace {

struct Bytes {
    const uint8_t* data;
    std::size_t size;
    std::size_t position = 0;

    static int Read(GifFileType* gif, GifByteType* to, int length) {
        auto* self = static_cast<Bytes*>(gif->UserData);
        const std::size_t n = std::min(static_cast<std::size_t>(std::max(length, 0)),
                                       self->size - self->position);
        if (n > 0) std::memcpy(to, self->data + self->position, n);
        self->position += n;
        return static_cast<int>(n);
    }
};

std::string GifError(int code) {
    if (code == D_GIF_ERR_READ_FAILED) return "the file ends before the trailer";
    const char* text = GifErrorString(code);
    return text ? text : "giflib error " + std::to_string(code);
}

// Skips an extension's sub-blocks, noting the delay of a graphic control extension and the
// count of a NETSCAPE2.0 loop block. Returns false when the file breaks off.
bool ReadExtension(GifFileType* gif, GifInfo& info, int& delay) {
    int code = 0;
    GifByteType* block = nullptr;
    if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return false;
    if (!block) return true;
    // The same reading as CGifAnimation's: a graphic control block shorter than 4 is ignored.
    if (code == GRAPHICS_EXT_FUNC_CODE && block[0] >= 4) delay = block[2] | block[3] << 8;
    const bool looping = code == APPLICATION_EXT_FUNC_CODE && block[0] == 11 &&
                         std::memcmp(block + 1, "NETSCAPE2.0", 11) == 0;
    for (;;) {
        if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return false;
        if (!block) return true;
        if (looping && block[0] == 3 && (block[1] & 7) == 1) info.loopExtension = block[2] | block[3] << 8;
    }
}

// Skips the LZW data of the image whose descriptor was just read.
bool SkipImageData(GifFileType* gif) {
    int codeSize = 0;
    GifByteType* block = nullptr;
    if (DGifGetCode(gif, &codeSize, &block) == GIF_ERROR) return false;
    while (block) {
        if (DGifGetCodeNext(gif, &block) == GIF_ERROR) return false;
    }
    return true;
}

GifInfo Scan(GifFileType* gif, int openError) {
    GifInfo info;
    if (!gif) {
        const int cause = errno;
        if ((openError == D_GIF_ERR_OPEN_FAILED || openError == D_GIF_ERR_READ_FAILED) && cause != 0)
            info.error = std::strerror(cause);
        else if (openError == D_GIF_ERR_NOT_GIF_FILE)
            info.error = "not a GIF file";
        else
            info.error = GifError(openError);
        return info;
    }
    info.opened = true;
    info.width = gif->SWidth;
    info.height = gif->SHeight;

    // As in CGifAnimation::NextFrame: every frame starts with the default delay, a graphic
    // control extension sets it for the images after it, and an image with delay 0 is shown
    // together with the next one.
    int delay = CGifAnimation::kDefaultDelay;
    bool pending = false;
    auto endFrame = [&](int hundredths) {
        ++info.frames;
        info.durationMs += int64_t{hundredths} * 10;
        delay = CGifAnimation::kDefaultDelay;
        pending = false;
    };
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif, &type) == GIF_ERROR) {
            info.error = GifError(gif->Error);
            break;
        }
        if (type == TERMINATE_RECORD_TYPE) break;
        if (type == EXTENSION_RECORD_TYPE) {
            if (!ReadExtension(gif, info, delay)) {
                info.error = GifError(gif->Error);
                break;
            }
        } else if (type == IMAGE_DESC_RECORD_TYPE) {
            if (DGifGetImageDesc(gif) == GIF_ERROR || !SkipImageData(gif)) {
                info.error = GifError(gif->Error);
                break;
            }
            ++info.images;
            if (delay != 0)
                endFrame(delay);
            else
                pending = true;
        } else {
            info.error = "unknown record in the file";
            break;
        }
    }
    if (pending) endFrame(CGifAnimation::kDefaultDelay);
    int closeError = 0;
    DGifCloseFile(gif, &closeError);
    return info;
}

}  // namespace

GifInfo ScanGifFile(const std::string& utf8Path) {
    int error = 0;
    errno = 0;
    GifFileType* gif = DGifOpenFileName(utf8Path.c_str(), &error);
    return Scan(gif, error);
}

GifInfo ScanGifBytes(const uint8_t* data, std::size_t size) {
    Bytes bytes{data, data ? size : 0};
    int error = 0;
    errno = 0;
    GifFileType* gif = DGifOpen(&bytes, &Bytes::Read, &error);
    return Scan(gif, error);
}
