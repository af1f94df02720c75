#include "gif/CGifAnimation.h"

#include <fcntl.h>
#include <gif_lib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

// Interlaced images deliver their rows in four passes: the start row and step of each.
constexpr int kPassStart[4] = {0, 4, 2, 1};
constexpr int kPassStep[4] = {8, 8, 4, 2};

// How many rows of an image of `height` rows giflib must deliver (in their order: four passes
// when interlaced) until every row above `needed` has come; the rest need no decoding.
int RowsToDecode(int height, bool interlaced, int needed) {
    if (needed >= height) return height;
    if (!interlaced) return std::max(needed, 0);
    int delivered = 0, last = 0;
    for (int pass = 0; pass < 4; ++pass) {
        for (int r = kPassStart[pass]; r < height; r += kPassStep[pass]) {
            ++delivered;
            if (r < needed) last = delivered;
        }
    }
    return last;
}

// Why giflib cannot decode an image of this LZW minimum code size (it takes 0, and refuses more
// than 8 as a failed read); empty when it can.
std::string CodeSizeProblem(int codeSize) {
    const std::string size = "its LZW minimum code size " + std::to_string(codeSize);
    if (codeSize == 0 || codeSize > 11) return size + " is invalid";
    if (codeSize > 8) return size + " is not supported (at most 8)";
    return {};
}

// Why giflib could not open a file: its error code, and errno as the open left it.
std::string OpenError(int error, int cause) {
    if ((error == D_GIF_ERR_OPEN_FAILED || error == D_GIF_ERR_READ_FAILED) && cause != 0)
        return std::strerror(cause);  // "No such file or directory", ...
    if (error == D_GIF_ERR_READ_FAILED || error == D_GIF_ERR_NO_SCRN_DSCR || error == 0) {
        // A short read of the signature, the screen descriptor or the global colour table
        // (giflib's file reader reports the last two as no error at all).
        return "the file ends inside its header";
    }
    const char* text = GifErrorString(error);
    return text ? text : "giflib error " + std::to_string(error);
}

}  // namespace

// What giflib reads: a file, or bytes in memory. It remembers the last byte it gave and whether a
// read came up short, so that the byte read after an image descriptor (the LZW minimum code size)
// can be told from the end of the file.
struct CGifAnimation::Source {
    std::FILE* file = nullptr;
    std::vector<char> buffer;  // file's, closed before it goes
    std::vector<uint8_t> bytes;
    std::size_t position = 0;
    int lastByte = -1;
    bool ended = false;

    Source() = default;
    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;
    ~Source() {
        if (file) std::fclose(file);
    }

    // giflib's read callback: copies up to `length` bytes, fewer at the end.
    static int Read(GifFileType* gif, GifByteType* to, int length) {
        auto* self = static_cast<Source*>(gif->UserData);
        const auto wanted = static_cast<std::size_t>(std::max(length, 0));
        std::size_t n = 0;
        if (self->file) {
            n = std::fread(to, 1, wanted, self->file);
        } else {
            n = std::min(wanted, self->bytes.size() - self->position);
            if (n > 0) std::memcpy(to, self->bytes.data() + self->position, n);
            self->position += n;
        }
        if (n > 0) self->lastByte = to[n - 1];
        self->ended |= n < wanted;
        return static_cast<int>(n);
    }
};

CGifAnimation::CGifAnimation(Pixels pixels) : m_bDecodePixels(pixels == Pixels::Decode) {}

CGifAnimation::~CGifAnimation() { Close(); }

void CGifAnimation::Close() {
    if (m_pGif) {
        int error = 0;
        DGifCloseFile(m_pGif, &error);  // frees the handle whatever it reports
        m_pGif = nullptr;
    }
    m_source.reset();
    m_canvasBlock.reset();
    m_pCanvas = nullptr;
    m_pCoverage = nullptr;
    m_wideLine.clear();
    m_wideLine.shrink_to_fit();
    m_nWidth = 0;
    m_nHeight = 0;
    m_nStride = 0;
    m_dirty = {};
    m_bEnded = false;
    m_deferred.reset();
}

