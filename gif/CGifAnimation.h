#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/FrameRules.h"
#include "base/LargeBuffer.h"
#include "base/Pixels.h"
#include "gif/DrawingSurface.h"

struct GifFileType;  // giflib's decoder, known only to the implementation

// Reads an animated GIF through giflib and composes its images, one displayed frame per
// NextFrame, onto a 24-bit canvas the size of the logical screen.
//
// The canvas is one block of (2 * H + 1) rows of Stride() bytes: rows 0 to H - 1 hold the frame
// shown (FrameArea()), rows H to 2H - 1 the base the next image is composed on (the canvas after
// the last disposal), and row 2H receives one row of colour indices from giflib. Pixels are
// blue, green, red; the padding at the end of each row stays zero.
//
// Untrusted files are handled safely: images are clipped to the logical screen, colour indices
// outside the colour table (or without any table) are black, and screens that are empty or too
// large are refused before anything is allocated.
//
// Not thread-safe: one caller at a time.
class CGifAnimation {
public:
    static constexpr int kMaxSide = 8191;        // pixels, either side of the screen
    static constexpr int kMaxPixels = 16777215;  // pixels, the whole screen
    static constexpr int kDefaultDelay = 10;     // hundredths of a second

    // Decode composes every frame; Skip only reads the file's structure (screen, delays, loop
    // count) without decoding or composing a pixel: no canvas, FrameArea null, Draw draws nothing.
    enum class Pixels { Decode, Skip };

    explicit CGifAnimation(Pixels pixels = Pixels::Decode);
    ~CGifAnimation();
    CGifAnimation(const CGifAnimation&) = delete;
    CGifAnimation& operator=(const CGifAnimation&) = delete;

    // Opens the GIF at utf8Path, releasing any file held before. Returns 0 on success; -1 when
    // the file cannot be opened as a GIF (the object is then empty); -2 when the canvas cannot
    // be allocated (the decoder stays open); -3 when the logical screen is empty or too large
    // (the object is then empty). GetError() gives the cause of any failure.
    int Load(const char* utf8Path);
    // The same for a GIF held in memory; the object reads from its own copy of the bytes.
    int Load(const uint8_t* data, std::size_t size);

    // Composes the next displayed frame into the frame area. Returns its delay in milliseconds
    // (> 0); 0 at the end of the file (the trailer, or a record that cannot be read); -1 when
    // no file is open or a row of pixels failed to decode; -2 or -3 when an extension could not
    // be read. Images with delay 0 merge into the next image with a delay; if the file ends
    // while such images wait, they are returned as one frame of 100 ms first (unless the rules
    // make every image a frame).
    int NextFrame();

    // Copies the frame area into surface (24 bits per pixel only), one to one, centred in rect
    // when given (at 0, 0 otherwise), clipped to the surface. Returns the number of rows
    // copied; 0 when nothing is open or nothing lands on the surface.
    int Draw(DrawingSurface& surface, const PixelRect* rect = nullptr);

    // Closes the decoder and releases the canvas. Safe to call on an empty object.
    void Close();

    // Both take effect at the next Load. The colour the canvas starts from and that
    // restore-to-background leaves where the GIF names none (white by default).
    void SetBackground(RgbColor color) { m_crStage = color; }
    void SetRules(FrameRules rules) { m_rules = rules; }
    // Also keeps, for every pixel, whether an image has covered it since the screen was last
    // cleared there (Coverage).
    void KeepCoverage(bool keep) { m_bKeepCoverage = keep; }

    // The logical screen; 0 x 0 while no file is open.
    int Width() const { return m_nWidth; }
    int Height() const { return m_nHeight; }
    int Stride() const { return m_nStride; }
    const uint8_t* FrameArea() const { return m_pCanvas; }
    // With KeepCoverage: one byte per pixel of the frame area, rows of Width() bytes top first,
    // 1 where an image has covered the pixel, 0 where the background shows (nothing drawn yet,
    // only transparent indices, or restored to the background since, as browsers show it).
    // Null otherwise.
    const uint8_t* Coverage() const { return m_pCoverage; }