int CGifAnimation::Load(const char* utf8Path) {
    Close();
    m_strError.clear();
    // Opened without waiting, so that a FIFO or a device is refused instead of blocking.
    const int fd = ::open(utf8Path ? utf8Path : "", O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        m_strError = fd < 0 ? std::strerror(errno) : "not a regular file";
        if (fd >= 0) ::close(fd);
        m_bNotAGif = false;
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    m_source = std::make_unique<Source>();
    m_source->file = ::fdopen(fd, "rb");
    if (!m_source->file) {
        m_strError = std::strerror(errno);
        ::close(fd);
        m_source.reset();
        m_bNotAGif = false;
        return -1;
    }
    // giflib reads a byte or a sub-block at a time: a buffer larger than stdio's 4 KiB default
    // makes a read of the file 16 system calls a megabyte instead of 256.
    m_source->buffer.resize(64 << 10);
    std::setvbuf(m_source->file, m_source->buffer.data(), _IOFBF, m_source->buffer.size());
    return Open();
}

int CGifAnimation::Load(const uint8_t* data, std::size_t size) {
    Close();
    m_source = std::make_unique<Source>();
    if (data != nullptr) m_source->bytes.assign(data, data + size);
    return Open();
}

bool CGifAnimation::AllocateCanvas() {
    const size_t canvasSize = (2 * static_cast<size_t>(m_nHeight) + 1) * static_cast<size_t>(m_nStride);
    const size_t coverageSize =
        m_bKeepCoverage ? 2 * static_cast<size_t>(m_nHeight) * static_cast<size_t>(m_nWidth) : 0;
    m_canvasBlock.reset(static_cast<uint8_t*>(AllocateLarge(canvasSize + coverageSize)));
    if (!m_canvasBlock) return false;
    m_pCanvas = m_canvasBlock.get();
    std::memset(m_pCanvas, 0, canvasSize + coverageSize);
    if (m_bKeepCoverage) m_pCoverage = m_pCanvas + canvasSize;  // nothing covered yet
    // Frame and base area start in the stage colour; the padding and the line buffer stay zero.
    FillArea(m_pCanvas, {0, 0, m_nWidth, 2 * m_nHeight}, m_crStage);
    return true;
}

// Opens the decoder on m_source.
int CGifAnimation::Open() {
    int error = 0;
    errno = 0;
    GifFileType* gif = DGifOpen(m_source.get(), &Source::Read, &error);
    m_crTransparent = m_crStage;
    m_crBackground = m_crStage;
    m_strError.clear();
    m_bNotAGif = !gif && error == D_GIF_ERR_NOT_GIF_FILE;
    if (!gif) {
        m_strError = OpenError(error, errno);
        m_source.reset();
        return -1;
    }

    // Refuse the screen before allocating anything for it.
    const int width = gif->SWidth;
    const int height = gif->SHeight;
    const std::string size = std::to_string(width) + " x " + std::to_string(height);
    if (width <= 0 || height <= 0) {
        m_strError = "the logical screen of " + size + " pixels is empty";
    } else if (width > kMaxSide || height > kMaxSide ||
               static_cast<int64_t>(width) * height > kMaxPixels) {
        m_strError = "the logical screen of " + size +
                     " pixels is too large (at most 8191 pixels a side and 16777215 in all)";
    }
    if (!m_strError.empty()) {
        DGifCloseFile(gif, &error);
        m_source.reset();
        return -3;
    }
    m_pGif = gif;
    m_nWidth = width;
    m_nHeight = height;

    m_nStride = StrideFor(width);
    if (m_bDecodePixels && !AllocateCanvas()) {
        m_strError = "not enough memory for a canvas of " + size + " pixels";
        return -2;
    }

    m_colors = {};
    if (gif->SColorMap) m_colors.global = gif->SColorMap->ColorCount;
    if (const ColorMapObject* map = gif->SColorMap; map && !m_rules.restoreToStage) {
        // A background index outside the table counts as black, like any such index.
        const int index = gif->SBackGroundColor;
        if (index >= 0 && index < map->ColorCount) {
            const GifColorType& c = map->Colors[index];
            m_crBackground = RgbColor(c.Red) << 16 | RgbColor(c.Green) << 8 | RgbColor(c.Blue);
        } else {
            m_crBackground = 0;
        }
    }
    m_nFrameCount = 0;
    m_nLoopCount = 0;
    m_loopExtension.reset();
    m_nFrameDelay = 0;
    m_nFrameDisposal = 0;
    return 0;
}

int CGifAnimation::NextFrame() {
    if (!m_pGif || (m_bDecodePixels && !m_pCanvas)) {
        if (m_strError.empty()) m_strError = "no GIF file is open";  // keep Load's cause
        return -1;
    }
    if (m_bEnded) return 0;
    if (m_deferred) {  // the end met while returning the last pending frame
        const int result = *m_deferred;
        m_deferred.reset();
        m_bEnded = result == 0;
        return result;
    }

    FrameControl control;
    bool pending = false;  // images with delay 0 composed and not yet returned
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(m_pGif, &type) == GIF_ERROR) {
            SetGifError(m_pGif->Error, "", "the file ends before the trailer");
            return Finish(0, pending);
        }
        switch (type) {
            case EXTENSION_RECORD_TYPE: {
                const int result = ReadExtension(control);
                if (result < 0) return Finish(result, pending);
                break;
            }
            case IMAGE_DESC_RECORD_TYPE:
                if (const std::optional<int> result = ReadImage(control, pending)) return *result;
                break;
            case TERMINATE_RECORD_TYPE:
                return Finish(0, pending);
            default:
                m_strError = "unknown record in the file";
                return Finish(0, pending);
        }
    }
}

std::optional<int> CGifAnimation::ReadImage(FrameControl& control, bool& pending) {
    const bool read = DGifGetImageDesc(m_pGif) != GIF_ERROR;
    // The last byte giflib read, unless the file ended, is the LZW minimum code size.
    const std::string problem =
        m_source->ended ? std::string() : CodeSizeProblem(m_source->lastByte);
    if (!problem.empty()) {
        m_strError = "image " + std::to_string(m_nFrameCount + 1) + ": " + problem;
        return -1;
    }
    if (!read) {
        // Noted, then reading goes on: the next unreadable record ends the file.
        const std::string part = "image descriptor " + std::to_string(m_nFrameCount + 1);
        SetGifError(m_pGif->Error, part, "the file ends inside " + part);
        return std::nullopt;
    }
    ++m_nFrameCount;
    if (const ColorMapObject* own = m_pGif->Image.ColorMap) {
        ++m_colors.localTables;
        m_colors.largestLocal = std::max(m_colors.largestLocal, own->ColorCount);
    }
    if (control.transparent) ++m_colors.transparentImages;
    if (!ComposeImage(control)) return -1;
    m_nFrameDisposal = control.disposal;
    control.disposal = 0;
    m_nShownMs += ShownDelay(control.delay * 10);
    if (control.delay != 0) return m_nFrameDelay = control.delay * 10;
    if (m_rules.everyImage) return m_nFrameDelay = kDefaultDelay * 10;
    pending = true;  // delay 0: merges into the next image with a delay
    return std::nullopt;
}

// Ends a NextFrame call at the end of the file or at an unreadable record. Images composed with
// delay 0 are not lost: they are returned as one frame of the default delay, and the result is
// deferred to the next call.
int CGifAnimation::Finish(int result, bool pending) {
    if (pending) {
        m_deferred = result;
        return m_nFrameDelay = kDefaultDelay * 10;
    }
    if (result == 0) m_bEnded = true;
    return result;
}

int CGifAnimation::ReadExtension(FrameControl& control) {
    int code = 0;
    GifByteType* block = nullptr;  // block[0] is the length of the data after it
    if (DGifGetExtension(m_pGif, &code, &block) == GIF_ERROR) {
        SetGifError(m_pGif->Error, "extension", "the file ends before the trailer");
        return -2;
    }
    if (!block) return 0;  // an extension without data: its terminator is already read

    bool looping = false;
    if (code == GRAPHICS_EXT_FUNC_CODE) {
        if (block[0] >= 4) {  // a shorter graphic control block is ignored
            control.disposal = (block[1] >> 2) & 7;
            control.delay = block[2] | block[3] << 8;
            control.transparent.reset();
            if (block[1] & 1) control.transparent = block[4];
        }
    } else if (code == APPLICATION_EXT_FUNC_CODE) {
        // Browsers loop on either application's extension, which share the sub-block.
        looping = block[0] == 11 && (std::memcmp(block + 1, "NETSCAPE2.0", 11) == 0 ||
                                     std::memcmp(block + 1, "ANIMEXTS1.0", 11) == 0);
    }
    for (;;) {
        if (DGifGetExtensionNext(m_pGif, &block) == GIF_ERROR) {
            SetGifError(m_pGif->Error, "extension", "the file ends before the trailer");
            return -3;
        }
        if (!block) return 0;
        // The loop sub-block: id 1 in the low three bits, then the count (0: for ever).
        if (looping && block[0] == 3 && (block[1] & 7) == 1) {
            m_loopExtension = block[2] | block[3] << 8;
            m_nLoopCount = *m_loopExtension - 1;
        }
    }
}