    // The frame last composed: its delay in milliseconds (what NextFrame returned) and the
    // disposal method of its last image (0 to 7).
    int FrameDelay() const { return m_nFrameDelay; }
    int FrameDisposal() const { return m_nFrameDisposal; }
    // Image descriptors read since Load.
    int FrameCount() const { return m_nFrameCount; }
    // The images read so far, each as long as a browser shows it, in milliseconds.
    int64_t ShownMs() const { return m_nShownMs; }
    // The looping extension's ("NETSCAPE2.0" or "ANIMEXTS1.0") count minus one (so -1 loops for
    // ever), 0 without one.
    int LoopCount() const { return m_nLoopCount; }
    // The extension's count itself (0: for ever); none when the file has no such extension,
    // which browsers play once.
    std::optional<int> LoopExtension() const { return m_loopExtension; }
    // What the file declares about colours, over the images read since Load.
    struct ColorTables {
        int global = 0;             // entries of the global colour table; 0 without one
        int localTables = 0;        // images with a colour table of their own
        int largestLocal = 0;       // entries of the largest of those
        int transparentImages = 0;  // images whose graphic control names a transparent index
    };
    const ColorTables& Colors() const { return m_colors; }

    // The restore-to-background fill without a transparent index (the screen's background
    // colour), and with one.
    RgbColor BackgroundColor() const { return m_crBackground; }
    RgbColor TransparentColor() const { return m_crTransparent; }

    // Empty while all is well, and after a clean end at the trailer; otherwise the cause of the
    // last failure (a frame that could not be decoded, a file that breaks off, ...).
    const std::string& GetError() const { return m_strError; }
    // The last Load failed because the file does not start like a GIF.
    bool NotAGif() const { return m_bNotAGif; }

    // The logical screen's stride: 3 * width rounded up to a multiple of 4.
    static int StrideFor(int width) { return (3 * width + 3) & ~3; }

private:
    struct Area {  // a clipped rectangle of the screen, right and bottom exclusive
        int left = 0, top = 0, right = 0, bottom = 0;
        bool Empty() const { return left >= right || top >= bottom; }
    };

    // What a graphic control extension sets for the images after it, within one NextFrame.
    struct FrameControl {
        int delay = kDefaultDelay;
        int disposal = 0;
        std::optional<uint8_t> transparent;
    };

    struct Source;  // the file or the bytes giflib reads

    int Open();
    // The canvas (and coverage planes) for the screen, in the stage colour; false without memory.
    bool AllocateCanvas();
    int ReadExtension(FrameControl& control);
    // Reads and composes the next image: the delay of the frame it ends, -1 on an error that
    // ends the file, or none when reading goes on (a delay of 0 left it pending).
    std::optional<int> ReadImage(FrameControl& control, bool& pending);
    bool ComposeImage(const FrameControl& control);
    // Decodes the image's first `rows` rows (in file order) onto the frame area, clipped to area.
    bool DecodeRows(int rows, const Area& area, const uint8_t (&palette)[256][3],
                    std::optional<uint8_t> transparent);
    // Leaves the base area as the image's disposal method asks.
    void Dispose(const FrameControl& control, const Area& area);
    bool SkipImageData();
    int Finish(int result, bool pending);
    void CopyRows(uint8_t* to, const uint8_t* from, const Area& area) const;
    void FillArea(uint8_t* base, const Area& area, RgbColor color) const;
    // Coverage rows of area from the frame to the base (toBase) or back.
    void CopyCoverage(const Area& area, bool toBase);
    // Records why a giflib call failed while reading `part` ("image 3"; empty between
    // records); a short read there means `truncated`.
    void SetGifError(int code, const std::string& part, const std::string& truncated);

    const bool m_bDecodePixels;
    GifFileType* m_pGif = nullptr;
    std::unique_ptr<Source> m_source;
    uint8_t* m_pCanvas = nullptr;  // points into m_canvasBlock, or null
    // With coverage kept: 2 * H rows of W bytes after the canvas in m_canvasBlock, the frame's
    // coverage, then the base's; null otherwise.
    uint8_t* m_pCoverage = nullptr;
    RgbColor m_crStage = kWhiteRgb;
    FrameRules m_rules;
    bool m_bKeepCoverage = false;
    LargeBlock m_canvasBlock;
    std::vector<uint8_t> m_wideLine;  // line buffer for images wider than the screen
    int m_nWidth = 0;
    int m_nHeight = 0;
    int m_nStride = 0;
    std::string m_strError;
    bool m_bNotAGif = false;

    RgbColor m_crTransparent = kWhiteRgb;  // restore-to-background fill with a transparent index
    RgbColor m_crBackground = kWhiteRgb;   // restore-to-background fill without one
    int32_t m_nFrameCount = 0;
    int64_t m_nShownMs = 0;
    int32_t m_nLoopCount = 0;
    std::optional<int> m_loopExtension;
    ColorTables m_colors;
    int m_nFrameDelay = 0;
    int m_nFrameDisposal = 0;

    Area m_dirty;                   // where the frame area may differ from the base area
    bool m_bEnded = false;          // the end was reached; NextFrame returns 0 from now on
    std::optional<int> m_deferred;  // the result the next NextFrame returns, when set
};