bool CGifAnimation::ComposeImage(const FrameControl& control) {
    if (!m_bDecodePixels) return SkipImageData();
    const GifImageDesc& image = m_pGif->Image;
    const int width = m_nWidth;
    const int height = m_nHeight;
    uint8_t* frame = m_pCanvas;
    uint8_t* base = m_pCanvas + static_cast<size_t>(height) * m_nStride;

    // The colour table: the image's own, else the global one, else none (all black).
    const ColorMapObject* map = image.ColorMap ? image.ColorMap : m_pGif->SColorMap;
    uint8_t palette[256][3] = {};  // blue, green, red; indices outside the table stay black
    if (map) {
        const int count = std::min(map->ColorCount, 256);
        for (int i = 0; i < count; ++i) {
            palette[i][0] = map->Colors[i].Blue;
            palette[i][1] = map->Colors[i].Green;
            palette[i][2] = map->Colors[i].Red;
        }
    }

    // Compose on the canvas as the previous disposal left it. Frame and base area only differ
    // where the previous image was, so only that part is copied back.
    CopyRows(frame, base, m_dirty);
    CopyCoverage(m_dirty, false);

    Area area;  // the image clipped to the logical screen
    area.left = std::clamp(image.Left, 0, width);
    area.top = std::clamp(image.Top, 0, height);
    area.right = std::clamp(image.Left + std::max(image.Width, 0), 0, width);
    area.bottom = std::clamp(image.Top + std::max(image.Height, 0), 0, height);
    if (area.Empty()) area = {};
    m_dirty = area;

    // Rows below the screen are not decoded: once the last row on it has come, the rest of the
    // data is skipped block by block (LZW decodes in order, so rows above it cost their work).
    const int rows = image.Width <= 0 || image.Height <= 0 || area.Empty()
                         ? 0
                         : RowsToDecode(image.Height, image.Interlace, area.bottom - image.Top);
    if (rows > 0 && !DecodeRows(rows, area, palette, control.transparent)) return false;
    // After the image's last row giflib has read the rest of its data itself.
    if (rows == 0 || rows < image.Height) {
        if (!SkipImageData()) return false;
    }
    Dispose(control, area);
    return true;
}

bool CGifAnimation::DecodeRows(int rows, const Area& area, const uint8_t (&palette)[256][3],
                               std::optional<uint8_t> transparent) {
    const GifImageDesc& image = m_pGif->Image;
    uint8_t* line = m_pCanvas + 2 * static_cast<size_t>(m_nHeight) * m_nStride;
    if (image.Width > m_nStride) {  // wider than the screen: the line buffer is too short
        m_wideLine.resize(static_cast<size_t>(image.Width));
        line = m_wideLine.data();
    }
    const int passes = image.Interlace ? 4 : 1;
    int decoded = 0;
    for (int pass = 0; pass < passes && decoded < rows; ++pass) {
        const int start = image.Interlace ? kPassStart[pass] : 0;
        const int step = image.Interlace ? kPassStep[pass] : 1;
        for (int r = start; r < image.Height && decoded < rows; r += step, ++decoded) {
            if (DGifGetLine(m_pGif, line, image.Width) == GIF_ERROR) {
                const std::string part = "image " + std::to_string(m_nFrameCount);
                SetGifError(m_pGif->Error, part, "the file ends inside " + part);
                return false;
            }
            const int y = image.Top + r;
            if (y < area.top || y >= area.bottom) continue;
            uint8_t* pixel = m_pCanvas + static_cast<size_t>(y) * m_nStride + 3 * area.left;
            uint8_t* covered =
                m_pCoverage ? m_pCoverage + static_cast<size_t>(y) * m_nWidth + area.left : nullptr;
            const uint8_t* index = line + (area.left - image.Left);
            for (int x = area.left; x < area.right; ++x, ++index, pixel += 3) {
                if (*index == transparent) continue;  // the canvas shows through
                std::memcpy(pixel, palette[*index], 3);
                if (covered) covered[x - area.left] = 1;
            }
        }
    }
    return true;
}

void CGifAnimation::Dispose(const FrameControl& control, const Area& area) {
    const int width = m_nWidth;
    uint8_t* frame = m_pCanvas;
    uint8_t* base = m_pCanvas + static_cast<size_t>(m_nHeight) * m_nStride;
    switch (control.disposal) {
        case 2:  // restore to background, which leaves the area uncovered
            FillArea(base, area, control.transparent ? m_crTransparent : m_crBackground);
            if (m_pCoverage) {
                uint8_t* baseCoverage = m_pCoverage + static_cast<size_t>(m_nHeight) * width;
                for (int y = area.top; y < area.bottom; ++y) {
                    std::memset(baseCoverage + static_cast<size_t>(y) * width + area.left, 0,
                                static_cast<size_t>(area.right - area.left));
                }
            }
            break;
        case 3:  // restore to previous: the base area keeps the canvas from before the image
            break;
        default:  // 0, 1 and the undefined 4 to 7: the image stays
            CopyRows(base, frame, area);
            CopyCoverage(area, true);
            m_dirty = {};
            break;
    }
}

// Reads past the data of an image without pixels.
bool CGifAnimation::SkipImageData() {
    int codeSize = 0;
    GifByteType* block = nullptr;
    bool ok = DGifGetCode(m_pGif, &codeSize, &block) != GIF_ERROR;
    while (ok && block) ok = DGifGetCodeNext(m_pGif, &block) != GIF_ERROR;
    if (!ok) {
        const std::string part = "image " + std::to_string(m_nFrameCount);
        SetGifError(m_pGif->Error, part, "the file ends inside " + part);
    }
    return ok;
}

void CGifAnimation::CopyRows(uint8_t* to, const uint8_t* from, const Area& area) const {
    if (area.Empty()) return;
    const size_t offset = 3 * static_cast<size_t>(area.left);
    const size_t bytes = 3 * static_cast<size_t>(area.right - area.left);
    for (int y = area.top; y < area.bottom; ++y) {
        const size_t row = static_cast<size_t>(y) * m_nStride + offset;
        std::memcpy(to + row, from + row, bytes);
    }
}

void CGifAnimation::CopyCoverage(const Area& area, bool toBase) {
    if (!m_pCoverage || area.Empty()) return;
    uint8_t* frame = m_pCoverage;
    uint8_t* base = m_pCoverage + static_cast<size_t>(m_nHeight) * m_nWidth;
    for (int y = area.top; y < area.bottom; ++y) {
        const size_t row = static_cast<size_t>(y) * m_nWidth + area.left;
        std::memcpy(toBase ? base + row : frame + row, toBase ? frame + row : base + row,
                    static_cast<size_t>(area.right - area.left));
    }
}

void CGifAnimation::FillArea(uint8_t* base, const Area& area, RgbColor color) const {
    const uint8_t bgr[3] = {uint8_t(color), uint8_t(color >> 8), uint8_t(color >> 16)};
    for (int y = area.top; y < area.bottom; ++y) {
        uint8_t* pixel = base + static_cast<size_t>(y) * m_nStride + 3 * area.left;
        for (int x = area.left; x < area.right; ++x, pixel += 3) std::memcpy(pixel, bgr, 3);
    }
}

int CGifAnimation::Draw(DrawingSurface& surface, const PixelRect* rect) {
    if (!m_pGif || !m_pCanvas) return 0;
    const int width = m_nWidth;
    const int height = m_nHeight;
    // Centred in the rectangle; the division truncates toward zero.
    int64_t x = 0;
    int64_t y = 0;
    if (rect) {
        x = rect->left + (int64_t{rect->right} - rect->left - width) / 2;
        y = rect->top + (int64_t{rect->bottom} - rect->top - height) / 2;
    }
    if (width <= 0 || height <= 0) return 0;
    if (!surface.pBits || surface.nBitsPerPixel != 24 || surface.nWidth <= 0 ||
        surface.nHeight <= 0 || surface.nStride < 3 * surface.nWidth) {
        return 0;
    }

    // Clip the frame to the surface.
    const int64_t fromX = std::max<int64_t>(0, -x);
    const int64_t fromY = std::max<int64_t>(0, -y);
    const int64_t toX = std::max<int64_t>(0, x);
    const int64_t toY = std::max<int64_t>(0, y);
    const int64_t columns = std::min<int64_t>(width - fromX, surface.nWidth - toX);
    const int64_t rows = std::min<int64_t>(height - fromY, surface.nHeight - toY);
    if (columns <= 0 || rows <= 0) return 0;

    for (int64_t r = 0; r < rows; ++r) {
        std::memcpy(surface.pBits + (toY + r) * surface.nStride + 3 * toX,
                    m_pCanvas + (fromY + r) * m_nStride + 3 * fromX,
                    3 * static_cast<size_t>(columns));
    }
    return static_cast<int>(rows);
}

void CGifAnimation::SetGifError(int code, const std::string& part, const std::string& truncated) {
    if (code == D_GIF_ERR_READ_FAILED) {  // a short read: the file breaks off
        m_strError = truncated;
        return;
    }
    const char* text = GifErrorString(code);
    const std::string message = text ? text : "giflib error " + std::to_string(code);
    m_strError = part.empty() ? message : part + ": " + message;
}
